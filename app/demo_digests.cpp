// The digests section of `xkit demo`: MD5 of a well-known sentence and the pi digest that turns
// a short text into a 16-byte key, each checked against its known value.
#include <ostream>
#include <string>

#include "app/demo.h"
#include "crypto/digests.h"

namespace xkit::demo {

bool DemoDigests(std::ostream& out) {
  const std::string sentence = "The quick brown fox jumps over the lazy dog";
  TMd5Digest md5;
  Md5OfString(md5, sentence);
  std::string md5Hex;
  BytesToHex(md5.data(), static_cast<std::int32_t>(md5.size()), md5Hex);
  out << "  MD5(\"" << sentence << "\")\n    = " << md5Hex << "\n";

  const std::string phrase = "abc";
  std::uint8_t key[16];
  PiDigestOfString(key, sizeof key, phrase);
  std::string keyHex;
  BytesToHex(key, sizeof key, keyHex);
  out << "  pi digest of \"" << phrase << "\", 16 bytes (a 128-bit key)\n    = " << keyHex << "\n";

  return md5Hex == "9E107D9D372BB6826BD81D3542A419D6" &&
         keyHex == "2AA17BAA76A4C4CD4B73A5F934B4CC1A";
}

}  // namespace xkit::demo
