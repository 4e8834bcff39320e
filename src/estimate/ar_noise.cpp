#include "estimate/ar_noise.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "estimate/ar_kernels.hpp"
#include "text/vector_lanes.hpp"

namespace dorvenk {

namespace {

// ---------------------------------------------------------------------------
// Plain scalar loops: the definition every vector version must match.

// Lags first_lag..max_order.
void autocorrelation_scalar(const double* x, int n, int first_lag, int max_order, double* autocorr) {
  for (int k = first_lag; k <= max_order; ++k) {
    const double divisor = n - k;
    double sum = 0.0;
    for (int i = 0; i < n - k; ++i) sum = sum + x[i] * x[i + k] / divisor;
    autocorr[k] = sum;
  }
}

// Squared-error sum of one order over the targets first_target..end_target-1.
// Squaring multiplies the error by itself: that is the correctly rounded
// square, the same bits the maths library's pow(e, 2.0) returns.
double squared_error_sum_scalar(const double* x, const double* coef, int order, int first_target, int end_target) {
  double sum = 0.0;
  for (int s = first_target; s < end_target; ++s) {
    double prediction = 0.0;
    for (int o = 0; o < order; ++o) prediction = prediction + coef[o] * x[s - 1 - o];
    const double error = prediction - x[s];
    sum = sum + error * error;
  }
  return sum;
}

void squared_error_sums_scalar(const double* x, int n, const double (*coef)[MAX_AR_ORDER], int max_order,
                               double* error_sum) {
  for (int q = 0; q < max_order; ++q) error_sum[q] = squared_error_sum_scalar(x, coef[q], q + 1, q + 1, n);
}

// ---------------------------------------------------------------------------
// Vector versions, written once over GCC's generic vector types and compiled
// for each instruction set by the target-specific wrappers further down. The
// bodies are always inlined into those wrappers, so they take the wrapper's
// instruction set; -ffp-contract=off holds there as everywhere, so no
// multiply is fused with an add.

// The vector types and load, store and splat: text/vector_lanes.hpp.

// Lags go side by side, G vectors of them at a time: every lag of a group
// shares the first factor x[i] and has its own running sum and divisor. A
// group may run past max_order (its extra lags are dropped) as long as its
// largest lag still has a pair, so that no read goes beyond x[n - 1].
//
// Array lengths from template arguments are written std::size_t{...}: the
// conversion is checked while compiling, so g++ does not warn about a sign.
template <class V, int G>
[[gnu::always_inline]] inline void autocorrelation_vector(const double* x, int n, int max_order, double* autocorr) {
  constexpr int W = lanes_of<V>;
  constexpr int WIDTH = G * W;
  int k0 = 0;
  for (; k0 <= max_order && k0 + WIDTH - 1 <= n - 1; k0 += WIDTH) {
    V sum[std::size_t{G}];
    V divisor[std::size_t{G}];
    for (int g = 0; g < G; ++g) {
      sum[g] = splat<V>(0.0);
      divisor[g] = sum[g];
      for (int lane = 0; lane < W; ++lane) divisor[g][lane] = n - (k0 + g * W + lane);
    }
    // Every lag of the group has a pair for i < common.
    const int common = n - (k0 + WIDTH - 1);
    for (int i = 0; i < common; ++i) {
      const V first = splat<V>(x[i]);
      const double* later = x + i + k0;
      _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g)
        sum[g] = sum[g] + first * load<V>(later + g * W) / divisor[g];
    }
    double partial[std::size_t{WIDTH}];
    for (int g = 0; g < G; ++g) store(partial + g * W, sum[g]);
    for (int lane = 0; lane < WIDTH && k0 + lane <= max_order; ++lane) {
      const int k = k0 + lane;
      const double d = n - k;
      double s = partial[lane];
      for (int i = common; i < n - k; ++i) s = s + x[i] * x[i + k] / d;
      autocorr[k] = s;
    }
  }
  if (k0 <= max_order) autocorrelation_scalar(x, n, k0, max_order, autocorr);
}

// Orders go side by side, one lane each: a vector holds the predictions of
// consecutive orders for the same target sample, so every order's prediction
// and every order's squared-error sum stays one chain in its own lane, in
// its own order. T targets are predicted at once to keep enough independent
// chains in flight. At step o every lane reads the same sample x[s - 1 - o],
// taken from a table of samples already spread over whole vectors (built
// once per stretch of CHUNK targets and shared by every group of orders).
// Groups hold W orders (V wide); when the last group has no more than half
// of W orders left, it runs on half-width vectors H instead, so that no
// lane works in vain for the whole run.
template <class V, class H, int T>
struct ErrorSums {
  static constexpr int W = lanes_of<V>;
  static constexpr int COLUMNS = (MAX_AR_ORDER + W - 1) / W * W;
  static constexpr int CHUNK = 256 / T * T;

  // by_step[o][q] = coef[q][o]: the weights of all orders at step o side by
  // side (zero where order q + 1 has no step o, or beyond max_order).
  alignas(64) double by_step[MAX_AR_ORDER][std::size_t{COLUMNS}];
  // spread[(i - base) * W + lane] holds x[i] in every lane, for the samples
  // of the stretch in hand and the MAX_AR_ORDER before it.
  alignas(64) double spread[std::size_t{(CHUNK + MAX_AR_ORDER) * W}];
  int base;
  // Running squared-error sums, carried from one stretch to the next.
  alignas(64) double sums[std::size_t{COLUMNS}];

  template <class G>
  [[gnu::always_inline]] inline G spread_at(int i) const {
    return load<G>(spread + (i - base) * W);
  }

  // Predicts the targets s..s+COUNT-1 for the orders q0+1..q0+lanes (steps
  // 0..top-1) and adds their squared errors to sum, target by target. With
  // FINITE (no sample infinite or NaN), the steps only the higher orders of
  // the group take are added in every lane: the other lanes add weight 0
  // times a finite sample, a zero, which leaves their prediction unchanged
  // but for the sign of a zero prediction, and the squared error does not
  // see that sign. Otherwise those lanes keep their prediction by a select.
  template <class G, int COUNT, bool FINITE>
  [[gnu::always_inline]] inline void block(int s, int q0, int top, G& sum) const {
    G prediction[std::size_t{COUNT}];
    _Pragma("GCC unroll 16") for (int j = 0; j < COUNT; ++j) prediction[j] = splat<G>(0.0);
    // Steps every lane of the group takes (lane q0 has q0 + 1 steps).
    const int all_lanes_end = FINITE ? top : q0 + 1;
    for (int o = 0; o < all_lanes_end; ++o) {
      const G weight = load<G>(&by_step[o][q0]);
      const double* back = spread + (s - 1 - o - base) * W;
      // Keeps the compiler from carrying samples over from one step to the
      // next in registers, which would take more registers than there are.
      asm("" : "+r"(back));
      _Pragma("GCC unroll 16") for (int j = 0; j < COUNT; ++j)
        prediction[j] = prediction[j] + weight * load<G>(back + j * W);
    }
    // Steps only the higher orders of the group take.
    G lane_order = splat<G>(0.0);
    for (int lane = 0; lane < lanes_of<G>; ++lane) lane_order[lane] = q0 + lane;
    for (int o = all_lanes_end; o < top; ++o) {
      const G weight = load<G>(&by_step[o][q0]);
      const auto takes_step = lane_order >= splat<G>(o);
      const double* back = spread + (s - 1 - o - base) * W;
      _Pragma("GCC unroll 16") for (int j = 0; j < COUNT; ++j)
        prediction[j] = takes_step ? prediction[j] + weight * load<G>(back + j * W) : prediction[j];
    }
    _Pragma("GCC unroll 16") for (int j = 0; j < COUNT; ++j) {
      const G error = prediction[j] - spread_at<G>(s + j);
      sum = sum + error * error;
    }
  }

  // Targets first..end-1 of the group of orders q0+1.., blocks of T at
  // multiples of T.
  template <class G, bool FINITE>
  [[gnu::always_inline]] inline void targets(int first, int end, int q0, int top) {
    G sum = load<G>(sums + q0);
    int s = first;
    for (; s < end && s % T != 0; ++s) block<G, 1, FINITE>(s, q0, top, sum);
    for (; s + T <= end; s += T) block<G, T, FINITE>(s, q0, top, sum);
    for (; s < end; ++s) block<G, 1, FINITE>(s, q0, top, sum);
    store(sums + q0, sum);
  }

  template <bool FINITE>
  [[gnu::always_inline]] inline void group(int first, int end, int q0, int top) {
    if (top - q0 <= W / 2)
      targets<H, FINITE>(first, end, q0, top);
    else
      targets<V, FINITE>(first, end, q0, top);
  }

  [[gnu::always_inline]] inline void run(const double* x, int n, const double (*coef)[MAX_AR_ORDER], int max_order,
                                         double* error_sum) {
    for (int o = 0; o < MAX_AR_ORDER; ++o)
      for (int q = 0; q < COLUMNS; ++q) by_step[o][q] = (q < max_order && o <= q) ? coef[q][o] : 0.0;

    // Each group's highest order top: every lane of the group has all its
    // targets from s = top on (top <= max_order <= n - 1). The targets
    // below top, the first few of the lower orders, go one by one.
    const int groups = (max_order + W - 1) / W;
    int top[std::size_t{COLUMNS / W}];
    for (int g = 0; g < groups; ++g) {
      const int q0 = g * W;
      top[g] = std::min(q0 + W, max_order);
      for (int lane = 0; lane < W; ++lane) {
        const int q = q0 + lane;
        sums[q] = q < max_order ? squared_error_sum_scalar(x, coef[q], q + 1, q + 1, top[g]) : 0.0;
      }
    }

    bool finite = true;
    for (int i = 0; i < n; ++i) finite = finite & std::isfinite(x[i]);

    // Stretch by stretch, every group continues its sums in ascending order
    // of the target.
    for (int c0 = 0; c0 < n; c0 += CHUNK) {
      const int c1 = std::min(c0 + CHUNK, n);
      base = c0 - MAX_AR_ORDER;
      for (int i = std::max(base, 0); i < c1; ++i) store(spread + (i - base) * W, splat<V>(x[i]));
      for (int g = 0; g < groups; ++g) {
        const int first = std::max(c0, top[g]);
        if (finite)
          group<true>(first, c1, g * W, top[g]);
        else
          group<false>(first, c1, g * W, top[g]);
      }
    }

    for (int q = 0; q < max_order; ++q) error_sum[q] = sums[q];
  }
};

template <class V, class H, int T>
[[gnu::always_inline]] inline void squared_error_sums_vector(const double* x, int n,
                                                             const double (*coef)[MAX_AR_ORDER], int max_order,
                                                             double* error_sum) {
  ErrorSums<V, H, T> sums;
  sums.run(x, n, coef, max_order, error_sum);
}

// One wrapper per instruction set. Targets per block: enough independent
// predictions to hide the addition latency, few enough that they stay in
// registers (16 vector registers below AVX-512, 32 with it).
constexpr int TARGETS_SSE2 = 8;
constexpr int TARGETS_AVX2 = 8;
constexpr int TARGETS_AVX512 = 16;

void autocorrelation_sse2(const double* x, int n, int max_order, double* autocorr) {
  autocorrelation_vector<v2d, 4>(x, n, max_order, autocorr);
}
void squared_error_sums_sse2(const double* x, int n, const double (*coef)[MAX_AR_ORDER], int max_order,
                             double* error_sum) {
  squared_error_sums_vector<v2d, v2d, TARGETS_SSE2>(x, n, coef, max_order, error_sum);
}

__attribute__((target("avx2,no-fma"))) void autocorrelation_avx2(const double* x, int n, int max_order,
                                                                  double* autocorr) {
  autocorrelation_vector<v4d, 4>(x, n, max_order, autocorr);
}
__attribute__((target("avx2,no-fma"))) void squared_error_sums_avx2(const double* x, int n,
                                                                     const double (*coef)[MAX_AR_ORDER],
                                                                     int max_order, double* error_sum) {
  squared_error_sums_vector<v4d, v2d, TARGETS_AVX2>(x, n, coef, max_order, error_sum);
}

__attribute__((target("avx512f,no-fma"))) void autocorrelation_avx512(const double* x, int n, int max_order,
                                                                       double* autocorr) {
  autocorrelation_vector<v8d, 2>(x, n, max_order, autocorr);
}
__attribute__((target("avx512f,no-fma"))) void squared_error_sums_avx512(const double* x, int n,
                                                                          const double (*coef)[MAX_AR_ORDER],
                                                                          int max_order, double* error_sum) {
  squared_error_sums_vector<v8d, v4d, TARGETS_AVX512>(x, n, coef, max_order, error_sum);
}


// ---------------------------------------------------------------------------

// Coefficients of every order 1..max_order from the Yule-Walker equations,
// by Gaussian elimination without pivoting. A zero pivot is not caught: it
// yields infinite or NaN coefficients, which the order choice passes over.
//
// Without pivoting, the elimination of the system of order m is exactly the
// start of the elimination of any larger one: the entries of the top-left m
// rows and m columns, and the first m right-hand entries (R[1..m] in every
// order), go through the same updates with the same row factors in the same
// sequence. So the system of the highest order is built and eliminated
// once, and each order's back substitution reads its top-left corner; every
// coefficient is the same bits as when each order is solved on its own.
void solve_every_order(const double* autocorr, int max_order, double (&system)[MAX_AR_ORDER][MAX_AR_ORDER + 1],
                       double (*coef)[MAX_AR_ORDER]) {
  const int m = max_order;
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
      double* row = system[i];
      const double* pivot_row = system[k];
      for (int j = k; j <= m; ++j) row[j] = row[j] - factor * pivot_row[j];
    }
  }

  // Back substitution of each order on its own copy of the right-hand side.
  for (int order = 1; order <= m; ++order) {
    double* solution = coef[order - 1];
    for (int i = 0; i < order; ++i) solution[i] = system[i][m];
    for (int j = order - 1; j >= 0; --j) {
      solution[j] = solution[j] / system[j][j];
      for (int i = 0; i < j; ++i) solution[i] = solution[i] - system[i][j] * solution[j];
    }
  }
}

}  // namespace

namespace ar_kernels {

void autocorrelation(Isa isa, const double* x, int n, int max_order, double* autocorr) {
  switch (isa) {
    case Isa::scalar: autocorrelation_scalar(x, n, 0, max_order, autocorr); return;
    case Isa::sse2: autocorrelation_sse2(x, n, max_order, autocorr); return;
    case Isa::avx2: autocorrelation_avx2(x, n, max_order, autocorr); return;
    case Isa::avx512: autocorrelation_avx512(x, n, max_order, autocorr); return;
  }
}

void squared_error_sums(Isa isa, const double* x, int n, const double (*coef)[MAX_AR_ORDER], int max_order,
                        double* error_sum) {
  switch (isa) {
    case Isa::scalar: squared_error_sums_scalar(x, n, coef, max_order, error_sum); return;
    case Isa::sse2: squared_error_sums_sse2(x, n, coef, max_order, error_sum); return;
    case Isa::avx2: squared_error_sums_avx2(x, n, coef, max_order, error_sum); return;
    case Isa::avx512: squared_error_sums_avx512(x, n, coef, max_order, error_sum); return;
  }
}

double estimate_noise_sd(Isa isa, std::span<const double> samples, int n) {
  const double* x = samples.data();
  const int max_order = ar_max_order(n);

  double autocorr[MAX_AR_ORDER + 1];
  double yw_system[MAX_AR_ORDER][MAX_AR_ORDER + 1];
  double ar_coef[MAX_AR_ORDER][MAX_AR_ORDER];
  double error_sum[MAX_AR_ORDER];  // squared-error sum of order q + 1, undivided
  double resid_var[MAX_AR_ORDER];
  double aic[MAX_AR_ORDER];

  autocorrelation(isa, x, n, max_order, autocorr);
  solve_every_order(autocorr, max_order, yw_system, ar_coef);
  squared_error_sums(isa, x, n, ar_coef, max_order, error_sum);

  for (int q = 0; q < max_order; ++q) resid_var[q] = error_sum[q] / (n - q - 1);

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

}  // namespace ar_kernels

int ar_max_order(int n) { return n > MAX_AR_ORDER ? MAX_AR_ORDER : n - 1; }

double estimate_noise_sd(std::span<const double> samples, int n) {
  return ar_kernels::estimate_noise_sd(ar_kernels::chosen_isa(), samples, n);
}

}  // namespace dorvenk
