// The fast "%.6lG" writer against the C library's printf and the general
// std::to_chars, byte for byte, over millions of seeded values and every
// kind of edge: exact ties at the sixth digit, values an ulp either side of
// a tie and of a rounding to the next power of ten, the switches between
// fixed and exponent form (1E-05 / 0.0001, 999999.5 / 1E+06), the ends of
// the fast range and the values it hands on.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "printf_compare.hpp"
#include "text/format.hpp"
#include "text/g6.hpp"

namespace dorvenk {
namespace {

using test_support::Random;

std::string printf_text(double value) { return test_support::printf_text("%.6G", value); }

std::string to_chars_text(double value) {
  char buffer[400];
  char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6).ptr;
  for (char* c = buffer; c != end; ++c) {
    if (*c == 'e') *c = 'E';
  }
  return std::string(buffer, end);
}

void expect_matches(double value, bool with_printf) {
  const std::string want = to_chars_text(value);
  char buffer[G6_FAST_TEXT];
  const char* end = write_g6_fast(buffer, value);
  const double magnitude = std::fabs(value);
  if (magnitude >= 0x1p-40 && magnitude < 0x1p100) {
    ASSERT_NE(end, nullptr) << want;
    ASSERT_EQ(std::string(static_cast<const char*>(buffer), end), want) << std::hexfloat << value;
  } else {
    ASSERT_EQ(end, nullptr) << want;
  }
  std::string appended;
  append_g6(appended, value);
  ASSERT_EQ(appended, want) << std::hexfloat << value;
  if (with_printf) {
    ASSERT_EQ(want, printf_text(value)) << std::hexfloat << value;
  }
}

std::vector<double> edge_values() {
  std::vector<double> v = {0.0,      -0.0,     1.0,       -1.0,    0.0001,   0.00001,  0.0000999995, 0.00009999949,
                           999999.5, 999999.4, 1e6,       1e15,    1e100,    1e-100,   0x1p-40,      -0x1p-40,
                           0x1p100,  -0x1p100, 123456.5,  1234565, 0.1234565, 1.5,     2.5,          100000.5,
                           3.0 / 7,  1e30,     1e-12,     1e-13,   std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::max()};
  for (double d : std::vector<double>(v)) {
    v.push_back(std::nextafter(d, 0.0));
    v.push_back(std::nextafter(d, 1e308));
  }
  // Exact ties: d + 0.5 units of the sixth digit, for dyadic values: the
  // integers 100000.5 .. and their halvings and doublings.
  for (std::int64_t d = 100000; d < 1000000; d += 7) {
    for (int shift = -30; shift <= 30; shift += 3) {
      const double tie = std::ldexp(static_cast<double>(2 * d + 1), shift - 1);
      v.push_back(tie);
      v.push_back(std::nextafter(tie, 0.0));
      v.push_back(std::nextafter(tie, 1e308));
      v.push_back(-tie);
    }
  }
  // Powers of ten and the values just below them that round up to them.
  for (int k = -13; k <= 30; ++k) {
    const double p = std::pow(10.0, k);
    for (double d : {p, p * 0.9999995, p * 0.99999949999, p * 0.9999995000001}) {
      v.push_back(d);
      v.push_back(std::nextafter(d, 0.0));
      v.push_back(std::nextafter(d, 1e308));
    }
  }
  return v;
}

TEST(G6Writer, EdgeValuesAsPrintfWritesThem) {
  for (double value : edge_values()) expect_matches(value, true);
}

TEST(G6Writer, MillionsOfRandomValuesAsPrintfAndToChars) {
  Random rng{31};
  for (int i = 0; i < 3000000; ++i) {
    expect_matches(test_support::random_bit_pattern(rng, -45, 150), i < 1000000);  // 2^-45 .. 2^104
  }
  // Values with six decimals, as data files hold them, and their
  // differences.
  for (int i = 0; i < 1000000; ++i) {
    const double a = static_cast<double>(static_cast<std::int64_t>(rng.next_u64() % 20000000) - 10000000) / 1e6;
    const double b = a * 0.75;
    expect_matches(a, i < 300000);
    expect_matches(a - b, false);
  }
}

}  // namespace
}  // namespace dorvenk
