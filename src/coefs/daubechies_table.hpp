// The minimum-phase Daubechies scaling filters for the orders 1 to 100,
// compiled in from daubechies_table.cpp, which dorvenk_coefs_gen writes.
#pragma once

#include <span>

namespace dorvenk {

// Highest order in the table: the same as the largest order the tool accepts.
inline constexpr int MAX_COEFS_ORDER = 100;

// Order N has 2N coefficients and starts at index N(N-1), after those of the
// orders 1 to N-1: sum of 2k for k < N.
inline constexpr int DAUBECHIES_TABLE_SIZE = MAX_COEFS_ORDER * (MAX_COEFS_ORDER + 1);

extern const double DAUBECHIES_TABLE[DAUBECHIES_TABLE_SIZE];

// h[0..2N-1] of the order N (1 to MAX_COEFS_ORDER), each the double nearest
// to the exact coefficient.
inline std::span<const double> daubechies_coefficients(int order) {
  const auto n = static_cast<std::size_t>(order);
  return std::span<const double>(DAUBECHIES_TABLE).subspan(n * (n - 1), 2 * n);
}

}  // namespace dorvenk
