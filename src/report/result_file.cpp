#include "report/result_file.hpp"

#include <cerrno>
#include <limits>

#include "text/file_source.hpp"
#include "text/messages.hpp"
#include "text/scan.hpp"
#include "text/whole_file.hpp"

namespace dorvenk {
namespace {

// Room for the longest line: the header, or a row of an index and three
// numbers of at most MAX_NUMBER_TEXT bytes each, so no row allocates.
constexpr std::size_t RESULT_LINE_BYTES = 4 * MAX_NUMBER_TEXT;

}  // namespace

ResultOutcome write_result_file(const std::string& data_file_name, const std::string& result_file_name,
                                std::span<const double> samples, int n, int levels, int order,
                                const SeriesDigest& first_reading) {
  ResultOutcome outcome;
  FileSource data;
  if (!data.open(data_file_name)) {
    outcome.failure = {data_file_name, data.error()};
    return outcome;
  }
  // Opening the result for writing would empty the data file itself when the
  // result name is a link to it.
  if (same_file(result_file_name, data_file_name)) {
    outcome.failure = {result_file_name, SAME_AS_DATA_FILE};
    return outcome;
  }
  Scanner scanner = make_scanner(&data);

  // Written beside its name and put in place whole once the last row is
  // written: a run that fails or is ended leaves the earlier result as it
  // was, and no half-written one.
  WholeFile result;
  if (!open_whole(result, result_file_name)) {
    outcome.failure = {result_file_name, result.out.error};
    return outcome;
  }

  // The file is ASCII: its texts are written as they stand.
  static_assert(text::result_header.ascii() && text::result_row.ascii());
  std::string line;
  line.reserve(RESULT_LINE_BYTES);
  fill(line, Encoding::utf8, text::result_header, levels, order);
  put(result.out, line);

  SeriesDigest second_reading;
  for (int i = 0; i < n; ++i) {
    // A data file that changed since the first reading and yields no number
    // here still gets its row, with a not-a-number input and noise; the
    // digest then lacks the value and tells of the change.
    double input = std::numeric_limits<double>::quiet_NaN();
    if (scan_double(scanner, input) == ScanStatus::ok) {
      add_to_digest(second_reading, input);
    } else {
      input = std::numeric_limits<double>::quiet_NaN();
      // The input ends early also when a read fails: that is no change of
      // the file but a failure, and the rows stop.
      if (data.error() != 0) break;
    }
    double denoised = samples[static_cast<std::size_t>(i)];
    line.clear();
    fill(line, Encoding::utf8, text::result_row, i, input, denoised, input - denoised);
    put(result.out, line);
  }
  // A read error right after the last value needed may have cut it short.
  if (data.error() != 0) {
    // The temporary goes with `result`; the earlier result stays.
    outcome.failure = {data_file_name, data.error()};
    return outcome;
  }
  data.close();
  if (!commit_whole(result)) {
    outcome.failure = {result_file_name, result.out.error};
    return outcome;
  }
  outcome.data_changed = second_reading != first_reading;
  return outcome;
}

}  // namespace dorvenk
