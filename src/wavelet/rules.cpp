#include "wavelet/rules.hpp"

#include <cmath>

namespace dorvenk {

double threshold_from_noise_sd(int n, double sigma) {
  double t = std::log(static_cast<double>(n));
  t = t + t;
  t = std::sqrt(t);
  return t * sigma;
}

double threshold_from_data_sd(int n, double sd) {
  double t = std::log(static_cast<double>(n));
  t = t + t;
  t = t / n;
  t = std::sqrt(t);
  return t * sd;
}

int level_limit(int n) {
  int v = n;
  int count = 0;
  for (int i = 0; i < n; ++i) {
    v = v / 2;
    count = count + 1;
    if (v % 2 != 0) break;
  }
  return count;
}

}  // namespace dorvenk
