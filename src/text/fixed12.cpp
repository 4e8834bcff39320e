#include "text/fixed12.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace dorvenk {
namespace {

// 128-bit unsigned integers, a GCC and Clang extension on x86-64.
__extension__ typedef unsigned __int128 u128;

constexpr std::uint64_t TEN_TO_12 = 1000000000000ULL;
constexpr std::uint64_t FIVE_TO_12 = 244140625ULL;  // 10^12 / 2^12

// "00", "01", ..., "99".
constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the six digits of v < 10^6, leading zeros included.
char* write_six_digits(char* out, std::uint32_t v) {
  const std::uint32_t high = v / 10000;
  const std::uint32_t low = v % 10000;
  std::memcpy(out, DIGIT_PAIRS + 2 * high, 2);
  std::memcpy(out + 2, DIGIT_PAIRS + 2 * (low / 100), 2);
  std::memcpy(out + 4, DIGIT_PAIRS + 2 * (low % 100), 2);
  return out + 6;
}

// round(f * 10^12) for 0 <= f < 1, ties to even, exactly.
std::uint64_t scaled_fraction(double f) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(f);
  if (bits == 0) return 0;
  const int biased = static_cast<int>(bits >> 52);
  const std::uint64_t fraction_bits = bits & ((std::uint64_t{1} << 52) - 1);
  // f = m * 2^e exactly.
  const std::uint64_t m = biased == 0 ? fraction_bits : fraction_bits | (std::uint64_t{1} << 52);
  const int e = biased == 0 ? -1074 : biased - 1075;
  // f * 10^12 = m * 5^12 * 2^(e + 12), with e + 12 <= -41 since f < 1.
  const u128 product = static_cast<u128>(m) * FIVE_TO_12;  // below 2^81
  const int shift = -(e + 12);
  if (shift >= 128) return 0;  // below 2^-47, nearer to 0 than to 1
  const std::uint64_t whole = static_cast<std::uint64_t>(product >> shift);
  const u128 rest = product & ((static_cast<u128>(1) << shift) - 1);
  const u128 half = static_cast<u128>(1) << (shift - 1);
  const bool up = rest > half || (rest == half && (whole & 1) != 0);
  return whole + (up ? 1 : 0);
}

// The eight decimal digits at `text` as a number, eight at a time in one
// 64-bit word; false when any of them is not a digit.
bool eight_digits(const char* text, std::uint64_t& value) {
  std::uint64_t word;
  std::memcpy(&word, text, 8);
  // Every byte in '0'..'9': its high nibble is 3, and adding 6 keeps it 3.
  if (((word & 0xF0F0F0F0F0F0F0F0ULL) | (((word + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) !=
      0x3333333333333333ULL)
    return false;
  word -= 0x3030303030303030ULL;
  // Pairs, then fours, then all eight (the first digit is the lowest byte).
  word = (word * 10) + (word >> 8);
  word = (((word & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
          (((word >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
         32;
  value = word;
  return true;
}

// The same for four digits.
bool four_digits(const char* text, std::uint32_t& value) {
  std::uint32_t word;
  std::memcpy(&word, text, 4);
  if (((word & 0xF0F0F0F0U) | (((word + 0x06060606U) & 0xF0F0F0F0U) >> 4)) != 0x33333333U) return false;
  word -= 0x30303030U;
  word = (word * 10) + (word >> 8);                           // pairs in bytes 0 and 2
  value = ((word & 0xFF) * 100) + ((word >> 16) & 0xFF);
  return true;
}

}  // namespace

char* write_fixed12_fast(char* first, double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const double magnitude = std::bit_cast<double>(bits & ~(std::uint64_t{1} << 63));
  if (!(magnitude < 0x1p63)) return nullptr;  // also infinities and NaN
  std::uint64_t integer = static_cast<std::uint64_t>(magnitude);  // exact: truncation
  // Exact: the bits of the value below its units.
  const double fraction = magnitude - static_cast<double>(integer);
  std::uint64_t decimals = scaled_fraction(fraction);
  if (decimals == TEN_TO_12) {  // rounded up to the next integer
    decimals = 0;
    ++integer;
  }
  char* out = first;
  if ((bits >> 63) != 0) *out++ = '-';
  out = std::to_chars(out, first + FIXED12_FAST_TEXT, integer).ptr;
  *out++ = '.';
  out = write_six_digits(out, static_cast<std::uint32_t>(decimals / 1000000));
  return write_six_digits(out, static_cast<std::uint32_t>(decimals % 1000000));
}

const char* read_fixed12(const char* first, const char* last, double& value) {
  const char* pos = first;
  const bool negative = pos != last && *pos == '-';
  if (negative) ++pos;
  std::uint64_t digits = 0;
  const char* integer_start = pos;
  // At most 5 digits before the point (the fast range ends near 9007)
  // keep m far inside 64 bits; the test against 2^53 comes at the end.
  while (pos != last && *pos >= '0' && *pos <= '9' && pos - integer_start < 5) {
    digits = digits * 10 + static_cast<std::uint64_t>(*pos - '0');
    ++pos;
  }
  bool fast = pos != integer_start && last - pos >= 14 && *pos == '.' && pos[13] == '\n';
  if (fast) {
    std::uint64_t high;
    std::uint32_t low;
    fast = eight_digits(pos + 1, high) && four_digits(pos + 9, low);
    digits = (digits * 100000000 + high) * 10000 + low;
    pos += 13;
    fast = fast && digits < (std::uint64_t{1} << 53);
  }
  if (fast) {
    const double quotient = static_cast<double>(digits) / 1e12;
    value = negative ? -quotient : quotient;
    return pos;
  }
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() ? end : nullptr;
}

}  // namespace dorvenk
