// The cipher section of `xkit demo`: a text enciphered into Base64 and back with a key made
// from a pass phrase, and a file enciphered and deciphered in the xkit stream layout.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>

#include "app/demo.h"
#include "crypto/digests.h"
#include "crypto/streams.h"

namespace xkit::demo {
namespace {

// A file in the temporary folder, removed when done with.
struct ScratchFile {
  std::filesystem::path path;
  explicit ScratchFile(const std::string& name)
      : path(std::filesystem::temp_directory_path() /
             ("xkit-demo-" + std::to_string(std::random_device()()) + "-" + name)) {}
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

void CryptFile(const ScratchFile& from, const ScratchFile& to, const std::uint8_t* key,
               bool encrypt) {
  std::ifstream input(from.path, std::ios::binary);
  std::ofstream output(to.path, std::ios::binary);
  AesCryptStream(input, output, key, 16, encrypt);
}

}  // namespace

bool DemoCipher(std::ostream& out) {
  const std::string phrase = "open sesame";
  std::uint8_t key[16];
  PiDigestOfString(key, sizeof key, phrase);
  out << "  key: the 16-byte pi digest of \"" << phrase << "\"\n";

  const std::string text = "Meet me at the old mill at noon.";
  std::string cipher, back;
  AesCryptString(text, key, sizeof key, true, cipher);
  AesCryptString(cipher, key, sizeof key, false, back);
  out << "  AesCryptString(\"" << text << "\")\n    = " << cipher << "\n"
      << "  and back: \"" << back << "\"\n";

  ScratchFile plainFile("plain.txt"), cipherFile("plain.aes"), backFile("back.txt");
  std::string content;
  for (int line = 1; line <= 10; ++line)
    content += "line " + std::to_string(line) + " of a small file\n";
  std::ofstream(plainFile.path, std::ios::binary) << content;
  CryptFile(plainFile, cipherFile, key, true);
  CryptFile(cipherFile, backFile, key, false);
  std::ostringstream restored;
  restored << std::ifstream(backFile.path, std::ios::binary).rdbuf();
  const auto cipherSize = std::filesystem::file_size(cipherFile.path);
  out << "  a file of " << content.size() << " bytes enciphers to " << cipherSize
      << " bytes (whole blocks, the last holding the tail's length)\n"
      << "  deciphered: " << (restored.str() == content ? "identical" : "DIFFERENT") << "\n";

  return back == text && restored.str() == content && cipherSize == (content.size() / 16 + 1) * 16;
}

}  // namespace xkit::demo
