// Bytes from outside the tool shown on the console: whole characters of the
// console's encoding as they are, everything that could act on a terminal
// or is no character as \xHH, a backslash as \\.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/printable.hpp"

namespace dorvenk {
namespace {

std::string printable(std::string_view bytes, Encoding encoding) {
  std::string shown;
  append_printable(shown, bytes, encoding);
  return shown;
}

TEST(Printable, Utf8ConsoleShowsWholeCharactersAndEscapesTheRest) {
  const struct {
    std::string_view bytes, shown;
  } cases[] = {
      {"1e+x", "1e+x"},
      {"a\\b", "a\\\\b"},                                  // a backslash doubles
      {"\x1b[2J0.7", "\\x1B[2J0.7"},                       // an escape sequence cannot act
      {std::string_view("\0\t\r\x7f", 4), "\\x00\\x09\\x0D\\x7F"},
      {"\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80", "\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80"},  // é, あ, 😀
      {"\xc2\x9b" "31m", "\\xC2\\x9B31m"},                  // U+009B, the C1 form of ESC [
      {"\xc2\xa0", "\xc2\xa0"},                             // U+00A0 is a character
      {"\x82\xa0", "\\x82\\xA0"},                           // Shift-JIS bytes are no UTF-8
      {"\xe3\x81", "\\xE3\\x81"},                           // cut at the end
      {"\xe3\x81x", "\\xE3\\x81x"},                         // cut before a byte below 0x80
      {"\xc0\xaf", "\\xC0\\xAF"},                           // overlong "/"
      {"\xe0\x80\xaf", "\\xE0\\x80\\xAF"},                  // overlong in three bytes
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},                  // a surrogate
      {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},         // beyond U+10FFFF
      {"\xff\xfe", "\\xFF\\xFE"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable(c.bytes, Encoding::utf8), c.shown) << c.shown;
}

TEST(Printable, ShiftJisConsoleShowsWholeCharactersAndEscapesTheRest) {
  const struct {
    std::string_view bytes, shown;
  } cases[] = {
      {"1e+x", "1e+x"},
      {"\x1b[2J", "\\x1B[2J"},
      {"\x7f", "\\x7F"},
      {"\x82\xa0\x95\x5c\xb1", "\x82\xa0\x95\x5c\xb1"},     // あ, 表 (trail byte 0x5c), half-width ｱ
      {"\xe3\x81\x82", "\xe3\x81\\x82"},                    // UTF-8 あ: one pair, then a lone lead byte
      {"\x82", "\\x82"},                                    // a lead byte at the end
      {"\x82\x1b", "\\x82\\x1B"},                           // a lead byte before a control byte
      {"\x82\x20", "\\x82 "},                               // a lead byte before a blank
      {"\x80\xa0\xfd\xfe\xff", "\\x80\\xA0\\xFD\\xFE\\xFF"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable(c.bytes, Encoding::shift_jis), c.shown) << c.shown;
}

// The words of a data file and the words typed take the same rule: what a
// terminal would act on, and what is no character of the console's
// encoding, become escapes; a backslash doubles, so that an escape in the
// output always stands for one byte.
TEST(Printable, DataFileWordsShowTheSameOnEitherConsoleButForTheirCharacters) {
  const struct {
    std::string bytes;
    const char* utf8;
    const char* shift_jis;
  } cases[] = {
      {"1.5abc", "1.5abc", "1.5abc"},
      {"\x1b[2J\x1b[31mred", "\\x1B[2J\\x1B[31mred", "\\x1B[2J\\x1B[31mred"},
      {std::string("a\0b", 3), "a\\x00b", "a\\x00b"},
      {"\t\r\x7f", "\\x09\\x0D\\x7F", "\\x09\\x0D\\x7F"},
      // A UTF-8 byte-order mark: one character in UTF-8, a pair and a
      // half-width character in Shift-JIS.
      {"\xEF\xBB\xBF" "1", "\xEF\xBB\xBF" "1", "\xEF\xBB\xBF" "1"},
      // The C1 control CSI in UTF-8; in Shift-JIS a half-width character,
      // then a lead byte without a trail byte.
      {"\xC2\x9B" "2J", "\\xC2\\x9B2J", "\xC2\\x9B2J"},
      {"\x83\x66", "\\x83f", "\x83\x66"},  // a Shift-JIS character, no UTF-8
      {"\xFF", "\\xFF", "\\xFF"},
      // Typed "\x1b" stays apart from the byte 0x1b.
      {"\\x1b", "\\\\x1b", "\\\\x1b"},
      {" ~", " ~", " ~"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(printable(c.bytes, Encoding::utf8), c.utf8) << c.utf8;
    EXPECT_EQ(printable(c.bytes, Encoding::shift_jis), c.shift_jis) << c.shift_jis;
    for (const Encoding encoding : {Encoding::utf8, Encoding::shift_jis}) {
      for (const char byte : printable(c.bytes, encoding)) {
        EXPECT_FALSE(static_cast<unsigned char>(byte) < 0x20 || byte == 0x7f) << c.utf8;
      }
    }
  }
}

}  // namespace
}  // namespace dorvenk
