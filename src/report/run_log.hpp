// The run log "wavelet_log.txt": one record per run that finishes its dialogue.
//
// The record is built in memory while the dialogue goes on and handed to the
// file in a single append when the level has been accepted, so a run that is
// abandoned adds nothing and two runs never interleave their lines. A write
// that fails part way is taken back, so that the log holds the record whole
// or not at all.
#pragma once

#include <ctime>
#include <string>

#include "text/text_file.hpp"

namespace dorvenk {

inline constexpr const char* RUN_LOG_NAME = "wavelet_log.txt";

// What a record whose writing failed left in the log.
enum class RecordLeft {
  nothing,  // no byte of it: none reached the file, or those that did were taken back
  part,     // its first `RunLog::bytes_left` bytes, which could not be taken back
  unknown,  // the whole record was written but the close failed: it may be incomplete
};

struct RunLog {
  OutFile file;  // file.fd < 0 when the log could not be opened
  RecordLeft left = RecordLeft::nothing;
  std::size_t bytes_left = 0;
};

// Takes the local time, opens the log for appending and begins the record.
// When the log cannot be opened, run_log_error says why and the record goes
// nowhere.
RunLog run_log_begin(const std::string& data_file_name, int n, double mean, double sd, int order);
// True when the log file is open (from run_log_begin until its end).
bool run_log_opened(const RunLog& log);
// errno of the first failure to open, write or close the log; 0 while none.
int run_log_error(const RunLog& log);
void run_log_noise_typed(RunLog& log, double noise_sd, double threshold);
void run_log_noise_estimated(RunLog& log, double noise_sd, double threshold);
void run_log_hard_threshold(RunLog& log, double threshold);
// Ends the record, appends it whole and closes the log; false when the log
// was not open or the write or close failed (run_log_error says why, and
// `log.left` what of the record is in the file).
bool run_log_end(RunLog& log, int levels, const std::string& result_file_name);
// Closes the log without writing the record (the dialogue did not finish).
void run_log_abandon(RunLog& log);

// The record's first line for a given local time: "H:M:S\n", unpadded.
void append_time_line(std::string& out, const std::tm& local);

}  // namespace dorvenk
