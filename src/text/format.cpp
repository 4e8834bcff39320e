#include "text/format.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#include "text/fixed12.hpp"
#include "text/g6.hpp"

namespace dorvenk {
namespace {

// Text for infinities and NaN; `upper` selects the %G spelling.
char* write_nonfinite(char* first, double value, bool upper) {
  const char* text;
  if (std::isnan(value)) {
    text = upper ? "NAN" : "nan";
  } else if (value < 0) {
    text = upper ? "-INF" : "-inf";
  } else {
    text = upper ? "INF" : "inf";
  }
  std::size_t length = std::strlen(text);
  std::memcpy(first, text, length);
  return first + length;
}

void append_padded(std::string& out, const char* first, const char* last, int width) {
  auto length = static_cast<int>(last - first);
  if (length < width) out.append(static_cast<std::size_t>(width - length), ' ');
  out.append(first, last);
}

}  // namespace

void append_int(std::string& out, long long value, int width) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  append_padded(out, buffer, result.ptr, width);
}

void append_g6(std::string& out, double value) {
  char buffer[MAX_NUMBER_TEXT];
  char* end;
  if (!std::isfinite(value)) {
    end = write_nonfinite(buffer, value, true);
  } else if ((end = write_g6_fast(buffer, value)) != nullptr) {
    // The same text, by a shorter road for the common magnitudes.
  } else {
    // to_chars in general form with a precision is exactly printf's %.6g.
    end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6).ptr;
    for (char* c = buffer; c != end; ++c) {
      if (*c == 'e') *c = 'E';
    }
  }
  out.append(buffer, end);
}

char* write_fixed12(char* first, char* last, double value) {
  if (!std::isfinite(value)) return write_nonfinite(first, value, false);
  // The same text, by a shorter road for all but the largest magnitudes.
  if (last - first >= static_cast<std::ptrdiff_t>(FIXED12_FAST_TEXT)) {
    if (char* end = write_fixed12_fast(first, value)) return end;
  }
  return std::to_chars(first, last, value, std::chars_format::fixed, 12).ptr;
}

void append_fixed12(std::string& out, double value, int width) {
  char buffer[MAX_NUMBER_TEXT];
  char* end = write_fixed12(buffer, buffer + sizeof buffer, value);
  append_padded(out, buffer, end, width);
}

}  // namespace dorvenk
