// Cases of the random values and of primality: BigRandomBits and BigRandomBelow (range and
// form), BigIsProbablePrime against mpz_probab_prime_p and BigNextPrime against
// mpz_nextprime, on primes, products of primes, the pseudoprimes of tests/data that fool one
// half of Baillie-PSW or the other, values around the trial-division bound and its square,
// primes whose p - 1 holds about as many factors of two as a Miller-Rabin round squares, and
// any values. Every draw comes from the test source seeded by the case, so each replays.
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tests/differential/cases.h"
#include "xFGInt/primes.h"
#include "xFGInt/random.h"

namespace xkit::diff {

namespace {

// The first field of every line of the data files: known primes and known composites.
std::vector<mpz_class> DataValues(std::initializer_list<const char*> names) {
  std::vector<mpz_class> values;
  for (const char* name : names) {
    const std::string path = std::string(XKIT_TEST_DATA_DIR) + "/" + name;
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot open " + path);
    for (std::string line; std::getline(file, line);) {
      if (line.empty() || line.front() == '#') continue;
      std::istringstream fields(line);
      std::string value;
      fields >> value;
      values.emplace_back(value);
    }
  }
  return values;
}

const std::vector<mpz_class>& KnownValues() {
  static const std::vector<mpz_class> values = DataValues(
      {"primes_known.txt", "carmichael.txt", "strong_pseudoprimes.txt", "lucas_pseudoprimes.txt"});
  return values;
}

// A prime p with p - 1 = c 2^s for an odd c of up to 200 bits and s around the number of
// squarings a Miller-Rabin round always takes.
mpz_class PrimeWithTwoAdicPart(Random& random) {
  const std::size_t s = detail::kMillerRabinSquarings - 3 + random.Below(8);
  mpz_class c = random.Bits(1 + random.Below(200)) | 1;
  while (mpz_probab_prime_p(mpz_class((c << s) + 1).get_mpz_t(), 30) == 0)
    c += 2;
  return (c << s) + 1;
}

// A value within 32 of a place where the test changes method: the trial-division bound
// (below it trial division alone decides), its square (below it, no factor below the bound
// means prime), 2^64 (Baillie-PSW is exact up to there) and 2^32.
mpz_class NearThreshold(Random& random) {
  const mpz_class bound = static_cast<unsigned long>(detail::kTrialDivisionBound);
  const mpz_class places[] = {bound, bound * bound, mpz_class(1) << 32, mpz_class(1) << 64};
  return places[random.Below(std::size(places))] + static_cast<long>(random.Below(65)) - 32;
}

void Primes(Random& random, Report& report) {
  const detail::ScopedRandomSource source(random.Next());
  // The next prime is costly above a few hundred bits: long values now and then.
  const std::size_t maxBits = random.OneIn(20) ? 1100 : 300;
  mpz_class a;
  switch (random.Below(7)) {
    case 0:
      a = RandomPrime(random, 2 + Size(random, maxBits));
      break;
    case 1:
      a = RandomPrime(random, 2 + Size(random, maxBits / 2)) *
          RandomPrime(random, 2 + Size(random, maxBits / 2));
      break;
    case 2:
      a = KnownValues()[random.Below(KnownValues().size())];
      break;
    case 3:
      a = NearThreshold(random);
      break;
    case 4:
      a = PrimeWithTwoAdicPart(random);
      if (random.OneIn(2)) a *= RandomPrime(random, 2 + random.Below(64));
      break;
    default:
      a = Operand(random, maxBits);
  }
  AliasedCall call(random, {Signed(random, a)}, 1);
  const mpz_class m = Magnitude(call.Input(0));
  const bool prime = mpz_probab_prime_p(m.get_mpz_t(), 40) != 0;
  if (BigIsProbablePrime(call.Arg(0)) != prime) {
    report.Check("BigIsProbablePrime", prime ? "a prime refused" : "a composite passed", call, 1);
  }
  // The next prime above the value as flagged (2 below 2).
  const mpz_class value = Value(call.Input(0));
  mpz_class next = 2;
  if (value >= 2) mpz_nextprime(next.get_mpz_t(), value.get_mpz_t());
  BigNextPrime(call.Arg(0), call.Arg(1));
  report.Check("BigNextPrime", Mismatch(call.Out(0), next, kPos), call, 1);
  report.Check("operands", call.ChangedInputs(), call, 1);
}

// Random values: only their range and form can be checked.
void RandomValues(Random& random, Report& report) {
  const detail::ScopedRandomSource source(random.Next());
  if (random.OneIn(2)) {
    const std::size_t bits = random.OneIn(16) ? 0 : Size(random, 1 << 14);
    TFGInt r = random.OneIn(2) ? TFGInt{} : Record(random.Bits(300), kNeg);  // stale or empty
    BigRandomBits(bits, r);
    const std::string formed = Mismatch(r, Magnitude(r), kPos);
    if (!formed.empty() || Magnitude(r) >> bits != 0) {
      report.Fail("BigRandomBits(" + std::to_string(bits) +
                  "): " + (formed.empty() ? "out of range: " + Describe(r) : formed));
    }
    return;
  }
  mpz_class bound = Operand(random, 4096);
  if (bound == 0) bound = 1 + random.Below(5);
  AliasedCall call(random, {Signed(random, bound)}, 1);
  BigRandomBelow(call.Arg(0), call.Arg(1));
  const TFGInt& r = call.Out(0);
  const std::string formed = Mismatch(r, Magnitude(r), kPos);
  if (!formed.empty() || Magnitude(r) >= bound) {
    report.Check("BigRandomBelow", formed.empty() ? "out of range" : formed, call, 1);
  }
  // A zero bound raises.
  TFGInt zero = Record(mpz_class(0), random.Sign()), out;
  try {
    BigRandomBelow(zero, out);
    report.Fail("BigRandomBelow: a zero bound did not raise");
  } catch (const Exception&) {
  }
}

}  // namespace

std::vector<Operation> PrimeOperations() {
  return {{"BigIsProbablePrime, BigNextPrime", 2, Primes},
          {"BigRandomBits, BigRandomBelow", 1, RandomValues}};
}

}  // namespace xkit::diff
