// The result file: index, input, denoised value and removed noise per sample.
#pragma once

#include <span>
#include <string>

#include "text/text_file.hpp"

namespace dorvenk {

// Writes `result_file_name` from the denoised samples[0..n-1] beside a second
// reading of `data_file_name`. Returns the file that failed, if any.
FileFailure write_result_file(const std::string& data_file_name, const std::string& result_file_name,
                              std::span<const double> samples, int n, int levels, int order);

}  // namespace dorvenk
