// The file prompt and the parameter dialogue.
#pragma once

#include <array>
#include <span>
#include <string>

#include "console/console.hpp"
#include "text/file_source.hpp"
#include "wavelet/shrink.hpp"

namespace dorvenk {

enum class AnswerStatus {
  ok,           // the stage got its answers
  end_request,  // "end" or "exit" at the file prompt
  input_ended,  // standard input ended before the stage was done
};

struct DataFileChoice {
  AnswerStatus status = AnswerStatus::ok;
  FileSource data;               // the data file, open for the first reading
  std::string data_file_name;    // base name + ".txt"
  std::string result_file_name;  // base name + "-dN.txt"
};

// Asks for a base name until its ".txt" file opens for reading as a regular
// file and its "-dN.txt" name can be written without writing the data file.
void ask_data_file(Console& console, DataFileChoice& choice);

struct Parameters {
  AnswerStatus status = AnswerStatus::ok;
  int order = 0;  // N
  std::array<double, MAX_TAPS> p{};
  double threshold = 0.0;
  int levels = 0;  // L
};

// Asks for the order, the coefficients, the noise level and the number of
// levels, and writes the run's record to the run log. `sd` is replaced by a
// typed or estimated noise standard deviation.
Parameters ask_parameters(Console& console, std::span<const double> samples, int n, double mean, double& sd,
                          const std::string& data_file_name, const std::string& result_file_name);

}  // namespace dorvenk
