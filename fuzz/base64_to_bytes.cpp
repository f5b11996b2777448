// Base64ToBytes and BytesToBase64 in xkit's own alphabet. The input read as text decodes as
// a plain bit accumulator would (characters outside the alphabet skipped, a last group of
// fewer than 8 bits dropped); read as bytes it encodes to alphabet characters only and
// decodes back to the same bytes.
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

using namespace xkit;

constexpr char kAlphabet[] = "aAbBcCdDeEfFgGhHiIjJkKlLmMnNoOpPqQrRsStTuUvVwWxXyYzZ0123456789+=";

int SextetValue(char c) {
  for (int v = 0; v < 64; ++v) {
    if (kAlphabet[v] == c) return v;
  }
  return -1;
}

std::string ModelDecode(const std::string& text) {
  std::string bits;
  for (const char c : text) {
    const int v = SextetValue(c);
    for (int i = 5; v >= 0 && i >= 0; --i)
      bits.push_back(static_cast<char>('0' + ((v >> i) & 1)));
  }
  std::string bytes;
  for (std::size_t i = 0; i + 8 <= bits.size(); i += 8)
    bytes.push_back(static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2)));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string decoded;
  Base64ToBytes(input, decoded);
  FUZZ_CHECK(decoded == ModelDecode(input));

  std::string text;
  BytesToBase64(input, text);
  FUZZ_CHECK(text.size() == (8 * input.size() + 5) / 6);
  FUZZ_CHECK(text.find_first_not_of(kAlphabet) == std::string::npos);
  std::string back;
  Base64ToBytes(text, back);
  FUZZ_CHECK(back == input);
  return 0;
}
