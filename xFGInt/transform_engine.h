// The number-theoretic transform of the transform product, written once for every CPU path.
// A path supplies a vector type of W = 2^kLog doubles with its lane operations (the Ops class
// below) and instantiates PathKernels<Ops> in its own file, compiled for its instruction set; the
// including file includes every header it needs before it switches the instruction set on,
// and this header includes nothing, so no shared inline function is built for a CPU that
// might lack it.
//
// Arithmetic modulo a prime p < 2^50 in doubles that hold integers exactly (below 2^53):
// - MulMod(a, w) for |a| < 2^52 and |w| <= p/2 gives r = a w - q p exactly, with q the
//   rounded quotient of the rounded product h = fl(a w): l = a w - h comes exact from one
//   fused multiply-add, q = round(h / p) from the rounding constant 1.5 2^52 (|h / p| <= |a| / 2
//   < 2^51 keeps it in range), and h - q p and its sum with l are small integers, so exact.
//   |r| <= p/2 + |l| + |h| 2^-53 <= p/2 + |a| p 2^-53: below 0.75 p for |a| <= 2p, below p
//   for |a| <= 4p.
// - Reduce(x) = x - round(x / p) p for |x| < 2^52: |Reduce(x)| <= p/2 + 2.
//
// The transform of length N = 2^lg evaluates a polynomial at the N-th roots of unity in
// bit-reversed order. Level j (0 <= j < lg) splits each block k (k < 2^j, size S = N / 2^j)
// into two halves with the twiddle tw[k] = w^bitrev(k), w a primitive N-th root and bitrev
// over lg - 1 bits: (x, y) -> (x + tw[k] y, x - tw[k] y). The inverse undoes the levels in
// reverse order with itw[k] = -tw[k]^-1: (x, y) -> (x + y, (y - x) itw[k]), which leaves N
// times the input; the caller divides by N.
//
// Size bound of every stored value: |x| <= 2p. Levels alternate between reducing and lazy:
// - forward, level j even (reducing): x' = Reduce(x), outputs x' +- MulMod(y): <= 1.25 p + 2;
//   level j odd (lazy, inputs <= 1.25 p + 2): x +- MulMod(y) <= 2p;
// - inverse, first the lazy level lg - 1 (inputs <= 0.75 p from the pointwise products):
//   x + y <= 2p and MulMod(y - x) <= 0.75 p; then the reducing level: Reduce(x + y) <= p/2 + 2
//   and MulMod(y - x) <= p for |y - x| <= 4p; so the lazy levels take inputs <= p.
// Every level of a pass knows its absolute index, so the pattern holds across passes.
//
// Memory order: blocks of at least W^2 elements are split by passes over columns (each
// column of 2^R rows spaced S / 2^R apart runs R levels in registers), depth first, so the
// sub-blocks are worked on while they are in cache. A block of W^2 elements finishes with
// log2 W levels on columns of stride W, then transposes its W x W square: each vector then
// holds one element of W blocks of size W, and the last log2 W levels run across vectors
// with one twiddle per lane. The forward transform leaves that transposed order, which the
// pointwise product does not mind and the inverse undoes.
#pragma once

namespace xkit::detail::transform {

using Size = decltype(sizeof(0));

// 1.5 2^52: adding it to a double of magnitude below 2^51 rounds to an integer.
inline constexpr double kRoundingConstant = 6755399441055744.0;

template <class Ops>
struct Field {
  using V = typename Ops::V;
  V p;
  V pinv;  // 1 / p rounded: relative error below 2^-53
  V round;
  explicit Field(double prime)
      : p(Ops::Splat(prime)), pinv(Ops::Splat(1.0 / prime)), round(Ops::Splat(kRoundingConstant)) {}
};

// A path without a fused multiply-add (Ops::kFused false) supplies both operations itself,
// exactly in integers, with results in -p/2 .. p/2: within the bounds above.
template <class Ops>
inline typename Ops::V MulMod(typename Ops::V a, typename Ops::V w, const Field<Ops>& f) {
  using V = typename Ops::V;
  if constexpr (!Ops::kFused) {
    return Ops::MulModExact(a, w, f.p, f.pinv);
  } else {
    const V h = Ops::Mul(a, w);
    const V l = Ops::MulSub(a, w, h);
    const V q = Ops::Sub(Ops::MulAdd(h, f.pinv, f.round), f.round);
    return Ops::Add(Ops::NegMulAdd(q, f.p, h), l);
  }
}

template <class Ops>
inline typename Ops::V Reduce(typename Ops::V x, const Field<Ops>& f) {
  using V = typename Ops::V;
  if constexpr (!Ops::kFused) {
    return Ops::ReduceExact(x, f.p, f.pinv);
  } else {
    const V q = Ops::Sub(Ops::MulAdd(x, f.pinv, f.round), f.round);
    return Ops::NegMulAdd(q, f.p, x);
  }
}

// -- Levels on a column of 2^R vectors -----------------------------------------------------
// Row t of the column is element t (times the column stride) of a block; level l of the R
// splits sub-block u (rows u 2^(R-l) ..) with the twiddle w[2^l - 1 + u].

template <class Ops, bool kReduce>
inline void ForwardButterfly(typename Ops::V& x, typename Ops::V& y, typename Ops::V w,
                             const Field<Ops>& f) {
  using V = typename Ops::V;
  const V t = MulMod<Ops>(y, w, f);
  const V s = kReduce ? Reduce<Ops>(x, f) : x;
  x = Ops::Add(s, t);
  y = Ops::Sub(s, t);
}

template <class Ops, bool kReduce>
inline void InverseButterfly(typename Ops::V& x, typename Ops::V& y, typename Ops::V w,
                             const Field<Ops>& f) {
  using V = typename Ops::V;
  const V sum = Ops::Add(x, y);
  y = MulMod<Ops>(Ops::Sub(y, x), w, f);
  x = kReduce ? Reduce<Ops>(sum, f) : sum;
}

template <class Ops, unsigned R, unsigned l, bool kReduce>
inline void ForwardLevel(typename Ops::V* v, const typename Ops::V* w, const Field<Ops>& f) {
  constexpr unsigned kHalf = 1u << (R - l - 1);
#pragma GCC unroll 16
  for (unsigned u = 0; u < (1u << l); ++u) {
#pragma GCC unroll 16
    for (unsigned i = 0; i < kHalf; ++i) {
      ForwardButterfly<Ops, kReduce>(v[2 * u * kHalf + i], v[2 * u * kHalf + kHalf + i],
                                     w[(1u << l) - 1 + u], f);
    }
  }
}

template <class Ops, unsigned R, unsigned l, bool kReduce>
inline void InverseLevel(typename Ops::V* v, const typename Ops::V* w, const Field<Ops>& f) {
  constexpr unsigned kHalf = 1u << (R - l - 1);
#pragma GCC unroll 16
  for (unsigned u = 0; u < (1u << l); ++u) {
#pragma GCC unroll 16
    for (unsigned i = 0; i < kHalf; ++i) {
      InverseButterfly<Ops, kReduce>(v[2 * u * kHalf + i], v[2 * u * kHalf + kHalf + i],
                                     w[(1u << l) - 1 + u], f);
    }
  }
}

// Levels 0 .. R-1 of the column, the first one reducing when kReduce.
template <class Ops, unsigned R, unsigned l, bool kReduce>
inline void ForwardLevels(typename Ops::V* v, const typename Ops::V* w, const Field<Ops>& f) {
  if constexpr (l < R) {
    ForwardLevel<Ops, R, l, kReduce>(v, w, f);
    ForwardLevels<Ops, R, l + 1, !kReduce>(v, w, f);
  }
}

// Levels R-1 down to 0 of the column, the first one reducing when kReduce.
template <class Ops, unsigned R, unsigned l, bool kReduce>
inline void InverseLevels(typename Ops::V* v, const typename Ops::V* w, const Field<Ops>& f) {
  if constexpr (l > 0) {
    InverseLevel<Ops, R, l - 1, kReduce>(v, w, f);
    InverseLevels<Ops, R, l - 1, !kReduce>(v, w, f);
  }
}

// The 2^l vectors T_s[m] = t[m 2^l + s] (s < 2^l, lane m < W) from the 2^l W doubles at t:
// even and odd positions split l times.
template <class Ops, unsigned l>
inline void SplitLanes(const typename Ops::V* in, typename Ops::V* out) {
  using V = typename Ops::V;
  if constexpr (l == 0) {
    out[0] = in[0];
  } else {
    constexpr unsigned kHalf = 1u << (l - 1);
    V even[kHalf];
    V odd[kHalf];
    for (unsigned i = 0; i < kHalf; ++i) {
      even[i] = Ops::Even(in[2 * i], in[2 * i + 1]);
      odd[i] = Ops::Odd(in[2 * i], in[2 * i + 1]);
    }
    V evenOut[kHalf];
    V oddOut[kHalf];
    SplitLanes<Ops, l - 1>(even, evenOut);
    SplitLanes<Ops, l - 1>(odd, oddOut);
    for (unsigned s = 0; s < kHalf; ++s) {
      out[2 * s] = evenOut[s];
      out[2 * s + 1] = oddOut[s];
    }
  }
}

// The twiddle vectors of the lane levels for blocks kv .. kv + W - 1 of level lg - log2 W,
// in the order ForwardLevels reads them: level l, sub-block s has lane m = table[(kv + m) 2^l + s].
template <class Ops, unsigned l = 0>
inline void LaneTwiddles(const double* table, Size kv, typename Ops::V* w) {
  using V = typename Ops::V;
  constexpr unsigned kW = 1u << Ops::kLog;
  if constexpr (l < Ops::kLog) {
    V loaded[1u << l];
    for (unsigned i = 0; i < (1u << l); ++i)
      loaded[i] = Ops::Load(table + (kv << l) + i * kW);
    SplitLanes<Ops, l>(loaded, w + (1u << l) - 1);
    LaneTwiddles<Ops, l + 1>(table, kv, w);
  }
}

// -- The transform ---------------------------------------------------------------------------

template <class Ops>
class Engine {
public:
  using V = typename Ops::V;
  static constexpr unsigned kLog = Ops::kLog;
  static constexpr Size kW = Size{1} << kLog;
  // Levels per column pass: 2^R rows in registers.
  static constexpr unsigned kMaxRadixLog = Ops::kMaxRadixLog;

  Engine(unsigned lg, const double* tw, const double* itw, double p)
      : lg_(lg), tw_(tw), itw_(itw), f_(p) {}

  // The twiddle tables of length N / 2 from their first `given` entries (a power of two of
  // at least W, or all of them) and the constants root[i] = w^(2^(lg - 2 - i)), |root[i]| <=
  // p/2, by tw[2^i + t] = tw[t] root[i]; then itw.
  void BuildTwiddles(double* tw, double* itw, Size given, const double* root) const {
    const Size half = Size{1} << (lg_ - 1);
    for (unsigned i = 0; (Size{1} << i) < half; ++i) {
      const Size octave = Size{1} << i;
      if (octave < given) continue;
      const V c = Ops::Splat(root[i]);
      for (Size t = 0; t < octave; t += kW)
        Ops::Store(tw + octave + t, Reduce<Ops>(MulMod<Ops>(Ops::Load(tw + t), c, f_), f_));
    }
    // itw[k] = -tw[k]^-1 = tw[3 2^i - 1 - k] for k in octave i: the octave read backwards;
    // itw[0] = -1.
    itw[0] = -1.0;
    for (Size octave = 1; octave < half; octave *= 2) {
      for (Size t = 0; t < octave; ++t)
        itw[octave + t] = tw[2 * octave - 1 - t];
    }
  }

  // Transforms x, of which only the first `live` elements (a multiple of W) are read: the
  // rest count as zeros without being stored as such.
  void Forward(double* x, Size live) const { ForwardBlock(x, lg_, 0, 0, live); }

  // a: forward-transformed; b: residues, the first bLive elements read as in Forward.
  // Transforms b, multiplies it into a and transforms a back, block by block while each is
  // in cache; b is clobbered.
  void Convolve(double* a, double* b, Size bLive) const { ConvolveBlock(a, b, lg_, 0, 0, bLive); }

  // a: forward-transformed; squares it pointwise and transforms it back.
  void Square(double* a) const { SquareBlock(a, lg_, 0, 0); }

private:
  // -- Column passes: the first R levels of a block of size 2^m, level j, index k.

  // With kPartial, elements from `live` on read as zero (the first pass of a transform).
  template <unsigned R, bool kReduce, bool kPartial>
  void ForwardColumns(double* x, Size stride, Size k, Size live) const {
    V w[(1u << R) - 1];
    for (unsigned l = 0; l < R; ++l) {
      for (Size u = 0; u < (Size{1} << l); ++u)
        w[(1u << l) - 1 + u] = Ops::Splat(tw_[(k << l) + u]);
    }
    for (Size c = 0; c < stride; c += kW) {
      V v[1u << R];
#pragma GCC unroll 16
      for (unsigned t = 0; t < (1u << R); ++t)
        v[t] = !kPartial || c + t * stride < live ? Ops::Load(x + c + t * stride) : Ops::Splat(0.0);
      ForwardLevels<Ops, R, 0, kReduce>(v, w, f_);
#pragma GCC unroll 16
      for (unsigned t = 0; t < (1u << R); ++t)
        Ops::Store(x + c + t * stride, v[t]);
    }
  }

  template <unsigned R, bool kReduce>
  void InverseColumns(double* x, Size stride, Size k) const {
    V w[(1u << R) - 1];
    for (unsigned l = 0; l < R; ++l) {
      for (Size u = 0; u < (Size{1} << l); ++u)
        w[(1u << l) - 1 + u] = Ops::Splat(itw_[(k << l) + u]);
    }
    for (Size c = 0; c < stride; c += kW) {
      V v[1u << R];
#pragma GCC unroll 16
      for (unsigned t = 0; t < (1u << R); ++t)
        v[t] = Ops::Load(x + c + t * stride);
      InverseLevels<Ops, R, R, kReduce>(v, w, f_);
#pragma GCC unroll 16
      for (unsigned t = 0; t < (1u << R); ++t)
        Ops::Store(x + c + t * stride, v[t]);
    }
  }

  // Forward level j reduces when j is even; inverse level j when lg - 1 - j is odd.
  bool ForwardReduces(unsigned j) const {
    return j % 2 == 0;
  }
  bool InverseReduces(unsigned j) const {
    return (lg_ - 1 - j) % 2 == 1;
  }

  static constexpr Size kAll = ~Size{0};

  template <unsigned R>
  void ForwardPass(double* x, unsigned m, unsigned j, Size k, Size live = kAll) const {
    const Size stride = Size{1} << (m - R);
    if (live < (stride << R)) {
      if (ForwardReduces(j)) {
        ForwardColumns<R, true, true>(x, stride, k, live);
      } else {
        ForwardColumns<R, false, true>(x, stride, k, live);
      }
    } else if (ForwardReduces(j)) {
      ForwardColumns<R, true, false>(x, stride, k, live);
    } else {
      ForwardColumns<R, false, false>(x, stride, k, live);
    }
  }

  template <unsigned R>
  void InversePass(double* x, unsigned m, unsigned j, Size k) const {
    // The pass runs its levels from j + R - 1 down to j.
    if (InverseReduces(j + R - 1)) {
      InverseColumns<R, true>(x, Size{1} << (m - R), k);
    } else {
      InverseColumns<R, false>(x, Size{1} << (m - R), k);
    }
  }

  // The radix of the pass that opens a block of size 2^m (m > 2 kLog): as many levels as the
  // registers hold, leaving sub-blocks of at least W^2.
  static unsigned PassLevels(unsigned m) {
    const unsigned room = m - 2 * kLog;
    return room < kMaxRadixLog ? room : kMaxRadixLog;
  }

  template <bool kInverse>
  void Pass(double* x, unsigned m, unsigned j, Size k, unsigned r, Size live = kAll) const {
    switch (r) {
      case 1:
        kInverse ? InversePass<1>(x, m, j, k) : ForwardPass<1>(x, m, j, k, live);
        break;
      case 2:
        if constexpr (kMaxRadixLog >= 2) {
          kInverse ? InversePass<2>(x, m, j, k) : ForwardPass<2>(x, m, j, k, live);
        }
        break;
      case 3:
        if constexpr (kMaxRadixLog >= 3) {
          kInverse ? InversePass<3>(x, m, j, k) : ForwardPass<3>(x, m, j, k, live);
        }
        break;
      default:
        if constexpr (kMaxRadixLog >= 4) {
          kInverse ? InversePass<4>(x, m, j, k) : ForwardPass<4>(x, m, j, k, live);
        }
        break;
    }
  }

  // -- Blocks of W^2 elements: kLog column levels, the transpose, kLog lane levels.

  void ForwardSquareBlock(double* x, unsigned j, Size k, Size live = kAll) const {
    if constexpr (kLog > 0) {
      ForwardPass<kLog>(x, 2 * kLog, j, k, live);
      V v[kW];
      for (Size t = 0; t < kW; ++t)
        v[t] = Ops::Load(x + t * kW);
      Ops::Transpose(v);
      V w[kW - 1];
      const Size kv = k << kLog;
      LaneTwiddles<Ops>(tw_, kv, w);
      if (ForwardReduces(j + kLog)) {
        ForwardLevels<Ops, kLog, 0, true>(v, w, f_);
      } else {
        ForwardLevels<Ops, kLog, 0, false>(v, w, f_);
      }
      for (Size t = 0; t < kW; ++t)
        Ops::Store(x + t * kW, v[t]);
    }
  }

  void InverseSquareBlock(double* x, unsigned j, Size k) const {
    if constexpr (kLog > 0) {
      V v[kW];
      for (Size t = 0; t < kW; ++t)
        v[t] = Ops::Load(x + t * kW);
      V w[kW - 1];
      LaneTwiddles<Ops>(itw_, k << kLog, w);
      if (InverseReduces(lg_ - 1)) {
        InverseLevels<Ops, kLog, kLog, true>(v, w, f_);
      } else {
        InverseLevels<Ops, kLog, kLog, false>(v, w, f_);
      }
      Ops::Transpose(v);
      for (Size t = 0; t < kW; ++t)
        Ops::Store(x + t * kW, v[t]);
      InversePass<kLog>(x, 2 * kLog, j, k);
    }
  }

  // a[i] := MulMod(a[i], Reduce(b[i])) over the W^2 elements of a square block: |a| <= 2p
  // and |Reduce(b)| <= p/2 + 2, so the product is below 0.75 p.
  void Multiply(double* a, const double* b) const {
    for (Size i = 0; i < kW * kW; i += kW) {
      const V y = Reduce<Ops>(Ops::Load(b + i), f_);
      Ops::Store(a + i, MulMod<Ops>(Ops::Load(a + i), y, f_));
    }
  }

  // -- Recursion over blocks of size 2^m at level j, index k.

  // `live` bounds the elements that the block's first pass reads (the later ones are written
  // by then).
  void ForwardBlock(double* x, unsigned m, unsigned j, Size k, Size live = kAll) const {
    if (m == 2 * kLog) {
      ForwardSquareBlock(x, j, k, live);
      return;
    }
    const unsigned r = PassLevels(m);
    Pass<false>(x, m, j, k, r, live);
    const Size size = Size{1} << (m - r);
    for (Size u = 0; u < (Size{1} << r); ++u)
      ForwardBlock(x + u * size, m - r, j + r, (k << r) + u);
  }

  void ConvolveBlock(double* a, double* b, unsigned m, unsigned j, Size k,
                     Size bLive = kAll) const {
    if (m == 2 * kLog) {
      ForwardSquareBlock(b, j, k, bLive);
      Multiply(a, b);
      InverseSquareBlock(a, j, k);
      return;
    }
    const unsigned r = PassLevels(m);
    Pass<false>(b, m, j, k, r, bLive);
    const Size size = Size{1} << (m - r);
    for (Size u = 0; u < (Size{1} << r); ++u)
      ConvolveBlock(a + u * size, b + u * size, m - r, j + r, (k << r) + u);
    Pass<true>(a, m, j, k, r);
  }

  void SquareBlock(double* a, unsigned m, unsigned j, Size k) const {
    if (m == 2 * kLog) {
      Multiply(a, a);
      InverseSquareBlock(a, j, k);
      return;
    }
    const unsigned r = PassLevels(m);
    const Size size = Size{1} << (m - r);
    for (Size u = 0; u < (Size{1} << r); ++u)
      SquareBlock(a + u * size, m - r, j + r, (k << r) + u);
    Pass<true>(a, m, j, k, r);
  }

  unsigned lg_;
  const double* tw_;
  const double* itw_;
  Field<Ops> f_;
};

// -- Conversions around the transform ------------------------------------------------------

// Coefficients enter as c <= 4 pieces of at most 50 bits, in blocks of eight coefficients:
// piece t of coefficient 8 b + m at pieces[(b c + t) 8 + m].
inline constexpr Size kPieceBlock = 8;

// out[0 .. 8 blocks) := the residues of those coefficients: piece 0 + the sum of
// MulMod(piece t, 2^(50 t) mod p), reduced. The sum is below 2^50 + 3 (0.625 p), so it
// reduces to |out| <= p/2 + 2.
template <class Ops>
void Residues(const double* pieces, Size blocks, unsigned c, const double* shift, double p,
              double* out) {
  using V = typename Ops::V;
  constexpr Size kW = Size{1} << Ops::kLog;
  const Field<Ops> f(p);
  for (Size b = 0; b < blocks; ++b) {
    const double* in = pieces + b * c * kPieceBlock;
    for (Size o = 0; o < kPieceBlock; o += kW) {
      V sum = Ops::Load(in + o);
      for (unsigned t = 1; t < c; ++t) {
        const V piece = Ops::Load(in + t * kPieceBlock + o);
        sum = Ops::Add(sum, MulMod<Ops>(piece, Ops::Splat(shift[t]), f));
      }
      Ops::Store(out + b * kPieceBlock + o, Reduce<Ops>(sum, f));
    }
  }
}

// The mixed-radix digits of coefficients first .. first + count (a multiple of W) from their
// transforms' outputs x_j (N times the coefficient modulo p_j, |x_j| <= 2p_j): with
// t_j = x_j N^-1 mod p_j, the digits are v_0 = t_0 and
//   v_j = (((t_j - v_0) p_0^-1 - v_1) p_1^-1 - .. - v_{j-1}) p_{j-1}^-1 mod p_j,
// so the coefficient is v_0 + v_1 p_0 + v_2 p_0 p_1 + ... (Garner). Every difference is below
// p_j + p_i < 2^51 in magnitude, so each product stays below 0.75 p_j, and the final digit
// moves into 0 .. p_j - 1 with one addition. digits[j count + i] gets v_j of coefficient
// first + i. inverse[8 j + i] = p_i^-1 mod p_j, |.| <= p_j / 2.
template <class Ops>
void MixedRadix(const double* const* x, unsigned primes, Size first, Size count, const double* p,
                const double* nInverse, const double* inverse, double* digits) {
  using V = typename Ops::V;
  constexpr Size kW = Size{1} << Ops::kLog;
  constexpr unsigned kMaxPrimes = 8;
  Field<Ops> fields[kMaxPrimes] = {Field<Ops>(p[0]), Field<Ops>(p[1]), Field<Ops>(p[2]),
                                   Field<Ops>(p[3]), Field<Ops>(p[4]), Field<Ops>(p[5]),
                                   Field<Ops>(p[6]), Field<Ops>(p[7])};
  for (Size i = 0; i < count; i += kW) {
    V v[kMaxPrimes];
    for (unsigned j = 0; j < primes; ++j) {
      const Field<Ops>& f = fields[j];
      V t = MulMod<Ops>(Ops::Load(x[j] + first + i), Ops::Splat(nInverse[j]), f);
      for (unsigned k = 0; k < j; ++k)
        t = MulMod<Ops>(Ops::Sub(t, v[k]), Ops::Splat(inverse[8 * j + k]), f);
      v[j] = Ops::AddIfNegative(t, f.p);
      Ops::Store(digits + j * count + i, v[j]);
    }
  }
}

// One path's TransformKernels entry (transform.h, included before this header): each path's
// file instantiates it with its Ops, so the kernels are built for that path's instruction set.
template <class Ops>
struct PathKernels {
  static void BuildTwiddles(double* tw, double* itw, unsigned lg, Size given, const double* root,
                            double p) {
    Engine<Ops>(lg, tw, itw, p).BuildTwiddles(tw, itw, given, root);
  }
  static void Forward(double* x, Size live, unsigned lg, const double* tw, const double* itw,
                      double p) {
    Engine<Ops>(lg, tw, itw, p).Forward(x, live);
  }
  static void Convolve(double* a, double* b, Size bLive, unsigned lg, const double* tw,
                       const double* itw, double p) {
    Engine<Ops>(lg, tw, itw, p).Convolve(a, b, bLive);
  }
  static void Square(double* a, unsigned lg, const double* tw, const double* itw, double p) {
    Engine<Ops>(lg, tw, itw, p).Square(a);
  }
  static constexpr TransformKernels Make(TransformThresholds thresholds, TransformPath path) {
    return {BuildTwiddles, Forward,         Convolve,   Square,
            Residues<Ops>, MixedRadix<Ops>, thresholds, path};
  }
};

}  // namespace xkit::detail::transform
