// The bit-string pivot: BigFromBytes, BigToBits, BytesToBits, BigFromBits and BitsToBytes.
// The input as bytes gives the value GMP reads from them, whose bits go back to the same
// bytes without their leading zeros; the input as a bit text ("1" a one bit, anything else
// a zero bit) gives the value and the right-aligned bytes a plain reading gives.
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

using namespace xkit;

// The bit text's value as GMP reads it, and its bytes, right-aligned.
mpz_class ModelBitsValue(const std::string& text) {
  std::string binary = "0";
  for (const char c : text)
    binary.push_back(c == '1' ? '1' : '0');
  return mpz_class(binary, 2);
}

std::string ModelBitsToBytes(const std::string& text) {
  std::string bytes((text.size() + 7) / 8, '\0');
  const std::size_t pad = bytes.size() * 8 - text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '1') {
      const std::size_t bit = pad + i;
      bytes[bit / 8] = static_cast<char>(bytes[bit / 8] | (0x80 >> (bit % 8)));
    }
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // The input as bytes.
  const mpz_class value = fuzz::FromBytes(input);
  TFGInt a;
  BigFromBytes(input, a);
  FUZZ_CHECK(fuzz::Holds(a, value, TBigSign::Positive));

  std::string bits;
  BigToBits(a, bits);
  FUZZ_CHECK(bits == value.get_str(2));

  std::string bytes;
  BitsToBytes(bits, bytes);
  const std::size_t lead = input.find_first_not_of('\0');
  FUZZ_CHECK(bytes == (lead == std::string::npos ? std::string(1, '\0') : input.substr(lead)));

  std::string allBits;
  BytesToBits(input, allBits);
  FUZZ_CHECK(allBits.size() == 8 * input.size());
  FUZZ_CHECK(ModelBitsToBytes(allBits) == input);
  TFGInt fromBits;
  BigFromBits(allBits, fromBits);
  FUZZ_CHECK(fuzz::Holds(fromBits, value, TBigSign::Positive));
  BitsToBytes(allBits, bytes);
  FUZZ_CHECK(bytes == input);

  // The input as a bit text.
  BigFromBits(input, fromBits);
  FUZZ_CHECK(fuzz::Holds(fromBits, ModelBitsValue(input), TBigSign::Positive));
  BitsToBytes(input, bytes);
  FUZZ_CHECK(bytes == ModelBitsToBytes(input));
  return 0;
}
