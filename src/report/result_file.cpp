#include "report/result_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <limits>

#include "text/format.hpp"
#include "text/scan.hpp"

namespace dorvenk {
namespace {

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

  std::string line;
  line.reserve(128);
  line += " input L";
  append_int(line, levels);
  line += "_N";
  append_int(line, order);
  line += "_denoise noise\n";
  put(result, line);

  for (int i = 0; i < n; ++i) {
    // A data file that changed since the first reading and yields no number
    // here still gets its row, with a not-a-number input and noise.
    double input = std::numeric_limits<double>::quiet_NaN();
    if (scan_double(scanner, input) != ScanStatus::ok) input = std::numeric_limits<double>::quiet_NaN();
    double denoised = samples[static_cast<std::size_t>(i)];
    line.clear();
    append_int(line, i);
    line += ' ';
    append_g6(line, input);
    line += ' ';
    append_g6(line, denoised);
    line += ' ';
    append_g6(line, input - denoised);
    line += '\n';
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
