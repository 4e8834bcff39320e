#include "report/result_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <limits>

#include "text/messages.hpp"
#include "text/scan.hpp"

namespace dorvenk {
namespace {

// Room for the longest line: the header, or a row of an index and three
// numbers of at most MAX_NUMBER_TEXT bytes each, so no row allocates.
constexpr std::size_t RESULT_LINE_BYTES = 4 * MAX_NUMBER_TEXT;

// A result file whose writing failed is removed when it is a plain file, so
// that no script mistakes a truncated file for a result. Other kinds of file
// (a device, a link to one) are left as they are.
void remove_partial(const std::string& name) {
  struct stat info;
  if (::lstat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(name.c_str());
}

}  // namespace

FileFailure write_result_file(const std::string& data_file_name, const std::string& result_file_name,
                              std::span<const double> samples, int n, int levels, int order) {
  std::ifstream data(data_file_name, std::ios::binary);
  if (!data.is_open()) return {data_file_name, errno != 0 ? errno : ENOENT};
  Scanner scanner = make_scanner(data.rdbuf());

  OutFile result;
  if (!open_out(result, result_file_name, OpenMode::truncate)) return {result_file_name, result.error};

  // The file is ASCII: its texts are written as they stand.
  static_assert(text::result_header.ascii() && text::result_row.ascii());
  std::string line;
  line.reserve(RESULT_LINE_BYTES);
  fill(line, Encoding::utf8, text::result_header, levels, order);
  put(result, line);

  for (int i = 0; i < n; ++i) {
    // A data file that changed since the first reading and yields no number
    // here still gets its row, with a not-a-number input and noise.
    double input = std::numeric_limits<double>::quiet_NaN();
    if (scan_double(scanner, input) != ScanStatus::ok) input = std::numeric_limits<double>::quiet_NaN();
    double denoised = samples[static_cast<std::size_t>(i)];
    line.clear();
    fill(line, Encoding::utf8, text::result_row, i, input, denoised, input - denoised);
    put(result, line);
  }
  data.close();
  if (!close_out(result)) {
    remove_partial(result_file_name);
    return {result_file_name, result.error};
  }
  return {};
}

}  // namespace dorvenk
