// Keys for the RSA tests, made with GMP independently of the unit: a modulus of any bit
// length (odd ones too) from two primes with their top two bits set, e = 65537.
#pragma once

#include <gmpxx.h>

#include <string>

#include "tests/gmp_records.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::test {

struct GmpKey {
  mpz_class n, e, d, p, q, dp, dq, qinv;
};

// A key whose modulus has exactly `bits` bits (bits >= 8), p > q.
GmpKey MakeKey(std::size_t bits, gmp_randclass& random);

// The key as a record, every field filled.
TRsaKey RecordsOf(const GmpKey& key);

// The big-endian bytes of a value (none for zero).
std::string BytesOf(const mpz_class& x);

}  // namespace xkit::test
