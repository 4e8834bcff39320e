// The autoregressive noise estimate: the order limits, closed forms for two
// and three samples, the AIC choice (NaN never chosen, ties to the lower
// order), series without a fit, agreement bit for bit with the plain
// reference, reading only samples[0..n-1], and the noise level recovered
// from seeded data.
#include "estimate/ar_noise.hpp"

#include <gtest/gtest.h>

#include "ar_noise_reference.hpp"
#include "test_support.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace dorvenk {
namespace {

std::uint64_t bits_of(double value) { return std::bit_cast<std::uint64_t>(value); }

using reference::ReferenceFit;
using reference::reference_fit;

using test_support::Random;

std::vector<double> white_noise(int n, double sd, std::uint64_t seed) {
  Random rng{seed};
  std::vector<double> x(static_cast<std::size_t>(n));
  for (double& v : x) v = sd * rng.next_gaussian();
  return x;
}

// x[t] = 1.2 x[t-1] - 0.6 x[t-2] + 0.1 x[t-3] + e[t], e white with the given sd.
std::vector<double> ar3_process(int n, double sd, std::uint64_t seed) {
  Random rng{seed};
  std::vector<double> series(static_cast<std::size_t>(n));
  double* x = series.data();
  for (int t = 0; t < n; ++t) {
    double v = sd * rng.next_gaussian();
    if (t >= 3) v += 1.2 * x[t - 1] - 0.6 * x[t - 2] + 0.1 * x[t - 3];
    x[t] = v;
  }
  return series;
}

// A sawtooth chirp from integer arithmetic only: exact multiples of 1/64.
// Short series of it are fitted best by the highest order there is.
std::vector<double> integer_chirp(int n, int rate) {
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) x.data()[i] = static_cast<double>((i * i * rate) % 97) / 64.0 - 0.75;
  return x;
}

double estimate(const std::vector<double>& x, int n) { return estimate_noise_sd(x, n); }

TEST(ArNoiseEstimate, MaxOrder) {
  struct Case {
    int n;
    int max_order;
  };
  const Case cases[] = {{0, -1}, {1, 0}, {2, 1}, {3, 2}, {59, 58}, {60, 59}, {61, 60}, {62, 60}, {32768, 60}};
  for (const Case& c : cases) EXPECT_EQ(ar_max_order(c.n), c.max_order) << "n=" << c.n;
}

// n = 3 (orders 1 and 2) written out as closed formulas.
struct ThreeSampleFit {
  double s20, s21;    // residual variances of orders 1 and 2
  double aic0, aic1;  // their AIC
};

ThreeSampleFit three_sample_fit(double x0, double x1, double x2) {
  const double r0 = x0 * x0 / 3 + x1 * x1 / 3 + x2 * x2 / 3;
  const double r1 = x0 * x1 / 2 + x1 * x2 / 2;
  const double r2 = x0 * x2 / 1;
  const double a00 = r1 / r0;
  const double f = r1 / r0;
  const double a1 = (r2 - f * r1) / (r0 - f * r1);
  const double a0 = (r1 - r1 * a1) / r0;
  const double e0 = a00 * x0 - x1;
  const double e1 = a00 * x1 - x2;
  const double s20 = (std::pow(e0, 2.0) + std::pow(e1, 2.0)) / 2;
  const double e = a0 * x1 + a1 * x0 - x2;
  const double s21 = std::pow(e, 2.0) / 1;
  return {s20, s21, 3 * std::log(s20) + 2, 3 * std::log(s21) + 4};
}

TEST(ArNoiseEstimate, ThreeSamplesMatchClosedForm) {
  struct Case {
    double x0, x1, x2;
  };
  const Case cases[] = {
      {0.3, -1.7, 2.9},  {1.0, 0.5, 0.25},   {5.0, -4.0, 3.5}, {0.1, 0.2, 0.7},
      {-2.5, 1.25, 0.75}, {1e3, 1e3 + 1, 999}, {3.0, 6.0, 3.0},  // order 2 has a zero pivot
  };
  bool order1_chosen = false;
  bool order2_chosen = false;
  for (const Case& c : cases) {
    const ThreeSampleFit fit = three_sample_fit(c.x0, c.x1, c.x2);
    const bool take2 = fit.aic1 < fit.aic0;
    (take2 ? order2_chosen : order1_chosen) = true;
    const double expected = take2 ? std::sqrt(fit.s21) : std::sqrt(fit.s20);
    EXPECT_EQ(bits_of(estimate({c.x0, c.x1, c.x2}, 3)), bits_of(expected))
        << c.x0 << " " << c.x1 << " " << c.x2;
  }
  EXPECT_TRUE(order1_chosen);
  EXPECT_TRUE(order2_chosen);
}

// (3, 6, 3) gives R = 18, 18, 9 exactly, so order 2's pivot is exactly 0.0
// and its AIC NaN; order 1 (coefficient 1, errors -3 and 3) stays.
TEST(ArNoiseEstimate, NaNAicIsNeverChosen) {
  const ThreeSampleFit fit = three_sample_fit(3.0, 6.0, 3.0);
  ASSERT_TRUE(std::isnan(fit.aic1));
  EXPECT_EQ(estimate({3.0, 6.0, 3.0}, 3), 3.0);
}

// Orders 1 and 2 of this series have exactly the same AIC (with glibc's
// log); the lower order stays chosen.
TEST(ArNoiseEstimate, EqualAicKeepsLowerOrder) {
  const double x0 = 1.0, x1 = 0.5, x2 = -0x1.3b78482fdec8cp+1;
  const ThreeSampleFit fit = three_sample_fit(x0, x1, x2);
  ASSERT_EQ(fit.aic0, fit.aic1) << "the series no longer gives equal AIC values";
  ASSERT_NE(fit.s20, fit.s21);
  EXPECT_EQ(bits_of(estimate({x0, x1, x2}, 3)), bits_of(std::sqrt(fit.s20)));
}

// n = 2: only order 1, with R[0] = x0*x0/2 + x1*x1/2 and R[1] = x0*x1.
TEST(ArNoiseEstimate, TwoSamplesMatchClosedForm) {
  const double pairs[][2] = {{0.3, -1.7}, {2.0, 1.0}, {-7.25, 3.1}, {1e-3, 4e2}};
  for (const auto& p : pairs) {
    const double r0 = p[0] * p[0] / 2 + p[1] * p[1] / 2;
    const double r1 = p[0] * p[1] / 1;
    const double a = r1 / r0;
    const double expected = std::sqrt(std::pow(a * p[0] - p[1], 2.0) / 1);
    EXPECT_EQ(bits_of(estimate({p[0], p[1]}, 2)), bits_of(expected)) << p[0] << " " << p[1];
  }
}

TEST(ArNoiseEstimate, NoOrderFitted) {
  const std::vector<double> x = {4.0, -3.0, 2.0};
  // n = 0: 0.0 / -1 is -0.0, and its square root keeps the sign.
  EXPECT_EQ(bits_of(estimate(x, 0)), bits_of(-0.0));
  EXPECT_EQ(bits_of(estimate_noise_sd({}, 0)), bits_of(-0.0));
  // n = 1: 0.0 / 0.
  EXPECT_TRUE(std::isnan(estimate(x, 1)));
  EXPECT_TRUE(std::isnan(estimate({0.0}, 1)));
}

TEST(ArNoiseEstimate, AllZeroSeriesGivesNaN) {
  for (int n : {2, 3, 60, 61, 500}) {
    const std::vector<double> x(static_cast<std::size_t>(n), 0.0);
    EXPECT_TRUE(std::isnan(estimate(x, n))) << "n=" << n;
  }
}

// Series whose order-1 coefficient predicts every sample exactly: s2[0] is
// 0.0, its AIC minus infinity, and no higher order can replace it.
TEST(ArNoiseEstimate, ExactOrderOnePredictionGivesZero) {
  std::vector<double> impulse(100, 0.0);
  impulse[0] = 3.0;  // R[k] = 0 for k > 0, so every coefficient is 0
  const struct {
    const char* name;
    std::vector<double> x;
  } cases[] = {
      {"constant n=2", {1.5, 1.5}},
      {"constant n=3", {1.0, 1.0, 1.0}},
      {"alternating n=3", {1.0, -1.0, 1.0}},
      {"impulse n=100", impulse},
  };
  for (const auto& c : cases) {
    const int n = static_cast<int>(c.x.size());
    EXPECT_EQ(bits_of(estimate(c.x, n)), bits_of(0.0)) << c.name;
    EXPECT_EQ(reference_fit(c.x, n).best_order, 1) << c.name;
  }
}

// Whole-series cases against the plainly written reference, bit for bit.
TEST(ArNoiseEstimate, MatchesReferenceBitForBit) {
  std::vector<double> offset = white_noise(300, 0.5, 11);
  for (double& v : offset) v += 1.0e4;  // modelled about zero, not about its mean
  const struct {
    const char* name;
    int n;
    std::vector<double> x;
  } cases[] = {
      {"white n=4", 4, white_noise(4, 1.0, 1)},
      {"white n=60", 60, white_noise(60, 1.0, 2)},
      {"white n=61", 61, white_noise(61, 1.0, 3)},
      {"white n=62", 62, white_noise(62, 1.0, 4)},
      {"ar3 n=61", 61, ar3_process(61, 1.0, 5)},
      {"ar3 n=1000", 1000, ar3_process(1000, 0.5, 6)},
      {"offset n=300", 300, offset},
      {"chirp n=100", 100, integer_chirp(100, 7)},
      {"white n=32768", 32768, white_noise(32768, 2.0, 7)},
  };
  for (const auto& c : cases) {
    const ReferenceFit ref = reference_fit(c.x, c.n);
    EXPECT_EQ(bits_of(estimate(c.x, c.n)), bits_of(ref.estimate)) << c.name;
  }
}

// Every length from 2 to 100: the number of predictions of each order runs
// through every remainder of the blocks in which predictions are made.
TEST(ArNoiseEstimate, MatchesReferenceForEveryShortLength) {
  for (int n = 2; n <= 100; ++n) {
    const std::vector<double> x = ar3_process(n, 1.0, 100 + static_cast<std::uint64_t>(n));
    EXPECT_EQ(bits_of(estimate(x, n)), bits_of(reference_fit(x, n).estimate)) << "n=" << n;
  }
}

// The highest order (59 for n = 60, 60 for n = 61) is fitted and wins on
// these chirps, so a wrong order limit or a fault in the largest systems
// changes the result.
TEST(ArNoiseEstimate, HighestOrderIsFittedAndChosen) {
  const struct {
    int n;
    int rate;
  } cases[] = {{60, 5}, {61, 16}};
  for (const auto& c : cases) {
    const std::vector<double> x = integer_chirp(c.n, c.rate);
    const ReferenceFit ref = reference_fit(x, c.n);
    ASSERT_EQ(ref.best_order, ar_max_order(c.n)) << "n=" << c.n;
    EXPECT_EQ(bits_of(estimate(x, c.n)), bits_of(ref.estimate)) << "n=" << c.n;
  }
}

TEST(ArNoiseEstimate, ReadsOnlyFirstNAndLeavesSamplesUnchanged) {
  const double sentinels[] = {std::numeric_limits<double>::quiet_NaN(), 1e300, 0.0};
  for (int n : {2, 3, 61, 1000}) {
    const std::vector<double> exact = ar3_process(n, 1.0, 21);
    const double expected = estimate(exact, n);
    EXPECT_EQ(bits_of(expected), bits_of(reference_fit(exact, n).estimate)) << "n=" << n;
    for (double sentinel : sentinels) {
      std::vector<double> padded = exact;
      padded.resize(static_cast<std::size_t>(n) + 80, sentinel);
      const std::vector<double> before = padded;
      EXPECT_EQ(bits_of(estimate(padded, n)), bits_of(expected)) << "n=" << n << " sentinel=" << sentinel;
      EXPECT_EQ(std::memcmp(padded.data(), before.data(), padded.size() * sizeof(double)), 0) << "n=" << n;
    }
  }
}

// The estimate recovers the white-noise level: of white noise itself, and of
// the innovations of an AR(3) process whose own spread is much larger.
TEST(ArNoiseEstimate, RecoversNoiseLevel) {
  const struct {
    const char* name;
    std::vector<double> x;
  } cases[] = {
      {"white sd 0.5", white_noise(4096, 0.5, 2024)},
      {"ar3 innovations sd 0.5", ar3_process(4096, 0.5, 2025)},
  };
  for (const auto& c : cases) {
    const double sd = estimate(c.x, 4096);
    EXPECT_NEAR(sd, 0.5, 0.5 * 0.04) << c.name;
  }
}

}  // namespace
}  // namespace dorvenk
