#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "console/console.hpp"
#include "console/dialogue.hpp"
#include "console/key_wait.hpp"
#include "console/terminal.hpp"
#include "data/samples.hpp"
#include "report/result_file.hpp"
#include "text/format.hpp"
#include "text/messages.hpp"
#include "text/printable.hpp"
#include "text/text_file.hpp"
#include "wavelet/shrink.hpp"

namespace dorvenk {
namespace {

// A word from the data file as the console may show it: control bytes (an
// escape sequence would act on the terminal), DEL and bytes that are no
// whole character of the console's encoding as \xHH, a backslash as \\.
std::string escaped(std::string_view word, Encoding encoding) {
  std::string shown;
  append_printable(shown, word, encoding);
  return shown;
}

// The run's end after a failure: message already said, then the key wait.
int end_with_key_wait(Console& console, const ConsoleOptions& options, int status) {
  flush_console(console);
  wait_for_key(options.tty_path);
  return status;
}

int end_on_input_end(Console& console) {
  say_on_own_line(console, text::input_ended);
  flush_console(console);
  return 1;
}

// Where the notes on a wait for the directory lock go: the terminal when
// there is one, else standard error; never standard output, whose bytes
// are the transcript.
struct LockNoteTarget {
  const std::string* tty_path;
};

void write_note(const LockNoteTarget& target, const std::string& note) {
  int fd = -1;
  if (!target.tty_path->empty()) fd = ::open(target.tty_path->c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  const int to = fd >= 0 ? fd : STDERR_FILENO;
  // A note that cannot be shown is no reason to stop waiting.
  write_all(to, note.data(), note.size());
  if (fd >= 0) ::close(fd);
}

void say_lock_wait(void* context, int seconds_waited) {
  const auto& target = *static_cast<const LockNoteTarget*>(context);
  std::string note;
  if (seconds_waited == 0) {
    fill(note, Encoding::utf8, text::lock_waiting);
  } else {
    fill(note, Encoding::utf8, text::lock_still_waiting, seconds_waited);
  }
  write_note(target, note);
}

}  // namespace

void flush_console(Console& console) {
  if (!console.pending.empty()) console.mid_line = console.pending.back() != '\n';
  console.out.write(console.pending.data(), static_cast<std::streamsize>(console.pending.size()));
  console.out.flush();
  console.pending.clear();
}

int run_console(std::istream& in, std::ostream& out, const ConsoleOptions& options) {
  if (options.note_redirected_output) {
    std::string note;
    fill(note, options.encoding, text::output_redirected_note);
    tell_terminal(options.tty_path, note);
  }
  Console console{make_scanner(in.rdbuf()), out, options.encoding, {}, false};
  say(console, text::banner);

  DataFileChoice choice;
  ask_data_file(console, choice);
  if (choice.status == AnswerStatus::end_request) {
    flush_console(console);
    return 0;
  }
  if (choice.status == AnswerStatus::input_ended) return end_on_input_end(console);

  // The series for the whole run, in storage of fixed capacity.
  auto samples = std::make_unique<double[]>(MAX_DATA);
  std::span<double> series(samples.get(), MAX_DATA);
  ReadResult read = read_samples(&choice.data, series);
  choice.data.close();
  // A failed read ends the input early: the series would be cut short.
  if (choice.data.error() != 0) {
    say(console, text::file_error, choice.data_file_name, reason(choice.data.error()));
    return end_with_key_wait(console, options, 1);
  }
  if (read.status == ReadStatus::over) {
    say(console, text::data_over, MAX_DATA);
    return end_with_key_wait(console, options, 1);
  }
  if (read.status == ReadStatus::bad_token) {
    say(console, text::data_error, read.error_line, escaped(read.error_text, console.encoding));
    return end_with_key_wait(console, options, 1);
  }
  const int n = read.n;
  // The second reading, for the result file, is checked against this.
  const SeriesDigest first_reading = digest_series(series, n);
  Summary summary = summarize_samples(series, n);
  say(console, text::count_line, n);
  say(console, text::mean_sd_line, summary.mean, summary.sd);
  if (n == 0) {
    // No level can be accepted for an empty series.
    say(console, text::data_empty);
    return end_with_key_wait(console, options, 1);
  }

  double sd = summary.sd;
  Parameters params =
      ask_parameters(console, series, n, summary.mean, sd, choice.data_file_name, choice.result_file_name);
  if (params.status == AnswerStatus::input_ended) return end_on_input_end(console);

  flush_console(console);
  LockNoteTarget note_target{&options.tty_path};
  FileFailure failure = wavelet_shrink(series, n, params.p, 2 * params.order, params.levels, params.threshold, out,
                                       LockWaitNotes{&note_target, say_lock_wait});
  ResultOutcome result;
  console.mid_line = false;  // the engine writes whole lines past the console
  if (!failure.failed()) {
    result = write_result_file(choice.data_file_name, choice.result_file_name, series, n, params.levels,
                               params.order, first_reading);
    failure = result.failure;
  }
  if (failure.failed()) {
    say(console, text::file_error, failure.file, reason(failure.error));
    return end_with_key_wait(console, options, 1);
  }
  if (result.data_changed) {
    say(console, text::data_changed, choice.data_file_name);
    return end_with_key_wait(console, options, 1);
  }
  say(console, text::done, choice.result_file_name);
  return end_with_key_wait(console, options, 0);
}

}  // namespace dorvenk
