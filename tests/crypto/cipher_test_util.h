// Helpers for the cipher tests: hex text, known-answer files, reproducible random bytes, and
// a fixture that runs each test on both AES paths (AES instructions and portable tables).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/aes_engine.h"

namespace xkit::test {

inline std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

inline std::string ToHex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

// The rows of a known-answer file under tests/data, each split into its fields; lines
// starting with "#" are comments.
inline std::vector<std::vector<std::string>> ReadVectors(const std::string& name) {
  std::ifstream file(std::string(XKIT_TEST_DATA_DIR) + "/" + name);
  EXPECT_TRUE(file) << name;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string field; fields >> field;)
      row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

inline std::string RandomBytes(std::mt19937& random, std::size_t count) {
  std::string bytes(count, '\0');
  for (char& b : bytes)
    b = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Parameterised on the path: true runs on the AES instructions (skipped where the CPU lacks
// them), false on the portable tables. Restores the default path afterwards.
class BothAesPaths : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    if (GetParam() && !detail::AesNiSupported()) GTEST_SKIP() << "no AES instructions";
    detail::SetAesNiEnabled(GetParam());
  }
  void TearDown() override { detail::SetAesNiEnabled(true); }
};

inline std::string PathName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "AesNi" : "Tables";
}

}  // namespace xkit::test
