// Costs of dorvenk-coefs: what the command does for one order (look the
// filter up in the compiled-in table and print it), and what the generator
// spends to compute one order in multiple precision.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "coefs/coefs_cli.hpp"
#include "coefs/daubechies_mp.hpp"
#include "coefs/daubechies_table.hpp"

namespace {

// The command's whole work for order N, printing to /dev/null.
void BM_PrintFromTable(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  std::FILE* out = std::fopen("/dev/null", "w");
  if (out == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(dorvenk::write_coefficients(dorvenk::daubechies_coefficients(order), out));
    std::fflush(out);
  }
  std::fclose(out);
}
BENCHMARK(BM_PrintFromTable)->Arg(2)->Arg(100)->Unit(benchmark::kMicrosecond);

// Computing order N at the table's precision, and at twice it (the check).
void BM_ComputeMultiplePrecision(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  const long bits = static_cast<long>(state.range(1));
  double h[2 * dorvenk::MAX_COEFS_ORDER];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        dorvenk::compute_daubechies(order, bits, std::span<double>(h, static_cast<std::size_t>(2 * order))));
  }
}
BENCHMARK(BM_ComputeMultiplePrecision)
    ->Args({10, dorvenk::COEFS_PRECISION_BITS})
    ->Args({50, dorvenk::COEFS_PRECISION_BITS})
    ->Args({100, dorvenk::COEFS_PRECISION_BITS})
    ->Args({100, 2 * dorvenk::COEFS_PRECISION_BITS})
    ->Unit(benchmark::kMillisecond);

}  // namespace
