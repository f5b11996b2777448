// BigFromDecimal on any bytes: either the value GMP reads from the same digits, with the
// flag of the leading "-", or EConvertError naming the first bad group of four, taken from
// the right, exactly as the message pins it. Values also go back to text with BigToDecimal.
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

using namespace xkit;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

struct Expected {
  bool error = false;
  std::string message;
  mpz_class magnitude;
  TBigSign sign = TBigSign::Positive;
};

// The conversion as its contract reads, one step at a time.
Expected Model(const std::string& input) {
  Expected expected;
  if (input.empty()) return expected;
  std::size_t from = 0;  // the text still to read is input[from..)
  while (input.size() - from > 1 && input[from] != '-' && !IsDigit(input[from]))
    ++from;
  if (input[from] == '-') {
    expected.sign = TBigSign::Negative;
    ++from;
  }
  while (input.size() - from > 1 && input[from] == '0')
    ++from;
  const std::string text = input.substr(from);
  // Groups of four from the right end; the leftmost may be shorter, and an empty body is
  // one empty group.
  std::size_t end = text.size();
  do {
    const std::size_t start = end >= 4 ? end - 4 : 0;
    const std::string group = text.substr(start, end - start);
    if (group.empty() || !std::all_of(group.begin(), group.end(), IsDigit)) {
      expected.error = true;
      expected.message = "'" + group + "' n'est pas une valeur entière correcte";
      return expected;
    }
    end = start;
  } while (end > 0);
  expected.magnitude = mpz_class(text, 10);
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Expected expected = Model(text);
  TFGInt a;
  try {
    BigFromDecimal(text, a);
  } catch (const EConvertError& error) {
    FUZZ_CHECK(expected.error);
    FUZZ_CHECK(error.Message() == expected.message);
    return 0;
  }
  FUZZ_CHECK(!expected.error);
  FUZZ_CHECK(fuzz::Holds(a, expected.magnitude, expected.sign));

  std::string back;
  BigToDecimal(a, back);
  const bool minus = expected.sign == TBigSign::Negative && expected.magnitude != 0;
  FUZZ_CHECK(back == (minus ? "-" : "") + expected.magnitude.get_str());
  return 0;
}
