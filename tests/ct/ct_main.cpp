// ct_check: runs every check on every kernel path this process can take (under Valgrind:
// the paths Valgrind can run), with the secrets marked. Run it under Memcheck with
// --error-exitcode: a report is a failure. A wrong result fails the program by itself.
//   ct_check [TEXT]    only the checks whose "NAME on PATH" line contains TEXT
//
// The big-integer paths Valgrind 3.19 cannot run (MULX/ADX and AVX-512 IFMA: it hides them
// from CPUID) are kept honest in two ways. The IFMA path's driver, everything but its vector
// kernels (the radix-2^52 conversions, the table, the windows, the masked scans' callers, the
// final subtraction and the side-by-side pair of PowPair), is checked here on the
// kRadix52Scalar path, which runs that very code on scalar kernels with the same results. What
// stays unchecked is straight-line code whose only branches count limbs and digits (their
// compiled code has no other conditional jump): the vector product and pair product (a fixed
// number of multiply-adds and lane shifts per digit, y_i from scalar multiplies and adds whose
// carries are values), the vector table scan (every entry read under a mask, as the scalar
// one), and the MULX rows (ADCX/ADOX carry chains under the same schoolbook and Montgomery
// drivers, MulBasecaseWith, SqrBasecaseWith and the reduction rows, as the checked portable
// rows). The differential driver and the tests hold every path to the same results.
#include <cstdio>
#include <string>

#include "crypto/aes_engine.h"
#include "tests/ct/checks.h"
#include "xFGInt/limbs.h"
#include "xFGInt/record_limbs.h"

namespace xkit::ct {

namespace {

int gFailures = 0;
std::string gFilter;

void Run(const std::vector<Check>& checks, const std::string& path) {
  for (const Check& check : checks) {
    const std::string line = std::string(check.name) + " on " + path;
    if (line.find(gFilter) == std::string::npos) continue;
    std::printf("ct_check: %s\n", line.c_str());
    std::fflush(stdout);
    check.run();
  }
}

const char* Name(detail::KernelPath path) {
  switch (path) {
    case detail::KernelPath::kPortable:
      return "portable products";
    case detail::KernelPath::kMulxAdx:
      return "MULX/ADX products";
    case detail::KernelPath::kAvx512Ifma:
      return "AVX-512 IFMA products";
    case detail::KernelPath::kRadix52Scalar:
      return "radix-2^52 driver on scalar kernels";
  }
  return "?";
}

const char* Name(detail::DigitPath path) {
  return path == detail::DigitPath::kPortable ? "portable digits" : "AVX2 digits";
}

const char* Name(detail::AesPath path) {
  switch (path) {
    case detail::AesPath::kPortable:
      return "bitsliced AES";
    case detail::AesPath::kAesNi:
      return "AES-NI";
    case detail::AesPath::kVaes:
      return "VAES";
  }
  return "?";
}

}  // namespace

void Expect(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "ct_check: wrong result: %s\n", what.c_str());
  ++gFailures;
}

}  // namespace xkit::ct

int main(int argc, char** argv) {
  using namespace xkit;
  if (argc > 1) ct::gFilter = argv[1];
  if (RUNNING_ON_VALGRIND == 0) {
    std::printf("ct_check: not under Valgrind, so only the results are checked\n");
  }
  const detail::KernelPath savedKernels = detail::ActiveKernelPath();
  const detail::DigitPath savedDigits = detail::ActiveDigitPath();
  for (const auto digits : {detail::DigitPath::kPortable, detail::DigitPath::kAvx2}) {
    if (!detail::SelectDigitPath(digits)) continue;
    for (const auto kernels :
         {detail::KernelPath::kPortable, detail::KernelPath::kMulxAdx,
          detail::KernelPath::kAvx512Ifma, detail::KernelPath::kRadix52Scalar}) {
      if (!detail::SelectKernelPath(kernels)) continue;
      ct::Run(ct::BigIntegerChecks(), std::string(ct::Name(kernels)) + ", " + ct::Name(digits));
    }
  }
  detail::SelectKernelPath(savedKernels);
  detail::SelectDigitPath(savedDigits);

  for (const auto aes :
       {detail::AesPath::kPortable, detail::AesPath::kAesNi, detail::AesPath::kVaes}) {
    if (!detail::AesPathSupported(aes)) continue;
    detail::SetAesPath(aes);
    ct::Run(ct::CipherChecks(), ct::Name(aes));
  }
  detail::SetAesPath(detail::AesPath::kVaes);
  ct::Run(ct::DigestChecks(), "the only path");

  if (ct::gFailures != 0) return 1;
  std::printf("ct_check: done\n");
  return 0;
}
