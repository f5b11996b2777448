// The portable path of the transform product: one double at a time, with the C library's
// fused multiply-add (a single instruction wherever the CPU has one).
#include <cmath>
#include <cstddef>

#include "xFGInt/transform.h"
#include "xFGInt/transform_engine.h"

namespace xkit::detail {

namespace {

struct ScalarOps {
  using V = double;
  static constexpr unsigned kLog = 0;
  static constexpr unsigned kMaxRadixLog = 2;
  static V Load(const double* p) { return *p; }
  static void Store(double* p, V v) { *p = v; }
  static V Splat(double x) { return x; }
  static V Add(V a, V b) { return a + b; }
  static V Sub(V a, V b) { return a - b; }
  static V Mul(V a, V b) { return a * b; }
  static V MulAdd(V a, V b, V c) { return std::fma(a, b, c); }
  static V MulSub(V a, V b, V c) { return std::fma(a, b, -c); }
  static V NegMulAdd(V a, V b, V c) { return std::fma(-a, b, c); }
  static V AddIfNegative(V x, V p) { return x < 0 ? x + p : x; }
  static V Even(V a, V) { return a; }
  static V Odd(V, V b) { return b; }
  static void Transpose(V*) {}
};

using Engine = transform::Engine<ScalarOps>;

void BuildTwiddles(double* tw, double* itw, unsigned lg, std::size_t given, const double* root,
                   double p) {
  Engine(lg, tw, itw, p).BuildTwiddles(tw, itw, given, root);
}
void Forward(double* x, std::size_t live, unsigned lg, const double* tw, const double* itw,
             double p) {
  Engine(lg, tw, itw, p).Forward(x, live);
}
void Convolve(double* a, double* b, std::size_t bLive, unsigned lg, const double* tw,
              const double* itw, double p) {
  Engine(lg, tw, itw, p).Convolve(a, b, bLive);
}
void Square(double* a, unsigned lg, const double* tw, const double* itw, double p) {
  Engine(lg, tw, itw, p).Square(a);
}

constexpr TransformKernels kPortableKernels = {BuildTwiddles,
                                               Forward,
                                               Convolve,
                                               Square,
                                               transform::Residues<ScalarOps>,
                                               transform::MixedRadix<ScalarOps>,
                                               kPortableTransformThresholds,
                                               TransformPath::kPortable};

}  // namespace

// Constant-initialised, so products made during static initialisation find a table; the
// start-up selection upgrades it.
constinit TransformKernels gTransformKernels = kPortableKernels;

TransformKernels PortableTransformKernels() {
  return kPortableKernels;
}

}  // namespace xkit::detail
