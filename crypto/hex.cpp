// Uppercase hexadecimal text of a byte buffer, the form in which digests are shown.
#include <cstdint>

#include "crypto/digests.h"

namespace xkit {

void BytesToHex(const void* buffer, std::int32_t count, std::string& result) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  result.clear();
  if (count <= 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  result.resize(2 * static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    result[2 * i] = kDigits[bytes[i] >> 4];
    result[2 * i + 1] = kDigits[bytes[i] & 15];
  }
}

}  // namespace xkit
