// TFGInt conversions and arithmetic side by side with GMP. The GMP side works on mpz_t values
// already in GMP form, as a GMP user would; our side on TFGInt records, repacking included.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_gmp.h"
#include "xFGInt/xFGInt.h"

namespace {

using xkit::TFGInt;

std::string RandomDigits(std::size_t count, std::uint64_t seed) {
  std::mt19937_64 engine(seed);
  std::string text;
  text.push_back(static_cast<char>('1' + engine() % 9));
  while (text.size() < count)
    text.push_back(static_cast<char>('0' + engine() % 10));
  return text;
}

// A random value of exactly `bits` bits, as a record and as an mpz_t, made from bytes so
// that setting up the largest cases stays light.
void RandomValue(std::size_t bits, std::uint64_t seed, TFGInt& record, Mpz& gmp) {
  std::mt19937_64 engine(seed);
  std::string bytes((bits + 7) / 8, '\0');
  for (char& c : bytes)
    c = static_cast<char>(engine());
  const unsigned top = static_cast<unsigned>((bits - 1) % 8);  // the top bit within byte 0
  const unsigned first = static_cast<unsigned char>(bytes[0]) & ((2u << top) - 1);
  bytes[0] = static_cast<char>(first | (1u << top));
  xkit::BigFromBytes(bytes, record);
  mpz_import(gmp.value, bytes.size(), 1, 1, 0, 0, bytes.data());
}

std::string RandomBytes(std::size_t count) {
  std::mt19937_64 engine(5);
  std::string bytes(count, '\0');
  for (char& c : bytes)
    c = static_cast<char>(engine());
  bytes[0] = '\x5A';
  return bytes;
}

void Register(const std::string& name, void (*body)(benchmark::State&, std::size_t),
              std::size_t size) {
  benchmark::RegisterBenchmark(name.c_str(), body, size)->Unit(benchmark::kMicrosecond);
}

// -- Decimal text ------------------------------------------------------------------------------

void FromDecimalXkit(benchmark::State& state, std::size_t digits) {
  const std::string text = RandomDigits(digits, 1);
  TFGInt a;
  for (auto _ : state) {
    xkit::BigFromDecimal(text, a);
    benchmark::DoNotOptimize(a.Digits.data());
  }
}

void FromDecimalGmp(benchmark::State& state, std::size_t digits) {
  const std::string text = RandomDigits(digits, 1);
  Mpz a;
  for (auto _ : state) {
    mpz_set_str(a.value, text.c_str(), 10);
    benchmark::DoNotOptimize(a.value);
  }
}

void ToDecimalXkit(benchmark::State& state, std::size_t digits) {
  TFGInt a;
  xkit::BigFromDecimal(RandomDigits(digits, 2), a);
  std::string text;
  for (auto _ : state) {
    xkit::BigToDecimal(a, text);
    benchmark::DoNotOptimize(text.data());
  }
}

void ToDecimalGmp(benchmark::State& state, std::size_t digits) {
  Mpz a;
  mpz_set_str(a.value, RandomDigits(digits, 2).c_str(), 10);
  std::vector<char> text(digits + 2);
  for (auto _ : state) {
    mpz_get_str(text.data(), 10, a.value);
    benchmark::DoNotOptimize(text.data());
  }
}

// -- Bytes ---------------------------------------------------------------------------------------

void FromBytesXkit(benchmark::State& state, std::size_t size) {
  const std::string bytes = RandomBytes(size);
  TFGInt a;
  for (auto _ : state) {
    xkit::BigFromBytes(bytes, a);
    benchmark::DoNotOptimize(a.Digits.data());
  }
}

void FromBytesGmp(benchmark::State& state, std::size_t size) {
  const std::string bytes = RandomBytes(size);
  Mpz a;
  for (auto _ : state) {
    mpz_import(a.value, bytes.size(), 1, 1, 0, 0, bytes.data());
    benchmark::DoNotOptimize(a.value);
  }
}

void ToBytesXkit(benchmark::State& state, std::size_t size) {
  TFGInt a;
  xkit::BigFromBytes(RandomBytes(size), a);
  std::string bits, bytes;
  for (auto _ : state) {
    xkit::BigToBits(a, bits);
    xkit::BitsToBytes(bits, bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
}

void ToBytesGmp(benchmark::State& state, std::size_t size) {
  Mpz a;
  const std::string source = RandomBytes(size);
  mpz_import(a.value, source.size(), 1, 1, 0, 0, source.data());
  std::string bytes(size, '\0');
  for (auto _ : state) {
    std::size_t count = 0;
    mpz_export(bytes.data(), &count, 1, 1, 0, 0, a.value);
    benchmark::DoNotOptimize(bytes.data());
  }
}

// -- Arithmetic ----------------------------------------------------------------------------------

// a op b for two random values of `bits` bits.
template <void (*kOperation)(const TFGInt&, const TFGInt&, TFGInt&)>
void BinaryXkit(benchmark::State& state, std::size_t bits) {
  TFGInt a, b, c;
  Mpz ga, gb;
  RandomValue(bits, 3, a, ga);
  RandomValue(bits, 4, b, gb);
  for (auto _ : state) {
    kOperation(a, b, c);
    benchmark::DoNotOptimize(c.Digits.data());
  }
}

template <void (*kOperation)(mpz_ptr, mpz_srcptr, mpz_srcptr)>
void BinaryGmp(benchmark::State& state, std::size_t bits) {
  TFGInt a, b;
  Mpz ga, gb, gc;
  RandomValue(bits, 3, a, ga);
  RandomValue(bits, 4, b, gb);
  for (auto _ : state) {
    kOperation(gc.value, ga.value, gb.value);
    benchmark::DoNotOptimize(gc.value);
  }
}

void SquareXkit(benchmark::State& state, std::size_t bits) {
  TFGInt a, c;
  Mpz ga;
  RandomValue(bits, 3, a, ga);
  for (auto _ : state) {
    xkit::BigSquare(a, c);
    benchmark::DoNotOptimize(c.Digits.data());
  }
}

void SquareGmp(benchmark::State& state, std::size_t bits) {
  TFGInt a;
  Mpz ga, gc;
  RandomValue(bits, 3, a, ga);
  for (auto _ : state) {
    mpz_mul(gc.value, ga.value, ga.value);
    benchmark::DoNotOptimize(gc.value);
  }
}

// Division of a value of `bits` bits by one of bits / 2.
void DivModXkit(benchmark::State& state, std::size_t bits) {
  TFGInt a, b, q, r;
  Mpz ga, gb;
  RandomValue(bits, 6, a, ga);
  RandomValue(bits / 2, 7, b, gb);
  for (auto _ : state) {
    xkit::BigDivMod(a, b, q, r);
    benchmark::DoNotOptimize(r.Digits.data());
  }
}

void DivModGmp(benchmark::State& state, std::size_t bits) {
  TFGInt a, b;
  Mpz ga, gb, gq, gr;
  RandomValue(bits, 6, a, ga);
  RandomValue(bits / 2, 7, b, gb);
  for (auto _ : state) {
    mpz_fdiv_qr(gq.value, gr.value, ga.value, gb.value);
    benchmark::DoNotOptimize(gr.value);
  }
}

// Sizes: a few for the performance table; with XKIT_BENCH_SWEEP set in the environment,
// every power of two from 2^10 to 2^27 bits of BigMul and BigSquare, BigDivMod (the
// dividend's bits) and BigToDecimal (the value's bits, as digits), for scripts/bench-plot.sh.
const bool kRegistered = [] {
  const bool sweep = std::getenv("XKIT_BENCH_SWEEP") != nullptr;
  const auto divMod = [](std::size_t bits) {
    const std::string name = "BigDivMod/" + std::to_string(bits) + "_" + std::to_string(bits / 2);
    Register(name + "/xkit", DivModXkit, bits);
    Register(name + "/gmp", DivModGmp, bits);
  };
  const auto toDecimal = [](std::size_t digits) {
    const std::string size = std::to_string(digits);
    Register("BigToDecimal/" + size + "/xkit", ToDecimalXkit, digits);
    Register("BigToDecimal/" + size + "/gmp", ToDecimalGmp, digits);
  };
  const auto mul = [](std::size_t bits) {
    const std::string size = std::to_string(bits);
    Register("BigMul/" + size + "/xkit", BinaryXkit<xkit::BigMul>, bits);
    Register("BigMul/" + size + "/gmp", BinaryGmp<mpz_mul>, bits);
    Register("BigSquare/" + size + "/xkit", SquareXkit, bits);
    Register("BigSquare/" + size + "/gmp", SquareGmp, bits);
  };
  if (sweep) {
    for (unsigned log = 10; log <= 27; ++log) {
      const std::size_t bits = std::size_t{1} << log;
      mul(bits);
      divMod(bits);
      // log10(2) = 0.30103: the digits of a value of `bits` bits.
      toDecimal(static_cast<std::size_t>(static_cast<double>(bits) * 0.30102999566398));
    }
    return true;
  }
  for (const std::size_t digits : {1000, 10000, 100000, 1000000, 10000000}) {
    const std::string size = std::to_string(digits);
    Register("BigFromDecimal/" + size + "/xkit", FromDecimalXkit, digits);
    Register("BigFromDecimal/" + size + "/gmp", FromDecimalGmp, digits);
    toDecimal(digits);
  }
  constexpr std::size_t kMiB = 1 << 20;
  Register("BigFromBytes/1MiB/xkit", FromBytesXkit, kMiB);
  Register("BigFromBytes/1MiB/gmp", FromBytesGmp, kMiB);
  Register("BigToBitsBitsToBytes/1MiB/xkit", ToBytesXkit, kMiB);
  Register("BigToBitsBitsToBytes/1MiB/gmp", ToBytesGmp, kMiB);
  for (const unsigned log : {10, 12, 15, 18, 20, 23, 27})
    mul(std::size_t{1} << log);
  for (const unsigned log : {12, 16, 21, 24})
    divMod(std::size_t{1} << log);
  Register("BigAdd/4096/xkit", BinaryXkit<xkit::BigAdd>, 4096);
  Register("BigAdd/4096/gmp", BinaryGmp<mpz_add>, 4096);
  return true;
}();

}  // namespace
