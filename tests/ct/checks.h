// The constant-time check's vocabulary. The program runs the library's secret-handling
// operations with the secret bytes marked undefined for Valgrind's Memcheck, which then
// reports every conditional branch and every memory address that depends on them (the
// ctgrind method). Results are marked defined again before they are compared, so the
// comparison itself is not reported. Outside Valgrind the marks do nothing and the program
// only checks the results.
#pragma once

#include <valgrind/memcheck.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xFGInt/xFGInt.h"

namespace xkit::ct {

// Memcheck: the bytes are undefined from now on (secret).
inline void Secret(const void* data, std::size_t size) {
  (void)VALGRIND_MAKE_MEM_UNDEFINED(data, size);
}
// Memcheck: the bytes are defined from now on (public).
inline void Public(const void* data, std::size_t size) {
  (void)VALGRIND_MAKE_MEM_DEFINED(data, size);
}
inline void Secret(const std::string& bytes) {
  Secret(bytes.data(), bytes.size());
}
inline void Public(const std::string& bytes) {
  Public(bytes.data(), bytes.size());
}
// A record's digits are secret; its count cell and its flag, its length and sign, are not.
inline void SecretDigits(const TFGInt& a) {
  Secret(a.Digits.data() + 1, (a.Digits.size() - 1) * sizeof(std::uint32_t));
}
inline void Public(const TFGInt& a) {
  Public(&a.Sign, sizeof a.Sign);
  Public(a.Digits.data(), a.Digits.size() * sizeof(std::uint32_t));
}

// Records a wrong result (the secret run must compute what the public one did).
void Expect(bool ok, const std::string& what);

// One check: a name and a body that runs on the paths the caller has selected.
struct Check {
  const char* name;
  void (*run)();
};

// The checks of the big-integer unit and RSA, and of the cipher unit.
std::vector<Check> BigIntegerChecks();
std::vector<Check> CipherChecks();
std::vector<Check> DigestChecks();

}  // namespace xkit::ct
