// The fast "%.12lf" writer and reader against the C library's printf and
// the standard conversions, byte for byte and bit for bit, over millions of
// seeded values and every kind of edge: exact ties at the twelfth decimal
// (the odd multiples of 2^-13 and their multiples by powers of two), values
// an ulp either side of a tie or of a multiple of 10^-12, values that round
// up to the next integer, the ends of the fast ranges, zeros of both signs,
// subnormals and texts the fast reader must hand on.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "printf_compare.hpp"
#include "text/fixed12.hpp"
#include "text/format.hpp"

namespace dorvenk {
namespace {

using test_support::Random;

std::string printf_text(double value) { return test_support::printf_text("%.12f", value); }

std::string to_chars_text(double value) {
  char buffer[400];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 12).ptr);
}

// The fast writer's text, or "" when it declines the value.
std::string fast_text(double value) {
  char buffer[FIXED12_FAST_TEXT];
  const char* end = write_fixed12_fast(buffer, value);
  return end == nullptr ? std::string() : std::string(static_cast<const char*>(buffer), end);
}

// Edge values: ties, their neighbours, the neighbours of multiples of
// 10^-12, carries into the integer part, the range ends.
std::vector<double> edge_values() {
  std::vector<double> v = {0.0,
                           -0.0,
                           std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::min(),
                           4.9e-13,
                           5e-13,
                           5.000000000001e-13,
                           -5e-13,
                           1e-12,
                           0.9999999999995,
                           0.99999999999949996,
                           0.9999999999994999,
                           -0.9999999999995,
                           1.0 / 3.0,
                           2.0 / 3.0,
                           9007.199254740991,
                           9007.199254740992,
                           9007.199254740993,
                           0x1p52,
                           0x1p53,
                           0x1p63,
                           -0x1p63,
                           std::nextafter(0x1p63, 0.0),
                           -std::nextafter(0x1p63, 0.0),
                           std::nextafter(std::nextafter(0x1p64, 0.0), 0.0),
                           1e300,
                           -1e300,
                           std::numeric_limits<double>::max()};
  // Exact ties: odd multiples of 2^-13 (0.0001220703125 has 13 decimals,
  // ending in 5), times powers of two that keep a 5 in the 13th place,
  // and an ulp either side of each.
  for (std::int64_t odd = 1; odd < 200000; odd += 2) {
    for (double tie : {std::ldexp(static_cast<double>(odd), -13), std::ldexp(static_cast<double>(odd), -14) * 2}) {
      v.push_back(tie);
      v.push_back(-tie);
      v.push_back(std::nextafter(tie, 0.0));
      v.push_back(std::nextafter(tie, 1e300));
    }
  }
  for (std::int64_t odd = 1; odd < 2000; odd += 2) {
    for (int shift = 0; shift <= 40; ++shift) v.push_back(std::ldexp(static_cast<double>(odd), shift - 13));
  }
  // The doubles nearest to k * 10^-12 and their neighbours, over many
  // magnitudes.
  Random rng{77};
  for (int i = 0; i < 200000; ++i) {
    const double scale = std::ldexp(1.0, static_cast<int>(rng.next_u64() % 50));
    const double k = std::floor(rng.next_uniform() * scale * 1e3);
    const double near = k / 1e12 + static_cast<double>(rng.next_u64() % 2000);
    v.push_back(near);
    v.push_back(std::nextafter(near, 0.0));
    v.push_back(std::nextafter(near, 1e300));
    v.push_back(-near);
  }
  return v;
}

// Random bit patterns over the whole range of exponents the fast path
// meets (from subnormals to beyond 2^63), both signs.
double random_value(Random& rng) { return test_support::random_bit_pattern(rng, -60, 130); }  // 2^-60 .. 2^69

void expect_writer_matches(double value, bool with_printf) {
  const std::string want = to_chars_text(value);
  const std::string fast = fast_text(value);
  const bool in_range = std::fabs(value) < 0x1p63;
  if (!in_range) {
    ASSERT_EQ(fast, "") << "beyond the fast range: " << want;
  } else {
    ASSERT_EQ(fast, want) << std::hexfloat << value;
  }
  char buffer[MAX_NUMBER_TEXT];
  ASSERT_EQ(std::string(buffer, write_fixed12(buffer, buffer + sizeof buffer, value)), want) << std::hexfloat << value;
  if (with_printf) {
    ASSERT_EQ(want, printf_text(value)) << std::hexfloat << value;
  }
}

TEST(Fixed12Writer, EdgeValuesAsPrintfWritesThem) {
  for (double value : edge_values()) expect_writer_matches(value, true);
}

TEST(Fixed12Writer, MillionsOfRandomValuesAsPrintfAndToChars) {
  Random rng{2024};
  for (int i = 0; i < 4000000; ++i) expect_writer_matches(random_value(rng), i < 2000000);
  // Values of the size the engine's coefficients have.
  for (int i = 0; i < 2000000; ++i) {
    const double value = (rng.next_uniform() - 0.5) * 20.0;
    expect_writer_matches(value, i < 1000000);
  }
}

// The fast reader against from_chars on the same text: same end, same bits.
void expect_reader_matches(const std::string& text) {
  double want = 12345.0;
  const auto [want_end, ec] = std::from_chars(text.data(), text.data() + text.size(), want);
  double got = 12345.0;
  const char* got_end = read_fixed12(text.data(), text.data() + text.size(), got);
  if (ec != std::errc()) {
    ASSERT_EQ(got_end, nullptr) << text;
    return;
  }
  ASSERT_EQ(got_end, want_end) << text;
  if (std::isnan(want)) {
    ASSERT_TRUE(std::isnan(got)) << text;
  } else {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << text << " " << got;
  }
}

TEST(Fixed12Reader, TextOfEveryWrittenValueReadsAsFromChars) {
  Random rng{99};
  std::vector<double> values = edge_values();
  for (int i = 0; i < 1000000; ++i) values.push_back(random_value(rng));
  for (double value : values) expect_reader_matches(to_chars_text(value) + "\n");
}

TEST(Fixed12Reader, DigitStringsAroundTheFastLimit) {
  Random rng{5};
  // All digits together m near 2^53 = 9007199254740992, and anywhere below.
  for (std::uint64_t m : {0ULL, 1ULL, 499999999999ULL, 500000000000ULL, 9007199254740991ULL, 9007199254740992ULL,
                          9007199254740993ULL, 9999999999999999ULL, 99999999999999999ULL}) {
    const std::string digits = std::to_string(m);
    const std::string padded = std::string(digits.size() < 13 ? 13 - digits.size() : 0, '0') + digits;
    const std::string text = padded.substr(0, padded.size() - 12) + "." + padded.substr(padded.size() - 12);
    expect_reader_matches(text + "\n");
    expect_reader_matches("-" + text + "\n");
  }
  for (int i = 0; i < 2000000; ++i) {
    const std::uint64_t m = rng.next_u64() % 20000000000000000ULL;
    const std::string digits = std::to_string(m);
    const std::string padded = std::string(digits.size() < 13 ? 13 - digits.size() : 0, '0') + digits;
    std::string text = padded.substr(0, padded.size() - 12) + "." + padded.substr(padded.size() - 12) + "\n";
    if (rng.next_u64() % 2 != 0) text.insert(0, "-");
    expect_reader_matches(text);
  }
}

TEST(Fixed12Reader, OtherFormsGoTheGeneralWay) {
  for (const char* text : {"inf\n", "-inf\n", "nan\n", "1e5\n", "1.000000000000e5\n", "12.5\n", "0.1234567890123\n",
                           "1.00000000000\n", "+1.000000000000\n", "-\n", ".000000000000\n", "1.000000000000",
                           "1.000000000000 \n", "123456.000000000000\n", "00001.000000000000\n", "x\n", "",
                           "1.00000000000x\n", "-0.000000000000\n", "0.000000000000\n"})
    expect_reader_matches(text);
}

}  // namespace
}  // namespace dorvenk
