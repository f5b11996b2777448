// AES over byte streams in the stream layout, the progress hook, and the string operation.
#include "crypto/streams.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/aes_engine.h"
#include "crypto/base64.h"
#include "crypto/memory_streams.h"
#include "crypto/stream_io.h"
#include "crypto/wipe.h"
#include "platform/declassify.h"

namespace xkit {

ECipherException::~ECipherException() = default;

std::atomic<TCipherProgressProc> CipherProgressHook{nullptr};
std::atomic<std::int32_t> CipherProgressInterval{64};

namespace {

constexpr std::size_t kBlock = 16;
// 4 KiB per read and write: a piece stays in the first-level cache while it is transformed.
constexpr std::size_t kChunkBlocks = 256;
constexpr const char* kInvalidFormat = "Invalid file format";

std::int32_t Low32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// Where the input stands and how long it is; size -1 when it cannot seek (a pipe).
struct Extent {
  std::int64_t position = 0;
  std::int64_t size = -1;
};

Extent Measure(std::istream& input) {
  // A stream read to its end still seeks: only its end-of-file mark is dropped.
  if (input.eof() && !input.fail()) input.clear();
  detail::RequireReadable(input);
  const std::streampos start = input.tellg();
  if (start == std::streampos(-1)) return {};
  input.seekg(0, std::ios::end);
  const std::streampos end = input.tellg();
  input.clear();
  input.seekg(start);
  if (end == std::streampos(-1) || !input) {
    input.clear();
    return {};
  }
  return {static_cast<std::int64_t>(start), static_cast<std::int64_t>(end)};
}

// The hook's calls, as if the input were read block by block: after each block whose end
// position is a multiple of the interval, and once at the end.
class Progress {
public:
  explicit Progress(const Extent& extent)
      : hook_(CipherProgressHook.load()),
        interval_(std::max<std::int32_t>(CipherProgressInterval.load(), 1)),
        position_(extent.position),
        size_(extent.size),
        remainder_(position_ % interval_) {}

  void Blocks(std::size_t count) {
    if (hook_ == nullptr) {
      position_ += static_cast<std::int64_t>(kBlock * count);
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      position_ += kBlock;
      remainder_ = (remainder_ + kBlock) % interval_;
      if (remainder_ == 0) hook_(Low32(position_), Low32(size_));
    }
  }

  // The final block consumed `bytes` of the input.
  void Finish(std::size_t bytes) {
    position_ += static_cast<std::int64_t>(bytes);
    if (hook_ != nullptr) hook_(Low32(position_), Low32(size_));
  }

private:
  TCipherProgressProc hook_;
  std::int64_t interval_;
  std::int64_t position_;
  std::int64_t size_;
  std::int64_t remainder_;  // position_ mod interval_, while a hook is set
};

// The layout of one stream: leading blocks transformed whole, then the final block.
class LayoutCipher {
public:
  LayoutCipher(std::istream& input, std::ostream& output, const void* key, std::int32_t keySize,
               bool encrypt)
      : input_(input),
        output_(output),
        cipher_(key, keySize, encrypt),
        encrypt_(encrypt),
        extent_(Measure(input)),
        progress_(extent_),
        buffer_(kChunkBlocks * kBlock) {}

  void Run() {
    if (extent_.size >= 0) {
      RunSized();
    } else if (encrypt_) {
      EncryptToEnd();
    } else {
      DecryptToEnd();
    }
  }

private:
  // The total size fixes the layout: S div 16 leading blocks enciphering (then S mod 16
  // tail bytes), S div 16 - 1 deciphering (then one final block).
  void RunSized() {
    const std::int64_t wholeBlocks = extent_.size / static_cast<std::int64_t>(kBlock);
    std::int64_t leading = encrypt_ ? wholeBlocks : wholeBlocks - 1;
    while (leading > 0) {
      const std::size_t want = static_cast<std::size_t>(
          std::min<std::int64_t>(leading, static_cast<std::int64_t>(kChunkBlocks)));
      const std::size_t got = detail::ReadUpTo(input_, buffer_.data(), want * kBlock);
      TransformAndWrite(buffer_.data(), got / kBlock);
      if (got < want * kBlock) throw ECipherException(kInvalidFormat);
      leading -= static_cast<std::int64_t>(want);
    }
    const std::size_t last =
        encrypt_ ? static_cast<std::size_t>(extent_.size % static_cast<std::int64_t>(kBlock))
                 : kBlock;
    const std::size_t got = detail::ReadUpTo(input_, buffer_.data(), last);
    if (got < last) throw ECipherException(kInvalidFormat);
    FinalBlock(buffer_.data(), last);
  }

  // An input without a size, enciphered: every whole block as it comes, then the tail.
  void EncryptToEnd() {
    const std::size_t capacity = buffer_.size();
    for (;;) {
      const std::size_t got = detail::ReadUpTo(input_, buffer_.data(), capacity);
      const std::size_t blocks = got / kBlock;
      TransformAndWrite(buffer_.data(), blocks);
      if (got < capacity) {
        const std::size_t tail = got - blocks * kBlock;
        std::memmove(buffer_.data(), buffer_.data() + blocks * kBlock, tail);
        FinalBlock(buffer_.data(), tail);
        return;
      }
    }
  }

  // An input without a size, deciphered: the last whole block is held back until the end
  // shows it to be the final one; bytes after it are ignored.
  void DecryptToEnd() {
    const std::size_t capacity = buffer_.size();
    std::size_t held = 0;  // 0, or one block kept at the start of the buffer
    for (;;) {
      const std::size_t got = detail::ReadUpTo(input_, buffer_.data() + held, capacity - held);
      const std::size_t blocks = (held + got) / kBlock;
      if (held + got < capacity) {
        if (blocks == 0) throw ECipherException(kInvalidFormat);
        TransformAndWrite(buffer_.data(), blocks - 1);
        FinalBlock(buffer_.data() + (blocks - 1) * kBlock, kBlock);
        return;
      }
      TransformAndWrite(buffer_.data(), blocks - 1);
      std::memmove(buffer_.data(), buffer_.data() + capacity - kBlock, kBlock);
      held = kBlock;
    }
  }

  void TransformAndWrite(std::uint8_t* blocks, std::size_t count) {
    if (count == 0) return;
    cipher_.Process(blocks, count);
    detail::WriteAll(output_, blocks, count * kBlock);
    progress_.Blocks(count);
  }

  // `block` holds the final block's input: the `consumed` tail bytes when enciphering, the
  // whole enciphered block when deciphering.
  void FinalBlock(std::uint8_t* block, std::size_t consumed) {
    std::size_t count = kBlock;
    if (encrypt_) {
      std::memset(block + consumed, 0, kBlock - consumed);
      block[kBlock - 1] = static_cast<std::uint8_t>(consumed);
      cipher_.Process(block, 1);
    } else {
      cipher_.Process(block, 1);
      // Public: the plaintext's length, which the output's length shows.
      count = detail::Declassify(block[kBlock - 1]);
      // More than the block's own 15 data bytes: a wrong key or damaged data.
      if (count >= kBlock) throw ECipherException(kInvalidFormat);
    }
    detail::WriteAll(output_, block, count);
    progress_.Finish(consumed);
  }

  std::istream& input_;
  std::ostream& output_;
  const detail::AesBlockCipher cipher_;
  const bool encrypt_;
  const Extent extent_;
  Progress progress_;
  detail::WipedBuffer buffer_;  // plaintext passes through it
};

// The stream cipher from memory to memory; returns the bytes written to `out`, which has
// room for the largest result the layout allows.
std::size_t CryptMemory(const void* in, std::size_t inSize, std::uint8_t* out, std::size_t room,
                        const void* key, std::int32_t keySize, bool encrypt) {
  detail::MemoryReader reader(in, inSize);
  detail::MemoryWriter writer(out, room);
  std::istream input(&reader);
  std::ostream output(&writer);
  LayoutCipher(input, output, key, keySize, encrypt).Run();
  return writer.Written();
}

}  // namespace

void AesCryptStream(std::istream& input, std::ostream& output, const void* key,
                    std::int32_t keySize, bool encrypt) {
  LayoutCipher(input, output, key, keySize, encrypt).Run();
}

void AesCryptString(const std::string& text, const void* key, std::int32_t keySize, bool encrypt,
                    std::string& result) {
  if (encrypt) {
    const std::size_t cipherSize = (text.size() / kBlock + 1) * kBlock;
    std::vector<std::uint8_t> cipherText(cipherSize);
    CryptMemory(text.data(), text.size(), cipherText.data(), cipherSize, key, keySize, true);
    std::string encoded(detail::Base64EncodedSize(cipherSize), '\0');
    detail::Base64Encode(cipherText.data(), cipherSize, encoded.data());
    result = std::move(encoded);
    return;
  }
  std::vector<std::uint8_t> cipherText(detail::Base64DecodeRoom(text.size()));
  const detail::Base64Decoded decoded =
      detail::Base64Decode(text.data(), text.size(), cipherText.data());
  if (!decoded.valid) throw Exception(detail::kInvalidBase64);
  detail::WipedBuffer plain(std::max(decoded.byteCount, kBlock));
  const std::size_t plainSize = CryptMemory(cipherText.data(), decoded.byteCount, plain.data(),
                                            plain.size(), key, keySize, false);
  std::string deciphered(reinterpret_cast<const char*>(plain.data()), plainSize);
  result = std::move(deciphered);
}

}  // namespace xkit
