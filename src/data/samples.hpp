// Data intake: the data file's numbers into `samples`, and their summary.
#pragma once

#include <cstdint>
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
// (capacity MAX_DATA), in file order. A source that fails to read ends the
// input there; the caller asks its source whether that happened.
ReadResult read_samples(std::streambuf* data, std::span<double> samples);

struct Summary {
  double mean;
  double sd;  // population standard deviation (divisor n), not clamped
};

// Mean and population standard deviation of samples[0..n-1], summed in order.
Summary summarize_samples(std::span<const double> samples, int n);

// What a reading of the data file gave, in 16 bytes instead of a second
// array: the count of values and a 64-bit FNV-1a hash of their bit patterns
// in file order (each value's 64 bits fed as 8 bytes, lowest first, so the
// hash is the same on every machine). The second reading (the result file)
// compares its digest with the first reading's to find a data file that
// changed in between. Equal values give equal digests whatever their text
// ("1.50" and "1.5e0"); a different count, order or value of any bit gives
// a different digest except by a 2^-64 chance.
struct SeriesDigest {
  static constexpr std::uint64_t FNV_OFFSET_BASIS = 0xcbf29ce484222325ULL;
  static constexpr std::uint64_t FNV_PRIME = 0x100000001b3ULL;
  std::uint64_t hash = FNV_OFFSET_BASIS;
  int count = 0;
  bool operator==(const SeriesDigest&) const = default;
};

// Adds the next value of the series to the digest.
void add_to_digest(SeriesDigest& digest, double value);

// The digest of samples[0..n-1].
SeriesDigest digest_series(std::span<const double> samples, int n);

}  // namespace dorvenk
