// Digests: MD5 of a text, and a 16-byte key from a pass phrase with the pi digest.
#include <cstdint>
#include <iostream>
#include <string>

#include "crypto/digests.h"

int main() {
  xkit::TMd5Digest md5;
  xkit::Md5OfString(md5, "abc");
  std::string hex;
  xkit::BytesToHex(md5.data(), 16, hex);
  std::cout << "MD5:       " << hex << "\n";  // 900150983CD24FB0D6963F7D28E17F72

  // Incremental use: any split of the input gives the same digest.
  xkit::TPiDigestAccumulator acc;
  xkit::PiDigestInit(acc);
  xkit::PiDigestUpdate(acc, "a", 1);
  xkit::PiDigestUpdate(acc, "bc", 2);
  std::uint8_t key[16];
  xkit::PiDigestFinal(acc, key, sizeof key);
  xkit::BytesToHex(key, sizeof key, hex);
  std::cout << "pi digest: " << hex << "\n";  // 2AA17BAA76A4C4CD4B73A5F934B4CC1A
}
