// The AVX2 path of the transform product: four doubles to a register, with FMA. Only this
// file's functions use the instructions, and they run only after the CPU check.
#include <cstddef>

#include "xFGInt/transform.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

// Every function from here to the matching pop is built for the path's instructions (GCC's
// target pragma; clang, which ignores it, takes the same as an attribute on each function).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
#include "xFGInt/transform_engine.h"

namespace xkit::detail {

namespace {

struct Avx2Ops {
  using V = __m256d;
  static constexpr unsigned kLog = 2;
  static constexpr bool kFused = true;
  static constexpr unsigned kMaxRadixLog = 2;
  static V Load(const double* p) { return _mm256_loadu_pd(p); }
  static void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
  static V Splat(double x) { return _mm256_set1_pd(x); }
  static V Add(V a, V b) { return _mm256_add_pd(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
  static V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
  static V MulAdd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
  static V MulSub(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
  static V NegMulAdd(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }
  static V AddIfNegative(V x, V p) {
    const V negative = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_LT_OQ);
    return _mm256_add_pd(x, _mm256_and_pd(negative, p));
  }
  // Lanes 0, 2, 4, 6 (1, 3, 5, 7) of the eight in a then b: the interleave gives a0 b0 a2 b2,
  // and the middle lanes swap.
  static V Even(V a, V b) { return _mm256_permute4x64_pd(_mm256_unpacklo_pd(a, b), 0xD8); }
  static V Odd(V a, V b) { return _mm256_permute4x64_pd(_mm256_unpackhi_pd(a, b), 0xD8); }
  static void Transpose(V* v) {
    const V t0 = _mm256_unpacklo_pd(v[0], v[1]);  // v0[0] v1[0] v0[2] v1[2]
    const V t1 = _mm256_unpackhi_pd(v[0], v[1]);  // v0[1] v1[1] v0[3] v1[3]
    const V t2 = _mm256_unpacklo_pd(v[2], v[3]);
    const V t3 = _mm256_unpackhi_pd(v[2], v[3]);
    v[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    v[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    v[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    v[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
  }
};

constexpr TransformKernels kKernels =
    transform::PathKernels<Avx2Ops>::Make(kAvx2TransformThresholds, TransformPath::kAvx2);

}  // namespace

}  // namespace xkit::detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace xkit::detail {

bool Avx2TransformSupported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

TransformKernels Avx2TransformKernels() {
  return kKernels;
}

}  // namespace xkit::detail

#else

namespace xkit::detail {

bool Avx2TransformSupported() {
  return false;
}
TransformKernels Avx2TransformKernels() {
  return PortableTransformKernels();
}

}  // namespace xkit::detail

#endif
