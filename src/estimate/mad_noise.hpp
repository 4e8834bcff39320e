// Noise level from the finest details: the median absolute deviation of the
// level-1 detail coefficients, scaled to a standard deviation.
//
// With an orthonormal filter, one periodic decomposition stage turns white
// Gaussian noise of standard deviation sigma into details that are again
// white Gaussian noise of standard deviation sigma. A smooth or piecewise
// smooth signal leaves only a few large details at the finest level (near
// its jumps), so the median of |d| follows the noise and not the signal:
// for Gaussian d, median(|d|) = sigma * Phi^-1(0.75).
//
// Nothing here reads a file or prints; the caller owns the work space.
#pragma once

#include <array>
#include <span>

#include "data/samples.hpp"
#include "wavelet/shrink.hpp"

namespace dorvenk {

// Phi^-1(0.75), the 0.75 quantile of the standard normal distribution:
// sqrt(2) * erfinv(1/2) = 0.674489750196081743202227014541307185...
// (computed in 50-digit arithmetic; the literal rounds to the nearest
// double, 0x1.5956b87528a49p-1). median(|d|) of Gaussian d is this times sd.
inline constexpr double NORMAL_QUARTILE = 0.674489750196081743202227014541307185;

// Median of |values[i]|; `values` is used as work space and left holding the
// magnitudes in an unspecified order. An odd count gives the middle
// magnitude; an even count the midpoint of the two middle ones (the usual
// sample median). Zeros count like any other value. Expects at least one
// value and no NaN.
double median_magnitude(std::span<double> values);

// Room for one decomposition stage of the largest series and its filter pair.
struct MadWork {
  std::array<double, MAX_DATA / 2> approx;
  std::array<double, MAX_DATA / 2> detail;
  std::array<double, MAX_TAPS> q;
};

enum class MadStatus {
  ok,
  too_few,     // fewer than 2 samples: no detail coefficient at all
  not_finite,  // a detail or the estimate is an infinity or NaN (values near
               // the double range, or infinities the reader made of them)
};

struct MadEstimate {
  MadStatus status = MadStatus::ok;
  double sigma = 0.0;  // the estimate, when status is ok
  int details = 0;     // how many detail coefficients it came from: n / 2
};

// sigma = median(|d|) / NORMAL_QUARTILE over the floor(n/2) details d of one
// decomposition stage of samples[0..n-1] (n = samples.size()) with the
// scaling filter p (2 to MAX_TAPS taps): the same stage, the same periodic
// index and the same sums as the tool's first decomposition stage, kept in
// full double precision. For odd n the last sample takes part through the
// periodic index but has no pair of its own, as in the tool.
MadEstimate estimate_noise_mad(std::span<const double> samples, std::span<const double> p, MadWork& work);

}  // namespace dorvenk
