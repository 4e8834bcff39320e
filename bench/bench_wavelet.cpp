// Cost of one wavelet shrinkage on a full-size series (n = 32768, L = 15)
// with the largest filter (N = 100) and a short one (N = 2), in a temporary
// directory; and, apart, the cost of the text conversions alone, so that
// their share of a run can be told. A run passes 131068 values through the
// scratch files: 65534 in the decomposition and as many in the
// reconstruction, each written with write_fixed12 and read with from_chars,
// that is four times the 32768 conversions of BM_ScratchConversions.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "seeded_random.hpp"
#include "text/format.hpp"
#include "wavelet/shrink.hpp"

namespace {

constexpr int N_VALUES = 32768;
constexpr int LEVELS = 15;

std::vector<double> seeded_values(int count, std::uint64_t seed, double scale) {
  dorvenk::test_support::Random gen{seed};
  std::vector<double> v(static_cast<std::size_t>(count));
  for (double& x : v) x = scale * (2 * gen.next_uniform() - 1);
  return v;
}

// A filter of `taps` seeded coefficients scaled to unit energy, so that the
// magnitudes stay in range over all levels.
std::vector<double> unit_energy_filter(int taps) {
  std::vector<double> p = seeded_values(taps, 99, 1.0);
  double energy = 0;
  for (double c : p) energy += c * c;
  for (double& c : p) c /= std::sqrt(energy);
  return p;
}

// Runs the benchmark body inside a fresh temporary directory.
struct TempDir {
  std::filesystem::path old_dir = std::filesystem::current_path();
  std::filesystem::path dir;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dorvenk-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) std::abort();
    dir = pattern;
  }
  ~TempDir() {
    if (::chdir(old_dir.c_str()) != 0) std::abort();
    std::filesystem::remove_all(dir);
  }
};

void BM_WaveletShrink(benchmark::State& state) {
  const int taps = static_cast<int>(state.range(0));
  const std::vector<double> p = unit_energy_filter(taps);
  const std::vector<double> input = seeded_values(N_VALUES, 7, 3.0);
  std::vector<double> samples(input.size());
  std::ostream null_out(nullptr);
  TempDir temp;
  for (auto _ : state) {
    samples = input;
    dorvenk::FileFailure failure = dorvenk::wavelet_shrink(samples, N_VALUES, p, taps, LEVELS, 0.5, null_out);
    if (failure.failed()) state.SkipWithError(failure.file.c_str());
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * N_VALUES);
}
BENCHMARK(BM_WaveletShrink)->Arg(200)->Arg(4)->Unit(benchmark::kMillisecond);

// One "%.12lf\n" write and one read back per value, as in a scratch file.
void BM_ScratchConversions(benchmark::State& state) {
  const std::vector<double> values = seeded_values(N_VALUES, 11, 3.0);
  std::string text;
  text.reserve(static_cast<std::size_t>(N_VALUES) * 20);
  std::vector<double> back(values.size());
  for (auto _ : state) {
    text.clear();
    char line[dorvenk::MAX_NUMBER_TEXT + 1];
    for (double v : values) {
      char* end = dorvenk::write_fixed12(line, line + dorvenk::MAX_NUMBER_TEXT, v);
      *end++ = '\n';
      text.append(line, end);
    }
    const char* pos = text.data();
    const char* stop = pos + text.size();
    for (double& v : back) pos = std::from_chars(pos, stop, v).ptr + 1;
    benchmark::DoNotOptimize(back.data());
  }
  state.SetItemsProcessed(state.iterations() * N_VALUES);
}
BENCHMARK(BM_ScratchConversions)->Unit(benchmark::kMicrosecond);

}  // namespace
