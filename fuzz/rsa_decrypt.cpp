// RsaDecrypt on any text under fixed small keys: the direct path with the private exponent
// equals the Chinese-remainder path, both equal the block layout worked out bit by bit
// with GMP, and the result may be written over the text. The public exponent's direct path
// is checked against the same model.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "xFGInt/limbs.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace {

using namespace xkit;
using fuzz::Record;

struct Key {
  mpz_class n, e, d, p, q, dp, dq;
};

// Two primes from fixed starting points, stepped until e = 65537 is invertible: keys from
// a 13-bit modulus (input blocks narrower than a byte) up to 700 bits, one of 62 bits so
// that the block width is a whole number of 31-bit digits.
std::vector<Key> MakeKeys() {
  const char* starts[][2] = {{"71", "97"},
                             {"1900000000", "2147483659"},
                             {"18446744073709551629", "340282366920938463463374607431768211507"},
                             {"2", "3"}};
  std::vector<Key> keys;
  for (auto& start : starts) {
    Key key;
    key.e = 65537;
    key.p = mpz_class(start[0]);
    key.q = mpz_class(start[1]);
    if (key.p == 2) {  // the large one: two 350-bit primes
      key.p = (mpz_class(1) << 349) + 12345;
      key.q = (mpz_class(1) << 350) + 67891;
    }
    for (;;) {
      mpz_nextprime(key.p.get_mpz_t(), key.p.get_mpz_t());
      mpz_nextprime(key.q.get_mpz_t(), key.q.get_mpz_t());
      const mpz_class phi = (key.p - 1) * (key.q - 1);
      if (key.p != key.q && mpz_invert(key.d.get_mpz_t(), key.e.get_mpz_t(), phi.get_mpz_t()) != 0)
        break;
    }
    key.n = key.p * key.q;
    key.dp = key.d % (key.p - 1);
    key.dq = key.d % (key.q - 1);
    keys.push_back(key);
  }
  return keys;
}

const std::vector<Key>& Keys() {
  static const std::vector<Key> keys = MakeKeys();
  return keys;
}

// The operation as its contract reads, on texts of "0" and "1".
std::string Model(const std::string& text, const mpz_class& exponent, const mpz_class& n) {
  std::string bits;
  for (const char c : text) {
    for (int i = 7; i >= 0; --i)
      bits.push_back(static_cast<char>('0' + ((static_cast<unsigned char>(c) >> i) & 1)));
  }
  bits.erase(0, std::min(bits.size(), bits.find_first_not_of('0')));
  const std::size_t width = mpz_sizeinbase(n.get_mpz_t(), 2);
  if (bits.size() % width != 0) bits.insert(0, width - bits.size() % width, '0');
  std::string out;
  for (std::size_t at = 0; at < bits.size(); at += width) {
    const mpz_class block(bits.substr(at, width), 2);
    mpz_class value;
    if (block != 0)
      mpz_powm(value.get_mpz_t(), block.get_mpz_t(), exponent.get_mpz_t(), n.get_mpz_t());
    std::string valueBits = value.get_str(2);
    const std::size_t unit = width - 1;
    if (valueBits.size() % unit != 0) valueBits.insert(0, unit - valueBits.size() % unit, '0');
    out += valueBits;
  }
  const std::size_t marker = out.find("111");
  out = marker == std::string::npos ? std::string() : out.substr(marker + 3);
  if (out.size() % 8 != 0) out.insert(0, 8 - out.size() % 8, '0');
  std::string bytes;
  for (std::size_t at = 0; at < out.size(); at += 8)
    bytes.push_back(static_cast<char>(std::stoi(out.substr(at, 8), nullptr, 2)));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t settings = input.Byte();
  detail::SelectKernelPath(static_cast<detail::KernelPath>(settings % 4));
  const Key& key = Keys()[(settings >> 2) % Keys().size()];
  // Key values are read by their magnitudes: the input picks their flags too.
  const auto flag = [settings](int bit) {
    return ((settings >> (4 + bit % 4)) & 1) != 0 ? TBigSign::Negative : TBigSign::Positive;
  };
  const TFGInt n = Record(key.n, flag(0));
  const TFGInt d = Record(key.d, flag(1));
  const TFGInt e = Record(key.e, flag(2));
  const TFGInt dp = Record(key.dp, flag(3));
  const TFGInt dq = Record(key.dq, flag(0));
  const TFGInt p = Record(key.p, flag(1));
  const TFGInt q = Record(key.q, flag(2));
  const TFGInt none;
  const std::string text = input.Rest();

  const std::string expected = Model(text, key.d, key.n);
  std::string direct;
  RsaDecrypt(text, d, n, none, none, none, none, direct);
  FUZZ_CHECK(direct == expected);
  std::string crt = text;
  RsaDecrypt(crt, none, n, dp, dq, p, q, crt);
  FUZZ_CHECK(crt == expected);

  std::string pub;
  RsaDecrypt(text, e, n, n, n, n, n, pub);
  FUZZ_CHECK(pub == Model(text, key.e, key.n));
  return 0;
}
