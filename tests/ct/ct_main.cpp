// ct_check: runs every check on every kernel path this process can take (under Valgrind:
// the paths Valgrind can run), with the secrets marked. Run it under Memcheck with
// --error-exitcode: a report is a failure. A wrong result fails the program by itself.
//   ct_check [TEXT]    only the checks whose "NAME on PATH" line contains TEXT
//
// The big-integer paths Valgrind 3.19 cannot run (MULX/ADX, AVX-512 IFMA: it hides them from
// CPUID) are kept honest by sharing the checked path's structure: the MULX rows are
// straight-line carry chains whose loops count limbs, under the same schoolbook and
// Montgomery drivers (MulBasecaseWith, SqrBasecaseWith, the reduction rows) as the portable
// rows; the IFMA exponentiation takes the same windows (Window) and scans its table under
// masks like SelectEntry, with products whose loops count digits. Neither has a branch or an
// address that a value could move.
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
    for (const auto kernels : {detail::KernelPath::kPortable, detail::KernelPath::kMulxAdx,
                               detail::KernelPath::kAvx512Ifma}) {
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
