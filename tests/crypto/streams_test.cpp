// AES over streams in the stream layout, the progress hook, and AesCryptString: the exact
// layout (checked against OpenSSL's ECB), decipher errors, pipes, and failing streams.
#include "crypto/streams.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "crypto/aes.h"
#include "tests/crypto/cipher_test_util.h"

namespace xkit::test {
namespace {

const std::string kKey16 = FromHex("000102030405060708090a0b0c0d0e0f");

std::string CryptStream(const std::string& input, const std::string& key, bool encrypt) {
  std::istringstream in(input);
  std::ostringstream out;
  AesCryptStream(in, out, key.data(), static_cast<std::int32_t>(key.size()), encrypt);
  return out.str();
}

std::string Block(const std::string& key, std::string block, bool encrypt) {
  TAesKey aesKey;
  AesInitKey(key.data(), static_cast<std::int32_t>(key.size()), aesKey, encrypt);
  AesBlock(aesKey, block.data());
  return block;
}

// The stream layout built with OpenSSL's ECB: the full blocks, then a final block of the
// tail, zero bytes and the tail's length.
std::string OpenSslLayout(const std::string& plain, const std::string& key) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                             : key.size() == 24 ? EVP_aes_192_ecb()
                                                : EVP_aes_256_ecb();
  std::string padded = plain;
  const std::size_t tail = plain.size() % 16;
  padded.append(15 - tail, '\0');
  padded.push_back(static_cast<char>(tail));
  std::string out(padded.size(), '\0');
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
  EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                     nullptr);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  int written = 0;
  EVP_EncryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &written,
                    reinterpret_cast<const unsigned char*>(padded.data()),
                    static_cast<int>(padded.size()));
  EXPECT_EQ(static_cast<std::size_t>(written), out.size());
  return out;
}

template <typename Exception>
void ExpectThrowsWithMessage(const std::function<void()>& operation, const char* message) {
  try {
    operation();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), message);
  }
}

// ---- The layout ----

using AesStreamTest = EveryAesPath;

TEST_P(AesStreamTest, EmptySixteenAndSeventeenBytes) {
  const std::string empty = CryptStream("", kKey16, true);
  ASSERT_EQ(empty.size(), 16u);
  EXPECT_EQ(Block(kKey16, empty, false), std::string(16, '\0'));

  const std::string plain16 = "exactly 16 bytes";
  const std::string sixteen = CryptStream(plain16, kKey16, true);
  ASSERT_EQ(sixteen.size(), 32u);
  EXPECT_EQ(sixteen.substr(0, 16), Block(kKey16, plain16, true));
  EXPECT_EQ(Block(kKey16, sixteen.substr(16), false), std::string(16, '\0'));

  const std::string seventeen = CryptStream(plain16 + "!", kKey16, true);
  ASSERT_EQ(seventeen.size(), 32u);
  EXPECT_EQ(seventeen.substr(0, 16), sixteen.substr(0, 16));
  std::string finalBlock(16, '\0');
  finalBlock[0] = '!';
  finalBlock[15] = 1;
  EXPECT_EQ(Block(kKey16, seventeen.substr(16), false), finalBlock);

  EXPECT_EQ(CryptStream(empty, kKey16, false), "");
  EXPECT_EQ(CryptStream(sixteen, kKey16, false), plain16);
  EXPECT_EQ(CryptStream(seventeen, kKey16, false), plain16 + "!");
}

TEST_P(AesStreamTest, EqualPlainBlocksGiveEqualCipherBlocks) {
  const std::string cipher = CryptStream(std::string(32, 'x') + "tail", kKey16, true);
  ASSERT_EQ(cipher.size(), 48u);
  EXPECT_EQ(cipher.substr(0, 16), cipher.substr(16, 16));
}

// Streams written by another program with the layout decipher byte for byte, and ours
// decipher there: every length around the block size and the 4 KiB pieces, three key sizes.
TEST_P(AesStreamTest, LayoutMatchesOpenSslEcbBothWays) {
  std::mt19937 random(5);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 48; ++n)
    lengths.push_back(n);
  for (const std::size_t n :
       {4079u, 4080u, 4095u, 4096u, 4097u, 4112u, 8192u, 8193u, 16389u, 65552u})
    lengths.push_back(n);
  for (const std::size_t keySize : {16u, 24u, 32u}) {
    const std::string key = RandomBytes(random, keySize);
    for (const std::size_t n : lengths) {
      const std::string plain = RandomBytes(random, n);
      const std::string expected = OpenSslLayout(plain, key);
      const std::string cipher = CryptStream(plain, key, true);
      ASSERT_EQ(cipher, expected) << keySize << " " << n;
      ASSERT_EQ(CryptStream(expected, key, false), plain) << keySize << " " << n;
    }
  }
}

// Pipes and one-byte reads write what the seekable stream writes, both ways.
TEST_P(AesStreamTest, PipesAndByteByByteStreamsAgree) {
  std::mt19937 random(9);
  const std::string key = RandomBytes(random, 20);
  for (const std::size_t n :
       {0u, 1u, 15u, 16u, 17u, 33u, 4095u, 4096u, 4097u, 4112u, 8208u, 16400u}) {
    const std::string plain = RandomBytes(random, n);
    const auto crypt = [&](bool encrypt) {
      return [&key, encrypt](std::istream& in, std::ostream& out) {
        AesCryptStream(in, out, key.data(), 20, encrypt);
      };
    };
    const std::string cipher = RunEveryWay(plain, crypt(true));
    EXPECT_EQ(cipher.size(), (n / 16 + 1) * 16);
    EXPECT_EQ(RunEveryWay(cipher, crypt(false)), plain) << n;
    EXPECT_EQ(RunEveryWay(cipher + "tail", crypt(false)), plain) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, AesStreamTest, kEveryAesPath, PathName);

// ---- Deciphering errors ----

TEST(AesCryptStream, ShortInputIsInvalidAndWritesNothing) {
  for (std::size_t n = 0; n < 16; ++n) {
    std::istringstream in(std::string(n, 'c'));
    std::ostringstream out;
    ExpectThrowsWithMessage<ECipherException>(
        [&] { AesCryptStream(in, out, kKey16.data(), 16, false); }, "Invalid file format");
    EXPECT_TRUE(out.str().empty()) << n;
    PipeBuffer pipe(std::string(n, 'c'));
    std::istream pipeIn(&pipe);
    ExpectThrowsWithMessage<ECipherException>(
        [&] { AesCryptStream(pipeIn, out, kKey16.data(), 16, false); }, "Invalid file format");
    EXPECT_TRUE(out.str().empty()) << n;
  }
}

TEST(AesCryptStream, TrailingBytesAfterTheLastWholeBlockAreIgnored) {
  const std::string plain = "a plaintext of 40 bytes, give or take...";
  const std::string cipher = CryptStream(plain, kKey16, true);
  for (std::size_t extra = 1; extra < 16; ++extra) {
    std::istringstream in(cipher + std::string(extra, '\x7F'));
    std::ostringstream out;
    AesCryptStream(in, out, kKey16.data(), 16, false);
    EXPECT_EQ(out.str(), plain) << extra;
    EXPECT_EQ(in.tellg(), static_cast<std::streampos>(cipher.size())) << "never read";
  }
}

// A wrong key (or damaged data) whose final block claims more than 15 bytes: the leading
// blocks stay written, nothing of the final block is.
TEST(AesCryptStream, FinalBlockClaimingMoreThanItHoldsIsInvalid) {
  const std::string plain(40, 'p');
  const std::string cipher = CryptStream(plain, kKey16, true);
  std::string wrongKey = kKey16;
  for (wrongKey[0] = 1;
       static_cast<std::uint8_t>(Block(wrongKey, cipher.substr(32), false)[15]) < 16;
       ++wrongKey[0]) {
  }
  std::istringstream in(cipher);
  std::ostringstream out;
  ExpectThrowsWithMessage<ECipherException>(
      [&] { AesCryptStream(in, out, wrongKey.data(), 16, false); }, "Invalid file format");
  EXPECT_EQ(out.str(), Block(wrongKey, cipher.substr(0, 16), false) +
                           Block(wrongKey, cipher.substr(16, 16), false));
}

// The total size decides the layout even when the input does not stand at its start; a
// read that then comes up short is invalid, after the blocks before it were written.
TEST(AesCryptStream, InputNotAtItsStartRunsShort) {
  const std::string plain(40, 'q');
  std::istringstream in(plain);
  in.seekg(8);
  std::ostringstream out;
  ExpectThrowsWithMessage<ECipherException>(
      [&] { AesCryptStream(in, out, kKey16.data(), 16, true); }, "Invalid file format");
  EXPECT_EQ(out.str(), CryptStream(plain, kKey16, true).substr(0, 32));
}

TEST(AesCryptStream, OutputIsAppended) {
  std::istringstream in("data");
  std::ostringstream out("kept:", std::ios::ate);
  AesCryptStream(in, out, kKey16.data(), 16, true);
  EXPECT_EQ(out.str(), "kept:" + CryptStream("data", kKey16, true));
}

// A failing device must not pass for the end of the data, nor a full sink for success.
TEST(AesCryptStream, StreamFailuresRaiseExceptions) {
  PipeBuffer broken(std::string(100, 'b'), 7, 50);
  std::istream brokenIn(&broken);
  std::ostringstream out;
  ExpectThrowsWithMessage<Exception>(
      [&] { AesCryptStream(brokenIn, out, kKey16.data(), 16, true); },
      "Cannot read the input stream");

  std::istringstream in(std::string(100, 'b'));
  ByteSink full(40);
  std::ostream fullOut(&full);
  ExpectThrowsWithMessage<Exception>([&] { AesCryptStream(in, fullOut, kKey16.data(), 16, true); },
                                     "Cannot write the output stream");

  std::istringstream failed("abc");
  failed.setstate(std::ios::failbit);
  ExpectThrowsWithMessage<Exception>([&] { AesCryptStream(failed, out, kKey16.data(), 16, true); },
                                     "Cannot read the input stream");
}

// ---- The progress hook ----

std::vector<std::pair<std::int32_t, std::int32_t>> gCalls;

void RecordProgress(std::int32_t position, std::int32_t size) {
  gCalls.emplace_back(position, size);
}

class ProgressHook : public ::testing::Test {
protected:
  void SetUp() override {
    gCalls.clear();
    CipherProgressHook = RecordProgress;
  }
  void TearDown() override {
    CipherProgressHook = nullptr;
    CipherProgressInterval = 64;
  }
  using Calls = std::vector<std::pair<std::int32_t, std::int32_t>>;
};

TEST_F(ProgressHook, DefaultIntervalOn256Bytes) {
  const std::string cipher = CryptStream(std::string(256, 'h'), kKey16, true);
  EXPECT_EQ(gCalls, (Calls{{64, 256}, {128, 256}, {192, 256}, {256, 256}, {256, 256}}));
  gCalls.clear();
  CryptStream(cipher, kKey16, false);
  EXPECT_EQ(gCalls, (Calls{{64, 272}, {128, 272}, {192, 272}, {256, 272}, {272, 272}}));
}

TEST_F(ProgressHook, IntervalsThatDoNotDivideTheBlockSize) {
  CipherProgressInterval = 40;  // block ends at 80 and 160 are its multiples
  CryptStream(std::string(170, 'h'), kKey16, true);
  EXPECT_EQ(gCalls, (Calls{{80, 170}, {160, 170}, {170, 170}}));
  for (const std::int32_t interval : {0, -5, 1}) {
    gCalls.clear();
    CipherProgressInterval = interval;  // zero and below act as 1: every block
    CryptStream(std::string(40, 'h'), kKey16, true);
    EXPECT_EQ(gCalls, (Calls{{16, 40}, {32, 40}, {40, 40}})) << interval;
  }
}

TEST_F(ProgressHook, PipesReportSizeMinusOne) {
  PipeBuffer pipe(std::string(130, 'h'), 3);
  std::istream in(&pipe);
  std::ostringstream out;
  AesCryptStream(in, out, kKey16.data(), 16, true);
  EXPECT_EQ(gCalls, (Calls{{64, -1}, {128, -1}, {130, -1}}));
}

TEST_F(ProgressHook, StringOperationReportsItsInnerStreams) {
  std::string cipher;
  AesCryptString(std::string(70, 's'), kKey16.data(), 16, true, cipher);
  EXPECT_EQ(gCalls, (Calls{{64, 70}, {70, 70}}));
  gCalls.clear();
  std::string plain;
  AesCryptString(cipher, kKey16.data(), 16, false, plain);
  EXPECT_EQ(gCalls, (Calls{{64, 80}, {80, 80}}));
}

// ---- AesCryptString ----

using AesStringTest = EveryAesPath;

TEST_P(AesStringTest, RoundTripsBinaryStringsForEveryKeySize) {
  std::mt19937 random(17);
  const std::string longKey = RandomBytes(random, 1044);
  for (const std::int32_t keySize : {0, 10, 16, 20, 28, 32, 1044}) {
    for (std::size_t n = 0; n <= 70; ++n) {
      const std::string text = RandomBytes(random, n);
      std::string cipher, back;
      AesCryptString(text, longKey.data(), keySize, true, cipher);
      EXPECT_EQ(cipher.size(), ((n / 16 + 1) * 16 + 2) / 3 * 4);
      AesCryptString(cipher, longKey.data(), keySize, false, back);
      EXPECT_EQ(back, text) << keySize << " " << n;
    }
  }
}

TEST_P(AesStringTest, EqualsTheStreamOperationsChained) {
  const std::string text = "The string operation chains the cipher and Base64.";
  std::istringstream in(text);
  std::stringstream middle;
  std::ostringstream out;
  AesCryptStream(in, middle, kKey16.data(), 16, true);
  Base64EncodeStream(middle, out);
  std::string cipher;
  AesCryptString(text, kKey16.data(), 16, true, cipher);
  EXPECT_EQ(cipher, out.str());
}

INSTANTIATE_TEST_SUITE_P(Paths, AesStringTest, kEveryAesPath, PathName);

TEST(AesCryptString, EmptyStringCases) {
  std::string cipher;
  AesCryptString("", kKey16.data(), 16, true, cipher);
  EXPECT_EQ(cipher.size(), 24u);
  EXPECT_TRUE(cipher.ends_with("==")) << cipher;
  std::string result = "unchanged";
  ExpectThrowsWithMessage<ECipherException>(
      [&] { AesCryptString("", kKey16.data(), 16, false, result); }, "Invalid file format");
  EXPECT_EQ(result, "unchanged");
}

TEST(AesCryptString, FailuresLeaveTheResultUnchanged) {
  std::string cipher;
  AesCryptString("some secret", kKey16.data(), 16, true, cipher);
  std::string result = "unchanged";
  // A line break is no Base64 character; the error is of the base class.
  try {
    AesCryptString(cipher.substr(0, 8) + "\n" + cipher.substr(8), kKey16.data(), 16, false, result);
    ADD_FAILURE() << "no exception";
  } catch (const ECipherException&) {
    ADD_FAILURE() << "a Base64 error is not a cipher error";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Invalid Base64 Character");
  }
  EXPECT_EQ(result, "unchanged");
  // Twelve characters decode to nine bytes, less than one block.
  ExpectThrowsWithMessage<ECipherException>(
      [&] { AesCryptString(cipher.substr(0, 12), kKey16.data(), 16, false, result); },
      "Invalid file format");
  EXPECT_EQ(result, "unchanged");
}

}  // namespace
}  // namespace xkit::test
