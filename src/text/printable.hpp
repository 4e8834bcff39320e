// Bytes from outside the tool (a typed word, a word of a file) made safe to
// show on a terminal.
#pragma once

#include <string>
#include <string_view>

#include "text/encoding.hpp"

namespace dorvenk {

// Appends `bytes` as they are, except that each byte that could act on the
// terminal or that is not part of a whole character of `encoding` is shown
// as \xHH (two upper-case hex digits):
// - control bytes (below 0x20) and DEL (0x7f), in either encoding;
// - UTF-8: a byte that does not begin a well-formed sequence (a stray
//   continuation byte, a cut or overlong sequence, a surrogate, a value
//   beyond U+10FFFF), and both bytes of U+0080 to U+009F, the C1 controls
//   (U+009B is the one-byte form of the escape that starts a command);
// - Shift-JIS: a lead byte without its trail byte, and a byte that is
//   neither a single-byte character nor a lead byte (0x80, 0xa0, 0xfd-0xff).
// A backslash byte is shown as \\, so that an escape always stands for one
// byte and never for text that was there ("\x1b" typed stays apart from the
// byte 0x1b). This is the one rule for every untrusted word the tool and its
// companion commands show: typed words, words of a data file, file names and
// arguments.
void append_printable(std::string& out, std::string_view bytes, Encoding encoding);

}  // namespace dorvenk
