// Bit strings, byte strings and the xkit base-64 text: the defined cases, round trips, and
// long values.
#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (const int v : values)
    s.push_back(static_cast<char>(v));
  return s;
}

TEST(Encodings, FromBitsCases) {
  struct Case {
    std::string bits;
    mpz_class value;
  };
  const mpz_class base = mpz_class(1) << 31;
  const Case cases[] = {
      {"000101", 5},
      {"0", 0},
      {"0000", 0},
      {"", 0},
      {std::string(31, '1'), base - 1},
      {"1" + std::string(31, '0'), base},
      {"x101", 5},                             // any character but '1' is a zero bit
      {"x" + std::string(31, '1'), base - 1},  // the leading non-'1' still normalises
      {"2" + std::string(64, '1'), (mpz_class(1) << 64) - 1},
  };
  for (const Case& c : cases) {
    TFGInt a = Record("-99");
    BigFromBits(c.bits, a);
    EXPECT_TRUE(Holds(a, c.value, kPos)) << c.bits;
  }
}

TEST(Encodings, ToBitsCases) {
  std::string bits;
  BigToBits(Record("0"), bits);
  EXPECT_EQ(bits, "0");
  BigToBits(Record(mpz_class(1) << 31), bits);
  EXPECT_EQ(bits, "1" + std::string(31, '0'));
  BigToBits(Record("-5"), bits);
  EXPECT_EQ(bits, "101");
}

TEST(Encodings, BitsRoundTripKeepsTheMagnitude) {
  RandomValues random(7);
  for (int i = 0; i < 300; ++i) {
    const mpz_class m = random.Magnitude(40);
    std::string bits;
    BigToBits(Record(m, random.Sign()), bits);
    EXPECT_EQ(bits, m.get_str(2));
    TFGInt back;
    BigFromBits(bits, back);
    EXPECT_TRUE(Holds(back, m, kPos));
  }
}

TEST(Encodings, BitsAndBytes) {
  std::string bytes;
  BitsToBytes("101", bytes);
  EXPECT_EQ(bytes, Bytes({5}));
  BitsToBytes("100000000", bytes);
  EXPECT_EQ(bytes, Bytes({1, 0}));
  BitsToBytes("", bytes);
  EXPECT_EQ(bytes, "");
  BitsToBytes("1x11111111111111", bytes);  // '1' is one, anything else zero
  EXPECT_EQ(bytes, Bytes({0xBF, 0xFF}));

  std::string bits;
  BytesToBits(Bytes({0, 1}), bits);
  EXPECT_EQ(bits, std::string(15, '0') + "1");
  BytesToBits("", bits);
  EXPECT_EQ(bits, "");

  std::string all;
  for (int v = 0; v < 256; ++v)
    all.push_back(static_cast<char>(v));
  BytesToBits(all, bits);
  std::string back;
  BitsToBytes(bits, back);
  EXPECT_EQ(back, all);
}

TEST(Encodings, FromBytes) {
  TFGInt a;
  BigFromBytes(Bytes({0, 1}), a);
  EXPECT_TRUE(Holds(a, 1, kPos));
  BigFromBytes(Bytes({0}), a);
  EXPECT_TRUE(Holds(a, 0, kPos));
  BigFromBytes("", a);
  EXPECT_TRUE(Holds(a, 0, kPos));

  RandomValues random(11);
  for (std::size_t length : {1u, 7u, 8u, 9u, 31u, 100u, 4099u}) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i)
      bytes.push_back(static_cast<char>(random.Below(256)));
    mpz_class expected;
    mpz_import(expected.get_mpz_t(), bytes.size(), 1, 1, 0, 0, bytes.data());
    BigFromBytes(bytes, a);
    EXPECT_TRUE(Holds(a, expected, kPos)) << length;
    // Back through bits and bytes: the value, without its leading zero bytes.
    std::string bits, out;
    BigToBits(a, bits);
    BitsToBytes(bits, out);
    EXPECT_EQ(out, bytes.substr(bytes.find_first_not_of('\0') == std::string::npos
                                    ? bytes.size() - 1
                                    : bytes.find_first_not_of('\0')));
  }
}

TEST(Encodings, Base64ToBytesCases) {
  struct Case {
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"aaaa", Bytes({0, 0, 0})},
      {"aAbB", Bytes({0, 16, 131})},
      {"AA", Bytes({4})},
      {"+=", Bytes({251})},
      {"A", ""},
      {"", ""},
      {"aA\r\nb B", Bytes({0, 16, 131})},  // characters outside the alphabet are skipped
      {"====", Bytes({255, 255, 255})},    // "=" is the digit 63, not padding
  };
  for (const Case& c : cases) {
    std::string bytes;
    Base64ToBytes(c.text, bytes);
    EXPECT_EQ(bytes, c.bytes) << c.text;
  }
}

TEST(Encodings, Base64RoundTrip) {
  std::string text;
  BytesToBase64(Bytes({0, 16, 131}), text);
  EXPECT_EQ(text, "aAbB");
  BytesToBase64(Bytes({251}), text);
  EXPECT_EQ(text, "+y");  // 111110 11(0000): the last sextet is filled with zero bits
  RandomValues random(13);
  for (std::size_t length = 0; length < 40; ++length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i)
      bytes.push_back(static_cast<char>(random.Below(256)));
    std::string encoded, decoded;
    BytesToBase64(bytes, encoded);
    EXPECT_EQ(encoded.size(), (8 * length + 5) / 6);
    Base64ToBytes(encoded, decoded);
    EXPECT_EQ(decoded, bytes);
  }
}

}  // namespace
}  // namespace xkit::test
