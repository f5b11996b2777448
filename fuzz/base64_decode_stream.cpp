// Base64DecodeStream on any text: the bytes a group-by-group reading gives, or the exact
// "Invalid Base64 Character" with the bytes of the 88-character stretches before the bad
// group already written. The first input byte picks the vector or the scalar coder. The
// input read as bytes also goes through Base64EncodeStream, against OpenSSL, and back.
#include <openssl/evp.h>

#include <sstream>
#include <string>

#include "crypto/base64.h"
#include "crypto/streams.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace xkit;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// -1 outside "+" to "z"; the digit value, or 127 for the other characters of that range.
int CharValue(char c) {
  if (c < '+' || c > 'z') return -1;
  for (int v = 0; v < 64; ++v) {
    if (kAlphabet[v] == c) return v;
  }
  return 127;
}

struct Decoded {
  std::string bytes;
  bool valid = true;
  std::size_t invalidAt = 0;  // the offset of the first bad group
};

// Groups of four; "=" in the third place ends a group after one byte, in the fourth after
// two. A short last group reads as if padded with "=".
Decoded ModelDecode(const std::string& text) {
  Decoded out;
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const std::size_t count = std::min<std::size_t>(4, text.size() - at);
    int v[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < count; ++k) {
      v[k] = CharValue(text[at + k]);
      if (v[k] < 0) {
        out.valid = false;
        out.invalidAt = at;
        return out;
      }
    }
    const bool pad2 = count < 3 || text[at + 2] == '=';
    const bool pad3 = count < 4 || text[at + 3] == '=';
    if (count == 1) continue;
    out.bytes.push_back(static_cast<char>((v[0] << 2) | (v[1] >> 4)));
    if (pad2) continue;
    out.bytes.push_back(static_cast<char>((v[1] << 4) | (v[2] >> 2)));
    if (pad3) continue;
    out.bytes.push_back(static_cast<char>((v[2] << 6) | v[3]));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  detail::SetBase64Avx2Enabled((input.Byte() & 1) != 0);
  const std::string text = input.Rest();

  const Decoded expected = ModelDecode(text);
  std::istringstream source(text);
  std::ostringstream target;
  try {
    Base64DecodeStream(source, target);
    FUZZ_CHECK(expected.valid);
    FUZZ_CHECK(target.str() == expected.bytes);
  } catch (const Exception& error) {
    FUZZ_CHECK(!expected.valid);
    FUZZ_CHECK(std::string(error.what()) == "Invalid Base64 Character");
    FUZZ_CHECK(dynamic_cast<const ECipherException*>(&error) == nullptr);
    const std::size_t before = expected.invalidAt - expected.invalidAt % 88;
    FUZZ_CHECK(target.str() == ModelDecode(text.substr(0, before)).bytes);
  }

  std::istringstream plain(text);
  std::ostringstream encoded;
  Base64EncodeStream(plain, encoded);
  std::string oracle(4 * ((text.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(oracle.data()),
                                     reinterpret_cast<const unsigned char*>(text.data()),
                                     static_cast<int>(text.size()));
  oracle.resize(static_cast<std::size_t>(length));
  FUZZ_CHECK(encoded.str() == oracle);
  std::istringstream again(oracle);
  std::ostringstream back;
  Base64DecodeStream(again, back);
  FUZZ_CHECK(back.str() == text);
  return 0;
}
