#include "report/result_file.hpp"

#include <cerrno>
#include <fstream>
#include <limits>

#include "text/messages.hpp"
#include "text/scan.hpp"
#include "text/whole_file.hpp"

namespace dorvenk {
namespace {

// Room for the longest line: the header, or a row of an index and three
// numbers of at most MAX_NUMBER_TEXT bytes each, so no row allocates.
constexpr std::size_t RESULT_LINE_BYTES = 4 * MAX_NUMBER_TEXT;

}  // namespace

FileFailure write_result_file(const std::string& data_file_name, const std::string& result_file_name,
                              std::span<const double> samples, int n, int levels, int order) {
  std::ifstream data(data_file_name, std::ios::binary);
  if (!data.is_open()) return {data_file_name, errno != 0 ? errno : ENOENT};
  Scanner scanner = make_scanner(data.rdbuf());

  // Written beside its name and put in place whole once the last row is
  // written: a run that fails or is ended leaves the earlier result as it
  // was, and no half-written one.
  WholeFile result;
  if (!open_whole(result, result_file_name)) return {result_file_name, result.out.error};

  // The file is ASCII: its texts are written as they stand.
  static_assert(text::result_header.ascii() && text::result_row.ascii());
  std::string line;
  line.reserve(RESULT_LINE_BYTES);
  fill(line, Encoding::utf8, text::result_header, levels, order);
  put(result.out, line);

  for (int i = 0; i < n; ++i) {
    // A data file that changed since the first reading and yields no number
    // here still gets its row, with a not-a-number input and noise.
    double input = std::numeric_limits<double>::quiet_NaN();
    if (scan_double(scanner, input) != ScanStatus::ok) input = std::numeric_limits<double>::quiet_NaN();
    double denoised = samples[static_cast<std::size_t>(i)];
    line.clear();
    fill(line, Encoding::utf8, text::result_row, i, input, denoised, input - denoised);
    put(result.out, line);
  }
  data.close();
  if (!commit_whole(result)) return {result_file_name, result.out.error};
  return {};
}

}  // namespace dorvenk
