// Random integers from the operating system's generator: BigRandomBits, and BigRandomBelow by
// rejection sampling, so that every value below the bound is equally likely.
#include "xFGInt/random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace detail {

namespace {

// The test source: SplitMix64, whose every seed gives a full-period stream.
bool gTestSourceActive = false;
std::uint64_t gTestState = 0;
ScopedRandomSource::DrawObserver gTestObserver = nullptr;

std::uint64_t NextTestWord() {
  std::uint64_t z = (gTestState += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

ScopedRandomSource::ScopedRandomSource(std::uint64_t seed, DrawObserver onDraw) {
  gTestSourceActive = true;
  gTestState = seed;
  gTestObserver = onDraw;
}

ScopedRandomSource::~ScopedRandomSource() {
  gTestSourceActive = false;
  gTestObserver = nullptr;
}

void RandomBytes(void* out, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  if (gTestSourceActive) {
    for (std::size_t i = 0; i < size; i += 8) {
      const std::uint64_t word = NextTestWord();
      std::memcpy(bytes + i, &word, size - i < 8 ? size - i : 8);
    }
    if (gTestObserver != nullptr) gTestObserver(out, size);
    return;
  }
  // getrandom returns fewer bytes than asked only for large requests or when a signal
  // interrupts it; both are simply continued.
  while (size > 0) {
    const ssize_t got = getrandom(bytes, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Exception(std::string("getrandom: ") + std::strerror(errno));
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
}

void RandomLimbs(Limb* out, std::size_t n) {
  RandomBytes(out, n * sizeof(Limb));
}

}  // namespace detail

namespace {

using detail::Limb;

// The most bits a record can hold: 31 per digit, with a 32-bit digit count.
constexpr std::size_t kMaxBits = std::size_t{31} * std::numeric_limits<std::uint32_t>::max();

// out[0..limbs) := `bits` random bits, the ones above cleared.
void DrawBits(Limb* out, std::size_t limbs, std::size_t bits) {
  detail::RandomLimbs(out, limbs);
  if (bits % 64 != 0) out[limbs - 1] &= (Limb{1} << (bits % 64)) - 1;
}

}  // namespace

void BigRandomBits(std::size_t bits, TFGInt& r) {
  if (bits > kMaxBits) throw Exception("BigRandomBits: more bits than a record holds");
  if (bits == 0) {
    detail::SetDigit(r, 0, TBigSign::Positive);
    return;
  }
  const std::size_t limbs = (bits + 63) / 64;
  detail::LimbBuffer buffer(limbs);
  DrawBits(buffer.Data(), limbs, bits);
  detail::FromLimbsSecret(buffer.Data(), limbs, TBigSign::Positive, r);
}

void BigRandomBelow(const TFGInt& bound, TFGInt& r) {
  detail::RequireValue(bound);
  if (detail::IsZero(bound)) throw Exception("BigRandomBelow: the bound must not be zero");
  const std::size_t capacity = detail::LimbsForDigits(detail::DigitCount(bound));
  detail::LimbBuffer buffer(2 * capacity);
  Limb* limit = buffer.Data();
  Limb* value = limit + capacity;
  const std::size_t n = detail::ToLimbs(bound, limit);
  const std::size_t bits = 64 * n - static_cast<std::size_t>(__builtin_clzll(limit[n - 1]));
  // Draws of the bound's bit length are below 2 |bound|, so each is accepted with a
  // probability above one half.
  do {
    DrawBits(value, n, bits);
  } while (detail::Compare(value, limit, n) >= 0);
  detail::FromLimbsSecret(value, n, TBigSign::Positive, r);
}

}  // namespace xkit
