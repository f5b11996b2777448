// The AVX-512 path of the transform product: eight doubles to a register. Only this file's
// functions use the instructions, and they run only after the CPU check.
#include <cstddef>

#include "xFGInt/transform.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports its own intrinsics' deliberately undefined vectors (_mm512_undefined_pd) as
// uninitialised once they are inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

// Every function from here to the matching pop is built for the path's instructions (GCC's
// target pragma; clang, which ignores it, takes the same as an attribute on each function).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif
#include "xFGInt/transform_engine.h"

namespace xkit::detail {

namespace {

struct Avx512Ops {
  using V = __m512d;
  static constexpr unsigned kLog = 3;
  static constexpr bool kFused = true;
  static constexpr unsigned kMaxRadixLog = 3;
  static V Load(const double* p) { return _mm512_loadu_pd(p); }
  static void Store(double* p, V v) { _mm512_storeu_pd(p, v); }
  static V Splat(double x) { return _mm512_set1_pd(x); }
  static V Add(V a, V b) { return _mm512_add_pd(a, b); }
  static V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
  static V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
  static V MulAdd(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
  static V MulSub(V a, V b, V c) { return _mm512_fmsub_pd(a, b, c); }
  static V NegMulAdd(V a, V b, V c) { return _mm512_fnmadd_pd(a, b, c); }
  static V AddIfNegative(V x, V p) {
    const __mmask8 negative = _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_LT_OQ);
    return _mm512_mask_add_pd(x, negative, x, p);
  }
  // Lanes 0, 2, .. 14 (1, 3, .. 15) of the sixteen in a then b.
  static V Even(V a, V b) {
    return _mm512_permutex2var_pd(a, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), b);
  }
  static V Odd(V a, V b) {
    return _mm512_permutex2var_pd(a, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), b);
  }
  // The 8 x 8 transpose: pairs of rows interleaved, then 128-bit lanes gathered twice.
  static void Transpose(V* v) {
    V t[8];
    for (int i = 0; i < 8; i += 2) {
      t[i] = _mm512_unpacklo_pd(v[i], v[i + 1]);
      t[i + 1] = _mm512_unpackhi_pd(v[i], v[i + 1]);
    }
    V s[8];
    for (int i = 0; i < 8; i += 4) {
      for (int h = 0; h < 2; ++h) {
        s[i + h] = _mm512_shuffle_f64x2(t[i + h], t[i + h + 2], _MM_SHUFFLE(2, 0, 2, 0));
        s[i + h + 2] = _mm512_shuffle_f64x2(t[i + h], t[i + h + 2], _MM_SHUFFLE(3, 1, 3, 1));
      }
    }
    // s[0] = rows 0/1 lanes (0, 4) of v0..v3, s[2] = lanes (2, 6); s[4], s[6] of v4..v7.
    for (int h = 0; h < 2; ++h) {
      v[h] = _mm512_shuffle_f64x2(s[h], s[h + 4], _MM_SHUFFLE(2, 0, 2, 0));
      v[h + 4] = _mm512_shuffle_f64x2(s[h], s[h + 4], _MM_SHUFFLE(3, 1, 3, 1));
      v[h + 2] = _mm512_shuffle_f64x2(s[h + 2], s[h + 6], _MM_SHUFFLE(2, 0, 2, 0));
      v[h + 6] = _mm512_shuffle_f64x2(s[h + 2], s[h + 6], _MM_SHUFFLE(3, 1, 3, 1));
    }
  }
};

constexpr TransformKernels kKernels =
    transform::PathKernels<Avx512Ops>::Make(kAvx512TransformThresholds, TransformPath::kAvx512);

}  // namespace

}  // namespace xkit::detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace xkit::detail {

bool Avx512TransformSupported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}

TransformKernels Avx512TransformKernels() {
  return kKernels;
}

}  // namespace xkit::detail

#else

namespace xkit::detail {

bool Avx512TransformSupported() {
  return false;
}
TransformKernels Avx512TransformKernels() {
  return PortableTransformKernels();
}

}  // namespace xkit::detail

#endif
