// The seeded generator of the tests and the benchmarks, without anything of
// GoogleTest, so that the benchmark programs can use it too.
#pragma once

#include <cmath>
#include <cstdint>

namespace dorvenk::test_support {

// Reproducible pseudo-random numbers, the same on every machine and library:
// splitmix64, uniform doubles from its top 53 bits, and Box-Muller for
// Gaussian values.
struct Random {
  std::uint64_t state;

  std::uint64_t next_u64() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double next_uniform() { return static_cast<double>(next_u64() >> 11) * 0x1.0p-53; }
  // Standard normal.
  double next_gaussian() {
    const double u1 = 1.0 - next_uniform();  // (0, 1]
    const double u2 = next_uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
};

}  // namespace dorvenk::test_support
