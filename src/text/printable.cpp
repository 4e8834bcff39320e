#include "text/printable.hpp"

#include <cstddef>

namespace dorvenk {
namespace {

void append_hex(std::string& out, unsigned char byte) {
  constexpr const char* HEX = "0123456789ABCDEF";
  out += "\\x";
  out += HEX[byte >> 4];
  out += HEX[byte & 0xf];
}

bool is_control(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

bool is_continuation(unsigned char byte) { return (byte & 0xc0) == 0x80; }

// Length of the well-formed UTF-8 sequence at the start of `bytes` (first
// byte 0x80 or above), or 0 when there is none. The bounds of the second
// byte rule out overlong forms, surrogates and values beyond U+10FFFF.
std::size_t utf8_sequence_length(std::string_view bytes) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char first = at(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (first >= 0xc2 && first <= 0xdf) {
    length = 2;
  } else if (first >= 0xe0 && first <= 0xef) {
    length = 3;
    if (first == 0xe0) low = 0xa0;
    if (first == 0xed) high = 0x9f;
  } else if (first >= 0xf0 && first <= 0xf4) {
    length = 4;
    if (first == 0xf0) low = 0x90;
    if (first == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!is_continuation(at(i))) return 0;
  }
  // U+0080 to U+009F: the C1 controls.
  if (first == 0xc2 && at(1) <= 0x9f) return 0;
  return length;
}

bool is_shift_jis_lead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc); }

bool is_shift_jis_trail(unsigned char byte) { return byte >= 0x40 && byte <= 0xfc && byte != 0x7f; }

bool is_shift_jis_single(unsigned char byte) { return (byte >= 0x20 && byte < 0x7f) || (byte >= 0xa1 && byte <= 0xdf); }

}  // namespace

void append_printable(std::string& out, std::string_view bytes, Encoding encoding) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\\') {
      out += "\\\\";
      ++i;
      continue;
    }
    if (byte < 0x80 || encoding == Encoding::shift_jis) {
      if (encoding == Encoding::shift_jis && is_shift_jis_lead(byte)) {
        if (i + 1 < bytes.size() && is_shift_jis_trail(static_cast<unsigned char>(bytes[i + 1]))) {
          out.append(bytes.substr(i, 2));
          i += 2;
          continue;
        }
        append_hex(out, byte);
      } else if (is_control(byte) || (encoding == Encoding::shift_jis && !is_shift_jis_single(byte))) {
        append_hex(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    const std::size_t length = utf8_sequence_length(bytes.substr(i));
    if (length == 0) {
      append_hex(out, byte);
      ++i;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
}

}  // namespace dorvenk
