// Data intake: the data file's numbers into `samples`, and their summary.
#pragma once

#include <span>
#include <streambuf>
#include <string>

namespace dorvenk {

inline constexpr int MAX_DATA = 32768;

enum class ReadStatus {
  ok,         // n values read to the end of the file
  over,       // more than MAX_DATA values
  bad_token,  // a token that is not a number
};

struct ReadResult {
  ReadStatus status = ReadStatus::ok;
  int n = 0;
  // For bad_token: the 1-based line and the offending text (at most
  // MAX_BAD_TOKEN_BYTES bytes, up to the next white space).
  long long error_line = 0;
  std::string error_text;
};

inline constexpr std::size_t MAX_BAD_TOKEN_BYTES = 32;

// Reads white-space-separated numbers to the end of `data` into `samples`
// (capacity MAX_DATA), in file order.
ReadResult read_samples(std::streambuf* data, std::span<double> samples);

struct Summary {
  double mean;
  double sd;  // population standard deviation (divisor n), not clamped
};

// Mean and population standard deviation of samples[0..n-1], summed in order.
Summary summarize_samples(std::span<const double> samples, int n);

}  // namespace dorvenk
