#include "text/scan.hpp"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace dorvenk {
namespace {

constexpr int END = std::char_traits<char>::eof();

int peek(Scanner& s) {
  if (s.pending_count > 0) return static_cast<unsigned char>(s.pending[s.pending_count - 1]);
  return s.source->sgetc();
}

int get(Scanner& s) {
  int c;
  if (s.pending_count > 0) {
    c = static_cast<unsigned char>(s.pending[--s.pending_count]);
  } else {
    c = s.source->sbumpc();
  }
  if (c == '\n') ++s.line;
  return c;
}

// Gives back bytes taken by a partial match; never white space.
void unget(Scanner& s, char c) { s.pending[s.pending_count++] = c; }

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Skips white space; returns false when the input ends first.
bool skip_space(Scanner& s) {
  for (;;) {
    int c = peek(s);
    if (c == END) return false;
    if (!is_space_byte(c)) return true;
    get(s);
  }
}

// Appends a run of digits to `text`; returns how many.
int take_digits(Scanner& s, std::string& text) {
  int count = 0;
  while (is_digit(peek(s))) {
    text.push_back(static_cast<char>(get(s)));
    ++count;
  }
  return count;
}

// 10^0 .. 10^22, every one an exact double.
constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The value of a number text without an exponent ("-", digits, at most one
// ".") whose digits, taken together as an integer m, stay below 2^53 and
// which has at most 22 digits after the point: then m and 10^decimals are
// exact doubles and their one quotient is the correctly rounded value of
// the text, the very double from_chars gives. False for any other text.
bool exact_short_decimal(const std::string& text, double& value) {
  constexpr std::uint64_t LIMIT = std::uint64_t{1} << 53;
  std::size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++at;
  std::uint64_t m = 0;
  int decimals = -1;  // -1 until the point
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '.') {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return false;  // an exponent
    if (m >= LIMIT / 10) return false;
    m = m * 10 + static_cast<std::uint64_t>(c - '0');
    if (decimals >= 0) ++decimals;
  }
  if (m >= LIMIT || decimals > 22) return false;
  const double magnitude =
      decimals > 0 ? static_cast<double>(m) / EXACT_POWERS_OF_TEN[decimals] : static_cast<double>(m);
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

Scanner make_scanner(std::streambuf* source) {
  Scanner scanner;
  scanner.source = source;
  return scanner;
}

bool is_space_byte(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

ScanStatus scan_word(Scanner& s, std::string& word) {
  word.clear();
  if (!skip_space(s)) return ScanStatus::end;
  for (int c = peek(s); c != END && !is_space_byte(c); c = peek(s)) {
    word.push_back(static_cast<char>(get(s)));
  }
  return ScanStatus::ok;
}

ScanStatus scan_int(Scanner& s, int& value) {
  if (!skip_space(s)) return ScanStatus::end;
  bool negative = false;
  int c = peek(s);
  if (c == '+' || c == '-') {
    get(s);
    if (!is_digit(peek(s))) {
      unget(s, static_cast<char>(c));
      return ScanStatus::no_number;
    }
    negative = c == '-';
  } else if (!is_digit(c)) {
    return ScanStatus::no_number;
  }
  // Accumulate the magnitude in 64 bits, which hold INT_MAX + 1 for
  // INT_MIN; past that the digits are consumed but no longer added.
  long long magnitude = 0;
  bool too_big = false;
  while (is_digit(peek(s))) {
    int digit = get(s) - '0';
    if (!too_big) {
      magnitude = magnitude * 10 + digit;
      if (magnitude > static_cast<long long>(INT_MAX) + 1) too_big = true;
    }
  }
  long long signed_value = negative ? -magnitude : magnitude;
  if (too_big || signed_value > INT_MAX || signed_value < INT_MIN) return ScanStatus::range;
  value = static_cast<int>(signed_value);
  return ScanStatus::ok;
}

ScanStatus scan_double(Scanner& s, double& value) {
  if (!skip_space(s)) return ScanStatus::end;
  std::string& text = s.number_text;
  text.clear();
  int c = peek(s);
  if (c == '+' || c == '-') {
    get(s);
    if (c == '-') text.push_back('-');
  }
  int digits = take_digits(s, text);
  if (peek(s) == '.') {
    get(s);
    text.push_back('.');
    digits += take_digits(s, text);
  }
  if (digits == 0) {
    // A lone sign or decimal point: give back what was taken.
    if (!text.empty() && text.back() == '.') unget(s, '.');
    if (c == '+' || c == '-') unget(s, static_cast<char>(c));
    s.number_text.clear();
    return ScanStatus::no_number;
  }
  int e = peek(s);
  if (e == 'e' || e == 'E') {
    get(s);
    std::size_t mantissa_length = text.size();
    text.push_back('e');
    int sign = peek(s);
    if (sign == '+' || sign == '-') {
      get(s);
      text.push_back(static_cast<char>(sign));
    }
    if (take_digits(s, text) == 0) {
      // "1e" or "1e+" not followed by digits: the number ends before the e.
      if (sign == '+' || sign == '-') unget(s, static_cast<char>(sign));
      unget(s, static_cast<char>(e));
      text.resize(mantissa_length);
    }
  }
  if (exact_short_decimal(text, value)) return ScanStatus::ok;
  const char* first = text.data();
  const char* last = first + text.size();
  auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow and underflow; strtod
    // gives the infinity, zero or subnormal the text rounds to.
    value = std::strtod(text.c_str(), nullptr);
  }
  return ScanStatus::ok;
}

void skip_word(Scanner& s, std::string& text, std::size_t max_bytes) {
  text.clear();
  for (int c = peek(s); c != END && !is_space_byte(c); c = peek(s)) {
    get(s);
    if (text.size() < max_bytes) text.push_back(static_cast<char>(c));
  }
}

}  // namespace dorvenk
