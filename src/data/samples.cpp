#include "data/samples.hpp"

#include <bit>
#include <cmath>

#include "text/scan.hpp"

namespace dorvenk {

ReadResult read_samples(std::streambuf* data, std::span<double> samples) {
  ReadResult result;
  Scanner scanner = make_scanner(data);
  for (;;) {
    double value = 0.0;
    ScanStatus status = scan_double(scanner, value);
    if (status == ScanStatus::end) return result;
    if (status != ScanStatus::ok) {
      // Text that is not a number ends the reading with its place, instead of
      // being counted as values up to the limit.
      result.status = ReadStatus::bad_token;
      result.error_line = scanner.line;
      skip_word(scanner, result.error_text, MAX_BAD_TOKEN_BYTES);
      return result;
    }
    if (result.n == MAX_DATA) {
      result.status = ReadStatus::over;
      return result;
    }
    samples[static_cast<std::size_t>(result.n)] = value;
    ++result.n;
  }
}

Summary summarize_samples(std::span<const double> samples, int n) {
  double sum = 0.0;
  double sumsq = 0.0;
  for (int i = 0; i < n; ++i) {
    double x = samples[static_cast<std::size_t>(i)];
    sum = sum + x;
    sumsq = sumsq + x * x;
  }
  Summary summary;
  summary.mean = sum / n;
  double variance = sumsq / n - summary.mean * summary.mean;
  summary.sd = std::sqrt(variance);
  return summary;
}

void add_to_digest(SeriesDigest& digest, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  std::uint64_t hash = digest.hash;
  for (int byte = 0; byte < 8; ++byte) {
    hash ^= (bits >> (8 * byte)) & 0xFF;
    hash *= SeriesDigest::FNV_PRIME;
  }
  digest.hash = hash;
  ++digest.count;
}

SeriesDigest digest_series(std::span<const double> samples, int n) {
  SeriesDigest digest;
  for (int i = 0; i < n; ++i) add_to_digest(digest, samples[static_cast<std::size_t>(i)]);
  return digest;
}

}  // namespace dorvenk
