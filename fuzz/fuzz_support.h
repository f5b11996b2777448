// Shared by the fuzz targets: a check that stops the run with its reason, a reader that takes
// typed values off the fuzz input, and records built and read by GMP, independently of the
// unit under test.
#pragma once

#include <gmpxx.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/gmp_records.h"
#include "xFGInt/xFGInt.h"

namespace xkit::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

// Unlike assert, stays on in every build: a failed check is a finding.
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::xkit::fuzz::Fail(__FILE__, __LINE__, #condition))

// Takes values off the front of the fuzz input; past its end every value is zero or empty.
class Input {
public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Left() const { return size_ - at_; }

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

  std::uint32_t Word() {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i)
      word = (word << 8) | Byte();
    return word;
  }

  // Up to `count` bytes (fewer at the end of the input).
  std::string Bytes(std::size_t count) {
    count = std::min(count, Left());
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), count);
    at_ += count;
    return bytes;
  }

  // A two-byte length below `limit`, then that many bytes.
  std::string Counted(std::size_t limit) {
    const std::size_t count = ((std::size_t{Byte()} << 8) | Byte()) % limit;
    return Bytes(count);
  }

  std::string Rest() { return Bytes(Left()); }

private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// The record invariant: count cell matches the array, digits below 2^31, normalised.
inline bool WellFormed(const TFGInt& a) {
  if (a.Digits.size() < 2 || a.Digits[0] + 1 != a.Digits.size()) return false;
  const std::size_t n = a.Digits[0];
  for (std::size_t i = 1; i <= n; ++i) {
    if ((a.Digits[i] >> 31) != 0) return false;
  }
  return n == 1 || a.Digits[n] != 0;
}

// Records built and read by GMP.
using test::Magnitude;
using test::Record;
using test::Value;

// Well formed, with this magnitude and flag.
inline bool Holds(const TFGInt& a, const mpz_class& magnitude, TBigSign sign) {
  return WellFormed(a) && Magnitude(a) == abs(magnitude) && a.Sign == sign;
}

// A big-endian unsigned byte string as a GMP value.
inline mpz_class FromBytes(const std::string& bytes) {
  mpz_class v;
  mpz_import(v.get_mpz_t(), bytes.size(), 1, 1, 1, 0, bytes.data());
  return v;
}

}  // namespace xkit::fuzz
