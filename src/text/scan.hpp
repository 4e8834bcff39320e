// Reading words and numbers from a byte stream, the way the tool reads its
// answers and its data files.
//
// White space (blank, tab, line feed, carriage return, vertical tab, form
// feed) separates items; any amount of it, blank lines included, is skipped
// before an item. Several items on one line are read one after another.
//
// A number is: an optional sign, digits with at most one decimal point (at
// least one digit in all), then optionally "e" or "E", an optional sign and
// digits. Words for infinity or NaN and hexadecimal forms are not numbers.
// A read that finds no number consumes nothing: the offending text stays in
// the input for the caller to report or skip.
#pragma once

#include <streambuf>
#include <string>

namespace dorvenk {

enum class ScanStatus {
  ok,         // an item was read
  no_number,  // the next item is not a number; nothing was consumed
  range,      // an integer was read whose value does not fit 32 bits
  end,        // the input ended (or failed) before an item began
};

struct Scanner {
  std::streambuf* source = nullptr;
  // 1-based number of the line the next byte belongs to.
  long long line = 1;
  // Bytes taken back after a partial number match ("1e+" before "x").
  char pending[4] = {};
  int pending_count = 0;
  // Reused text of the number being read, so reading allocates nothing per value.
  std::string number_text;
};

Scanner make_scanner(std::streambuf* source);

// True for the bytes that separate items.
bool is_space_byte(int c);

// Reads one white-space-delimited word of any length.
ScanStatus scan_word(Scanner& scanner, std::string& word);

// Reads a signed decimal integer ("%d"): sign and digits only, so "2.5"
// gives 2 and leaves ".5" in the input. A value outside the signed 32-bit
// range is consumed and reported as ScanStatus::range.
ScanStatus scan_int(Scanner& scanner, int& value);

// Reads a number ("%lf") in the grammar above. Values too large for a double
// become infinities, values too small become zero or subnormal, as strtod does.
ScanStatus scan_double(Scanner& scanner, double& value);

// Consumes the rest of the current word (up to white space or the end),
// keeping at most `max_bytes` of it in `text`.
void skip_word(Scanner& scanner, std::string& text, std::size_t max_bytes);

}  // namespace dorvenk
