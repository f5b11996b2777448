// RSA: the block operation on the direct and on the Chinese-remainder path.
#include <iostream>
#include <string>

#include "xFGInt/xFGInt.h"
#include "xFGIntRSA/xFGIntRSA.h"

int main() {
  using namespace xkit;
  TFGInt n, d, p, q, dp, dq;
  BigFromDecimal("3233", n);  // 61 * 53: the textbook key, e = 17
  BigFromDecimal("2753", d);  // the private exponent
  BigFromDecimal("61", p);
  BigFromDecimal("53", q);
  BigFromDecimal("53", dp);  // d mod (p - 1)
  BigFromDecimal("49", dq);  // d mod (q - 1)

  // The cipher of the block 111 followed by the bits of 'A': 1857^17 mod 3233 = 3.
  const std::string cipher("\x00\x03", 2);
  const TFGInt none;  // an empty exponent record selects the Chinese-remainder path
  std::string direct, crt;
  RsaDecrypt(cipher, d, n, none, none, none, none, direct);
  RsaDecrypt(cipher, none, n, dp, dq, p, q, crt);
  std::cout << direct << " " << crt << "\n";  // "A A"

  try {
    BigFromDecimal("3234", n);  // an even modulus is outside the domain
    RsaDecrypt(cipher, d, n, none, none, none, none, direct);
  } catch (const Exception& error) {
    std::cout << error.what() << "\n";
  }
}
