// Output encodings of the tool's texts.
//
// The texts are kept as UTF-8 in text/messages.hpp. The run log always gets
// their Shift-JIS (code page 932) bytes; the console gets Shift-JIS, or UTF-8
// on a terminal whose locale is not Shift-JIS (console/terminal.hpp).
#pragma once

#include <string>
#include <string_view>

namespace dorvenk {

enum class Encoding { shift_jis, utf8 };

// Appends `utf8` in the chosen encoding. Only the characters the tool's own
// texts use are known to the Shift-JIS table; any other character is
// written as "?". Bytes below 0x80 pass unchanged.
void append_text(std::string& out, std::string_view utf8, Encoding encoding);

// True when the table holds the Shift-JIS form of every character in `utf8`.
bool shift_jis_covers(std::string_view utf8);

}  // namespace dorvenk
