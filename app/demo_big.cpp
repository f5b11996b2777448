// The big-integer section of `xkit demo`: conversions, arithmetic and Euclidean division.
#include <ostream>
#include <string>

#include "app/demo.h"
#include "xFGInt/xFGInt.h"

namespace xkit::demo {

bool DemoBig(std::ostream& out) {
  TFGInt a, b, product, q, r;
  BigFromDecimal("123456789012345678901234567890", a);
  BigFromDecimal("-9876543210", b);
  BigMul(a, b, product);
  BigDivMod(product, a, q, r);  // exact: q = b, r = 0
  std::string productText, qText, rText, bits;
  BigToDecimal(product, productText);
  BigToDecimal(q, qText);
  BigToDecimal(r, rText);
  BigFromDecimal("-7", a);
  BigFromDecimal("2", b);
  TFGInt q2, r2;
  BigDivMod(a, b, q2, r2);
  std::string q2Text, r2Text;
  BigToDecimal(q2, q2Text);
  BigToDecimal(r2, r2Text);
  BigToBits(b, bits);
  std::string bytes;
  Base64ToBytes("aAbB", bytes);

  out << "  123456789012345678901234567890 * -9876543210\n    = " << productText << "\n"
      << "  that / 123456789012345678901234567890 = " << qText << " remainder " << rText << "\n"
      << "  -7 divmod 2 = " << q2Text << " remainder " << r2Text << " (Euclidean)\n"
      << "  2 in bits: " << bits << "; base-64 'aAbB' decodes to " << bytes.size() << " bytes\n";
  return productText == "-1219326311248285321124828532111263526900" && qText == "-9876543210" &&
         rText == "0" && q2Text == "-4" && r2Text == "1" && bits == "10" &&
         bytes == std::string("\x00\x10\x83", 3);
}

}  // namespace xkit::demo
