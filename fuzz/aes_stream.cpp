// AesCryptStream on any bytes, under any key and key size, on each AES path. Deciphering
// gives the whole blocks deciphered one at a time (against OpenSSL for the standard key
// sizes), cut as the final block's count says, or the exact "Invalid file format" with the
// blocks before the final one written; never more output than input. Enciphering gives the
// stream layout, and deciphering it gives the input back. A stream that can tell its size
// and one that cannot (a pipe) give the same bytes.
#include <openssl/evp.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "crypto/aes.h"
#include "crypto/aes_engine.h"
#include "crypto/streams.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace xkit;

constexpr std::size_t kBlock = 16;

// An input that cannot seek and hands out its bytes a few at a time, as a pipe does.
class PipeReader : public std::streambuf {
public:
  PipeReader(const std::string& bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}

protected:
  int_type underflow() override {
    if (at_ == bytes_.size()) return traits_type::eof();
    const std::size_t count = std::min(piece_, bytes_.size() - at_);
    char* begin = const_cast<char*>(bytes_.data()) + at_;
    setg(begin, begin, begin + count);
    at_ += count;
    return traits_type::to_int_type(*begin);
  }

private:
  const std::string& bytes_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

struct Outcome {
  std::string bytes;
  bool invalid = false;
};

// One run of AesCryptStream; only ECipherException "Invalid file format" may leave it.
Outcome Crypt(const std::string& in, const std::string& key, bool encrypt, std::size_t piece) {
  std::istringstream sized(in);
  PipeReader pipe(in, piece);
  std::istream unsized(&pipe);
  std::istream& source = piece == 0 ? static_cast<std::istream&>(sized) : unsized;
  std::ostringstream target;
  Outcome outcome;
  try {
    AesCryptStream(source, target, key.data(), static_cast<std::int32_t>(key.size()), encrypt);
  } catch (const ECipherException& error) {
    FUZZ_CHECK(std::string(error.what()) == "Invalid file format");
    outcome.invalid = true;
  }
  outcome.bytes = target.str();
  return outcome;
}

// Whole blocks one at a time through AesBlock, and through OpenSSL where the key size is
// a standard one (there xkit's key handling is FIPS-197's).
std::string Blocks(const std::string& in, const std::string& key, bool encrypt) {
  TAesKey aesKey;
  AesInitKey(key.data(), static_cast<std::int32_t>(key.size()), aesKey, encrypt);
  std::string out = in.substr(0, in.size() / kBlock * kBlock);
  for (std::size_t at = 0; at < out.size(); at += kBlock)
    AesBlock(aesKey, out.data() + at);

  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                             : key.size() == 24 ? EVP_aes_192_ecb()
                             : key.size() == 32 ? EVP_aes_256_ecb()
                                                : nullptr;
  if (cipher != nullptr && !out.empty()) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    std::string oracle(out.size(), '\0');
    int length = 0;
    FUZZ_CHECK(EVP_CipherInit_ex(context, cipher, nullptr,
                                 reinterpret_cast<const unsigned char*>(key.data()), nullptr,
                                 encrypt ? 1 : 0) == 1);
    EVP_CIPHER_CTX_set_padding(context, 0);
    FUZZ_CHECK(EVP_CipherUpdate(context, reinterpret_cast<unsigned char*>(oracle.data()), &length,
                                reinterpret_cast<const unsigned char*>(in.data()),
                                static_cast<int>(oracle.size())) == 1);
    EVP_CIPHER_CTX_free(context);
    FUZZ_CHECK(oracle == out);
  }
  return out;
}

Outcome ModelDecipher(const std::string& in, const std::string& key) {
  Outcome outcome;
  const std::string plain = Blocks(in, key, false);
  if (plain.empty()) {
    outcome.invalid = true;
    return outcome;
  }
  const std::size_t last = plain.size() - kBlock;
  const auto count = static_cast<unsigned char>(plain[last + kBlock - 1]);
  outcome.bytes = plain.substr(0, last);
  if (count >= kBlock) {
    outcome.invalid = true;
  } else {
    outcome.bytes += plain.substr(last, count);
  }
  return outcome;
}

std::string ModelEncipher(const std::string& in, const std::string& key) {
  const std::size_t whole = in.size() / kBlock * kBlock;
  std::string final = in.substr(whole);
  const auto tail = static_cast<char>(final.size());
  final.resize(kBlock, '\0');
  final[kBlock - 1] = tail;
  return Blocks(in.substr(0, whole) + final, key, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t settings = input.Byte();
  detail::SetAesPath(static_cast<detail::AesPath>(settings % 3));
  const std::size_t piece = 1 + (settings >> 2) % 40;  // how much each pipe read hands out
  // Key sizes cluster on the standard ones, with every other size reachable.
  const std::uint8_t keyChoice = input.Byte();
  const std::size_t keySize = keyChoice < 96 ? 16 + 8 * (keyChoice % 3) : keyChoice - 96;
  std::string key = input.Bytes(keySize);
  key.resize(keySize, '\0');
  const std::string text = input.Rest();

  const Outcome expected = ModelDecipher(text, key);
  for (const std::size_t way : {std::size_t{0}, piece}) {
    const Outcome deciphered = Crypt(text, key, false, way);
    FUZZ_CHECK(deciphered.invalid == expected.invalid);
    FUZZ_CHECK(deciphered.bytes == expected.bytes);
    FUZZ_CHECK(deciphered.bytes.size() <= text.size());
  }

  const std::string layout = ModelEncipher(text, key);
  for (const std::size_t way : {std::size_t{0}, piece}) {
    const Outcome enciphered = Crypt(text, key, true, way);
    FUZZ_CHECK(!enciphered.invalid);
    FUZZ_CHECK(enciphered.bytes == layout);
    const Outcome back = Crypt(enciphered.bytes, key, false, way);
    FUZZ_CHECK(!back.invalid);
    FUZZ_CHECK(back.bytes == text);
  }

  std::string encoded;
  std::string decoded;
  AesCryptString(text, key.data(), static_cast<std::int32_t>(key.size()), true, encoded);
  AesCryptString(encoded, key.data(), static_cast<std::int32_t>(key.size()), false, decoded);
  FUZZ_CHECK(decoded == text);
  return 0;
}
