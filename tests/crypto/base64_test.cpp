// Base64 coding of streams: RFC 4648's vectors, OpenSSL's encoder on random data, the
// decoder's rules ("=" in every group, value 127 for non-digits, errors outside "+".."z"),
// short last groups, and streams read whole, byte by byte and across the pieces read; on the
// scalar decoder and on the AVX2 one.
#include "crypto/base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <sstream>

#include "crypto/streams.h"
#include "tests/crypto/cipher_test_util.h"

namespace xkit::test {
namespace {

std::string Encode(const std::string& bytes) {
  return RunEveryWay(bytes,
                     [](std::istream& in, std::ostream& out) { Base64EncodeStream(in, out); });
}

std::string Decode(const std::string& text) {
  return RunEveryWay(text,
                     [](std::istream& in, std::ostream& out) { Base64DecodeStream(in, out); });
}

std::string OpenSslEncode(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// The decoder on `text`: what it wrote before it failed, and the failure's message (empty
// when it did not fail).
std::pair<std::string, std::string> DecodeFailing(const std::string& text) {
  std::istringstream in(text);
  std::ostringstream out;
  try {
    Base64DecodeStream(in, out);
  } catch (const ECipherException&) {
    ADD_FAILURE() << "a Base64 error is not a cipher error";
  } catch (const Exception& error) {
    return {out.str(), error.what()};
  }
  return {out.str(), ""};
}

// Runs on the scalar decoder alone (false) and with the AVX2 decoder of digit runs (true).
class Base64Test : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    if (GetParam() && !detail::Base64Avx2Supported()) GTEST_SKIP() << "no AVX2";
    detail::SetBase64Avx2Enabled(GetParam());
  }
  void TearDown() override { detail::SetBase64Avx2Enabled(true); }
};

TEST_P(Base64Test, Rfc4648VectorsBothWays) {
  const auto rows = ReadVectors("base64_rfc4648.txt");
  ASSERT_EQ(rows.size(), 7u);
  for (const auto& row : rows) {
    const std::string bytes = row[0] == "-" ? "" : FromHex(row[0]);
    const std::string text = row[1] == "-" ? "" : row[1];
    EXPECT_EQ(Encode(bytes), text);
    EXPECT_EQ(Decode(text), bytes);
  }
}

TEST_P(Base64Test, MatchesOpenSslOnRandomData) {
  std::mt19937 random(23);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 100; ++n)
    lengths.push_back(n);
  for (const std::size_t n : {6143u, 6144u, 6145u, 12288u, 12290u, 100000u})
    lengths.push_back(n);
  for (const std::size_t n : lengths) {
    const std::string bytes = RandomBytes(random, n);
    const std::string text = Encode(bytes);
    ASSERT_EQ(text, OpenSslEncode(bytes)) << n;
    ASSERT_EQ(Decode(text), bytes) << n;
  }
}

TEST_P(Base64Test, LengthsAndPadding) {
  const std::string text45 = Encode(std::string(45, 'x'));
  EXPECT_EQ(text45.size(), 60u);
  EXPECT_EQ(text45.find('='), std::string::npos);
  const std::string text46 = Encode(std::string(46, 'x'));
  EXPECT_EQ(text46.size(), 64u);
  EXPECT_TRUE(text46.ends_with("==")) << text46;
  EXPECT_EQ(text46.find('='), 62u);
}

TEST_P(Base64Test, EqualsSignsInEveryGroup) {
  const std::pair<const char*, std::string> cases[] = {
      {"QUJD", "ABC"},             // no "=": three bytes
      {"QUI=", "AB"},              // "=" fourth: two bytes
      {"QQ==", "A"},               // "=" third: one byte, whatever the fourth
      {"QQ=x", "A"},               //
      {"QQ=+", "A"},               //
      {"Zg==Zm8=Zm9v", "ffofoo"},  // concatenated padded texts
      {"QQ==QUJD", "AABC"},        //
      {"-_-_", "\xFF\xFF\xFF"},    // non-digits in range decode as 127
      {"A:A@", "\x07\xF0\x7F"},    // ":" and "@" too: 0 shl 2 or 127 shr 4, ...
  };
  for (const auto& [text, bytes] : cases)
    EXPECT_EQ(ToHex(Decode(text)), ToHex(bytes)) << text;
}

// A last group of fewer than four characters yields the bytes whose bits are all there.
TEST_P(Base64Test, ShortLastGroups) {
  const std::pair<const char*, const char*> cases[] = {
      {"Zm9vYg", "foob"}, {"Zm9vYmE", "fooba"}, {"Zm9vY", "foo"},
      {"Q", ""},          {"QQ=", "A"},         {"QUI", "AB"},
  };
  for (const auto& [text, bytes] : cases)
    EXPECT_EQ(Decode(text), bytes) << text;
  EXPECT_EQ(DecodeFailing("Zm9v\n").second, "Invalid Base64 Character");
}

TEST_P(Base64Test, CharactersOutsidePlusToZAreErrors) {
  for (const char bad : {'\n', '\r', ' ', '*', '{', '~', '\0', '\x80', '\xFF'}) {
    for (std::size_t place = 0; place < 4; ++place) {
      std::string text = "QUJD";
      text[place] = bad;
      const auto [written, message] = DecodeFailing("Zm9v" + text);
      EXPECT_EQ(message, "Invalid Base64 Character") << static_cast<int>(bad) << " " << place;
      EXPECT_EQ(written, "") << "the bad group's stretch of 88 characters is not written";
    }
  }
}

// What was decoded from the stretches of 88 characters before the bad one stays written.
TEST_P(Base64Test, ErrorKeepsTheStretchesBeforeIt) {
  const std::string bytes(150, 'b');
  const std::string text = Encode(bytes);  // 200 characters
  for (const std::size_t at : {0u, 87u, 88u, 180u, 199u}) {
    std::string damaged = text;
    damaged[at] = '\n';
    const auto [written, message] = DecodeFailing(damaged);
    EXPECT_EQ(message, "Invalid Base64 Character");
    EXPECT_EQ(written, bytes.substr(0, at / 88 * 66)) << at;
  }
  std::string late(8184 + 100, 'A');  // the error in the second piece read (8,184 characters)
  late[8184 + 90] = '\n';
  EXPECT_EQ(DecodeFailing(late).first.size(), (8184u + 88u) / 4 * 3);
}

TEST_P(Base64Test, DecodingAcrossPiecesOfInput) {
  std::mt19937 random(29);
  for (const std::size_t chars : {8180u, 8184u, 8188u, 8186u, 16368u, 16374u, 100003u}) {
    std::string text;
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < chars; ++i)
      text.push_back(alphabet[random() % 64]);
    std::string expected;
    std::size_t full = chars / 4 * 4;
    // OpenSSL decodes whole groups; the short last group keeps its whole bytes.
    expected.resize(full / 4 * 3);
    EVP_DecodeBlock(reinterpret_cast<unsigned char*>(expected.data()),
                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(full));
    const std::string decoded = Decode(text);
    ASSERT_EQ(decoded.substr(0, expected.size()), expected) << chars;
    EXPECT_EQ(decoded.size(), expected.size() + (chars % 4 == 0 ? 0 : chars % 4 - 1)) << chars;
  }
}

// Padded texts of every length one after another: "=" groups inside long digit runs.
TEST_P(Base64Test, ConcatenatedTextsOfEveryLength) {
  std::mt19937 random(31);
  std::string text, bytes;
  for (std::size_t n = 0; n <= 100; ++n) {
    const std::string piece = RandomBytes(random, n);
    text += Encode(piece);
    bytes += piece;
  }
  EXPECT_EQ(Decode(text), bytes);
}

INSTANTIATE_TEST_SUITE_P(Decoders, Base64Test, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Avx2" : "Scalar";
                         });

}  // namespace
}  // namespace xkit::test
