// The cipher section of `xkit demo`: a pass phrase turned into a key, a text enciphered into
// Base64 and back, and a file enciphered and deciphered in the xkit stream layout with a
// progress bar fed by the cipher's progress hook.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>

#include "app/demo.h"
#include "app/progress.h"
#include "crypto/digests.h"
#include "crypto/streams.h"

namespace xkit::demo {
namespace {

constexpr std::size_t kFileSize = 4 << 20;

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

void CryptFile(std::ostream& out, const ScratchFile& from, const ScratchFile& to,
               const std::uint8_t* key, bool encrypt) {
  std::ifstream input(from.path, std::ios::binary);
  std::ofstream output(to.path, std::ios::binary);
  cli::ProgressBar bar(out, encrypt ? "  enciphering" : "  deciphering",
                       cli::ReportProgressMode(out));
  {
    const cli::CipherProgress progress(bar, input);
    AesCryptStream(input, output, key, 16, encrypt);
  }
  bar.Finish();
}

}  // namespace

bool DemoCipher(std::ostream& out) {
  const std::string phrase = "open sesame";
  std::uint8_t key[16];
  PiDigestOfString(key, sizeof key, phrase);
  std::string keyHex;
  BytesToHex(key, sizeof key, keyHex);
  out << "  key: the 16-byte pi digest of \"" << phrase << "\" = " << keyHex << "\n";

  const std::string text = "Meet me at the old mill at noon.";
  std::string cipher, back;
  AesCryptString(text, key, sizeof key, true, cipher);
  AesCryptString(cipher, key, sizeof key, false, back);
  out << "  \"" << text << "\" enciphered, in Base64:\n    " << cipher << "\n"
      << "  and deciphered: \"" << back << "\"\n";

  ScratchFile plainFile("plain.txt"), cipherFile("plain.aes"), backFile("back.txt");
  std::string content;
  for (int line = 1; content.size() < kFileSize; ++line)
    content += "line " + std::to_string(line) + " of a file enciphered block by block\n";
  std::ofstream(plainFile.path, std::ios::binary) << content;
  out << "  a file of " << content.size() << " bytes:\n";
  CryptFile(out, plainFile, cipherFile, key, true);
  CryptFile(out, cipherFile, backFile, key, false);
  std::ostringstream restored;
  restored << std::ifstream(backFile.path, std::ios::binary).rdbuf();
  const auto cipherSize = std::filesystem::file_size(cipherFile.path);
  out << "  enciphered: " << cipherSize
      << " bytes (whole blocks, the last holding the tail's length)\n"
      << "  deciphered: " << (restored.str() == content ? "identical" : "DIFFERENT") << "\n";

  return back == text && restored.str() == content && cipherSize == (content.size() / 16 + 1) * 16;
}

}  // namespace xkit::demo
