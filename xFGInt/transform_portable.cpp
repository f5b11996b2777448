// The portable path of the transform product: one double at a time. Where the compiler's
// target has a fused multiply-add instruction (FP_FAST_FMA), the modular operations use it as
// the vector paths do; elsewhere they run exactly in 64- and 128-bit integers rather than
// through an emulated fused multiply-add.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "xFGInt/transform.h"
#include "xFGInt/transform_engine.h"

namespace xkit::detail {

namespace {

__extension__ typedef __int128 SignedDoubleLimb;

struct ScalarOps {
  using V = double;
  static constexpr unsigned kLog = 0;
  static constexpr unsigned kMaxRadixLog = 2;
#ifdef FP_FAST_FMA
  static constexpr bool kFused = true;
#else
  static constexpr bool kFused = false;
#endif
  static V Load(const double* p) {
    return *p;
  }
  static void Store(double* p, V v) {
    *p = v;
  }
  static V Splat(double x) {
    return x;
  }
  static V Add(V a, V b) {
    return a + b;
  }
  static V Sub(V a, V b) {
    return a - b;
  }
  static V Mul(V a, V b) {
    return a * b;
  }
  static V MulAdd(V a, V b, V c) {
    return std::fma(a, b, c);
  }
  static V MulSub(V a, V b, V c) {
    return std::fma(a, b, -c);
  }
  static V NegMulAdd(V a, V b, V c) {
    return std::fma(-a, b, c);
  }
  static V AddIfNegative(V x, V p) {
    return x < 0 ? x + p : x;
  }
  static V Even(V a, V) {
    return a;
  }
  static V Odd(V, V b) {
    return b;
  }
  static void Transpose(V*) {}

  // x moved into -p/2 .. p/2 from within -3p .. 3p.
  static std::int64_t Centre(std::int64_t x, std::int64_t p) {
    const std::int64_t half = p / 2;
    x -= x > half ? p : 0;
    x -= x > half ? p : 0;
    x += x < -half ? p : 0;
    x += x < -half ? p : 0;
    return x;
  }
  // a w mod p for |a| < 2^52, |w| <= p/2: the quotient estimate from doubles is within two
  // of the true one (|a w / p| < 2^51, relative error below 2^-51), and the remainder against
  // it is exact in 128 bits.
  static V MulModExact(V a, V w, V p, V pinv) {
    const auto prime = static_cast<std::int64_t>(p);
    const auto q = static_cast<std::int64_t>(a * w * pinv);
    const SignedDoubleLimb product =
        static_cast<SignedDoubleLimb>(static_cast<std::int64_t>(a)) * static_cast<std::int64_t>(w);
    const auto r = static_cast<std::int64_t>(product - static_cast<SignedDoubleLimb>(q) * prime);
    return static_cast<double>(Centre(r, prime));
  }
  // x mod p for |x| < 2^52, the same way.
  static V ReduceExact(V x, V p, V pinv) {
    const auto prime = static_cast<std::int64_t>(p);
    const auto q = static_cast<std::int64_t>(x * pinv);
    return static_cast<double>(Centre(static_cast<std::int64_t>(x) - q * prime, prime));
  }
};

constexpr TransformKernels kPortableKernels =
    transform::PathKernels<ScalarOps>::Make(kPortableTransformThresholds, TransformPath::kPortable);

}  // namespace

// Constant-initialised, so products made during static initialisation find a table; the
// start-up selection upgrades it.
constinit TransformKernels gTransformKernels = kPortableKernels;

TransformKernels PortableTransformKernels() {
  return kPortableKernels;
}

}  // namespace xkit::detail
