// Fuzzes the data file reader on arbitrary bytes and compares what it
// returns with a plain model of the data file format worked out on the raw
// bytes: the count, every value bit for bit, and for text that is not a
// number its line and its first MAX_BAD_TOKEN_BYTES bytes.

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "data/samples.hpp"
#include "fuzz_input.hpp"

namespace {

using dorvenk::MAX_BAD_TOKEN_BYTES;
using dorvenk::MAX_DATA;
using dorvenk::ReadStatus;

bool model_space(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool model_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

struct Model {
  ReadStatus status = ReadStatus::ok;
  int n = 0;
  int error_line = 0;
  std::string error_text;
};

// Reads the numbers the way the format defines them and checks each value
// against the first `read_n` of `samples` as it goes.
Model read_model(const std::uint8_t* d, std::size_t size, const double* samples, int read_n) {
  Model m;
  std::size_t i = 0;
  int line = 1;
  std::string text;
  for (;;) {
    while (i < size && model_space(d[i])) {
      if (d[i] == '\n') ++line;
      ++i;
    }
    if (i == size) return m;
    std::size_t start = i;
    std::size_t j = i < size && (d[i] == '+' || d[i] == '-') ? i + 1 : i;
    std::size_t digits = 0;
    while (j < size && model_digit(d[j])) ++j, ++digits;
    if (j < size && d[j] == '.') {
      ++j;
      while (j < size && model_digit(d[j])) ++j, ++digits;
    }
    if (digits == 0) {
      m.status = ReadStatus::bad_token;
      m.error_line = line;
      std::size_t end = start;
      while (end < size && !model_space(d[end]) && end - start < MAX_BAD_TOKEN_BYTES) ++end;
      m.error_text.assign(reinterpret_cast<const char*>(d) + start, end - start);
      return m;
    }
    if (j < size && (d[j] == 'e' || d[j] == 'E')) {
      std::size_t k = j + 1 < size && (d[j + 1] == '+' || d[j + 1] == '-') ? j + 2 : j + 1;
      std::size_t exp_end = k;
      while (exp_end < size && model_digit(d[exp_end])) ++exp_end;
      if (exp_end > k) j = exp_end;
    }
    if (m.n == MAX_DATA) {
      m.status = ReadStatus::over;
      return m;
    }
    text.assign(reinterpret_cast<const char*>(d) + start, j - start);
    double expected = std::strtod(text.c_str(), nullptr);
    if (m.n < read_n) {
      FUZZ_CHECK(!std::isnan(samples[m.n]));
      FUZZ_CHECK(std::memcmp(&samples[m.n], &expected, sizeof expected) == 0);
    }
    ++m.n;
    i = j;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<double[]> samples = std::make_unique<double[]>(MAX_DATA);
  dorvenk::fuzz::ByteSource source(data, size);
  dorvenk::ReadResult read = dorvenk::read_samples(&source, std::span<double>(samples.get(), MAX_DATA));

  FUZZ_CHECK(read.n >= 0 && read.n <= MAX_DATA);
  if (read.status == ReadStatus::bad_token) {
    FUZZ_CHECK(!read.error_text.empty());
    FUZZ_CHECK(read.error_text.size() <= MAX_BAD_TOKEN_BYTES);
    FUZZ_CHECK(read.error_line >= 1);
  }
  if (read.status == ReadStatus::over) FUZZ_CHECK(read.n == MAX_DATA);

  Model model = read_model(data, size, samples.get(), read.n);
  FUZZ_CHECK(read.status == model.status);
  FUZZ_CHECK(read.n == model.n);
  if (read.status == ReadStatus::bad_token) {
    FUZZ_CHECK(read.error_line == model.error_line);
    FUZZ_CHECK(read.error_text == model.error_text);
  }
  return 0;
}
