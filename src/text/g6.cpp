#include "text/g6.hpp"

#include <bit>
#include <cstdint>

namespace dorvenk {
namespace {

// 128-bit unsigned integers, a GCC and Clang extension on x86-64.
__extension__ typedef unsigned __int128 u128;

// 10^k for k = 0..27, all below 2^90.
struct PowersOfTen {
  u128 value[28];
  constexpr PowersOfTen() : value() {
    value[0] = 1;
    for (int k = 1; k < 28; ++k) value[k] = value[k - 1] * 10;
  }
};
constexpr PowersOfTen POWERS_OF_TEN;

u128 power_of_ten(int k) { return POWERS_OF_TEN.value[k]; }

// The doubles nearest to 10^-12 .. 10^30.
constexpr double NEAR_POWERS_OF_TEN[] = {1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2,
                                         1e-1,  1e0,   1e1,   1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                         1e10,  1e11,  1e12,  1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20,
                                         1e21,  1e22,  1e23,  1e24, 1e25, 1e26, 1e27, 1e28, 1e29, 1e30};

// round(m * 2^e * 10^k), ties to even, for |k| <= 27 and the ranges
// write_g6_fast admits (every product below stays inside 128 bits).
std::uint64_t rounded_scaled(std::uint64_t m, int e, int k, std::uint64_t& truncated) {
  u128 numerator = m;
  u128 quotient;
  bool above_half;
  bool at_half;
  if (k >= 0 && e < 0) {
    // The common case, a magnitude below 10^6 with bits below its units:
    // the divisor 2^-e is a power of two, so a shift divides.
    numerator *= power_of_ten(k);
    const int shift = -e;
    quotient = numerator >> shift;
    const u128 rest = numerator & ((static_cast<u128>(1) << shift) - 1);
    const u128 half = static_cast<u128>(1) << (shift - 1);
    above_half = rest > half;
    at_half = rest == half;
  } else {
    u128 denominator = 1;
    if (k >= 0) {
      numerator *= power_of_ten(k);
    } else {
      denominator = power_of_ten(-k);
    }
    if (e >= 0) {
      numerator <<= e;
    } else {
      denominator <<= -e;
    }
    quotient = numerator / denominator;
    const u128 twice_rest = 2 * (numerator % denominator);
    above_half = twice_rest > denominator;
    at_half = twice_rest == denominator;
  }
  truncated = static_cast<std::uint64_t>(quotient);
  const bool up = above_half || (at_half && (quotient & 1) != 0);
  return static_cast<std::uint64_t>(quotient) + (up ? 1 : 0);
}

}  // namespace

char* write_g6_fast(char* first, double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const double magnitude = std::bit_cast<double>(bits & ~(std::uint64_t{1} << 63));
  if (!(magnitude >= 0x1p-40 && magnitude < 0x1p100)) return nullptr;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int e = biased - 1075;
  // floor(log2 |value|) * log10(2), rounded down: X or one below it.
  const int binary_exponent = biased - 1023;
  int x = (binary_exponent * 78913) >> 18;  // arithmetic shift: floor for negatives too
  // One comparison settles most guesses that are one too low (the powers
  // of ten here are doubles near 10^(x+1); a guess still off is set right
  // by the exact quotient below).
  if (x + 1 >= -12 && x + 1 <= 30 && magnitude >= NEAR_POWERS_OF_TEN[x + 1 + 12]) ++x;
  std::uint64_t digits = 0;
  for (;;) {
    std::uint64_t truncated;
    digits = rounded_scaled(m, e, 5 - x, truncated);
    if (truncated >= 1000000) {  // the exponent guess was one too low
      ++x;
      continue;
    }
    if (truncated < 100000) {  // one too high, from a power of ten just below the true one
      --x;
      continue;
    }
    if (digits == 1000000) {  // rounded up to the next power of ten
      digits = 100000;
      ++x;
    }
    break;
  }
  // digits now holds six digits, 100000..999999, of value 10^x to 10^(x+1).
  char six[6];
  for (int i = 5; i >= 0; --i) {
    six[i] = static_cast<char>('0' + digits % 10);
    digits /= 10;
  }
  int kept = 6;  // significant digits after dropping trailing zeros
  while (kept > 1 && six[kept - 1] == '0') --kept;

  char* out = first;
  if ((bits >> 63) != 0) *out++ = '-';
  if (x < -4 || x >= 6) {
    *out++ = six[0];
    if (kept > 1) {
      *out++ = '.';
      for (int i = 1; i < kept; ++i) *out++ = six[i];
    }
    *out++ = 'E';
    *out++ = x < 0 ? '-' : '+';
    const int exponent = x < 0 ? -x : x;
    if (exponent >= 100) *out++ = static_cast<char>('0' + exponent / 100);
    *out++ = static_cast<char>('0' + exponent / 10 % 10);
    *out++ = static_cast<char>('0' + exponent % 10);
  } else if (x >= 0) {
    for (int i = 0; i <= x; ++i) *out++ = six[i];
    if (kept > x + 1) {
      *out++ = '.';
      for (int i = x + 1; i < kept; ++i) *out++ = six[i];
    }
  } else {
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < -x - 1; ++i) *out++ = '0';
    for (int i = 0; i < kept; ++i) *out++ = six[i];
  }
  return out;
}

}  // namespace dorvenk
