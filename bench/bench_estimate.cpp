// Cost of one noise estimate on a full-size series (n = 32768, so all 60
// orders are fitted), beside a plainly written version of the same
// computation for comparison. Both give the same bits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "data/samples.hpp"
#include "estimate/ar_kernels.hpp"
#include "estimate/ar_noise.hpp"
#include "ar_noise_reference.hpp"
#include "seeded_random.hpp"

namespace {

std::vector<double> seeded_series(int n) {
  // An AR(2) series over seeded Gaussian noise.
  dorvenk::test_support::Random rng{12345};
  std::vector<double> x(static_cast<std::size_t>(n));
  for (std::size_t t = 0; t < x.size(); ++t) {
    double v = 0.5 * rng.next_gaussian();
    if (t >= 2) v += 1.2 * x[t - 1] - 0.5 * x[t - 2];
    x[t] = v;
  }
  return x;
}

// The plain reference: each prediction one at a time, squared with pow,
// and the chosen order's sum taken a second time.
double naive_estimate(const double* x, int n) {
  return dorvenk::reference::reference_fit(std::span<const double>(x, static_cast<std::size_t>(n)), n).estimate;
}

// Multiply-adds of the residual step: sum over q of (n - q - 1) * (q + 1).
double residual_multiply_adds(int n) {
  const int max_order = dorvenk::ar_max_order(n);
  double count = 0.0;
  for (int q = 0; q < max_order; ++q) count += static_cast<double>(n - q - 1) * (q + 1);
  return count;
}

// Residual-step multiply-adds per second: "G/s" reads as per nanosecond.
void report_multiply_adds(benchmark::State& state, int n) {
  const double total = residual_multiply_adds(n) * static_cast<double>(state.iterations());
  state.counters["madds"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
}

void BM_EstimateNoiseSd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x = seeded_series(n);
  for (auto _ : state) {
    double sd = dorvenk::estimate_noise_sd(x, n);
    benchmark::DoNotOptimize(sd);
  }
  report_multiply_adds(state, n);
  state.SetLabel(dorvenk::ar_kernels::isa_name(dorvenk::ar_kernels::chosen_isa()));
}
BENCHMARK(BM_EstimateNoiseSd)->Arg(dorvenk::MAX_DATA)->Arg(4096)->Unit(benchmark::kMillisecond);

// The whole estimate on each version of its loops this processor runs
// (0 scalar, 1 sse2, 2 avx2, 3 avx512), at the full size.
void BM_EstimateNoiseSdOn(benchmark::State& state) {
  using dorvenk::ar_kernels::Isa;
  const Isa isa = dorvenk::ar_kernels::ALL_ISAS[state.range(0)];
  const int n = dorvenk::MAX_DATA;
  const std::vector<double> x = seeded_series(n);
  if (!dorvenk::ar_kernels::isa_supported(isa)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  for (auto _ : state) {
    double sd = dorvenk::ar_kernels::estimate_noise_sd(isa, x, n);
    benchmark::DoNotOptimize(sd);
  }
  report_multiply_adds(state, n);
  state.SetLabel(dorvenk::ar_kernels::isa_name(isa));
}
BENCHMARK(BM_EstimateNoiseSdOn)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_NaiveEstimate(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x = seeded_series(n);
  const double fast = dorvenk::estimate_noise_sd(x, n);
  const double naive = naive_estimate(x.data(), n);
  if (std::memcmp(&fast, &naive, sizeof fast) != 0) state.SkipWithError("the two estimates differ");
  for (auto _ : state) {
    double sd = naive_estimate(x.data(), n);
    benchmark::DoNotOptimize(sd);
  }
  report_multiply_adds(state, n);
}
BENCHMARK(BM_NaiveEstimate)->Arg(dorvenk::MAX_DATA)->Unit(benchmark::kMillisecond);

}  // namespace
