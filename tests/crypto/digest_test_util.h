// Helpers for the digest tests: known-answer files, hexadecimal text and reproducible random
// bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace xkit::test {

// The lines of tests/data/NAME that are neither blank nor comments ("#").
std::vector<std::string> DataLines(const std::string& name);

// Bytes from hexadecimal text (either case); the text must have an even length.
std::string FromHex(std::string_view hex);

// Uppercase hexadecimal text of n bytes.
std::string Hex(const void* data, std::size_t n);

std::string RandomBytes(std::mt19937& rng, std::size_t n);

}  // namespace xkit::test
