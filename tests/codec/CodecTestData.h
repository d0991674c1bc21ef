// Reproducible test data for the codec tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace codec_test {

// Every byte value, NUL, CR and LF included, from a fixed seed.
inline std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string data(size, '\0');
  for (char& ch : data) ch = static_cast<char>(byte(generator));
  return data;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string data;
  for (int v : values) data += static_cast<char>(v);
  return data;
}

}  // namespace codec_test
