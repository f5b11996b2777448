// Stream buffers over caller-owned memory: the string operation runs the stream cipher on
// them without copying the text into a stream first.
#pragma once

#include <cstddef>
#include <ios>
#include <streambuf>

namespace xkit::detail {

// A read-only stream buffer over bytes in memory that can report its size.
class MemoryReader : public std::streambuf {
public:
  MemoryReader(const void* data, std::size_t size) {
    char* begin = const_cast<char*>(static_cast<const char*>(data));
    setg(begin, begin, begin + size);
  }

protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which) override {
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    const off_type base = direction == std::ios_base::beg   ? 0
                          : direction == std::ios_base::cur ? gptr() - eback()
                                                            : egptr() - eback();
    const off_type target = base + offset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

// A write-only stream buffer over a fixed span of memory; writing past its end fails.
class MemoryWriter : public std::streambuf {
public:
  MemoryWriter(void* data, std::size_t size) {
    char* begin = static_cast<char*>(data);
    setp(begin, begin + size);
  }
  std::size_t Written() const { return static_cast<std::size_t>(pptr() - pbase()); }
};

}  // namespace xkit::detail
