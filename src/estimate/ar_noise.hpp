// Noise standard deviation from an autoregressive model of the series.
//
// Autoregressive models of every order 1..M (M = 60, or n - 1 for short
// series) are fitted to the raw series by the Yule-Walker equations, solved
// by Gaussian elimination without pivoting; the order with the smallest AIC
// gives its root-mean-square one-step prediction error as the estimate.
// Every sum runs in a fixed order so the result is the same bits on every
// machine, whichever vector instructions the processor offers (the loops
// run on the widest it supports, see ar_kernels.hpp).
#pragma once

#include <span>

namespace dorvenk {

inline constexpr int MAX_AR_ORDER = 60;

// Highest order fitted to n samples: MAX_AR_ORDER, or n - 1 for n <= 60
// (0 or negative for n <= 1, when no order is fitted).
int ar_max_order(int n);

// Reads samples[0..n-1] only. Never fails: numeric trouble shows as an
// infinite or NaN result (all-zero data gives NaN, n = 1 NaN, n = 0 -0.0).
double estimate_noise_sd(std::span<const double> samples, int n);

}  // namespace dorvenk
