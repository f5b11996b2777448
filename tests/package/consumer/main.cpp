// Uses one thing from each installed unit, with the include paths of the xkit tree.
#include <iostream>
#include <string>

#include "crypto/digests.h"
#include "crypto/streams.h"
#include "xFGInt/BigInt.h"
#include "xFGIntRSA/xFGIntRSA.h"
#include "xHTTPGet/xHTTPGet.h"

int main() {
  const xkit::BigInt a("123456789012345678901234567890");
  std::cout << "product " << a * a << "\n";

  std::string hex;
  xkit::TMd5Digest md5;
  xkit::Md5OfString(md5, "abc");
  xkit::BytesToHex(md5.data(), 16, hex);
  std::cout << "md5 " << hex << "\n";

  std::string cipher, plain;
  xkit::AesCryptString("round trip", md5.data(), 16, true, cipher);
  xkit::AesCryptString(cipher, md5.data(), 16, false, plain);
  std::cout << "aes " << plain << "\n";

  std::string rsa;
  const xkit::TFGInt none;
  xkit::RsaDecrypt(std::string("\x00\x03", 2), xkit::BigInt(2753).Record(),
                   xkit::BigInt(3233).Record(), none, none, none, none, rsa);
  std::cout << "rsa " << rsa << "\n";

  const xkit::THTTPGet get(nullptr);  // links the HTTP client and libcurl under it
  std::cout << "agent " << get.Agent << "\n";
}
