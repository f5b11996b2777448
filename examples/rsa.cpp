// RSA: the block operation on the direct and on the Chinese-remainder path.
#include <iostream>
#include <string>

#include "xFGInt/BigInt.h"
#include "xFGIntRSA/xFGIntRSA.h"

int main() {
  using xkit::BigInt;
  // The textbook key: n = 61 * 53, e = 17, d = 2753; dp = d mod 60, dq = d mod 52.
  const BigInt n(3233), d(2753), p(61), q(53), dp(53), dq(49);

  // The cipher of the block 111 followed by the bits of 'A': 1857^17 mod 3233 = 3.
  const std::string cipher("\x00\x03", 2);
  const xkit::TFGInt none;  // an empty exponent record selects the Chinese-remainder path
  std::string direct, crt;
  xkit::RsaDecrypt(cipher, d.Record(), n.Record(), none, none, none, none, direct);
  xkit::RsaDecrypt(cipher, none, n.Record(), dp.Record(), dq.Record(), p.Record(), q.Record(), crt);
  std::cout << direct << " " << crt << "\n";  // "A A"

  try {  // an even modulus is outside the domain
    xkit::RsaDecrypt(cipher, d.Record(), BigInt(3234).Record(), none, none, none, none, direct);
  } catch (const xkit::Exception& error) {
    std::cout << error.what() << "\n";
  }
}
