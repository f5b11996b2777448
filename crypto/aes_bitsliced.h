// The AES S-box and its inverse as boolean circuits on bit planes ("bitsliced"): a plane is a
// word whose lanes are bytes' bits, so one pass of the circuit substitutes every byte of the
// batch with the same instructions whatever the bytes hold: no table, no branch, no index, and
// thus no timing or cache trace of the key or the data.
#pragma once

#include <cstdint>

namespace xkit::detail {

// Eight planes q[0..7] of one word type W (any unsigned integer): lane n of plane b is bit b of
// byte n of the batch (bit 0 the least significant). Lanes never mix here, so the assignment
// of bytes to lanes is the caller's.

// The S-box as the depth-16, 128-gate circuit of Boyar and Peralta ("A depth-16 circuit for the
// AES S-box", 2011), with its four output complements left out: every lane becomes
// S(x) xor 0x63. Callers fold the 0x63 into the round keys that follow the substitution (a
// constant byte passes MixColumns and ShiftRows unchanged), so no round pays for it.
template <typename W>
inline void SboxPlanesXor63(W* q) {
  // Inputs most significant bit first, as the circuit is published.
  const W u0 = q[7], u1 = q[6], u2 = q[5], u3 = q[4], u4 = q[3], u5 = q[2], u6 = q[1], u7 = q[0];

  // Top linear layer.
  const W t1 = u0 ^ u3, t2 = u0 ^ u5, t3 = u0 ^ u6, t4 = u3 ^ u5, t5 = u4 ^ u6;
  const W t6 = t1 ^ t5, t7 = u1 ^ u2, t8 = u7 ^ t6, t9 = u7 ^ t7, t10 = t6 ^ t7;
  const W t11 = u1 ^ u5, t12 = u2 ^ u5, t13 = t3 ^ t4, t14 = t6 ^ t11, t15 = t5 ^ t11;
  const W t16 = t5 ^ t12, t17 = t9 ^ t16, t18 = u3 ^ u7, t19 = t7 ^ t18, t20 = t1 ^ t19;
  const W t21 = u6 ^ u7, t22 = t7 ^ t21, t23 = t2 ^ t22, t24 = t2 ^ t10, t25 = t20 ^ t17;
  const W t26 = t3 ^ t16, t27 = t1 ^ t12;

  // Middle, non-linear layer: the inversion in GF(2^8) as a tower of GF(2^4) and GF(2^2).
  const W m1 = t13 & t6, m2 = t23 & t8, m3 = t14 ^ m1, m4 = t19 & u7, m5 = m4 ^ m1;
  const W m6 = t3 & t16, m7 = t22 & t9, m8 = t26 ^ m6, m9 = t20 & t17, m10 = m9 ^ m6;
  const W m11 = t1 & t15, m12 = t4 & t27, m13 = m12 ^ m11, m14 = t2 & t10, m15 = m14 ^ m11;
  const W m16 = m3 ^ m2, m17 = m5 ^ t24, m18 = m8 ^ m7, m19 = m10 ^ m15, m20 = m16 ^ m13;
  const W m21 = m17 ^ m15, m22 = m18 ^ m13, m23 = m19 ^ t25, m24 = m22 ^ m23, m25 = m22 & m20;
  const W m26 = m21 ^ m25, m27 = m20 ^ m21, m28 = m23 ^ m25, m29 = m28 & m27, m30 = m26 & m24;
  const W m31 = m20 & m23, m32 = m27 & m31, m33 = m27 ^ m25, m34 = m21 & m22, m35 = m24 & m34;
  const W m36 = m24 ^ m25, m37 = m21 ^ m29, m38 = m32 ^ m33, m39 = m23 ^ m30, m40 = m35 ^ m36;
  const W m41 = m38 ^ m40, m42 = m37 ^ m39, m43 = m37 ^ m38, m44 = m39 ^ m40, m45 = m42 ^ m41;
  const W m46 = m44 & t6, m47 = m40 & t8, m48 = m39 & u7, m49 = m43 & t16, m50 = m38 & t9;
  const W m51 = m37 & t17, m52 = m42 & t15, m53 = m45 & t27, m54 = m41 & t10, m55 = m44 & t13;
  const W m56 = m40 & t23, m57 = m39 & t19, m58 = m43 & t3, m59 = m38 & t22, m60 = m37 & t20;
  const W m61 = m42 & t1, m62 = m45 & t4, m63 = m41 & t2;

  // Bottom linear layer.
  const W l0 = m61 ^ m62, l1 = m50 ^ m56, l2 = m46 ^ m48, l3 = m47 ^ m55, l4 = m54 ^ m58;
  const W l5 = m49 ^ m61, l6 = m62 ^ l5, l7 = m46 ^ l3, l8 = m51 ^ m59, l9 = m52 ^ m53;
  const W l10 = m53 ^ l4, l11 = m60 ^ l2, l12 = m48 ^ m51, l13 = m50 ^ l0, l14 = m52 ^ m61;
  const W l15 = m55 ^ l1, l16 = m56 ^ l0, l17 = m57 ^ l1, l18 = m58 ^ l8, l19 = m63 ^ l4;
  const W l20 = l0 ^ l1, l21 = l1 ^ l7, l22 = l3 ^ l12, l23 = l18 ^ l2, l24 = l15 ^ l9;
  const W l25 = l6 ^ l10, l26 = l7 ^ l9, l27 = l8 ^ l10, l28 = l11 ^ l14, l29 = l11 ^ l17;

  q[7] = l6 ^ l24;
  q[6] = l16 ^ l26;  // complemented in S
  q[5] = l19 ^ l28;  // complemented in S
  q[4] = l6 ^ l21;
  q[3] = l20 ^ l22;
  q[2] = l25 ^ l29;
  q[1] = l13 ^ l27;  // complemented in S
  q[0] = l6 ^ l23;   // complemented in S
}

// The linear part of the inverse affine map of FIPS-197 5.3.2, rotl1 ^ rotl3 ^ rotl6 on each
// byte: the inverse of the matrix that the S-box applies after inverting.
template <typename W>
inline void InverseAffinePlanes(W* q) {
  const W y0 = q[0], y1 = q[1], y2 = q[2], y3 = q[3], y4 = q[4], y5 = q[5], y6 = q[6], y7 = q[7];
  q[0] = y7 ^ y5 ^ y2;
  q[1] = y0 ^ y6 ^ y3;
  q[2] = y1 ^ y7 ^ y4;
  q[3] = y2 ^ y0 ^ y5;
  q[4] = y3 ^ y1 ^ y6;
  q[5] = y4 ^ y2 ^ y7;
  q[6] = y5 ^ y3 ^ y0;
  q[7] = y6 ^ y4 ^ y1;
}

// The inverse S-box on lanes that hold x xor 0x63: S^-1(x) = A^-1(S(A^-1(x xor 0x63)) xor 0x63)
// where A^-1 is InverseAffinePlanes and S(..) xor 0x63 is SboxPlanesXor63. As for the forward
// S-box, callers fold the 0x63 into the round key before it.
template <typename W>
inline void InvSboxPlanesOfXor63(W* q) {
  InverseAffinePlanes(q);
  SboxPlanesXor63(q);
  InverseAffinePlanes(q);
}

// SubWord of the key schedule: the S-box on each byte of a word, in constant time.
inline std::uint32_t SubWordConstantTime(std::uint32_t word) {
  // Lanes at bits 0, 8, 16 and 24 of 32-bit planes: the other bits carry don't-cares.
  constexpr std::uint32_t kLanes = 0x01010101;
  std::uint32_t q[8];
  for (int b = 0; b < 8; ++b)
    q[b] = (word >> b) & kLanes;
  SboxPlanesXor63(q);
  std::uint32_t result = 0;
  for (int b = 0; b < 8; ++b)
    result |= (q[b] & kLanes) << b;
  return result ^ 0x63636363;
}

}  // namespace xkit::detail
