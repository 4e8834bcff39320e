#include "estimate/mad_noise.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "wavelet/stages.hpp"

namespace dorvenk {

double median_magnitude(std::span<double> values) {
  for (double& v : values) v = std::fabs(v);
  const std::size_t count = values.size();
  const std::size_t upper = count / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(upper), values.end());
  const double upper_value = values[upper];
  if (count % 2 == 1) return upper_value;
  // Everything before `upper` is now no larger than it: the lower middle
  // value is the largest of them.
  const double lower_value = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(upper));
  // std::midpoint cannot overflow and rounds once.
  return std::midpoint(lower_value, upper_value);
}

MadEstimate estimate_noise_mad(std::span<const double> samples, std::span<const double> p, MadWork& work) {
  MadEstimate estimate;
  const std::size_t half = samples.size() / 2;
  estimate.details = static_cast<int>(half);
  if (half == 0) {
    estimate.status = MadStatus::too_few;
    return estimate;
  }
  const std::span<double> q(work.q.data(), p.size());
  build_filter_pair(p, q);
  const std::span<double> detail(work.detail.data(), half);
  decompose_into(samples, p, q, std::span<double>(work.approx.data(), half), detail);
  for (const double d : detail) {
    if (!std::isfinite(d)) {
      estimate.status = MadStatus::not_finite;
      return estimate;
    }
  }
  estimate.sigma = median_magnitude(detail) / NORMAL_QUARTILE;
  if (!std::isfinite(estimate.sigma)) estimate.status = MadStatus::not_finite;
  return estimate;
}

}  // namespace dorvenk
