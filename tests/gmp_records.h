// Records built and read by GMP, independently of the big-integer unit: shared by its tests
// and by the fuzz targets. Digits are 31-bit, least significant first, after the count cell.
#pragma once

#include <gmpxx.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xFGInt/xFGInt.h"

namespace xkit::test {

// A record holding |magnitude| with the given flag.
inline TFGInt Record(const mpz_class& magnitude, TBigSign sign = TBigSign::Positive) {
  const mpz_class m = abs(magnitude);
  std::vector<std::uint32_t> digits(mpz_sizeinbase(m.get_mpz_t(), 2) / 31 + 2);
  std::size_t count = 0;
  // 32-bit words with one nail bit: 31-bit digits.
  mpz_export(digits.data(), &count, -1, 4, 0, 1, m.get_mpz_t());
  if (count == 0) digits[count++] = 0;
  TFGInt a;
  a.Sign = sign;
  a.Digits.assign(1, static_cast<std::uint32_t>(count));
  a.Digits.insert(a.Digits.end(), digits.begin(),
                  digits.begin() + static_cast<std::ptrdiff_t>(count));
  return a;
}

// The magnitude of a record; zero for one without digits.
inline mpz_class Magnitude(const TFGInt& a) {
  mpz_class m;
  if (a.Digits.size() < 2) return m;
  mpz_import(m.get_mpz_t(), a.Digits.size() - 1, -1, 4, 0, 1, a.Digits.data() + 1);
  return m;
}

// The signed value of a record.
inline mpz_class Value(const TFGInt& a) {
  const mpz_class m = Magnitude(a);
  return a.Sign == TBigSign::Negative ? mpz_class(-m) : m;
}

}  // namespace xkit::test
