// Decimal text in and out: the skip and strip rules, the conversion error and its group,
// and GMP as the oracle on random texts, short and long enough to take the split paths.
#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

TEST(Decimal, FromDecimalCases) {
  struct Case {
    std::string text;
    mpz_class magnitude;
    TBigSign sign;
  };
  const Case cases[] = {
      {"12345", 12345, kPos},
      {"-0012", 12, kNeg},
      {"  42", 42, kPos},
      {"abc12", 12, kPos},
      {"-0", 0, kNeg},
      {"0", 0, kPos},
      {"", 0, kPos},
      {"000", 0, kPos},
      {"+5", 5, kPos},  // "+" is skipped like any character before the first digit
      {"x-7", 7, kNeg},
      {"2147483648", mpz_class(1) << 31, kPos},
      {"99999999999999999999", mpz_class("99999999999999999999"), kPos},
  };
  for (const Case& c : cases) {
    TFGInt a = Record("-123456789012345678901234567890");
    BigFromDecimal(c.text, a);
    EXPECT_TRUE(Holds(a, c.magnitude, c.sign)) << "'" << c.text << "'";
  }
}

TEST(Decimal, MalformedTextNamesTheFirstBadGroupFromTheRight) {
  struct Case {
    std::string text;
    std::string group;
  };
  const Case cases[] = {
      {"x", "x"},           {"12a4", "12a4"},  {"-", ""},
      {"abc", "c"},         {"--5", "-5"},     {"12345a", "345a"},
      {"1a2b 123", " 123"}, {"5$1F0", "$1F0"}, {"10x1F", "0x1F"},
      {"9 9999", "9 "},     {"12 ", "12 "},    {"7-", "7-"},
  };
  for (const Case& c : cases) {
    TFGInt a;
    try {
      BigFromDecimal(c.text, a);
      ADD_FAILURE() << "no error for '" << c.text << "'";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(), "'" + c.group + "' n'est pas une valeur entière correcte")
          << c.text;
    }
  }
}

// The message quotes the group whole, a zero byte in it included.
TEST(Decimal, MalformedGroupWithZeroByteIsQuotedWhole) {
  const std::string zero(1, '\0');
  for (const auto& [text, group] : {std::pair{zero, zero}, {"12" + zero + "345", zero + "345"}}) {
    TFGInt a;
    try {
      BigFromDecimal(text, a);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(), "'" + group + "' n'est pas une valeur entière correcte");
    }
  }
}

TEST(Decimal, ToDecimalCases) {
  std::string text;
  BigToDecimal(Record("0"), text);
  EXPECT_EQ(text, "0");
  BigToDecimal(Record("-0"), text);
  EXPECT_EQ(text, "0");
  BigToDecimal(Record("-12"), text);
  EXPECT_EQ(text, "-12");
  BigToDecimal(Record("10000000000000000000"), text);
  EXPECT_EQ(text, "10000000000000000000");
}

// A random decimal text: junk that is neither '-' nor a digit, an optional '-', leading
// zeros, then `digits` digits.
std::string RandomText(RandomValues& random, std::size_t digits, mpz_class& magnitude,
                       TBigSign& sign) {
  static const char kJunk[] = " \tabz+$#";
  std::string text;
  for (std::size_t i = random.Below(4); i > 0; --i)
    text.push_back(kJunk[random.Below(sizeof kJunk - 1)]);
  sign = random.Below(2) ? kNeg : kPos;
  if (sign == kNeg) text.push_back('-');
  text.append(random.Below(5), '0');
  std::string body;
  for (std::size_t i = 0; i < digits; ++i)
    body.push_back(static_cast<char>('0' + random.Below(10)));
  text += body;
  magnitude = mpz_class(body, 10);
  return text;
}

TEST(Decimal, RandomTextsMatchGmp) {
  RandomValues random(17);
  for (int i = 0; i < 2000; ++i) {
    mpz_class magnitude;
    TBigSign sign;
    const std::string text = RandomText(random, 1 + random.Below(200), magnitude, sign);
    TFGInt a;
    BigFromDecimal(text, a);
    ASSERT_TRUE(Holds(a, magnitude, sign)) << text;
    std::string back;
    BigToDecimal(a, back);
    ASSERT_EQ(back, mpz_class(sign == kNeg ? -magnitude : magnitude).get_str());
  }
}

// A random text of `digits` digits converts to the value GMP reads and back to itself.
void ExpectRoundTrip(std::size_t digits, std::uint64_t seed) {
  RandomValues random(seed);
  mpz_class magnitude;
  TBigSign sign;
  const std::string text = RandomText(random, digits, magnitude, sign);
  TFGInt a;
  BigFromDecimal(text, a);
  ASSERT_TRUE(Holds(a, magnitude, sign)) << digits;
  std::string back;
  BigToDecimal(a, back);
  ASSERT_EQ(back, mpz_class(sign == kNeg ? -magnitude : magnitude).get_str()) << digits;
}

TEST(Decimal, LongTextsTakeTheSplitPathsBothWays) {
  for (const std::size_t digits : {1399u, 1400u, 1401u, 2661u, 5000u, 20011u, 61000u})
    ExpectRoundTrip(digits, 19 + digits);
  // Runs of zeros and nines stress the zero-filled chunks of the split.
  for (const std::string& body :
       {"1" + std::string(5000, '0'), std::string(4321, '9'), "5" + std::string(3000, '0') + "7"}) {
    TFGInt a;
    BigFromDecimal(body, a);
    ASSERT_TRUE(Holds(a, mpz_class(body, 10), kPos));
    std::string back;
    BigToDecimal(a, back);
    ASSERT_EQ(back, body);
  }
}

// A million digits each way: the texts convert on the transform product, and back through
// divisions by the powers' reciprocals, found once per conversion.
TEST(Decimal, MillionDigitRoundTrip) {
  ExpectRoundTrip(1000000, 23);
}

// The largest sizes, run by scripts/test-large.sh rather than by ctest.
TEST(Decimal, DISABLED_LargeRoundTrips) {
  ExpectRoundTrip(10000000, 29);
  ExpectRoundTrip(40000000, 31);
}

}  // namespace
}  // namespace xkit::test
