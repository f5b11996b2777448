// Base64 with AVX2, 24 bytes to 32 characters per step, after the vectorised methods of Muła
// and Lemire. Encoding is the standard one throughout. Decoding takes only blocks made
// wholly of the 64 alphabet characters; every other block goes to the scalar decoder, which
// knows the rest of the rules ("=", the value 127, errors).
#include "crypto/base64.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define XKIT_AVX2 __attribute__((target("avx2")))

namespace xkit::detail {

bool Base64Avx2Supported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

XKIT_AVX2 std::size_t Base64EncodeAvx2(const std::uint8_t* bytes, std::size_t byteCount,
                                       char*& text) {
  // Each 32-bit lane gets the three bytes of one group as b1 b0 b2 b1, so that two masks and
  // two multiplications bring the four 6-bit indices into its four bytes.
  const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0,
                                          2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
  const __m256i maskAc = _mm256_set1_epi32(0x0FC0FC00);
  const __m256i shiftAc = _mm256_set1_epi32(0x04000040);
  const __m256i maskBd = _mm256_set1_epi32(0x003F03F0);
  const __m256i shiftBd = _mm256_set1_epi32(0x01000010);
  // Index to character: one offset per range (A-Z, a-z, 0-9, "+", "/"), picked by a small
  // code made from the index.
  const __m256i offsets =
      _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                       '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                       'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                       '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  const __m256i fiftyOne = _mm256_set1_epi8(51);
  const __m256i twentySix = _mm256_set1_epi8(26);
  const __m256i thirteen = _mm256_set1_epi8(13);

  std::size_t at = 0;
  // Each step reads 28 bytes (two 16-byte loads, 12 bytes apart) and codes the first 24.
  for (; at + 28 <= byteCount; at += 24) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + 12));
    const __m256i in = _mm256_shuffle_epi8(_mm256_set_m128i(high, low), spread);
    const __m256i ac = _mm256_mulhi_epu16(_mm256_and_si256(in, maskAc), shiftAc);
    const __m256i bd = _mm256_mullo_epi16(_mm256_and_si256(in, maskBd), shiftBd);
    const __m256i indices = _mm256_or_si256(ac, bd);
    __m256i code = _mm256_subs_epu8(indices, fiftyOne);
    code = _mm256_or_si256(code, _mm256_and_si256(_mm256_cmpgt_epi8(twentySix, indices), thirteen));
    const __m256i chars = _mm256_add_epi8(_mm256_shuffle_epi8(offsets, code), indices);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(text), chars);
    text += 32;
  }
  return at;
}

XKIT_AVX2 std::size_t Base64DecodeDigitsAvx2(const char* text, std::size_t charCount,
                                             std::uint8_t*& out) {
  // A character is a digit when its low-nibble class and high-nibble class share no bit.
  const __m256i lowClasses =
      _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                       0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                       0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i highClasses =
      _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  // What to add to a digit to get its value, by high nibble ("/" apart: index 1).
  const __m256i offsets =
      _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
                       -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i slash = _mm256_set1_epi8(0x2F);  // also the nibble mask (pshufb ignores bit 5)
  // Four 6-bit values per 32-bit lane into 24 bits, then the three bytes of each lane in
  // order and the six lanes' bytes together.
  const __m256i pairWeights = _mm256_set1_epi32(0x01400140);
  const __m256i quadWeights = _mm256_set1_epi32(0x00011000);
  const __m256i byteOrder =
      _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10,
                       9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i laneOrder = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);

  std::size_t at = 0;
  for (; at + 32 <= charCount; at += 32) {
    const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + at));
    const __m256i highNibbles = _mm256_and_si256(_mm256_srli_epi32(chars, 4), slash);
    const __m256i lowNibbles = _mm256_and_si256(chars, slash);
    const __m256i low = _mm256_shuffle_epi8(lowClasses, lowNibbles);
    const __m256i high = _mm256_shuffle_epi8(highClasses, highNibbles);
    if (!_mm256_testz_si256(low, high)) break;
    const __m256i isSlash = _mm256_cmpeq_epi8(chars, slash);
    const __m256i offset = _mm256_shuffle_epi8(offsets, _mm256_add_epi8(isSlash, highNibbles));
    const __m256i values = _mm256_add_epi8(chars, offset);
    const __m256i pairs = _mm256_maddubs_epi16(values, pairWeights);
    const __m256i quads = _mm256_madd_epi16(pairs, quadWeights);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(quads, byteOrder), laneOrder);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
    out += 24;
  }
  return at;
}

}  // namespace xkit::detail

#else  // no AVX2 on this architecture: the scalar decoder does all

namespace xkit::detail {

bool Base64Avx2Supported() {
  return false;
}

std::size_t Base64EncodeAvx2(const std::uint8_t*, std::size_t, char*&) {
  return 0;
}

std::size_t Base64DecodeDigitsAvx2(const char*, std::size_t, std::uint8_t*&) {
  return 0;
}

}  // namespace xkit::detail

#endif
