// Helpers for the digest tests.
#include "tests/crypto/digest_test_util.h"

#include <fstream>
#include <stdexcept>

#include "crypto/digests.h"

namespace xkit::test {

std::vector<std::string> DataLines(const std::string& name) {
  const std::string path = std::string(XKIT_TEST_DATA_DIR) + "/" + name;
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.front() != '#') lines.push_back(line);
  }
  return lines;
}

std::string FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd hexadecimal text");
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

std::string Hex(const void* data, std::size_t n) {
  std::string text;
  BytesToHex(data, static_cast<std::int32_t>(n), text);
  return text;
}

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(n, '\0');
  for (char& c : bytes)
    c = static_cast<char>(byte(rng));
  return bytes;
}

}  // namespace xkit::test
