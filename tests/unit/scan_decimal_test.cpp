// The scanner's numbers against std::from_chars, bit for bit, over millions
// of seeded decimal texts of every length around its exact shortcut (all
// digits together below 2^53, at most 22 decimals): short ones, ones at
// 2^53, long ones, many decimals, leading zeros, signs, and exponents.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <sstream>
#include <string>

#include "seeded_random.hpp"
#include "text/scan.hpp"

namespace dorvenk {
namespace {

using test_support::Random;

// A decimal text: sign, 1..24 digits with a point somewhere (or none),
// sometimes an exponent.
std::string decimal_text(Random& rng) {
  std::string text;
  const std::uint64_t sign = rng.next_u64() % 3;
  if (sign == 1) text += '-';
  if (sign == 2) text += '+';
  const int length = 1 + static_cast<int>(rng.next_u64() % 24);
  const int point = static_cast<int>(rng.next_u64() % static_cast<std::uint64_t>(length + 2)) - 1;  // -1: none
  for (int i = 0; i < length; ++i) {
    if (i == point) text += '.';
    // Mostly nines or ordinary digits, so that lengths near 2^53 come up.
    text += static_cast<char>('0' + (rng.next_u64() % 4 == 0 ? 9 : rng.next_u64() % 10));
  }
  if (point == length) text += '.';
  if (rng.next_u64() % 10 == 0) text += "e" + std::to_string(static_cast<int>(rng.next_u64() % 40) - 20);
  return text;
}

void expect_same_as_from_chars(const std::string& text) {
  std::istringstream in(text + "\n");
  Scanner scanner = make_scanner(in.rdbuf());
  double got = 0;
  ASSERT_EQ(scan_double(scanner, got), ScanStatus::ok) << text;
  const std::string plain = text[0] == '+' ? text.substr(1) : text;
  double want = 0;
  const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), want);
  ASSERT_EQ(result.ec, std::errc()) << text;
  ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << text << ": " << got;
}

TEST(ScanDecimal, MillionsOfTextsAsFromChars) {
  Random rng{17};
  for (int i = 0; i < 1500000; ++i) expect_same_as_from_chars(decimal_text(rng));
}

TEST(ScanDecimal, EdgesOfTheExactShortcut) {
  for (const char* text :
       {"9007199254740991", "9007199254740992", "9007199254740993", "900719925474099.3", "9007199254.740993",
        "0.9007199254740993", "-0.0", "0", "-0", "0.0000000000000000000001", "0.00000000000000000000001",
        "1.0000000000000000000001", "0.1", "0.3", "-2.675", "123456.789012", "000000000000000000000000001.5",
        "5.", ".5", "-.5", "1e22", "1.7976931348623157e308", "4.9e-324", "2.2250738585072011e-308",
        "0.000001", "999999.9999995", "18014398509481985", "1.8014398509481985"})
    expect_same_as_from_chars(text);
}

}  // namespace
}  // namespace dorvenk
