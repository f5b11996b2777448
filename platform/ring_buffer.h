// A byte ring of fixed capacity: the read-ahead between the network and a pulling reader.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace xkit::detail {

// Invariant: size_ <= capacity_; the bytes held are data_[head_ .. head_ + size_) taken modulo
// capacity_, oldest first.
class RingBuffer {
public:
  explicit RingBuffer(std::size_t capacity) : capacity_(capacity) {}

  std::size_t Size() const { return size_; }
  std::size_t Free() const { return capacity_ - size_; }
  std::size_t Capacity() const { return capacity_; }

  // Makes room for at least `capacity` bytes; only while empty.
  void GrowEmpty(std::size_t capacity) {
    if (capacity <= capacity_ && data_) return;
    capacity_ = std::max(capacity_, capacity);
    data_.reset();
    head_ = 0;
  }

  // Appends count <= Free() bytes.
  void Write(const char* data, std::size_t count) {
    if (!data_) data_ = std::make_unique<char[]>(capacity_);
    const std::size_t tail = (head_ + size_) % capacity_;
    const std::size_t first = std::min(count, capacity_ - tail);
    std::memcpy(data_.get() + tail, data, first);
    std::memcpy(data_.get(), data + first, count - first);
    size_ += count;
  }

  // Takes up to count bytes from the front; returns how many.
  std::size_t Read(char* out, std::size_t count) {
    count = std::min(count, size_);
    if (count == 0) return 0;
    const std::size_t first = std::min(count, capacity_ - head_);
    std::memcpy(out, data_.get() + head_, first);
    std::memcpy(out + first, data_.get(), count - first);
    head_ = (head_ + count) % capacity_;
    size_ -= count;
    if (size_ == 0) head_ = 0;  // keeps the next writes and reads in one piece
    return count;
  }

private:
  std::unique_ptr<char[]> data_;  // allocated at the first write
  std::size_t capacity_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace xkit::detail
