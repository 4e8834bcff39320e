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
#include "estimate/ar_noise.hpp"

namespace {

std::vector<double> seeded_series(int n) {
  // splitmix64 and Box-Muller: an AR(2) series over Gaussian noise.
  std::uint64_t state = 12345;
  auto next = [&state] {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
  };
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int t = 0; t < n; ++t) {
    double u1 = 1.0 - next();
    double u2 = next();
    double v = 0.5 * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    if (t >= 2) v += 1.2 * x[t - 1] - 0.5 * x[t - 2];
    x[t] = v;
  }
  return x;
}

// Every step as plain loops: each prediction one at a time, squared with
// pow, and the chosen order's sum taken a second time.
double naive_estimate(const double* x, int n) {
  const int max_order = n > 60 ? 60 : n - 1;
  double r[61];
  double sys[60][61];
  double a[60][60];
  double s2[60];
  double aic[60];
  for (int k = 0; k <= max_order; ++k) {
    r[k] = 0.0;
    for (int i = 0; i <= n - k - 1; ++i) r[k] += x[i] * x[i + k] / (n - k);
  }
  for (int m = 1; m <= max_order; ++m) {
    for (int row = 0; row < m; ++row)
      for (int col = 0; col < m; ++col) sys[row][col] = r[std::abs(row - col)];
    for (int i = 0; i < m; ++i) sys[i][m] = r[i + 1];
    for (int k = 0; k <= m - 2; ++k)
      for (int i = k + 1; i <= m - 1; ++i) {
        double f = sys[i][k] / sys[k][k];
        for (int j = k; j <= m; ++j) sys[i][j] = sys[i][j] - f * sys[k][j];
      }
    for (int j = m - 1; j >= 0; --j) {
      sys[j][m] = sys[j][m] / sys[j][j];
      sys[j][j] = 1.0;
      for (int i = 0; i <= j - 1; ++i) {
        sys[i][m] = sys[i][m] - sys[i][j] * sys[j][m];
        sys[i][j] = 0.0;
      }
    }
    for (int i = 0; i < m; ++i) a[m - 1][i] = sys[i][m];
  }
  for (int q = 0; q < max_order; ++q) {
    s2[q] = 0.0;
    for (int t = 0; t <= n - q - 2; ++t) {
      double prediction = 0.0;
      for (int o = 0; o <= q; ++o) prediction += a[q][o] * x[t + q - o];
      s2[q] += std::pow(prediction - x[t + q + 1], 2.0);
    }
    s2[q] = s2[q] / (n - q - 1);
  }
  for (int q = 0; q < max_order; ++q) aic[q] = static_cast<double>(n) * std::log(s2[q]) + (2 * q + 2);
  int best = 1;
  if (max_order >= 1) {
    double best_aic = aic[0];
    for (int q = 1; q < max_order; ++q)
      if (aic[q] < best_aic) {
        best = q + 1;
        best_aic = aic[q];
      }
  }
  double sum = 0.0;
  for (int t = 0; t <= n - best - 1; ++t) {
    double prediction = 0.0;
    for (int o = 0; o <= best - 1; ++o) prediction += a[best - 1][o] * x[t + best - 1 - o];
    sum += std::pow(prediction - x[t + best], 2.0);
  }
  return std::sqrt(sum / (n - best));
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
}
BENCHMARK(BM_EstimateNoiseSd)->Arg(dorvenk::MAX_DATA)->Arg(4096)->Unit(benchmark::kMillisecond);

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
