// A plain reference of the autoregressive noise estimator, shared by its
// tests and its benchmark.
#pragma once

#include <cmath>
#include <cstdlib>
#include <span>

namespace dorvenk::reference {

// The estimator written out plainly, step by step, with no speed-ups: the
// raw autocorrelation, every order solved on a freshly built system, every
// residual sum with pow(e, 2.0), the AIC choice, and the final sum taken
// again for the chosen order. Returns the estimate and the chosen order.
struct ReferenceFit {
  double estimate;
  int best_order;
};

inline ReferenceFit reference_fit(std::span<const double> series, int n) {
  const double* x = series.data();
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
    for (int k = 0; k <= m - 2; ++k) {
      for (int i = k + 1; i <= m - 1; ++i) {
        double f = sys[i][k] / sys[k][k];
        for (int j = k; j <= m; ++j) sys[i][j] = sys[i][j] - f * sys[k][j];
      }
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
      double error = prediction - x[t + q + 1];
      s2[q] += std::pow(error, 2.0);
    }
    s2[q] = s2[q] / (n - q - 1);
  }

  for (int q = 0; q < max_order; ++q) aic[q] = static_cast<double>(n) * std::log(s2[q]) + (2 * q + 2);

  int best = 1;
  if (max_order >= 1) {
    double best_aic = aic[0];
    for (int q = 1; q < max_order; ++q) {
      if (aic[q] < best_aic) {
        best = q + 1;
        best_aic = aic[q];
      }
    }
  }

  double sum = 0.0;
  for (int t = 0; t <= n - best - 1; ++t) {
    double prediction = 0.0;
    for (int o = 0; o <= best - 1; ++o) prediction += a[best - 1][o] * x[t + best - 1 - o];
    double error = prediction - x[t + best];
    sum += std::pow(error, 2.0);
  }
  return {std::sqrt(sum / (n - best)), best};
}

}  // namespace dorvenk::reference
