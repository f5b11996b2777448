// differential: every big-integer operation against GMP, on every combination of kernel
// paths this CPU offers, at operand sizes around every threshold of the code and up to
// 2 million bits, in the shapes that stress it (all ones, powers of two, zero, one digit,
// both sign flags), under every aliasing pattern of the records, with exact sign flags; the
// random values, primality and the next prime; and RSA: RsaDecrypt's direct path against its
// Chinese-remainder path and against a prepared key, RsaEncrypt's messages back through
// RsaDecrypt, and RsaGenerateKey's keys checked value by value. Each case follows from its
// seed alone (the library's random draws included), so a mismatch is replayed with --seed.
//
//   differential [--cases N] [--seconds S] [--first-seed S0] [--seed S] [--op TEXT]
//     --cases N        run N cases (default 100000, or no limit with --seconds), with the
//                      seeds S0, S0 + 1, ...
//     --seconds S      stop after S seconds (with --cases: whichever comes first)
//     --first-seed S0  the first seed (default: from the clock; printed)
//     --seed S         replay the one case of seed S (with the same --op as the run)
//     --op TEXT        only the operations whose name contains TEXT
// Exit status 0 when every case agrees with the oracle, 1 on a mismatch (each is printed
// with its seed), 2 for a wrong command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "tests/differential/cases.h"
#include "xFGInt/limbs.h"
#include "xFGInt/record_limbs.h"

namespace xkit::diff {

namespace {

struct PathCombination {
  detail::KernelPath kernels;
  detail::DigitPath digits;
  const char* name;
};

std::vector<PathCombination> AvailablePaths() {
  std::vector<PathCombination> paths;
  const PathCombination all[] = {
      {detail::KernelPath::kPortable, detail::DigitPath::kPortable, "portable/portable digits"},
      {detail::KernelPath::kPortable, detail::DigitPath::kAvx2, "portable/AVX2 digits"},
      {detail::KernelPath::kMulxAdx, detail::DigitPath::kPortable, "MULX/portable digits"},
      {detail::KernelPath::kMulxAdx, detail::DigitPath::kAvx2, "MULX/AVX2 digits"},
      {detail::KernelPath::kAvx512Ifma, detail::DigitPath::kPortable, "IFMA/portable digits"},
      {detail::KernelPath::kAvx512Ifma, detail::DigitPath::kAvx2, "IFMA/AVX2 digits"},
      {detail::KernelPath::kRadix52Scalar, detail::DigitPath::kPortable,
       "radix-2^52 scalar/portable digits"},
      {detail::KernelPath::kRadix52Scalar, detail::DigitPath::kAvx2,
       "radix-2^52 scalar/AVX2 digits"}};
  for (const PathCombination& p : all) {
    if (detail::KernelPathAvailable(p.kernels) && detail::DigitPathAvailable(p.digits)) {
      paths.push_back(p);
    }
  }
  return paths;
}

// The transform paths of the long products; each case takes one of them beside its kernel and
// digit paths.
struct TransformChoice {
  detail::TransformPath path;
  const char* name;
};

std::vector<TransformChoice> AvailableTransforms() {
  std::vector<TransformChoice> transforms;
  const TransformChoice all[] = {{detail::TransformPath::kPortable, "portable transform"},
                                 {detail::TransformPath::kAvx2, "AVX2 transform"},
                                 {detail::TransformPath::kAvx512, "AVX-512 transform"}};
  for (const TransformChoice& t : all) {
    if (detail::TransformPathAvailable(t.path)) transforms.push_back(t);
  }
  return transforms;
}

// splitmix64: neighbouring seeds give unrelated streams.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

struct Options {
  std::uint64_t cases = 0;  // 0: not given
  double seconds = 0;
  std::uint64_t firstSeed = 0;
  bool seedGiven = false;
  bool replay = false;
  std::string op;
};

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    char* end = nullptr;
    if (arg == "--cases") {
      options.cases = std::strtoull(value, &end, 0);
    } else if (arg == "--seconds") {
      options.seconds = std::strtod(value, &end);
    } else if (arg == "--first-seed" || arg == "--seed") {
      options.firstSeed = std::strtoull(value, &end, 0);
      options.seedGiven = true;
      if (arg == "--seed") {
        options.replay = true;
        options.cases = 1;
      }
    } else if (arg == "--op") {
      options.op = value;
      continue;
    } else {
      return false;
    }
    if (end == value || *end != '\0') return false;
  }
  return true;
}

}  // namespace

int Main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: differential [--cases N] [--seconds S] [--first-seed S0] [--seed S] "
                 "[--op TEXT]\n");
    return 2;
  }
  if (options.cases == 0) options.cases = options.seconds > 0 ? ~std::uint64_t{0} : 100000;
  if (!options.seedGiven) {
    options.firstSeed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  std::vector<Operation> operations;
  unsigned totalWeight = 0;
  for (const auto& group : {ArithmeticOperations(), DivisionOperations(), ModularOperations(),
                            PrimeOperations(), RsaOperations(), ConversionOperations()}) {
    for (const Operation& op : group) {
      if (std::string(op.name).find(options.op) == std::string::npos) continue;
      operations.push_back(op);
      totalWeight += op.weight;
    }
  }
  if (operations.empty()) {
    std::fprintf(stderr, "differential: no operation matches \"%s\"\n", options.op.c_str());
    return 2;
  }
  const std::vector<PathCombination> paths = AvailablePaths();
  const std::vector<TransformChoice> transforms = AvailableTransforms();
  const std::string opFlag = options.op.empty() ? "" : " --op '" + options.op + "'";
  if (!options.replay) {
    std::printf("differential: %zu path combinations, %zu transform paths, %zu operations, "
                "first seed %llu\n",
                paths.size(), transforms.size(), operations.size(),
                static_cast<unsigned long long>(options.firstSeed));
  }

  const auto start = std::chrono::steady_clock::now();
  auto lastNote = start;
  struct Tally {
    std::uint64_t cases = 0;
    double seconds = 0;
  };
  std::map<std::string, Tally> tallies;
  std::uint64_t done = 0, failures = 0;
  for (; done < options.cases; ++done) {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - start).count();
    if (options.seconds > 0 && elapsed >= options.seconds) break;
    if (now - lastNote >= std::chrono::seconds(30)) {
      std::printf("differential: %llu cases, %.0f s\n", static_cast<unsigned long long>(done),
                  elapsed);
      std::fflush(stdout);
      lastNote = now;
    }
    const std::uint64_t seed = options.firstSeed + done;
    Random random(Mix(seed));
    const PathCombination& path = paths[random.Below(paths.size())];
    const TransformChoice& transform = transforms[random.Below(transforms.size())];
    unsigned pick = static_cast<unsigned>(random.Below(totalWeight));
    std::size_t index = 0;
    while (pick >= operations[index].weight)
      pick -= operations[index++].weight;
    const Operation& op = operations[index];
    detail::SelectKernelPath(path.kernels);
    detail::SelectDigitPath(path.digits);
    detail::SelectTransformPath(transform.path);
    Report report;
    const auto caseStart = std::chrono::steady_clock::now();
    try {
      op.run(random, report);
    } catch (const std::exception& error) {
      report.Fail(std::string("unexpected exception: ") + error.what());
    }
    Tally& tally = tallies[op.name];
    tally.cases += 1;
    tally.seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - caseStart).count();
    if (options.replay || !report.Lines().empty()) {
      std::printf("%s: %s on %s, %s, seed %llu (replay: differential --seed %llu%s)\n",
                  report.Lines().empty() ? "agrees" : "MISMATCH", op.name, path.name,
                  transform.name,
                  static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed),
                  opFlag.c_str());
      for (const std::string& line : report.Lines())
        std::printf("  %s\n", line.c_str());
      std::fflush(stdout);
      failures += report.Lines().empty() ? 0 : 1;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!options.replay) {
    for (const auto& [name, tally] : tallies) {
      std::printf("  %-42s %10llu cases %8.1f s\n", name.c_str(),
                  static_cast<unsigned long long>(tally.cases), tally.seconds);
    }
    std::printf("differential: %llu cases in %.1f s, %llu mismatches\n",
                static_cast<unsigned long long>(done), seconds,
                static_cast<unsigned long long>(failures));
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace xkit::diff

int main(int argc, char** argv) {
  return xkit::diff::Main(argc, argv);
}
