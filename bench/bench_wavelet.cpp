// Cost of one wavelet shrinkage on a full-size series (n = 32768, L = 15)
// with the largest filter (N = 100) and a short one (N = 2), in a temporary
// directory; and, apart, the cost of the text conversions alone, so that
// their share of a run can be told. A run passes 131068 values through the
// scratch files: 65534 in the decomposition and as many in the
// reconstruction, each written with write_fixed12 and read with read_fixed12,
// that is four times the 32768 conversions of BM_ScratchConversions.
// BM_StagesInMemory times the stage arithmetic alone, and BM_StageVersions
// each version of its loops that the processor runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "text/fixed12.hpp"
#include "seeded_random.hpp"
#include "text/format.hpp"
#include "wavelet/shrink.hpp"
#include "wavelet/stages.hpp"

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

// The stage arithmetic alone, in memory: the L = 15 decomposition stages and
// the 15 reconstruction stages of a full-size series, each stage's outputs
// copied back into the series, no scratch file and no text.
void BM_StagesInMemory(benchmark::State& state) {
  const int taps = static_cast<int>(state.range(0));
  const std::vector<double> p = unit_energy_filter(taps);
  std::vector<double> q(p.size());
  dorvenk::build_filter_pair(p, q);
  const std::vector<double> input = seeded_values(N_VALUES, 7, 3.0);
  std::vector<double> x(input.size());
  std::vector<double> first(input.size());
  std::vector<double> second(input.size());
  const std::span<double> xs(x);
  for (auto _ : state) {
    x = input;
    std::size_t r = N_VALUES;
    for (int level = 0; level < LEVELS; ++level) {
      const std::size_t half = r / 2;
      dorvenk::decompose_into(xs.first(r), p, q, std::span(first).first(half), std::span(second).first(half));
      std::copy_n(first.begin(), half, x.begin());
      std::copy_n(second.begin(), half, x.begin() + static_cast<std::ptrdiff_t>(half));
      r = half;
    }
    for (int level = 0; level < LEVELS; ++level) {
      dorvenk::reconstruct_into(xs.first(r), xs.subspan(r, r), p, q, std::span(first).first(2 * r));
      std::copy_n(first.begin(), 2 * r, x.begin());
      r *= 2;
    }
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * N_VALUES);
}
BENCHMARK(BM_StagesInMemory)->Arg(200)->Arg(4)->Unit(benchmark::kMillisecond);

// The same stages with each version of the loops this processor runs
// (0 scalar, 1 sse2, 2 avx2, 3 avx512), N = 100.
struct Into {
  double* first;
  double* second;
  std::ptrdiff_t step;
  std::ptrdiff_t at = 0;
  static bool take(void* context, const double* first, const double* second, int count) {
    auto& into = *static_cast<Into*>(context);
    for (int b = 0; b < count; ++b) {
      into.first[into.at] = first[b];
      into.second[into.at] = second[b];
      into.at += into.step;
    }
    return true;
  }
};

void BM_StageVersions(benchmark::State& state) {
  namespace sk = dorvenk::stage_kernels;
  const auto isa = static_cast<sk::Isa>(state.range(0));
  if (!sk::isa_supported(isa)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  state.SetLabel(sk::isa_name(isa));
  const int taps = 200;
  const std::vector<double> p = unit_energy_filter(taps);
  std::vector<double> q(p.size());
  dorvenk::build_filter_pair(p, q);
  const std::vector<double> input = seeded_values(N_VALUES, 7, 3.0);
  std::vector<double> x(input.size());
  std::vector<double> out(input.size());
  const std::span<double> xs(x);
  for (auto _ : state) {
    x = input;
    std::size_t r = N_VALUES;
    for (int level = 0; level < LEVELS; ++level) {
      const std::size_t half = r / 2;
      Into into{out.data() + half, out.data(), 1};
      sk::decompose_stage(isa, xs.first(r), p, q, dorvenk::StageSink{&into, Into::take});
      std::copy_n(out.begin(), 2 * half, x.begin());
      r = half;
    }
    for (int level = 0; level < LEVELS; ++level) {
      Into into{out.data(), out.data() + 1, 2};
      sk::reconstruct_stage(isa, xs.first(r), xs.subspan(r, r), p, q, dorvenk::StageSink{&into, Into::take});
      std::copy_n(out.begin(), 2 * r, x.begin());
      r *= 2;
    }
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * N_VALUES);
}
BENCHMARK(BM_StageVersions)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// One "%.12lf\n" write and one read back per value, as in a scratch file:
// 0 the tool's conversions (write_fixed12 and read_fixed12, each with its
// exact shortcut), 1 the general std::to_chars and std::from_chars, 2 the C
// library's snprintf and strtod.
void BM_ScratchConversions(benchmark::State& state) {
  const int way = static_cast<int>(state.range(0));
  state.SetLabel(way == 0 ? "write_fixed12/read_fixed12" : way == 1 ? "to_chars/from_chars" : "snprintf/strtod");
  const std::vector<double> values = seeded_values(N_VALUES, 11, 3.0);
  std::string text;
  text.reserve(static_cast<std::size_t>(N_VALUES) * 20);
  std::vector<double> back(values.size());
  for (auto _ : state) {
    text.clear();
    char line[dorvenk::MAX_NUMBER_TEXT + 1];
    for (double v : values) {
      char* end;
      if (way == 0) {
        end = dorvenk::write_fixed12(line, line + dorvenk::MAX_NUMBER_TEXT, v);
      } else if (way == 1) {
        end = std::to_chars(line, line + dorvenk::MAX_NUMBER_TEXT, v, std::chars_format::fixed, 12).ptr;
      } else {
        end = line + std::snprintf(line, dorvenk::MAX_NUMBER_TEXT, "%.12f", v);
      }
      *end++ = '\n';
      text.append(line, end);
    }
    const char* pos = text.data();
    const char* stop = pos + text.size();
    for (double& v : back) {
      if (way == 0) {
        pos = dorvenk::read_fixed12(pos, stop, v) + 1;
      } else if (way == 1) {
        pos = std::from_chars(pos, stop, v).ptr + 1;
      } else {
        char* end;
        v = std::strtod(pos, &end);
        pos = end + 1;
      }
    }
    benchmark::DoNotOptimize(back.data());
  }
  state.SetItemsProcessed(state.iterations() * N_VALUES);
}
BENCHMARK(BM_ScratchConversions)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
