// Wiping of memory that held keys or plaintext, in a way the optimiser may not drop, and a
// fixed-size byte buffer that wipes itself before it is released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace xkit::detail {

inline void SecureWipe(void* data, std::size_t size) {
  if (size == 0) return;
  std::memset(data, 0, size);
  // The empty asm claims to read the memory, so the stores above stay even when the buffer
  // is about to be released.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

// A heap buffer of fixed size (contents unspecified until written) that wipes itself.
class WipedBuffer {
public:
  explicit WipedBuffer(std::size_t size)
      : data_(std::make_unique_for_overwrite<std::uint8_t[]>(size)), size_(size) {}
  ~WipedBuffer() { SecureWipe(data_.get(), size_); }
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;

  std::uint8_t* data() { return data_.get(); }
  std::size_t size() const { return size_; }

private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_;
};

}  // namespace xkit::detail
