// The digests section of `xkit demo`: the pi digest of "abc", the 16 bytes that usually key
// the cipher, and MD5 of a well-known sentence, each checked against its known value.
#include <cstdint>
#include <ostream>
#include <string>

#include "app/demo.h"
#include "crypto/digests.h"

namespace xkit::demo {

bool DemoDigests(std::ostream& out) {
  std::uint8_t pi[16];
  PiDigestOfString(pi, sizeof pi, "abc");
  std::string piHex;
  BytesToHex(pi, sizeof pi, piHex);
  out << "  pi digest of \"abc\", 16 bytes:";
  for (const std::uint8_t byte : pi)
    out << " " << static_cast<int>(byte);
  out << "\n    in hex: " << piHex << "\n";

  const std::string sentence = "The quick brown fox jumps over the lazy dog";
  TMd5Digest md5;
  Md5OfString(md5, sentence);
  std::string md5Hex;
  BytesToHex(md5.data(), static_cast<std::int32_t>(md5.size()), md5Hex);
  out << "  MD5 of \"" << sentence << "\"\n    = " << md5Hex << "\n";

  return piHex == "2AA17BAA76A4C4CD4B73A5F934B4CC1A" &&
         md5Hex == "9E107D9D372BB6826BD81D3542A419D6";
}

}  // namespace xkit::demo
