// How the console fits the terminal it runs on: the encoding of its texts,
// and the notes that go to the terminal itself rather than to standard output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/encoding.hpp"

namespace dorvenk {

// The environment variable that sets the console's encoding.
inline constexpr const char* ENCODING_VARIABLE = "DORVENK_ENCODING";

// The encoding a value of DORVENK_ENCODING names: "utf-8" or "utf8";
// "shift-jis", "shift_jis", "sjis" or "cp932"; in any mix of cases.
// Nothing for any other value.
std::optional<Encoding> encoding_named(std::string_view value);

// True when a locale's codeset names Shift-JIS: SHIFT_JIS, SJIS, CP932,
// WINDOWS-31J, MS_KANJI or PCK, in any case and with "-", "_" or neither.
bool is_shift_jis_codeset(std::string_view codeset);

// The codeset of the character type locale the environment asks for (the
// first of LC_ALL, LC_CTYPE and LANG that is set and not empty), as the C
// library reports it; the process's own locale is left as it is. When that
// locale is not installed, the codeset part of its name ("SJIS" of
// "ja_JP.SJIS"), since the name still says what the terminal shows; empty
// when the name has none.
std::string environment_codeset();

// The console's encoding. On a terminal: Shift-JIS when `codeset` names it,
// else UTF-8. Off a terminal (a file, a pipe): Shift-JIS. A value of
// DORVENK_ENCODING that names an encoding (`override_value`, empty when the
// variable is unset) decides in either case; one that names none is ignored.
Encoding choose_console_encoding(bool output_is_terminal, std::string_view override_value,
                                 std::string_view codeset);

// Writes all of `text` to the open terminal `fd`; gives up at an error.
void write_to_terminal(int fd, std::string_view text);

// Writes `text` to the terminal `tty_path` (not to standard output, whose
// bytes stay those of the dialogue). Nothing happens without a terminal.
void tell_terminal(const std::string& tty_path, std::string_view text);

}  // namespace dorvenk
