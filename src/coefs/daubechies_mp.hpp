// High-precision computation of the minimum-phase Daubechies scaling filters.
//
// This is the generator behind the compiled-in coefficient table: it needs
// MPFR and MPC, the command `dorvenk-coefs` itself does not. Every operation
// is correctly rounded at a fixed precision and runs in a fixed order, so the
// same precision gives the same bits on every machine.
#pragma once

#include <span>
#include <string>

namespace dorvenk {

// Working precision, in bits, of the table that the command prints. The
// tests check that twice this precision rounds to the same doubles for every
// order, and the note beside this file records how much margin there is.
inline constexpr long COEFS_PRECISION_BITS = 1024;

// Computes the 2N coefficients h[0..2N-1] of the minimum-phase Daubechies
// scaling filter with N vanishing moments (`order` = N >= 1), every step at
// `precision_bits`, and rounds each to the nearest double once, at the end.
// h.size() must be 2N. The filter is H(x) = c (1 + x)^N prod (1 - z_k x) with
// x = z^-1, z_k the zeros inside the unit circle, c > 0 such that sum h = sqrt 2.
// Returns false, with h unspecified, if the order, the size of h or the
// precision is out of range, or if the root finder did not converge or the
// expanded filter kept an imaginary part (the precision is then too low).
// Converging is not enough for correct doubles: the precision must exceed 53
// bits by what the order loses (about N + 90 bits in all at N = 100), which
// the tests guard for COEFS_PRECISION_BITS.
bool compute_daubechies(int order, long precision_bits, std::span<double> h);

// Sets `text` to the C++ source that holds the table for the orders 1 to
// MAX_COEFS_ORDER, computed at `precision_bits`, each value written with 17
// significant digits so that it compiles back to the same double. Returns
// false, with `text` empty, if compute_daubechies fails for some order.
bool daubechies_table_source(long precision_bits, std::string& text);

}  // namespace dorvenk
