// The two heavy loops of the noise estimator, in one plain scalar version and
// in vector versions for the instruction sets a processor may have. Every
// version gives the same bits: each sum keeps its own order, only independent
// sums run side by side, and no multiply is fused with an add. The estimator
// picks the widest version the processor supports; the tests and benchmarks
// call each one directly.
#pragma once

#include <span>

#include "estimate/ar_noise.hpp"
#include "text/isa.hpp"

namespace dorvenk::ar_kernels {

// The shared choice of instruction set, under the names the callers use.
using ::dorvenk::ALL_ISAS;
using ::dorvenk::chosen_isa;
using ::dorvenk::Isa;
using ::dorvenk::isa_name;
using ::dorvenk::isa_supported;

// autocorr[k] for k = 0..max_order (max_order <= min(n - 1, MAX_AR_ORDER)):
// the sum over i = 0..n-k-1, ascending, of x[i] * x[i + k] / (n - k).
void autocorrelation(Isa isa, const double* x, int n, int max_order, double* autocorr);

// error_sum[q] for q = 0..max_order-1 (max_order <= min(n - 1,
// MAX_AR_ORDER)): the sum over the targets s = q+1..n-1, ascending, of the
// squared error (prediction - x[s]) * (prediction - x[s]), where the
// prediction is the sum over o = 0..q, ascending and from 0.0, of
// coef[q][o] * x[s - 1 - o].
void squared_error_sums(Isa isa, const double* x, int n, const double (*coef)[MAX_AR_ORDER], int max_order,
                        double* error_sum);

// The whole estimate with the given version of the loops.
double estimate_noise_sd(Isa isa, std::span<const double> samples, int n);

}  // namespace dorvenk::ar_kernels
