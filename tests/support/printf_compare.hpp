// What the tests of the fast number writers share: the C library's printf
// text of a value, and seeded doubles of random bits over a chosen range of
// exponents to compare the two on.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

#include "seeded_random.hpp"

namespace dorvenk::test_support {

// The C library's text of `value` in the printf `format` ("%.12f", "%.6G").
inline std::string printf_text(const char* format, double value) {
  char buffer[400];
  const int length = std::snprintf(buffer, sizeof buffer, format, value);
  return std::string(buffer, static_cast<std::size_t>(length));
}

// Random bits for a double: either sign, a binary exponent in
// low_exponent .. low_exponent + exponent_count - 1, any mantissa.
inline double random_bit_pattern(Random& rng, int low_exponent, int exponent_count) {
  const std::uint64_t sign = rng.next_u64() & (std::uint64_t{1} << 63);
  const std::uint64_t exponent =
      static_cast<std::uint64_t>(1023 + low_exponent) + rng.next_u64() % static_cast<std::uint64_t>(exponent_count);
  const std::uint64_t mantissa = rng.next_u64() & ((std::uint64_t{1} << 52) - 1);
  return std::bit_cast<double>(sign | (exponent << 52) | mantissa);
}

}  // namespace dorvenk::test_support
