// AES: a text enciphered into Base64 and back with a pass phrase's key, and a stream
// enciphered in the xkit stream layout.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "crypto/aes.h"
#include "crypto/digests.h"
#include "crypto/streams.h"

int main() {
  // A 16-byte key from a pass phrase, as the string operation is usually keyed.
  std::uint8_t key[16];
  xkit::PiDigestOfString(key, sizeof key, "open sesame");

  std::string cipher, plain;
  xkit::AesCryptString("meet at noon", key, sizeof key, true, cipher);
  xkit::AesCryptString(cipher, key, sizeof key, false, plain);
  std::cout << cipher << " -> " << plain << "\n";

  // Streams: any std::istream / std::ostream (files, memory, standard input).
  std::istringstream input("seventeen bytes!!");
  std::stringstream enciphered;
  xkit::AesCryptStream(input, enciphered, key, sizeof key, true);
  std::cout << enciphered.str().size() << " bytes enciphered\n";  // 32
  std::ostringstream deciphered;
  try {
    xkit::AesCryptStream(enciphered, deciphered, key, sizeof key, false);
  } catch (const xkit::ECipherException& error) {  // wrong key or damaged data
    std::cerr << error.what() << "\n";
    return 1;
  }
  std::cout << deciphered.str() << "\n";

  // One block with a raw key record: any key length is accepted (here 20 bytes, 11 rounds).
  xkit::TAesKey aesKey;
  xkit::AesInitKey("twenty bytes of key!", 20, aesKey, true);
  std::uint8_t block[16] = {};
  xkit::AesBlock(aesKey, block);
}
