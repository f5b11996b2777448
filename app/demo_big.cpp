// The big-integer section of `xkit demo`: arithmetic on values far beyond 64 bits with
// xkit::BigInt, printed in decimal and checked against their known values.
#include <ostream>
#include <string>

#include "app/demo.h"
#include "xFGInt/BigInt.h"

namespace xkit::demo {

bool DemoBig(std::ostream& out) {
  BigInt factorial = 1;
  for (int k = 2; k <= 50; ++k)
    factorial *= k;
  const BigInt mersenne = PowMod(2, 127, BigInt("1" + std::string(40, '0'))) - 1;
  const BigDivResult qr = DivMod(factorial, mersenne);
  // Fermat's test: 3^(p - 1) = 1 (mod p) for the prime p = 2^127 - 1.
  const BigInt fermat = PowMod(3, mersenne - 1, mersenne);
  const BigDivResult negative = DivMod(-7, 2);

  out << "  50! = " << factorial << "\n"
      << "  p = 2^127 - 1 = " << mersenne << "\n"
      << "  50! = q p + r with q = " << qr.quotient << "\n"
      << "                     r = " << qr.remainder << "\n"
      << "  3^(p - 1) mod p = " << fermat << " (p passes Fermat's test)\n"
      << "  -7 = " << negative.quotient << " * 2 + " << negative.remainder
      << " (Euclidean division: the remainder is never negative)\n";

  return factorial.ToDecimal() ==
             "30414093201713378043612608166064768844377641568960512000000000000" &&
         mersenne.ToDecimal() == "170141183460469231731687303715884105727" &&
         qr.quotient == BigInt("178757973719983075578232297") &&
         qr.remainder == BigInt("152264625771841428099637639634685935081") && fermat == 1 &&
         negative.quotient == -4 && negative.remainder == 1;
}

}  // namespace xkit::demo
