// MD5 exactly as RFC 1321 defines it. Whole 64-byte blocks are transformed straight from the
// caller's buffer; only a partial block waits in the accumulator's Pending bytes.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/digest_words.h"
#include "crypto/digests.h"

namespace xkit {
namespace detail {
namespace {

constexpr std::uint32_t kMd5Init[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};

// One step: a := b + ((a + f(b, c, d) + x + k) <<< s). The round functions are written in the
// forms with the shortest dependency on b, the value the previous step has just produced:
// F = d ^ (b & (c ^ d)); G's two terms are disjoint, so it may be added term by term;
// I = c ^ (b | ~d).
template <int S>
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t xk) {
  a += xk + (d ^ (b & (c ^ d)));
  a = std::rotl(a, S) + b;
}

template <int S>
inline void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t xk) {
  a += xk + (c & ~d);
  a += b & d;
  a = std::rotl(a, S) + b;
}

template <int S>
inline void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t xk) {
  a += xk + (b ^ c ^ d);
  a = std::rotl(a, S) + b;
}

template <int S>
inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t xk) {
  a += xk + (c ^ (b | ~d));
  a = std::rotl(a, S) + b;
}

// Transforms `blocks` consecutive 64-byte blocks into chain.
void Md5Blocks(std::uint32_t chain[4], const std::uint8_t* data, std::size_t blocks) {
  std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
  for (; blocks > 0; --blocks, data += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
      x[i] = LoadLe32(data + 4 * i);
    const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    StepF<7>(a, b, c, d, x[0] + 0xD76AA478);
    StepF<12>(d, a, b, c, x[1] + 0xE8C7B756);
    StepF<17>(c, d, a, b, x[2] + 0x242070DB);
    StepF<22>(b, c, d, a, x[3] + 0xC1BDCEEE);
    StepF<7>(a, b, c, d, x[4] + 0xF57C0FAF);
    StepF<12>(d, a, b, c, x[5] + 0x4787C62A);
    StepF<17>(c, d, a, b, x[6] + 0xA8304613);
    StepF<22>(b, c, d, a, x[7] + 0xFD469501);
    StepF<7>(a, b, c, d, x[8] + 0x698098D8);
    StepF<12>(d, a, b, c, x[9] + 0x8B44F7AF);
    StepF<17>(c, d, a, b, x[10] + 0xFFFF5BB1);
    StepF<22>(b, c, d, a, x[11] + 0x895CD7BE);
    StepF<7>(a, b, c, d, x[12] + 0x6B901122);
    StepF<12>(d, a, b, c, x[13] + 0xFD987193);
    StepF<17>(c, d, a, b, x[14] + 0xA679438E);
    StepF<22>(b, c, d, a, x[15] + 0x49B40821);

    StepG<5>(a, b, c, d, x[1] + 0xF61E2562);
    StepG<9>(d, a, b, c, x[6] + 0xC040B340);
    StepG<14>(c, d, a, b, x[11] + 0x265E5A51);
    StepG<20>(b, c, d, a, x[0] + 0xE9B6C7AA);
    StepG<5>(a, b, c, d, x[5] + 0xD62F105D);
    StepG<9>(d, a, b, c, x[10] + 0x02441453);
    StepG<14>(c, d, a, b, x[15] + 0xD8A1E681);
    StepG<20>(b, c, d, a, x[4] + 0xE7D3FBC8);
    StepG<5>(a, b, c, d, x[9] + 0x21E1CDE6);
    StepG<9>(d, a, b, c, x[14] + 0xC33707D6);
    StepG<14>(c, d, a, b, x[3] + 0xF4D50D87);
    StepG<20>(b, c, d, a, x[8] + 0x455A14ED);
    StepG<5>(a, b, c, d, x[13] + 0xA9E3E905);
    StepG<9>(d, a, b, c, x[2] + 0xFCEFA3F8);
    StepG<14>(c, d, a, b, x[7] + 0x676F02D9);
    StepG<20>(b, c, d, a, x[12] + 0x8D2A4C8A);

    StepH<4>(a, b, c, d, x[5] + 0xFFFA3942);
    StepH<11>(d, a, b, c, x[8] + 0x8771F681);
    StepH<16>(c, d, a, b, x[11] + 0x6D9D6122);
    StepH<23>(b, c, d, a, x[14] + 0xFDE5380C);
    StepH<4>(a, b, c, d, x[1] + 0xA4BEEA44);
    StepH<11>(d, a, b, c, x[4] + 0x4BDECFA9);
    StepH<16>(c, d, a, b, x[7] + 0xF6BB4B60);
    StepH<23>(b, c, d, a, x[10] + 0xBEBFBC70);
    StepH<4>(a, b, c, d, x[13] + 0x289B7EC6);
    StepH<11>(d, a, b, c, x[0] + 0xEAA127FA);
    StepH<16>(c, d, a, b, x[3] + 0xD4EF3085);
    StepH<23>(b, c, d, a, x[6] + 0x04881D05);
    StepH<4>(a, b, c, d, x[9] + 0xD9D4D039);
    StepH<11>(d, a, b, c, x[12] + 0xE6DB99E5);
    StepH<16>(c, d, a, b, x[15] + 0x1FA27CF8);
    StepH<23>(b, c, d, a, x[2] + 0xC4AC5665);

    StepI<6>(a, b, c, d, x[0] + 0xF4292244);
    StepI<10>(d, a, b, c, x[7] + 0x432AFF97);
    StepI<15>(c, d, a, b, x[14] + 0xAB9423A7);
    StepI<21>(b, c, d, a, x[5] + 0xFC93A039);
    StepI<6>(a, b, c, d, x[12] + 0x655B59C3);
    StepI<10>(d, a, b, c, x[3] + 0x8F0CCC92);
    StepI<15>(c, d, a, b, x[10] + 0xFFEFF47D);
    StepI<21>(b, c, d, a, x[1] + 0x85845DD1);
    StepI<6>(a, b, c, d, x[8] + 0x6FA87E4F);
    StepI<10>(d, a, b, c, x[15] + 0xFE2CE6E0);
    StepI<15>(c, d, a, b, x[6] + 0xA3014314);
    StepI<21>(b, c, d, a, x[13] + 0x4E0811A1);
    StepI<6>(a, b, c, d, x[4] + 0xF7537E82);
    StepI<10>(d, a, b, c, x[11] + 0xBD3AF235);
    StepI<15>(c, d, a, b, x[2] + 0x2AD7D2BB);
    StepI<21>(b, c, d, a, x[9] + 0xEB86D391);

    a += a0, b += b0, c += c0, d += d0;
  }
  chain[0] = a, chain[1] = b, chain[2] = c, chain[3] = d;
}

}  // namespace
}  // namespace detail

void Md5Init(TMd5Accumulator& acc) {
  acc.BitCount[0] = 0;
  acc.BitCount[1] = 0;
  std::copy(std::begin(detail::kMd5Init), std::end(detail::kMd5Init), acc.Chain);
}

void Md5Update(TMd5Accumulator& acc, const void* buffer, std::int32_t length) {
  if (length <= 0) return;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  auto remaining = static_cast<std::uint32_t>(length);
  std::uint32_t pending = (acc.BitCount[0] >> 3) & 63;

  // The 64-bit bit count grows by length * 8: the low 32 bits of that go to the low word (with
  // its carry), the bits above to the high word.
  const std::uint32_t low = acc.BitCount[0] + (remaining << 3);
  acc.BitCount[1] += (low < acc.BitCount[0] ? 1 : 0) + (remaining >> 29);
  acc.BitCount[0] = low;

  if (pending > 0) {
    const std::uint32_t take = std::min(64 - pending, remaining);
    std::memcpy(acc.Pending + pending, in, take);
    in += take, remaining -= take, pending += take;
    if (pending < 64) return;
    detail::Md5Blocks(acc.Chain, acc.Pending, 1);
  }
  const std::uint32_t blocks = remaining / 64;
  detail::Md5Blocks(acc.Chain, in, blocks);
  in += std::size_t{blocks} * 64, remaining -= blocks * 64;
  std::memcpy(acc.Pending, in, remaining);
}

void Md5Final(TMd5Accumulator& acc, TMd5Digest& digest) {
  static constexpr std::uint8_t kPad[64] = {0x80};
  const std::uint32_t bitsLow = acc.BitCount[0];
  const std::uint32_t bitsHigh = acc.BitCount[1];
  const std::uint32_t pending = (bitsLow >> 3) & 63;
  Md5Update(acc, kPad, static_cast<std::int32_t>(pending < 56 ? 56 - pending : 120 - pending));
  detail::StoreLe32(acc.Pending + 56, bitsLow);
  detail::StoreLe32(acc.Pending + 60, bitsHigh);
  detail::Md5Blocks(acc.Chain, acc.Pending, 1);
  for (int i = 0; i < 4; ++i)
    detail::StoreLe32(digest.data() + 4 * i, acc.Chain[i]);
}

void Md5OfBuffer(TMd5Digest& digest, const void* buffer, std::int32_t length) {
  TMd5Accumulator acc{};
  Md5Init(acc);
  Md5Update(acc, buffer, length);
  Md5Final(acc, digest);
}

void Md5OfString(TMd5Digest& digest, const std::string& s) {
  TMd5Accumulator acc{};
  Md5Init(acc);
  detail::AbsorbInPieces(
      s, [&acc](const char* data, std::int32_t length) { Md5Update(acc, data, length); });
  Md5Final(acc, digest);
}

}  // namespace xkit
