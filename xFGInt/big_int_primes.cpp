// The random-number and prime functions of xkit::BigInt, over BigRandomBits, BigRandomBelow,
// BigIsProbablePrime and BigNextPrime.
#include "xFGInt/BigInt.h"

namespace xkit {

BigInt RandomBits(std::size_t bits) {
  TFGInt r;
  BigRandomBits(bits, r);
  return BigInt(std::move(r));
}

BigInt RandomBelow(const BigInt& bound) {
  TFGInt r;
  BigRandomBelow(bound.Record(), r);
  return BigInt(std::move(r));
}

bool IsProbablePrime(const BigInt& a) {
  return BigIsProbablePrime(a.Record());
}

BigInt NextPrime(const BigInt& a) {
  TFGInt r;
  BigNextPrime(a.Record(), r);
  return BigInt(std::move(r));
}

}  // namespace xkit
