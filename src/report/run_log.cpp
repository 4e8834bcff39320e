#include "report/run_log.hpp"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

// Takes the exclusive lock on the log; false when the file system has none.
bool lock_log(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Appends the record in one write (O_APPEND puts it at the end of the file)
// and closes the log, noting in `log.left` what a failure left behind.
//
// A write that fails part way (a full disk, a file size limit) is taken back
// by cutting the log to its size before the write. That is safe because every
// run of the tool appends only while it holds the exclusive lock on the log,
// so between the size taken here and the cut no other run's record can have
// arrived. Writers that are not this tool take no lock: bytes one of them
// appended in that moment would be cut as well. Where the part cannot be
// taken back (no lock, a device, a failed cut), `log.left` says how many
// bytes of the record remain.
void append_record(RunLog& log) {
  OutFile& file = log.file;
  const bool locked = lock_log(file.fd);
  struct stat before;
  const bool can_take_back = locked && ::fstat(file.fd, &before) == 0 && S_ISREG(before.st_mode);

  std::size_t written = 0;
  while (written < file.buffer.size()) {
    const ssize_t done = ::write(file.fd, file.buffer.data() + written, file.buffer.size() - written);
    if (done < 0) {
      if (errno == EINTR) continue;
      file.error = errno;
      break;
    }
    written += static_cast<std::size_t>(done);
  }
  if (file.error != 0 && written > 0) {
    if (can_take_back && ::ftruncate(file.fd, before.st_size) == 0) {
      log.left = RecordLeft::nothing;
    } else {
      log.left = RecordLeft::part;
      log.bytes_left = written;
    }
  }
  file.buffer.clear();
  // Closing the only descriptor drops the lock.
  if (::close(file.fd) != 0 && file.error == 0) {
    file.error = errno;
    log.left = RecordLeft::unknown;
  }
  file.fd = -1;
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
  append_record(log);
  return log.file.error == 0;
}

void run_log_abandon(RunLog& log) {
  log.file.buffer.clear();
  close_out(log.file);
}

}  // namespace dorvenk
