// Digest throughput over 64 MiB: our MD5 beside OpenSSL's EVP MD5, in one call and in
// 1,000-byte updates; the pi digest beside our own MD5 (peer "xkit_md5"), since no other
// implementation of it exists to compare with.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "crypto/digests.h"

namespace {

constexpr std::int32_t kMessageSize = 64 << 20;
constexpr std::int32_t kUpdateSize = 1000;

const std::vector<std::uint8_t>& Message() {
  static const std::vector<std::uint8_t> message = [] {
    std::vector<std::uint8_t> bytes(kMessageSize);
    std::mt19937 rng(42);
    for (std::uint8_t& byte : bytes)
      byte = static_cast<std::uint8_t>(rng());
    return bytes;
  }();
  return message;
}

// Feeds the message to update(data, length) in pieces of `piece` bytes.
template <typename Update>
void InPieces(std::int32_t piece, Update update) {
  const std::uint8_t* data = Message().data();
  for (std::int32_t offset = 0; offset < kMessageSize; offset += piece)
    update(data + offset, std::min(piece, kMessageSize - offset));
}

void XkitMd5(benchmark::State& state, std::int32_t piece) {
  Message();  // built before the clock starts: the first case to use it would pay for it
  for (auto _ : state) {
    xkit::TMd5Accumulator acc;
    xkit::Md5Init(acc);
    InPieces(piece, [&acc](const std::uint8_t* data, std::int32_t length) {
      xkit::Md5Update(acc, data, length);
    });
    xkit::TMd5Digest digest;
    xkit::Md5Final(acc, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * kMessageSize);
}

void OpenSslMd5(benchmark::State& state, std::int32_t piece) {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        EVP_MD_CTX_free);
  Message();
  for (auto _ : state) {
    EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr);
    InPieces(piece, [&context](const std::uint8_t* data, std::int32_t length) {
      EVP_DigestUpdate(context.get(), data, static_cast<std::size_t>(length));
    });
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * kMessageSize);
}

void XkitPiDigest(benchmark::State& state) {
  Message();
  for (auto _ : state) {
    std::uint8_t digest[16];
    xkit::PiDigestOfBuffer(digest, sizeof digest, Message().data(), kMessageSize);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * kMessageSize);
}

void Register() {
  const struct {
    const char* name;
    std::int32_t piece;
  } md5Cases[] = {{"Md5OneCall64MiB", kMessageSize}, {"Md5Updates1000B64MiB", kUpdateSize}};
  for (const auto& c : md5Cases) {
    const std::string name = c.name;
    const std::int32_t piece = c.piece;
    benchmark::RegisterBenchmark((name + "/xkit").c_str(), XkitMd5, piece)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/openssl").c_str(), OpenSslMd5, piece)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("PiDigest64MiB/xkit", XkitPiDigest)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PiDigest64MiB/xkit_md5", XkitMd5, kMessageSize)
      ->Unit(benchmark::kMillisecond);
}

const int kRegistered = (Register(), 0);

}  // namespace
