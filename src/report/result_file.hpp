// The result file: index, input, denoised value and removed noise per sample.
#pragma once

#include <span>
#include <string>

#include "data/samples.hpp"
#include "text/text_file.hpp"

namespace dorvenk {

struct ResultOutcome {
  // The file that failed, if any (the data file at its second reading, or
  // the result file); then no result file is left written.
  FileFailure failure;
  // Every row is written, but the second reading of the data file did not
  // give the values of the first one (`first_reading`): the input and noise
  // columns do not show the data that was denoised.
  bool data_changed = false;
};

// Writes `result_file_name` from the denoised samples[0..n-1] beside a second
// reading of `data_file_name`. A result name that leads to the data file
// itself is refused (SAME_AS_DATA_FILE) before anything is written.
ResultOutcome write_result_file(const std::string& data_file_name, const std::string& result_file_name,
                                std::span<const double> samples, int n, int levels, int order,
                                const SeriesDigest& first_reading);

}  // namespace dorvenk
