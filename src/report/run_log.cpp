#include "report/run_log.hpp"

#include "text/messages.hpp"

namespace dorvenk {
namespace {

// Appends one line of the record; the run log's Japanese labels are always
// Shift-JIS. The record stays in the buffer until run_log_end hands it over
// whole.
template <typename... Args>
void write_line(RunLog& log, TemplateFor<std::type_identity_t<Args>...> line, const Args&... values) {
  fill(log.file.buffer, Encoding::shift_jis, line, values...);
}

}  // namespace

void append_time_line(std::string& out, const std::tm& local) {
  fill(out, Encoding::shift_jis, text::log_time, local.tm_hour, local.tm_min, local.tm_sec);
}

RunLog run_log_begin(const std::string& data_file_name, int n, double mean, double sd, int order) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);

  RunLog log;
  open_out(log.file, RUN_LOG_NAME, OpenMode::append);
  append_time_line(log.file.buffer, local);
  write_line(log, text::log_input_file, data_file_name);
  write_line(log, text::count_line, n);
  write_line(log, text::mean_sd_line, mean, sd);
  write_line(log, text::log_order, order);
  return log;
}

bool run_log_opened(const RunLog& log) { return log.file.fd >= 0; }

int run_log_error(const RunLog& log) { return log.file.error; }

void run_log_noise_typed(RunLog& log, double noise_sd, double threshold) {
  write_line(log, text::log_noise_typed, noise_sd);
  write_line(log, text::threshold_line, threshold);
}

void run_log_noise_estimated(RunLog& log, double noise_sd, double threshold) {
  write_line(log, text::noise_estimated_line, noise_sd);
  write_line(log, text::threshold_line, threshold);
}

void run_log_hard_threshold(RunLog& log, double threshold) { write_line(log, text::log_hard_threshold, threshold); }

bool run_log_end(RunLog& log, int levels, const std::string& result_file_name) {
  if (!run_log_opened(log)) return false;
  write_line(log, text::log_level, levels);
  write_line(log, text::log_output_file, result_file_name);
  // One write of the whole record at the end of the file (append mode), so
  // records of runs that finish together never interleave.
  return close_out(log.file);
}

void run_log_abandon(RunLog& log) {
  log.file.buffer.clear();
  close_out(log.file);
}

}  // namespace dorvenk
