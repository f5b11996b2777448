// Reading and writing the caller's streams in large pieces, with failures of the streams
// themselves reported instead of passing for the end of the data.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>

#include "platform/exceptions.h"

namespace xkit::detail {

inline constexpr const char* kReadFailed = "Cannot read the input stream";
inline constexpr const char* kWriteFailed = "Cannot write the output stream";

// An input already in a failed state would read as empty: refuse it instead.
inline void RequireReadable(const std::istream& input) {
  if (input.fail()) throw Exception(kReadFailed);
}

// Up to `count` bytes; fewer only at the end of the input.
inline std::size_t ReadUpTo(std::istream& input, void* data, std::size_t count) {
  if (count == 0) return 0;
  input.read(static_cast<char*>(data), static_cast<std::streamsize>(count));
  if (input.bad()) throw Exception(kReadFailed);
  return static_cast<std::size_t>(input.gcount());
}

inline void WriteAll(std::ostream& output, const void* data, std::size_t count) {
  if (count == 0) return;
  output.write(static_cast<const char*>(data), static_cast<std::streamsize>(count));
  if (!output) throw Exception(kWriteFailed);
}

}  // namespace xkit::detail
