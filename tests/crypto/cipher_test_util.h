// Helpers for the cipher tests, beside those of the digests: known-answer rows, streams that
// behave like pipes or fail, and a fixture that runs each test on every AES path.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "crypto/aes_engine.h"
#include "tests/crypto/digest_test_util.h"

namespace xkit::test {

// Hexadecimal text of a byte string, for readable failures.
inline std::string ToHex(const std::string& bytes) {
  return Hex(bytes.data(), bytes.size());
}

// The rows of a known-answer file under tests/data, each split into its fields.
inline std::vector<std::vector<std::string>> ReadVectors(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : DataLines(name)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string field; fields >> field;)
      row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

// The AES path's name, for test names and failure messages.
inline const char* AesPathName(detail::AesPath path) {
  switch (path) {
    case detail::AesPath::kPortable:
      return "Portable";
    case detail::AesPath::kAesNi:
      return "AesNi";
    case detail::AesPath::kVaes:
      return "Vaes";
  }
  return "Unknown";
}

// Parameterised on the AES path (portable, AES-NI, VAES); paths this CPU lacks are skipped.
// Restores the default path afterwards.
class EveryAesPath : public ::testing::TestWithParam<detail::AesPath> {
protected:
  void SetUp() override {
    if (!detail::AesPathSupported(GetParam())) GTEST_SKIP() << "not on this CPU";
    detail::SetAesPath(GetParam());
  }
  void TearDown() override { detail::SetAesPath(detail::AesPath::kVaes); }
};

inline const auto kEveryAesPath =
    ::testing::Values(detail::AesPath::kPortable, detail::AesPath::kAesNi, detail::AesPath::kVaes);

inline std::string PathName(const ::testing::TestParamInfo<detail::AesPath>& info) {
  return AesPathName(info.param);
}

// An input that cannot seek, like a pipe: it hands out at most `piece` bytes per refill,
// and fails (as a broken device would) once `failAfter` bytes have gone out.
class PipeBuffer : public std::streambuf {
public:
  explicit PipeBuffer(std::string data, std::size_t piece = 1,
                      std::size_t failAfter = std::string::npos)
      : data_(std::move(data)), piece_(piece), failAfter_(failAfter) {}

protected:
  int_type underflow() override {
    if (next_ >= failAfter_) throw std::runtime_error("device error");
    if (next_ >= data_.size()) return traits_type::eof();
    const std::size_t count = std::min({piece_, data_.size() - next_, failAfter_ - next_});
    char* begin = data_.data() + next_;
    setg(begin, begin, begin + count);
    next_ += count;
    return traits_type::to_int_type(*begin);
  }

private:
  std::string data_;
  std::size_t piece_;
  std::size_t failAfter_;
  std::size_t next_ = 0;
};

// An output that takes one byte per call, and refuses every byte after `room` of them.
class ByteSink : public std::streambuf {
public:
  explicit ByteSink(std::size_t room = std::string::npos) : room_(room) {}
  const std::string& Data() const { return data_; }

protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (data_.size() >= room_) return traits_type::eof();
    data_.push_back(traits_type::to_char_type(c));
    return c;
  }

private:
  std::string data_;
  std::size_t room_;
};

// Runs `operation(input, output)` on `data` three ways (a seekable memory stream read in
// one go; a pipe handing out one byte at a time into a byte-at-a-time sink; a pipe handing
// out 1000 bytes at a time) and checks that all three write the same; returns that output.
template <typename Operation>
std::string RunEveryWay(const std::string& data, Operation operation) {
  std::istringstream whole(data);
  std::ostringstream wholeOut;
  operation(whole, wholeOut);
  PipeBuffer bytes(data, 1);
  std::istream byteIn(&bytes);
  ByteSink byteSink;
  std::ostream byteOut(&byteSink);
  operation(byteIn, byteOut);
  EXPECT_EQ(byteSink.Data(), wholeOut.str()) << "one byte at a time, length " << data.size();
  PipeBuffer pieces(data, 1000);
  std::istream pieceIn(&pieces);
  std::ostringstream pieceOut;
  operation(pieceIn, pieceOut);
  EXPECT_EQ(pieceOut.str(), wholeOut.str()) << "pieces of 1000, length " << data.size();
  return wholeOut.str();
}

}  // namespace xkit::test

namespace xkit::detail {

// GoogleTest prints a parameter with this rather than as its bytes.
inline void PrintTo(AesPath path, std::ostream* out) {
  *out << test::AesPathName(path);
}

}  // namespace xkit::detail
