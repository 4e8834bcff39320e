// Bytes from outside the tool shown on the console: whole characters of the
// console's encoding as they are, everything that could act on a terminal
// or is no character as \xhh.
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
      {"a\\b", "a\\b"},                                    // a backslash stays
      {"\x1b[2J0.7", "\\x1b[2J0.7"},                       // an escape sequence cannot act
      {std::string_view("\0\t\r\x7f", 4), "\\x00\\x09\\x0d\\x7f"},
      {"\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80", "\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80"},  // é, あ, 😀
      {"\xc2\x9b" "31m", "\\xc2\\x9b31m"},                  // U+009B, the C1 form of ESC [
      {"\xc2\xa0", "\xc2\xa0"},                             // U+00A0 is a character
      {"\x82\xa0", "\\x82\\xa0"},                           // Shift-JIS bytes are no UTF-8
      {"\xe3\x81", "\\xe3\\x81"},                           // cut at the end
      {"\xe3\x81x", "\\xe3\\x81x"},                         // cut before a byte below 0x80
      {"\xc0\xaf", "\\xc0\\xaf"},                           // overlong "/"
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},                  // overlong in three bytes
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                  // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},         // beyond U+10FFFF
      {"\xff\xfe", "\\xff\\xfe"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable(c.bytes, Encoding::utf8), c.shown) << c.shown;
}

TEST(Printable, ShiftJisConsoleShowsWholeCharactersAndEscapesTheRest) {
  const struct {
    std::string_view bytes, shown;
  } cases[] = {
      {"1e+x", "1e+x"},
      {"\x1b[2J", "\\x1b[2J"},
      {"\x7f", "\\x7f"},
      {"\x82\xa0\x95\x5c\xb1", "\x82\xa0\x95\x5c\xb1"},     // あ, 表 (trail byte 0x5c), half-width ｱ
      {"\xe3\x81\x82", "\xe3\x81\\x82"},                    // UTF-8 あ: one pair, then a lone lead byte
      {"\x82", "\\x82"},                                    // a lead byte at the end
      {"\x82\x1b", "\\x82\\x1b"},                           // a lead byte before a control byte
      {"\x82\x20", "\\x82 "},                               // a lead byte before a blank
      {"\x80\xa0\xfd\xfe\xff", "\\x80\\xa0\\xfd\\xfe\\xff"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable(c.bytes, Encoding::shift_jis), c.shown) << c.shown;
}

}  // namespace
}  // namespace dorvenk
