// Cases of the conversions: decimal text both ways, bit strings, byte strings, and the xkit
// base-64 text of integers, each against a model built with GMP or spelled out bit by bit.
#include "tests/differential/cases.h"

namespace xkit::diff {

namespace {

constexpr char kAlphabet[] = "aAbBcCdDeEfFgGhHiIjJkKlLmMnNoOpPqQrRsStTuUvVwWxXyYzZ0123456789+=";

std::string RandomBytes(Random& random, std::size_t count) {
  std::string bytes(count, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random.Next());
  return bytes;
}

// A byte count for a value of up to kMaxBits bits.
std::size_t ByteCount(Random& random) {
  return random.OneIn(16) ? 0 : (Size(random, kMaxBits) + 7) / 8;
}

void Decimal(Random& random, Report& report) {
  const TFGInt a = Signed(random, Operand(random, kMaxBits));
  const mpz_class value = Value(a);
  std::string text = value.get_str(10);
  std::string got = random.OneIn(2) ? "stale" : "";
  BigToDecimal(a, got);
  if (got != text) report.Fail("BigToDecimal: wrong text for " + Describe(a));
  // Back, with what the reader skips: characters before the first '-' or digit, and
  // leading zeros; "-0" is zero flagged Negative.
  const bool negative = a.Sign == kNeg;
  std::string digits = Magnitude(a).get_str(10);
  digits.insert(0, random.Below(3), '0');
  const std::string junk[] = {"", "", " ", "  \t", "+", "abc", "$"};
  text = junk[random.Below(7)] + (negative ? "-" : "") + digits;
  TFGInt back = Record(random.Bits(100), kNeg);
  BigFromDecimal(text, back);
  const std::string mismatch = Mismatch(back, Magnitude(a), a.Sign);
  if (!mismatch.empty()) report.Fail("BigFromDecimal: " + mismatch);
}

void Bits(Random& random, Report& report) {
  const TFGInt a = Signed(random, Operand(random, kMaxBits));
  std::string bits = "stale";
  BigToBits(a, bits);
  if (bits != Magnitude(a).get_str(2)) report.Fail("BigToBits: wrong text for " + Describe(a));
  // A text of any characters: '1' is a one bit and everything else a zero bit.
  std::string text(Size(random, kMaxBits), '0');
  const bool strange = random.OneIn(8);
  for (char& c : text)
    c = random.OneIn(2) ? '1' : strange && random.OneIn(4) ? static_cast<char>(random.Next()) : '0';
  if (random.OneIn(4)) text.insert(0, random.Below(70), '0');
  std::string model = text;
  for (char& c : model)
    c = c == '1' ? '1' : '0';
  TFGInt back;
  BigFromBits(text, back);
  const std::string mismatch = Mismatch(back, mpz_class(model, 2), kPos);
  if (!mismatch.empty()) report.Fail("BigFromBits: " + mismatch);
}

void Bytes(Random& random, Report& report) {
  std::string bytes = RandomBytes(random, ByteCount(random));
  if (random.OneIn(4)) bytes.insert(0, random.Below(10), '\0');
  mpz_class value;
  mpz_import(value.get_mpz_t(), bytes.size(), 1, 1, 1, 0, bytes.data());
  TFGInt a;
  BigFromBytes(bytes, a);
  const std::string mismatch = Mismatch(a, value, kPos);
  if (!mismatch.empty()) report.Fail("BigFromBytes: " + mismatch);

  std::string bits;
  for (const char c : bytes) {
    for (int i = 7; i >= 0; --i)
      bits.push_back(((static_cast<unsigned char>(c) >> i) & 1) ? '1' : '0');
  }
  std::string got = bytes;  // the result may be the input's own string
  BytesToBits(got, got);
  if (got != bits) report.Fail("BytesToBits: wrong bits");
  // Right-aligned: a text cut short at the front gains zero bits there.
  const std::size_t cut = std::min(bits.size(), random.Below(8));
  const std::string shorter = bits.substr(cut);
  std::string back = "stale";
  BitsToBytes(shorter, back);
  std::string expected = bytes;
  if (!expected.empty()) expected[0] = static_cast<char>(expected[0] & (0xFF >> cut));
  if (back != expected) report.Fail("BitsToBytes: wrong bytes");
}

void Base64(Random& random, Report& report) {
  const std::string bytes = RandomBytes(random, ByteCount(random));
  // Bits left-aligned, the last sextet filled with zero bits, no padding.
  std::string text;
  std::uint32_t pending = 0;
  unsigned held = 0;
  for (const char c : bytes) {
    pending = (pending << 8) | static_cast<unsigned char>(c);
    for (held += 8; held >= 6; held -= 6)
      text.push_back(kAlphabet[(pending >> (held - 6)) & 63]);
  }
  if (held > 0) text.push_back(kAlphabet[(pending << (6 - held)) & 63]);
  std::string got = "stale";
  BytesToBase64(bytes, got);
  if (got != text) report.Fail("BytesToBase64: wrong text");
  // Back: characters outside the alphabet are skipped and a final group of fewer than 8 bits
  // is dropped, so the round trip gives the bytes back.
  std::string noisy;
  for (const char c : text) {
    if (random.OneIn(50)) noisy.push_back(random.OneIn(2) ? '\n' : '-');
    noisy.push_back(c);
  }
  std::string back = "stale";
  Base64ToBytes(noisy, back);
  if (back != bytes) report.Fail("Base64ToBytes: wrong bytes");
}

}  // namespace

std::vector<Operation> ConversionOperations() {
  return {{"BigToDecimal, BigFromDecimal", 4, Decimal},
          {"BigToBits, BigFromBits", 3, Bits},
          {"BigFromBytes, BytesToBits, BitsToBytes", 3, Bytes},
          {"BytesToBase64, Base64ToBytes", 2, Base64}};
}

}  // namespace xkit::diff
