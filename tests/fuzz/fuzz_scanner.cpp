// Fuzzes the word and number scanner against a small independent model of
// the same grammar, worked out on the raw bytes.
//
// Input layout: byte 0 picks how many of the following bytes (1 to 8) are
// operations; the rest is the text scanned. The operations run in turn,
// round and round, until a scan reports the end. Each operation byte picks
// scan_word, scan_int, scan_double or skip_word (low two bits) and, for
// skip_word, how many bytes to keep (the other bits).
//
// After every operation the scanner must stand exactly where the model says,
// the bytes it holds back must be the input's next bytes, its line counter
// must be 1 + the line feeds consumed, and what it returned must match the
// model: the same word, the integer strtoll gives, the double strtod gives
// (bit for bit, never NaN), or no number with nothing but white space taken.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_input.hpp"
#include "text/scan.hpp"

namespace {

using dorvenk::ScanStatus;
using dorvenk::Scanner;

struct Text {
  const std::uint8_t* bytes;
  std::size_t size;
};

bool model_space(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool model_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool at(const Text& t, std::size_t i, bool (*test)(std::uint8_t)) { return i < t.size && test(t.bytes[i]); }
bool at_sign(const Text& t, std::size_t i) { return i < t.size && (t.bytes[i] == '+' || t.bytes[i] == '-'); }

std::size_t skip_spaces(const Text& t, std::size_t i) {
  while (at(t, i, model_space)) ++i;
  return i;
}
std::size_t word_end(const Text& t, std::size_t i) {
  while (i < t.size && !model_space(t.bytes[i])) ++i;
  return i;
}
std::size_t digits_end(const Text& t, std::size_t i) {
  while (at(t, i, model_digit)) ++i;
  return i;
}

// Length of the integer ("%d") at i, 0 when there is none.
std::size_t int_length(const Text& t, std::size_t i) {
  std::size_t j = at_sign(t, i) ? i + 1 : i;
  std::size_t end = digits_end(t, j);
  return end == j ? 0 : end - i;
}

// Length of the longest number ("%lf") at i, 0 when there is none.
std::size_t double_length(const Text& t, std::size_t i) {
  std::size_t j = at_sign(t, i) ? i + 1 : i;
  std::size_t int_end = digits_end(t, j);
  std::size_t digits = int_end - j;
  j = int_end;
  if (j < t.size && t.bytes[j] == '.') {
    std::size_t frac_end = digits_end(t, j + 1);
    digits += frac_end - (j + 1);
    j = frac_end;
  }
  if (digits == 0) return 0;
  if (j < t.size && (t.bytes[j] == 'e' || t.bytes[j] == 'E')) {
    std::size_t k = at_sign(t, j + 1) ? j + 2 : j + 1;
    std::size_t exp_end = digits_end(t, k);
    if (exp_end > k) j = exp_end;
  }
  return j - i;
}

std::string slice(const Text& t, std::size_t from, std::size_t to) {
  return std::string(reinterpret_cast<const char*>(t.bytes) + from, to - from);
}

// Checks the scanner's place, held-back bytes and line counter; returns the
// place (bytes of the input consumed).
std::size_t check_place(const Text& t, const Scanner& s, const dorvenk::fuzz::ByteSource& source,
                        std::size_t& newlines_before, std::size_t& counted_to) {
  FUZZ_CHECK(s.pending_count >= 0 && s.pending_count <= 4);
  std::size_t taken = source.taken();
  FUZZ_CHECK(taken >= static_cast<std::size_t>(s.pending_count));
  std::size_t place = taken - static_cast<std::size_t>(s.pending_count);
  // The held-back bytes are the next input bytes, the top of the stack first.
  for (int k = 0; k < s.pending_count; ++k) {
    FUZZ_CHECK(s.pending[s.pending_count - 1 - k] == static_cast<char>(t.bytes[place + static_cast<std::size_t>(k)]));
    FUZZ_CHECK(!model_space(t.bytes[place + static_cast<std::size_t>(k)]));
  }
  FUZZ_CHECK(place >= counted_to);
  for (; counted_to < place; ++counted_to) {
    if (t.bytes[counted_to] == '\n') ++newlines_before;
  }
  FUZZ_CHECK(static_cast<std::size_t>(s.line) == 1 + newlines_before);
  return place;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t op_count = static_cast<std::size_t>(data[0] % 8) + 1;
  if (op_count > size - 1) op_count = size - 1;
  const std::uint8_t* ops = data + 1;
  Text t{data + 1 + op_count, size - 1 - op_count};
  if (op_count == 0) {
    // No operation bytes: scan words to the end.
    static const std::uint8_t word_only = 0;
    ops = &word_only;
    op_count = 1;
  }

  dorvenk::fuzz::ByteSource source(t.bytes, t.size);
  Scanner scanner = dorvenk::make_scanner(&source);
  std::size_t newlines = 0;
  std::size_t counted_to = 0;
  std::size_t place = 0;
  std::string word;

  // Every operation but a failed scan or a skip at white space consumes a
  // byte, so this bound is never the reason to stop on sane behaviour.
  const std::size_t max_steps = 4 * t.size + 64;
  for (std::size_t step = 0; step < max_steps; ++step) {
    std::uint8_t op = ops[step % op_count];
    std::size_t start = skip_spaces(t, place);
    bool ended = false;
    switch (op % 4) {
      case 0: {
        ScanStatus status = dorvenk::scan_word(scanner, word);
        std::size_t next = check_place(t, scanner, source, newlines, counted_to);
        if (start == t.size) {
          FUZZ_CHECK(status == ScanStatus::end);
          FUZZ_CHECK(next == t.size);
          ended = true;
        } else {
          std::size_t end = word_end(t, start);
          FUZZ_CHECK(status == ScanStatus::ok);
          FUZZ_CHECK(word == slice(t, start, end));
          FUZZ_CHECK(next == end);
        }
        place = next;
        break;
      }
      case 1: {
        int value = 12345;
        ScanStatus status = dorvenk::scan_int(scanner, value);
        std::size_t next = check_place(t, scanner, source, newlines, counted_to);
        if (start == t.size) {
          FUZZ_CHECK(status == ScanStatus::end);
          ended = true;
        } else if (std::size_t length = int_length(t, start); length == 0) {
          FUZZ_CHECK(status == ScanStatus::no_number);
          FUZZ_CHECK(next == start);
        } else {
          FUZZ_CHECK(next == start + length);
          std::string text = slice(t, start, start + length);
          errno = 0;
          long long expected = std::strtoll(text.c_str(), nullptr, 10);
          bool fits = errno != ERANGE && expected >= INT_MIN && expected <= INT_MAX;
          if (fits) {
            FUZZ_CHECK(status == ScanStatus::ok);
            FUZZ_CHECK(value == expected);
          } else {
            FUZZ_CHECK(status == ScanStatus::range);
          }
        }
        place = next;
        break;
      }
      case 2: {
        double value = 0.0;
        ScanStatus status = dorvenk::scan_double(scanner, value);
        std::size_t next = check_place(t, scanner, source, newlines, counted_to);
        if (start == t.size) {
          FUZZ_CHECK(status == ScanStatus::end);
          ended = true;
        } else if (std::size_t length = double_length(t, start); length == 0) {
          FUZZ_CHECK(status == ScanStatus::no_number);
          FUZZ_CHECK(next == start);
        } else {
          FUZZ_CHECK(status == ScanStatus::ok);
          FUZZ_CHECK(next == start + length);
          FUZZ_CHECK(!std::isnan(value));
          std::string text = slice(t, start, start + length);
          double expected = std::strtod(text.c_str(), nullptr);
          FUZZ_CHECK(std::memcmp(&value, &expected, sizeof value) == 0);
        }
        place = next;
        break;
      }
      default: {
        std::size_t max_bytes = op / 4 % 40;
        dorvenk::skip_word(scanner, word, max_bytes);
        std::size_t next = check_place(t, scanner, source, newlines, counted_to);
        std::size_t end = word_end(t, place);
        FUZZ_CHECK(next == end);
        std::size_t kept = end - place < max_bytes ? end - place : max_bytes;
        FUZZ_CHECK(word == slice(t, place, place + kept));
        place = next;
        break;
      }
    }
    if (ended) break;
  }
  return 0;
}
