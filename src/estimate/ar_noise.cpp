#include "estimate/ar_noise.hpp"

#include <cmath>

namespace dorvenk {

namespace {

// Independent sums run side by side in groups of LANES, each in its own
// order, so the compiler can hold a group in vector registers without
// changing a single bit of any sum. LANES is fixed so that the lane loops
// vectorise with no remainder.
constexpr int LANES = 4;

// R[k] for k = 0..max_order: the mean of the n - k lagged products of the raw
// (uncentred) series; each product is divided by n - k before it is added,
// in ascending order of i. Lags are taken LANES at a time: the lanes share
// the products' first factor and differ only in their second.
void autocorrelation(const double* x, int n, int max_order, double* autocorr) {
  int k0 = 0;
  for (; k0 + LANES - 1 <= max_order; k0 += LANES) {
    double sum[LANES];
    double divisor[LANES];
    for (int lane = 0; lane < LANES; ++lane) {
      sum[lane] = 0.0;
      divisor[lane] = n - (k0 + lane);
    }
    // Every lag of the group has a pair for i < n - (k0 + LANES - 1) (at
    // least 1, as the largest lag is at most n - 1).
    const int common = n - (k0 + LANES - 1);
    for (int i = 0; i < common; ++i) {
      const double* later = x + i + k0;
      for (int lane = 0; lane < LANES; ++lane) sum[lane] = sum[lane] + x[i] * later[lane] / divisor[lane];
    }
    for (int lane = 0; lane < LANES; ++lane) {
      const int k = k0 + lane;
      for (int i = common; i < n - k; ++i) sum[lane] = sum[lane] + x[i] * x[i + k] / divisor[lane];
      autocorr[k] = sum[lane];
    }
  }
  for (int k = k0; k <= max_order; ++k) {
    const double divisor = n - k;
    double sum = 0.0;
    for (int i = 0; i < n - k; ++i) sum = sum + x[i] * x[i + k] / divisor;
    autocorr[k] = sum;
  }
}

// row[j] = row[j] - factor * pivot_row[j] for j = from..to, where row and
// pivot_row are different rows; each entry on its own, so they go LANES at a
// time (the pivot entries are read into a local group first, which tells the
// compiler the two rows do not overlap).
void subtract_scaled_row(double* row, double factor, const double* pivot_row, int from, int to) {
  int j = from;
  for (; j + LANES - 1 <= to; j += LANES) {
    double pivot[LANES];
    for (int lane = 0; lane < LANES; ++lane) pivot[lane] = pivot_row[j + lane];
    for (int lane = 0; lane < LANES; ++lane) row[j + lane] = row[j + lane] - factor * pivot[lane];
  }
  for (; j <= to; ++j) row[j] = row[j] - factor * pivot_row[j];
}

// Coefficients of order m from the Yule-Walker equations, solved by Gaussian
// elimination without pivoting. A zero pivot is not caught: it yields
// infinite or NaN coefficients, which the order choice then passes over.
void solve_yule_walker(const double* autocorr, int m,
                       double (&system)[MAX_AR_ORDER][MAX_AR_ORDER + 1],
                       double* coef) {
  // Toeplitz matrix: column 0, each entry of it down its diagonal, the lower
  // triangle mirrored onto the upper, then the right-hand side.
  for (int i = 0; i < m; ++i) system[i][0] = autocorr[i];
  for (int i = 0; i < m; ++i)
    for (int j = 1; i + j < m; ++j) system[i + j][j] = system[i][0];
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < m; ++i) system[j][i] = system[i][j];
  for (int i = 0; i < m; ++i) system[i][m] = autocorr[i + 1];

  // Forward elimination, rows in their given order; the row factor is taken
  // before the row changes, and the row is updated from the pivot column
  // through the right-hand side.
  for (int k = 0; k < m - 1; ++k) {
    for (int i = k + 1; i < m; ++i) {
      const double factor = system[i][k] / system[k][k];
      subtract_scaled_row(system[i], factor, system[k], k, m);
    }
  }

  // Back substitution; the solution replaces the right-hand column.
  for (int j = m - 1; j >= 0; --j) {
    system[j][m] = system[j][m] / system[j][j];
    system[j][j] = 1.0;
    for (int i = 0; i < j; ++i) {
      system[i][m] = system[i][m] - system[i][j] * system[j][m];
      system[i][j] = 0.0;
    }
  }

  for (int i = 0; i < m; ++i) coef[i] = system[i][m];
}

// prediction[lane] += c * back[lane]: one step of LANES predictions.
inline void add_scaled(double (&prediction)[LANES], double c, const double* back) {
  for (int lane = 0; lane < LANES; ++lane) prediction[lane] = prediction[lane] + c * back[lane];
}

// Adds the squared errors of LANES predictions to sum, in lane order.
inline double add_squared_errors(double sum, const double (&prediction)[LANES], const double* actual) {
  for (int lane = 0; lane < LANES; ++lane) {
    const double error = prediction[lane] - actual[lane];
    sum = sum + error * error;
  }
  return sum;
}

// Sum of the squared one-step prediction errors of an AR model of the given
// order over x[order..n-1], in ascending order of the predicted sample. Each
// prediction starts from 0.0 and adds coef[o] * (sample o + 1 steps back) in
// ascending o. Sixteen predictions are made side by side in four groups, each
// group its own array so that it stays in registers. Squaring multiplies the
// error by itself: that is the correctly rounded square, the same bits
// glibc's pow(e, 2.0) returns.
double squared_error_sum(const double* x, int n, const double* coef, int order) {
  constexpr int BLOCK = 4 * LANES;
  const int count = n - order;  // predictions of x[order..n-1]
  double sum = 0.0;
  int t = 0;
  for (; t + BLOCK <= count; t += BLOCK) {
    double p0[LANES] = {}, p1[LANES] = {}, p2[LANES] = {}, p3[LANES] = {};
    for (int o = 0; o < order; ++o) {
      const double c = coef[o];
      const double* back = x + t + order - 1 - o;
      add_scaled(p0, c, back);
      add_scaled(p1, c, back + LANES);
      add_scaled(p2, c, back + 2 * LANES);
      add_scaled(p3, c, back + 3 * LANES);
    }
    const double* actual = x + t + order;
    sum = add_squared_errors(sum, p0, actual);
    sum = add_squared_errors(sum, p1, actual + LANES);
    sum = add_squared_errors(sum, p2, actual + 2 * LANES);
    sum = add_squared_errors(sum, p3, actual + 3 * LANES);
  }
  for (; t < count; ++t) {
    double prediction = 0.0;
    for (int o = 0; o < order; ++o) prediction = prediction + coef[o] * x[t + order - 1 - o];
    const double error = prediction - x[t + order];
    sum = sum + error * error;
  }
  return sum;
}

}  // namespace

int ar_max_order(int n) { return n > MAX_AR_ORDER ? MAX_AR_ORDER : n - 1; }

double estimate_noise_sd(std::span<const double> samples, int n) {
  const double* x = samples.data();
  const int max_order = ar_max_order(n);

  double autocorr[MAX_AR_ORDER + 1];
  double yw_system[MAX_AR_ORDER][MAX_AR_ORDER + 1];
  double ar_coef[MAX_AR_ORDER][MAX_AR_ORDER];
  double error_sum[MAX_AR_ORDER];  // squared-error sum of order q + 1, undivided
  double resid_var[MAX_AR_ORDER];
  double aic[MAX_AR_ORDER];

  autocorrelation(x, n, max_order, autocorr);

  for (int m = 1; m <= max_order; ++m) solve_yule_walker(autocorr, m, yw_system, ar_coef[m - 1]);

  for (int q = 0; q < max_order; ++q) {
    error_sum[q] = squared_error_sum(x, n, ar_coef[q], q + 1);
    resid_var[q] = error_sum[q] / (n - q - 1);
  }

  // AIC with the full sample count, not the number of predictions.
  for (int q = 0; q < max_order; ++q)
    aic[q] = static_cast<double>(n) * std::log(resid_var[q]) + (2 * q + 2);

  // Strict less-than: a NaN AIC is never taken and a tie keeps the lower
  // order. Order 1 stands when no order is fitted at all.
  int best_order = 1;
  if (max_order >= 1) {
    double best_aic = aic[0];
    for (int q = 1; q < max_order; ++q) {
      if (aic[q] < best_aic) {
        best_order = q + 1;
        best_aic = aic[q];
      }
    }
  }

  // Mean squared prediction error of the chosen order: its squared-error sum
  // is the very sum that summing again over the same predictions in the same
  // order would give, so it is reused, and divided by the number of
  // predictions. With no order fitted (n <= 1) the sum is empty: 0.0 / (n - 1)
  // is NaN for n = 1 and -0.0 for n = 0, and sqrt keeps both.
  const double chosen_sum = max_order >= 1 ? error_sum[best_order - 1] : 0.0;
  return std::sqrt(chosen_sum / (n - best_order));
}

}  // namespace dorvenk
