#include "console/dialogue.hpp"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>

#include "estimate/ar_noise.hpp"
#include "report/run_log.hpp"
#include "text/messages.hpp"
#include "text/printable.hpp"
#include "wavelet/rules.hpp"

namespace dorvenk {
namespace {

// Longest bytes of a refused word kept: the word is consumed whole, but
// only this much of it is held, and shown where a message names it.
constexpr std::size_t REFUSED_WORD_BYTES = 64;
// What stands for the rest of a refused word longer than that.
constexpr std::string_view CUT_MARK = "...";

// Why `result_file_name` cannot name a file, as an errno (ENAMETOOLONG), or
// 0 when it can: its last part longer than its directory allows, or the
// whole name longer than the system takes. The directory is the data file's,
// which has just opened, so only the last part needs checking.
int result_name_error(const std::string& result_file_name) {
  if (result_file_name.size() >= PATH_MAX) return ENAMETOOLONG;
  std::size_t slash = result_file_name.rfind('/');
  std::string directory = slash == std::string::npos ? "." : result_file_name.substr(0, slash == 0 ? 1 : slash);
  std::size_t last_part = slash == std::string::npos ? result_file_name.size() : result_file_name.size() - slash - 1;
  errno = 0;
  long name_max = ::pathconf(directory.c_str(), _PC_NAME_MAX);
  // -1 with errno unchanged: the system sets no limit.
  if (name_max >= 0 && last_part > static_cast<std::size_t>(name_max)) return ENAMETOOLONG;
  return 0;
}

// Consumes a word that is not the number a prompt asked for.
void drop_word(Console& console) {
  std::string ignored;
  skip_word(console.scanner, ignored, REFUSED_WORD_BYTES);
}

// Consumes the word that is not a number and returns it as the terminal may
// show it: at most REFUSED_WORD_BYTES of it, control bytes and bytes that
// are no character of the console's encoding escaped.
std::string take_refused_word(Console& console) {
  std::string word;
  skip_word(console.scanner, word, REFUSED_WORD_BYTES + 1);
  const bool cut = word.size() > REFUSED_WORD_BYTES;
  if (cut) word.resize(REFUSED_WORD_BYTES);
  std::string shown;
  append_printable(shown, word, console.encoding);
  if (cut) shown += CUT_MARK;
  return shown;
}

// Asks for an integer in [1, limit] until one comes; false at end of input.
// Text that is not a number and integers beyond 32 bits are refused like
// any integer out of range.
bool ask_integer(Console& console, TemplateFor<> prompt, int limit, TemplateFor<int> refused, int& value) {
  for (;;) {
    say(console, prompt);
    flush_console(console);
    ScanStatus status = scan_int(console.scanner, value);
    if (status == ScanStatus::end) return false;
    if (status == ScanStatus::ok && value >= 1 && value <= limit) return true;
    if (status == ScanStatus::no_number) drop_word(console);
    say(console, refused, limit);
  }
}

// Asks for a number after the prompt that `prompt` says, again for every
// try; false at end of input.
template <typename Prompt>
bool ask_number(Console& console, Prompt prompt, double& value) {
  for (;;) {
    prompt();
    flush_console(console);
    ScanStatus status = scan_double(console.scanner, value);
    if (status == ScanStatus::end) return false;
    if (status == ScanStatus::ok) return true;
    say(console, text::number_refused, take_refused_word(console));
  }
}

enum class YesNo { yes, no, input_ended };

// Prints the question once, then " >" until the answer is "yes" or "no".
YesNo ask_yes_no(Console& console, TemplateFor<> question) {
  say(console, question);
  std::string word;
  for (;;) {
    say(console, text::answer_prompt);
    flush_console(console);
    if (scan_word(console.scanner, word) == ScanStatus::end) return YesNo::input_ended;
    if (word == "yes") return YesNo::yes;
    if (word == "no") return YesNo::no;
    say(console, text::yes_no_refused);
  }
}

void say_log_warning(Console& console, TemplateFor<std::string_view, std::string> warning, int error) {
  say(console, warning, std::string_view(RUN_LOG_NAME), reason(error));
}

}  // namespace

void ask_data_file(Console& console, DataFileChoice& choice) {
  std::string base_name;
  for (;;) {
    say(console, text::file_prompt);
    flush_console(console);
    if (scan_word(console.scanner, base_name) == ScanStatus::end) {
      choice.status = AnswerStatus::input_ended;
      return;
    }
    if (base_name == "end" || base_name == "exit") {
      choice.status = AnswerStatus::end_request;
      return;
    }
    choice.data_file_name = base_name + ".txt";
    // A name with a NUL byte would be cut short by the system, so that
    // "wave.txt<NUL>" opened wave.txt and then wrote the result over it; such
    // a name names no file. What is not a regular file (a directory, a FIFO
    // that would block, a device that never ends) holds no data: it is
    // refused like a missing file too.
    if (base_name.find('\0') != std::string::npos || !choice.data.open(choice.data_file_name)) {
      say(console, text::missing_file, choice.data_file_name);
      continue;
    }
    choice.result_file_name = base_name + "-dN.txt";
    // A result that cannot be made is refused now, not after the dialogue.
    if (int error = result_name_error(choice.result_file_name); error != 0) {
      choice.data.close();
      say(console, text::file_error, choice.result_file_name, reason(error));
      continue;
    }
    // A result name that is a link to the data file would overwrite the data.
    if (same_file(choice.result_file_name, choice.data_file_name)) {
      choice.data.close();
      say(console, text::same_file, choice.result_file_name, choice.data_file_name);
      continue;
    }
    choice.status = AnswerStatus::ok;
    return;
  }
}

Parameters ask_parameters(Console& console, std::span<const double> samples, int n, double mean, double& sd,
                          const std::string& data_file_name, const std::string& result_file_name) {
  Parameters params;
  params.status = AnswerStatus::input_ended;
  if (!ask_integer(console, text::order_prompt, MAX_N, text::order_refused, params.order)) {
    return params;
  }
  for (int k = 0; k < 2 * params.order; ++k) {
    auto prompt = [&] { say(console, text::coefficient_prompt, k); };
    if (!ask_number(console, prompt, params.p[static_cast<std::size_t>(k)])) return params;
  }

  RunLog log = run_log_begin(data_file_name, n, mean, sd, params.order);
  if (!run_log_opened(log)) say_log_warning(console, text::log_no_record, run_log_error(log));

  YesNo known = ask_yes_no(console, text::known_question);
  if (known == YesNo::input_ended) {
    run_log_abandon(log);
    return params;
  }
  if (known == YesNo::yes) {
    auto prompt = [&] { say(console, text::noise_prompt); };
    if (!ask_number(console, prompt, sd)) {
      run_log_abandon(log);
      return params;
    }
    params.threshold = threshold_from_noise_sd(n, sd);
    run_log_noise_typed(log, sd, params.threshold);
  } else {
    YesNo estimate = ask_yes_no(console, text::estimate_question);
    if (estimate == YesNo::input_ended) {
      run_log_abandon(log);
      return params;
    }
    if (estimate == YesNo::yes) {
      sd = estimate_noise_sd(samples, n);
      say(console, text::noise_estimated_line, sd);
      params.threshold = threshold_from_noise_sd(n, sd);
      run_log_noise_estimated(log, sd, params.threshold);
    } else {
      say(console, text::hard_threshold_choice);
      params.threshold = threshold_from_data_sd(n, sd);
      run_log_hard_threshold(log, params.threshold);
    }
  }
  say(console, text::threshold_line, params.threshold);

  if (!ask_integer(console, text::level_prompt, level_limit(n), text::level_refused, params.levels)) {
    run_log_abandon(log);
    return params;
  }
  bool was_open = run_log_opened(log);
  if (!run_log_end(log, params.levels, result_file_name) && was_open) {
    // Says what of the record is in the file: nothing (a part written was
    // taken back), a part of known length, or, after a failed close, maybe
    // less than all.
    switch (log.left) {
      case RecordLeft::nothing:
        say_log_warning(console, text::log_no_record, run_log_error(log));
        break;
      case RecordLeft::part:
        say(console, text::log_record_cut, std::string_view(RUN_LOG_NAME), reason(run_log_error(log)),
            log.bytes_left);
        break;
      case RecordLeft::unknown:
        say_log_warning(console, text::log_not_written, run_log_error(log));
        break;
    }
  }
  params.status = AnswerStatus::ok;
  return params;
}

}  // namespace dorvenk
