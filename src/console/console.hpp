// The console front end: the driver of one run and its dialogue.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "text/encoding.hpp"
#include "text/scan.hpp"
#include "text/template.hpp"

namespace dorvenk {

struct ConsoleOptions {
  // Encoding of the console's Japanese texts.
  Encoding encoding = Encoding::shift_jis;
  // Terminal device for the key wait and the notes; empty for none.
  std::string tty_path;
  // Say on the terminal, before the banner, that the dialogue goes to the
  // redirected standard output.
  bool note_redirected_output = false;
};

// The options for the process's own console (console/terminal.hpp): the
// encoding from standard output, the locale and DORVENK_ENCODING, with a
// warning on standard error when that variable names no encoding; the
// terminal "/dev/tty"; the note when answers are typed at a terminal while
// standard output goes elsewhere.
ConsoleOptions process_console_options();

// Carries one run from the banner to the exit status (0 or 1), answering
// from `in` and reporting on `out`.
int run_console(std::istream& in, std::ostream& out, const ConsoleOptions& options);

// What the dialogue talks through. Output collects in `pending` and goes to
// `out` before every read, so each prompt shows before its answer is awaited.
struct Console {
  Scanner scanner;
  std::ostream& out;
  Encoding encoding;
  std::string pending;
  // The last byte handed to `out` was not a line end (a prompt waits for
  // its answer on the same line).
  bool mid_line = false;
};

// Appends one of the tool's texts (text/messages.hpp) with its values, the
// text in the console's encoding.
template <typename... Args>
void say(Console& console, TemplateFor<std::type_identity_t<Args>...> text, const Args&... values) {
  fill(console.pending, console.encoding, text, values...);
}
// The same for a text of the tool's own that must start a line: a line end
// first when a prompt left the line open (standard input ended at it).
template <typename... Args>
void say_on_own_line(Console& console, TemplateFor<std::type_identity_t<Args>...> text, const Args&... values) {
  const bool open_line = console.pending.empty() ? console.mid_line : console.pending.back() != '\n';
  if (open_line) console.pending.push_back('\n');
  fill(console.pending, console.encoding, text, values...);
}
// Hands the collected output to the stream and flushes it.
void flush_console(Console& console);

}  // namespace dorvenk
