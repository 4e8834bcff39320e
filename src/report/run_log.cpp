#include "report/run_log.hpp"

#include "text/encoding.hpp"
#include "text/format.hpp"
#include "text/messages.hpp"

namespace dorvenk {
namespace {

// The run log's Japanese labels are always Shift-JIS.
void label(RunLog& log, std::string_view utf8) { append_text(log.file.buffer, utf8, Encoding::shift_jis); }

void g6(RunLog& log, double value) { append_g6(log.file.buffer, value); }

}  // namespace

void append_time_line(std::string& out, const std::tm& local) {
  append_int(out, local.tm_hour);
  out += ':';
  append_int(out, local.tm_min);
  out += ':';
  append_int(out, local.tm_sec);
  out += '\n';
}

RunLog run_log_begin(const std::string& data_file_name, int n, double mean, double sd, int order) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);

  RunLog log;
  open_out(log.file, RUN_LOG_NAME, OpenMode::append);
  // The record stays in the buffer until run_log_end hands it over whole.
  std::string& record = log.file.buffer;
  append_time_line(record, local);
  record += text::log_input_file;
  record += data_file_name;
  record += text::log_input_file_after;
  label(log, text::log_count);
  append_int(record, n);
  record += '\n';
  label(log, text::log_mean);
  g6(log, mean);
  label(log, text::log_sd);
  g6(log, sd);
  record += '\n';
  label(log, text::log_order);
  append_int(record, order);
  record += '\n';
  return log;
}

void run_log_noise_typed(RunLog& log, double noise_sd, double threshold) {
  label(log, text::log_noise);
  g6(log, noise_sd);
  log.file.buffer += '\n';
  label(log, text::log_threshold);
  g6(log, threshold);
  log.file.buffer += '\n';
}

void run_log_noise_estimated(RunLog& log, double noise_sd, double threshold) {
  label(log, text::log_noise);
  g6(log, noise_sd);
  label(log, text::log_estimated);
  log.file.buffer += '\n';
  label(log, text::log_threshold);
  g6(log, threshold);
  log.file.buffer += '\n';
}

void run_log_hard_threshold(RunLog& log, double threshold) {
  label(log, text::log_threshold);
  g6(log, threshold);
  label(log, text::log_hard_threshold);
  log.file.buffer += '\n';
}

bool run_log_end(RunLog& log, int levels, const std::string& result_file_name) {
  if (log.file.fd < 0) return false;
  label(log, text::log_level);
  append_int(log.file.buffer, levels);
  log.file.buffer += '\n';
  log.file.buffer += text::log_output_file;
  log.file.buffer += result_file_name;
  log.file.buffer += text::log_output_file_after;
  // One write of the whole record at the end of the file (append mode), so
  // records of runs that finish together never interleave.
  return close_out(log.file);
}

void run_log_abandon(RunLog& log) {
  log.file.buffer.clear();
  close_out(log.file);
}

}  // namespace dorvenk
