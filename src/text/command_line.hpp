// What the two companion commands, dorvenk-coefs and dorvenk-noise, share:
// their messages on standard error and the check that standard output was
// written. Their messages are "<command>: <what>", after a bell like every
// error of the tool; they go to standard error, so the bell never enters the
// numbers that a pipe carries to the tool.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace dorvenk {

// `text` as append_printable shows it for a UTF-8 terminal (control bytes,
// DEL and bytes that are no whole UTF-8 character as \xHH, a backslash as
// \\), so that a file name, an argument or a word from a file cannot drive
// the terminal.
std::string printable(std::string_view text);

// "\a<command>: <problem>\n", with ` "<argument>"` before the line end when
// an argument is given (shown as printable() shows it), then `usage`.
void write_usage_error(std::FILE* err, std::string_view command, std::string_view problem, const char* argument,
                       std::string_view usage);

// "\a<command>: <what>\n".
void write_failure(std::FILE* err, std::string_view command, std::string_view what);

// Flushes `out`. True when everything was written (`written` and no stream
// error); otherwise writes "\a<command>: cannot write to standard output"
// on `err` and returns false.
bool finish_output(std::FILE* out, std::FILE* err, std::string_view command, bool written);

}  // namespace dorvenk
