// Primality: known primes and the composites that fool each half of Baillie-PSW (Carmichael
// numbers, strong pseudoprimes to many bases, Lucas pseudoprimes), each half on its own
// against the lists, every number below 20,000 exactly, GMP as the oracle on random numbers
// and on the next prime, on every kernel path.
#include <fstream>
#include <sstream>

#include "tests/xFGInt/support.h"
#include "xFGInt/BigInt.h"
#include "xFGInt/primes.h"

namespace xkit::test {
namespace {

// The first field of every line of a data file, and the rest of the line.
struct Entry {
  mpz_class value;
  std::string note;
};

std::vector<Entry> Entries(const std::string& name) {
  const std::string path = std::string(XKIT_TEST_DATA_DIR) + "/" + name;
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::vector<Entry> entries;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line.front() == '#') continue;
    std::istringstream fields(line);
    std::string value;
    fields >> value;
    Entry entry{mpz_class(value), ""};
    std::getline(fields >> std::ws, entry.note);
    entries.push_back(entry);
  }
  return entries;
}

std::vector<detail::Limb> Limbs(const mpz_class& x) {
  return LimbsOf(x, (mpz_sizeinbase(x.get_mpz_t(), 2) + 63) / 64);
}

bool IsPrime(const mpz_class& x) {
  return BigIsProbablePrime(Record(x));
}

class Primality : public EachKernelPath {};

TEST_P(Primality, KnownPrimesPass) {
  for (const Entry& prime : Entries("primes_known.txt")) {
    EXPECT_TRUE(IsPrime(prime.value)) << prime.note;
    EXPECT_TRUE(BigIsProbablePrime(Record(prime.value, kNeg))) << "by magnitude: " << prime.note;
  }
}

TEST_P(Primality, CompositesThatFoolHalfTheTestFail) {
  for (const char* file : {"carmichael.txt", "strong_pseudoprimes.txt", "lucas_pseudoprimes.txt"}) {
    for (const Entry& composite : Entries(file))
      EXPECT_FALSE(IsPrime(composite.value)) << file << ": " << composite.value;
  }
  // Squares of primes above the trial-division bound, and products of two large primes.
  const mpz_class p("170141183460469231731687303715884105727");  // 2^127 - 1
  const mpz_class composites[] = {4099 * 4099, mpz_class(16777259) * 16777259, p * p,
                                  p * mpz_class("18446744073709551629")};
  for (const mpz_class& composite : composites) {
    EXPECT_FALSE(IsPrime(composite)) << composite;
  }
}

TEST_P(Primality, RandomNumbersAndNextPrimesMatchGmp) {
  RandomValues random(41);
  for (int i = 0; i < 300; ++i) {
    const std::size_t bits = 2 + random.Below(i < 250 ? 300 : 1100);
    const mpz_class x = random.Bits(bits) | 1;
    ASSERT_EQ(IsPrime(x), mpz_probab_prime_p(x.get_mpz_t(), 30) != 0) << x;
    if (i % 10 == 0) {
      mpz_class expected;
      mpz_nextprime(expected.get_mpz_t(), x.get_mpz_t());
      TFGInt next;
      BigNextPrime(Record(x), next);
      ASSERT_TRUE(Holds(next, expected, kPos)) << x;
    }
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(Primality);

TEST(PrimalityCases, EveryNumberBelowTwentyThousandExactly) {
  std::vector<bool> composite(20000, false);
  composite[0] = composite[1] = true;
  for (std::size_t i = 2; i < composite.size(); ++i) {
    for (std::size_t j = i * i; j < composite.size(); j += i)
      composite[j] = true;
  }
  for (std::size_t i = 0; i < composite.size(); ++i)
    ASSERT_EQ(IsPrime(i), !composite[i]) << i;
}

TEST(PrimalityCases, NextPrimeAtTheEdges) {
  struct Case {
    const char* from;
    const char* next;
  };
  const Case cases[] = {
      {"-100", "2"},
      {"0", "2"},
      {"1", "2"},
      {"2", "3"},
      {"3", "5"},
      {"4092", "4093"},
      {"4093", "4099"},
      {"18446744073709551557", "18446744073709551629"},  // 2^64 - 59 to 2^64 + 13
      {"18446744073709551615", "18446744073709551629"},  // from the top of one limb
  };
  for (const Case& c : cases) {
    TFGInt next;
    BigNextPrime(Record(c.from), next);
    EXPECT_TRUE(Holds(next, mpz_class(c.next), kPos)) << c.from;
  }
  // The result may be the operand.
  TFGInt a = Record("100");
  BigNextPrime(a, a);
  EXPECT_TRUE(Holds(a, 101, kPos));
}

TEST(PrimalityCases, PrimesWithManyFactorsOfTwoInPMinusOne) {
  // p - 1 = c 2^s with s around and beyond the fixed count of masked squarings, which key
  // generation alone declines.
  constexpr unsigned kFixed = detail::kMillerRabinSquarings;
  for (const unsigned s : {kFixed - 1, kFixed, kFixed + 1, 40u, 100u}) {
    mpz_class p = (mpz_class(1) << s) + 1;
    while (mpz_probab_prime_p(p.get_mpz_t(), 30) == 0)
      p += mpz_class(2) << s;  // c odd: exactly s factors of two
    EXPECT_TRUE(IsPrime(p)) << p;
    EXPECT_FALSE(IsPrime(p * 4099)) << p;
    const auto w = Limbs(p);
    EXPECT_EQ(detail::MillerRabin(w.data(), w.size()).FixedSquarings(), s <= kFixed) << p;
  }
}

TEST(PrimalityCases, BigIntFunctions) {
  const BigInt p = NextPrime(BigInt("1000000000000000000000"));  // 10^21 + 117
  EXPECT_EQ(p, BigInt("1000000000000000000117"));                // checked with `openssl prime`
  EXPECT_TRUE(IsProbablePrime(p));
  EXPECT_FALSE(IsProbablePrime(p * 3));
  const BigInt r = RandomBelow(p);
  EXPECT_FALSE(r.IsNegative());
  EXPECT_LT(r, p);
  EXPECT_LT(RandomBits(10), BigInt(1024));
  EXPECT_THROW(RandomBelow(0), Exception);
}

// -- Each half on its own ------------------------------------------------------------------

TEST(PrimalityHalves, MillerRabinPassesEachPseudoprimeToItsBasesOnly) {
  for (const Entry& entry : Entries("strong_pseudoprimes.txt")) {
    const auto w = Limbs(entry.value);
    const detail::MillerRabin rounds(w.data(), w.size());
    std::istringstream bases(entry.note);
    for (std::string base; std::getline(bases, base, ',');) {
      EXPECT_TRUE(rounds.Passes(LimbsOf(mpz_class(base), w.size()).data()))
          << entry.value << " base " << base;
    }
    // 2047 = 23 89 fails to base 3.
    if (entry.value == 2047) {
      EXPECT_FALSE(rounds.Passes(LimbsOf(3, 1).data()));
    }
    EXPECT_FALSE(detail::PassesStrongLucas(w.data(), w.size())) << entry.value;
  }
}

TEST(PrimalityHalves, StrongLucasPassesTheStrongLucasPseudoprimesOnly) {
  for (const Entry& entry : Entries("lucas_pseudoprimes.txt")) {
    if (entry.value < detail::kTrialDivisionBound) continue;  // below the test's domain
    const auto w = Limbs(entry.value);
    EXPECT_EQ(detail::PassesStrongLucas(w.data(), w.size()), entry.note == "strong") << entry.value;
    EXPECT_FALSE(detail::MillerRabin(w.data(), w.size()).PassesBaseTwo()) << entry.value;
  }
  // Primes of every size pass; a square never does (no D has (D / n) = -1).
  for (const Entry& prime : Entries("primes_known.txt")) {
    if (prime.value < detail::kTrialDivisionBound) continue;
    const auto w = Limbs(prime.value);
    EXPECT_TRUE(detail::PassesStrongLucas(w.data(), w.size())) << prime.note;
  }
  const auto square = Limbs(mpz_class("170141183460469231731687303715884105727") *
                            mpz_class("170141183460469231731687303715884105727"));
  EXPECT_FALSE(detail::PassesStrongLucas(square.data(), square.size()));
}

TEST(PrimalityHalves, RoundCountsFollowTheTables) {
  EXPECT_EQ(detail::RoundsAfterLucas(64), 0u);
  EXPECT_EQ(detail::RoundsAfterLucas(1024), 4u);
  EXPECT_EQ(detail::RoundsAfterLucas(1536), 3u);
  EXPECT_EQ(detail::RoundsAfterLucas(2048), 2u);
  EXPECT_EQ(detail::RoundsWithoutLucas(1024), 5u);
  EXPECT_EQ(detail::RoundsWithoutLucas(1536), 4u);
  EXPECT_EQ(detail::RoundsWithoutLucas(2048), 4u);
  EXPECT_EQ(detail::RoundsWithoutLucas(512), 8u);
  EXPECT_EQ(detail::RoundsWithoutLucas(100), 50u);
}

}  // namespace
}  // namespace xkit::test
