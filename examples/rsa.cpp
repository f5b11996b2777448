// RSA: a new key, a message encrypted into the block layout and decrypted with the prepared
// private key and with RsaDecrypt itself, and the block operation on the textbook key.
#include <iostream>
#include <string>

#include "xFGInt/BigInt.h"
#include "xFGIntRSA/xFGIntRSA.h"

int main() {
  // A 2048-bit key with e = 65537, made by the rules of FIPS 186-5 from the system's
  // random generator.
  xkit::TRsaKey key;
  xkit::RsaGenerateKey(2048, key);

  // Anyone with n and e encrypts: "111" and the message's bits, in blocks below n.
  std::string cipher;
  xkit::RsaEncrypt("Meet me at ten.", key.PublicExponent, key.Modulus, cipher);

  // The private key prepared once (Montgomery constants, the coefficient) for any number of
  // decryptions, from any number of threads.
  xkit::TRsaPreparedKey prepared;
  xkit::RsaPrepareKey(key, prepared);
  std::string plain;
  xkit::RsaDecryptPrepared(cipher, prepared, plain);
  std::cout << cipher.size() << " bytes: " << plain << "\n";  // 256 bytes: Meet me at ten.

  // RsaDecrypt takes the values themselves; an empty exponent selects the Chinese-remainder
  // path (p, q, d mod (p - 1), d mod (q - 1)), a non-empty one the direct path.
  const xkit::TFGInt none;
  std::string crt, direct;
  xkit::RsaDecrypt(cipher, none, key.Modulus, key.ExponentModP, key.ExponentModQ, key.P, key.Q,
                   crt);
  xkit::RsaDecrypt(cipher, key.PrivateExponent, key.Modulus, none, none, none, none, direct);
  std::cout << crt << " / " << direct << "\n";

  // The block operation on the textbook key n = 61 * 53, e = 17, d = 2753: the block 111
  // followed by the bits of 'A' is 1857, and 1857^17 mod 3233 = 3.
  using xkit::BigInt;
  const BigInt n(3233), d(2753);
  xkit::RsaDecrypt(std::string("\x00\x03", 2), d.Record(), n.Record(), none, none, none, none,
                   plain);
  std::cout << plain << "\n";  // A

  try {  // an even modulus is outside the domain
    xkit::RsaEncrypt("A", BigInt(17).Record(), BigInt(3234).Record(), cipher);
  } catch (const xkit::Exception& error) {
    std::cout << error.what() << "\n";
  }
}
