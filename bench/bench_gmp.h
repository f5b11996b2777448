// Shared by the benchmark files: an owned GMP integer for the peers' side.
#pragma once

#include <gmp.h>

struct Mpz {
  mpz_t value;
  Mpz() { mpz_init(value); }
  ~Mpz() { mpz_clear(value); }
  Mpz(const Mpz&) = delete;
  Mpz& operator=(const Mpz&) = delete;
};
