// AES, the stream cipher, Base64 and the string operation, side by side with OpenSSL's EVP
// interface on the same data: one-block calls, ECB over 64 MiB, Base64 over 48 MiB, and the
// string operation over 1 MiB against OpenSSL's ECB followed by EVP_EncodeBlock. The AES
// cases run again with xkit forced onto its portable rounds (".../portable"), as on a CPU
// without the AES instructions.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <istream>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes.h"
#include "crypto/aes_engine.h"
#include "crypto/memory_streams.h"
#include "crypto/streams.h"

namespace {

constexpr std::size_t kStreamBytes = 64u << 20;
constexpr std::size_t kBase64Bytes = 48u << 20;
constexpr std::size_t kStringBytes = 1u << 20;

std::vector<std::uint8_t> RandomData(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  std::mt19937_64 random(size);
  for (std::uint8_t& b : data)
    b = static_cast<std::uint8_t>(random());
  return data;
}

const std::vector<std::uint8_t>& Key() {
  static const std::vector<std::uint8_t> key = RandomData(32);
  return key;
}

const EVP_CIPHER* EcbCipher(int keyBits) {
  return keyBits == 128 ? EVP_aes_128_ecb() : EVP_aes_256_ecb();
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherContext EcbContext(int keyBits, bool encrypt) {
  CipherContext ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EVP_CipherInit_ex(ctx.get(), EcbCipher(keyBits), nullptr, Key().data(), nullptr, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  return ctx;
}

// The AES path for the length of one benchmark: the best supported, or the portable rounds.
class PathChoice {
public:
  explicit PathChoice(bool portable) {
    if (portable) xkit::detail::SetAesPath(xkit::detail::AesPath::kPortable);
  }
  ~PathChoice() { xkit::detail::SetAesPath(xkit::detail::AesPath::kVaes); }
  PathChoice(const PathChoice&) = delete;
  PathChoice& operator=(const PathChoice&) = delete;
};

// One run of `operation(in, out)` per iteration from `input` into `room` bytes of memory,
// through streams over the two buffers; `counted` bytes make the throughput.
template <typename Operation>
void OverMemoryStreams(benchmark::State& state, const std::vector<std::uint8_t>& input,
                       std::size_t room, std::size_t counted, Operation operation) {
  std::vector<std::uint8_t> output(room);
  for (auto _ : state) {
    xkit::detail::MemoryReader reader(input.data(), input.size());
    xkit::detail::MemoryWriter writer(output.data(), output.size());
    std::istream in(&reader);
    std::ostream out(&writer);
    operation(in, out);
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * counted));
}

// ---- One block per call ----

void AesBlockXkit(benchmark::State& state, int keyBits, bool encrypt, bool portable) {
  const PathChoice path(portable);
  xkit::TAesKey key;
  xkit::AesInitKey(Key().data(), keyBits / 8, key, encrypt);
  std::uint8_t block[16] = {};
  for (auto _ : state) {
    xkit::AesBlock(key, block);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}

void AesBlockOpenSsl(benchmark::State& state, int keyBits, bool encrypt, bool) {
  const CipherContext ctx = EcbContext(keyBits, encrypt);
  std::uint8_t block[16] = {};
  int written = 0;
  for (auto _ : state) {
    EVP_CipherUpdate(ctx.get(), block, &written, block, 16);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}

// ---- The stream cipher over memory streams, against ECB on the same buffer ----

void AesStreamXkit(benchmark::State& state, int keyBits, bool encrypt, bool portable) {
  const PathChoice path(portable);
  // Deciphering reads what enciphering wrote: the plaintext plus the final block.
  const std::vector<std::uint8_t> input = RandomData(kStreamBytes + (encrypt ? 0 : 16));
  OverMemoryStreams(state, input, kStreamBytes + 16, kStreamBytes,
                    [keyBits, encrypt](std::istream& in, std::ostream& out) {
                      try {
                        xkit::AesCryptStream(in, out, Key().data(), keyBits / 8, encrypt);
                      } catch (const xkit::ECipherException&) {
                        // Random bytes deciphered: the final block may claim too much; the
                        // work is done.
                      }
                    });
}

void AesStreamOpenSsl(benchmark::State& state, int keyBits, bool encrypt, bool) {
  const CipherContext ctx = EcbContext(keyBits, encrypt);
  const std::vector<std::uint8_t> input = RandomData(kStreamBytes + 16);
  std::vector<std::uint8_t> output(kStreamBytes + 16);
  int written = 0;
  for (auto _ : state) {
    EVP_CipherUpdate(ctx.get(), output.data(), &written, input.data(),
                     static_cast<int>(input.size()));
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
}

// ---- Base64 ----

void Base64EncodeXkit(benchmark::State& state) {
  OverMemoryStreams(state, RandomData(kBase64Bytes), kBase64Bytes / 3 * 4, kBase64Bytes,
                    xkit::Base64EncodeStream);
}

void Base64EncodeOpenSsl(benchmark::State& state) {
  const std::vector<std::uint8_t> input = RandomData(kBase64Bytes);
  std::vector<std::uint8_t> output(kBase64Bytes / 3 * 4 + 1);
  for (auto _ : state) {
    EVP_EncodeBlock(output.data(), input.data(), static_cast<int>(input.size()));
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBase64Bytes));
}

std::vector<std::uint8_t> Base64Text() {
  const std::vector<std::uint8_t> bytes = RandomData(kBase64Bytes);
  std::vector<std::uint8_t> text(kBase64Bytes / 3 * 4 + 1);
  text.resize(static_cast<std::size_t>(
      EVP_EncodeBlock(text.data(), bytes.data(), static_cast<int>(bytes.size()))));
  return text;
}

void Base64DecodeXkit(benchmark::State& state) {
  OverMemoryStreams(state, Base64Text(), kBase64Bytes, kBase64Bytes, xkit::Base64DecodeStream);
}

void Base64DecodeOpenSsl(benchmark::State& state) {
  const std::vector<std::uint8_t> input = Base64Text();
  std::vector<std::uint8_t> output(kBase64Bytes);
  for (auto _ : state) {
    EVP_DecodeBlock(output.data(), input.data(), static_cast<int>(input.size()));
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBase64Bytes));
}

// ---- The string operation, against OpenSSL's ECB in the stream layout, then Base64 ----

// The string operation enciphering 1 MiB, or deciphering its Base64 text.
void AesStringXkit(benchmark::State& state, bool encrypt) {
  const std::vector<std::uint8_t> bytes = RandomData(kStringBytes);
  std::string text(bytes.begin(), bytes.end());
  if (!encrypt) xkit::AesCryptString(std::string(text), Key().data(), 16, true, text);
  std::string result;
  for (auto _ : state) {
    xkit::AesCryptString(text, Key().data(), 16, encrypt, result);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStringBytes));
}

void AesStringEncryptOpenSsl(benchmark::State& state, bool) {
  const CipherContext ctx = EcbContext(128, true);
  const std::vector<std::uint8_t> bytes = RandomData(kStringBytes);
  const std::string text(bytes.begin(), bytes.end());
  std::string result;
  for (auto _ : state) {
    // The same work as the string operation: a copy with the final block, ECB, Base64.
    std::vector<std::uint8_t> blocks(text.size() + 16);
    std::copy(text.begin(), text.end(), blocks.begin());
    blocks.back() = 0;
    int written = 0;
    EVP_CipherUpdate(ctx.get(), blocks.data(), &written, blocks.data(),
                     static_cast<int>(blocks.size()));
    std::string encoded(blocks.size() / 3 * 4 + 5, '\0');
    encoded.resize(
        static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                                 blocks.data(), static_cast<int>(blocks.size()))));
    result = std::move(encoded);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStringBytes));
}

void AesStringDecryptOpenSsl(benchmark::State& state, bool) {
  const CipherContext ctx = EcbContext(128, false);
  const std::vector<std::uint8_t> bytes = RandomData(kStringBytes);
  std::string text;
  xkit::AesCryptString(std::string(bytes.begin(), bytes.end()), Key().data(), 16, true, text);
  std::string result;
  for (auto _ : state) {
    std::vector<std::uint8_t> blocks(text.size() / 4 * 3);
    const int decoded =
        EVP_DecodeBlock(blocks.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    const std::size_t size = static_cast<std::size_t>(decoded) / 16 * 16;
    int written = 0;
    EVP_CipherUpdate(ctx.get(), blocks.data(), &written, blocks.data(), static_cast<int>(size));
    result.assign(reinterpret_cast<const char*>(blocks.data()),
                  size - 16 + (blocks[size - 1] & 15));
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStringBytes));
}

// CASE/xkit beside CASE/openssl.
template <typename Ours, typename Peer, typename... Args>
void RegisterPair(const std::string& name, benchmark::TimeUnit unit, Ours ours, Peer peer,
                  Args... args) {
  benchmark::RegisterBenchmark((name + "/xkit").c_str(), ours, args...)->Unit(unit);
  benchmark::RegisterBenchmark((name + "/openssl").c_str(), peer, args...)->Unit(unit);
}

void Register() {
  for (const bool portable : {false, true}) {
    const std::string path = portable ? "/portable" : "";
    for (const int bits : {128, 256}) {
      for (const bool encrypt : {true, false}) {
        const std::string way = std::string(encrypt ? "Encrypt" : "Decrypt") + "/";
        RegisterPair("AesBlock" + way + std::to_string(bits) + path, benchmark::kNanosecond,
                     AesBlockXkit, AesBlockOpenSsl, bits, encrypt, portable);
        RegisterPair("AesStream" + way + std::to_string(bits) + "/64MiB" + path,
                     benchmark::kMillisecond, AesStreamXkit, AesStreamOpenSsl, bits, encrypt,
                     portable);
      }
    }
  }
  RegisterPair("Base64Encode/48MiB", benchmark::kMillisecond, Base64EncodeXkit,
               Base64EncodeOpenSsl);
  RegisterPair("Base64Decode/48MiB", benchmark::kMillisecond, Base64DecodeXkit,
               Base64DecodeOpenSsl);
  RegisterPair("AesStringEncrypt/1MiB", benchmark::kMicrosecond, AesStringXkit,
               AesStringEncryptOpenSsl, true);
  RegisterPair("AesStringDecrypt/1MiB", benchmark::kMicrosecond, AesStringXkit,
               AesStringDecryptOpenSsl, false);
}

const int kRegistered = (Register(), 0);

}  // namespace
