// The compiled-in Daubechies table: that it is exactly what the generator
// writes, that the generator's doubles do not move when the precision is
// doubled, that the rounded doubles keep every defining property of the
// filters to within what rounding allows, and the closed forms of small N.
#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "coefs/daubechies_mp.hpp"
#include "coefs/daubechies_table.hpp"
#include "test_support.hpp"
#include "wavelet/shrink.hpp"

namespace dorvenk {
namespace {

static_assert(MAX_COEFS_ORDER == MAX_N, "the table must cover every order the tool accepts");

// Precision of the checks. Products of a double with a power (k - c)^m,
// |k - c| < 100, m < 100, need under 820 bits, so every term below is exact
// and only the sums round, far below a double's last place.
constexpr mpfr_prec_t CHECK_BITS = 2048;
constexpr mpfr_rnd_t RND = MPFR_RNDN;

// 2^-52: the unit in the last place of 1, and of sqrt 2.
const double ULP_ONE = std::ldexp(1.0, -52);
// "A few units in the last place" for the sum, the energy and the even
// shifts. The rounding bounds below are the sharper test (they stay near
// 2 ulp at N = 100, and the actual errors below 1 ulp).
constexpr double FEW_ULPS = 4.0;

using test_support::read_file;

// The spacing of doubles just above |x|: a correctly rounded x lies within
// half of it from the exact value, also when |x| is a power of two.
double spacing(double x) {
  const double a = std::fabs(x);
  return std::nextafter(a, INFINITY) - a;
}

// A few MPFR values at CHECK_BITS, made and cleared with the fixture.
class Mp {
 public:
  Mp() { mpfr_init2(v, CHECK_BITS); mpfr_set_ui(v, 0, RND); }
  ~Mp() { mpfr_clear(v); }
  Mp(const Mp&) = delete;
  Mp& operator=(const Mp&) = delete;
  mpfr_t v;
};

// |value| / scale as a double, for messages and comparisons.
double ratio(const mpfr_t value, double scale) {
  return std::fabs(mpfr_get_d(value, RND)) / scale;
}

TEST(DaubechiesTable, IsExactlyTheGeneratorOutput) {
  std::string generated;
  ASSERT_TRUE(daubechies_table_source(COEFS_PRECISION_BITS, generated));
  const std::string stored = read_file(std::string(DORVENK_SOURCE_DIR) + "/src/coefs/daubechies_table.cpp");
  EXPECT_TRUE(generated == stored)
      << "src/coefs/daubechies_table.cpp differs from dorvenk_coefs_gen's output; "
         "run: cmake --build <build directory> --target regenerate_coefs_table";

  // And the compiler turned the generator's text into the same doubles: read
  // every value line ("    <number>,") back with strtod.
  std::istringstream lines(generated);
  std::string line;
  int index = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("    ", 0) != 0 || line.rfind("    //", 0) == 0) continue;
    ASSERT_LT(index, DAUBECHIES_TABLE_SIZE) << line;
    EXPECT_EQ(std::strtod(line.c_str(), nullptr), DAUBECHIES_TABLE[index]) << "entry " << index << ": " << line;
    ++index;
  }
  EXPECT_EQ(index, DAUBECHIES_TABLE_SIZE);
}

// The guard on the working precision: doubling it must not change one bit of
// one coefficient of any order.
TEST(DaubechiesTable, SameDoublesAtTwiceThePrecision) {
  double h[2 * MAX_COEFS_ORDER];
  for (int order = 1; order <= MAX_COEFS_ORDER; ++order) {
    const std::span<double> filter(h, static_cast<std::size_t>(2 * order));
    ASSERT_TRUE(compute_daubechies(order, 2 * COEFS_PRECISION_BITS, filter)) << "N = " << order;
    const std::span<const double> table = daubechies_coefficients(order);
    for (std::size_t k = 0; k < filter.size(); ++k) {
      ASSERT_EQ(filter[k], table[k]) << "N = " << order << ", k = " << k;
    }
  }
}

TEST(DaubechiesTable, GeneratorRefusesWhatItCannotCompute) {
  double h[2 * MAX_COEFS_ORDER + 2];
  EXPECT_FALSE(compute_daubechies(0, COEFS_PRECISION_BITS, std::span<double>(h, 0)));
  EXPECT_FALSE(compute_daubechies(MAX_COEFS_ORDER + 1, COEFS_PRECISION_BITS,
                                  std::span<double>(h, 2 * MAX_COEFS_ORDER + 2)));
  EXPECT_FALSE(compute_daubechies(3, COEFS_PRECISION_BITS, std::span<double>(h, 5)));
  EXPECT_FALSE(compute_daubechies(3, 0, std::span<double>(h, 6)));
}

TEST(DaubechiesTable, OrdersFollowEachOtherWithoutGaps) {
  EXPECT_EQ(daubechies_coefficients(1).data(), DAUBECHIES_TABLE);
  for (int order = 1; order < MAX_COEFS_ORDER; ++order) {
    const std::span<const double> h = daubechies_coefficients(order);
    EXPECT_EQ(h.size(), static_cast<std::size_t>(2 * order));
    EXPECT_EQ(h.data() + h.size(), daubechies_coefficients(order + 1).data());
  }
  const std::span<const double> last = daubechies_coefficients(MAX_COEFS_ORDER);
  EXPECT_EQ(last.data() + last.size(), DAUBECHIES_TABLE + DAUBECHIES_TABLE_SIZE);
}

// Every defining property, evaluated exactly (to CHECK_BITS) from the rounded
// doubles. If each h_k lies within half a spacing s_k of the exact value t_k,
// with h_k = t_k + d_k, then
//   sum h - sqrt 2         = sum d_k                   <= sum s_k / 2
//   sum h^2 - 1            = sum (2 h_k d_k - d_k^2)   <= sum |h_k| s_k + s_k^2 / 4
//   sum h_k h_(k+2m)       = sum (h_k d_j + d_k h_j - d_k d_j), j = k + 2m
//   moment m of g          = sum (k - c)^m e_k         <= sum |k - c|^m s(g_k) / 2
// for the wavelet filter g_k = (-1)^k h_(2N-1-k), whose error is e_k. Each
// property must hold within that bound: a coefficient off by more than its
// rounding, misplaced or of the wrong sign breaks one of them.
class DaubechiesProperties : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    order = GetParam();
    h = daubechies_coefficients(order);
    taps = static_cast<int>(h.size());
  }

  int order = 0;
  int taps = 0;
  std::span<const double> h;
  Mp value, bound, term, sqrt2;
};

TEST_P(DaubechiesProperties, SumIsSqrt2) {
  for (const double x : h) {
    mpfr_add_d(value.v, value.v, x, RND);
    mpfr_add_d(bound.v, bound.v, spacing(x) / 2, RND);
  }
  mpfr_sqrt_ui(sqrt2.v, 2, RND);
  mpfr_sub(value.v, value.v, sqrt2.v, RND);
  EXPECT_LE(mpfr_cmpabs(value.v, bound.v), 0)
      << "N = " << order << ": off by " << ratio(value.v, ULP_ONE) << " ulp, rounding allows "
      << ratio(bound.v, ULP_ONE);
  EXPECT_LE(ratio(value.v, ULP_ONE), FEW_ULPS) << "N = " << order;
}

TEST_P(DaubechiesProperties, SumOfSquaresIsOne) {
  for (const double x : h) {
    mpfr_set_d(term.v, x, RND);
    mpfr_sqr(term.v, term.v, RND);
    mpfr_add(value.v, value.v, term.v, RND);
    mpfr_set_d(term.v, std::fabs(x), RND);
    mpfr_mul_d(term.v, term.v, spacing(x), RND);
    mpfr_add(bound.v, bound.v, term.v, RND);
    mpfr_set_d(term.v, spacing(x) / 2, RND);
    mpfr_sqr(term.v, term.v, RND);
    mpfr_add(bound.v, bound.v, term.v, RND);
  }
  mpfr_sub_ui(value.v, value.v, 1, RND);
  EXPECT_LE(mpfr_cmpabs(value.v, bound.v), 0)
      << "N = " << order << ": off by " << ratio(value.v, ULP_ONE) << " ulp, rounding allows "
      << ratio(bound.v, ULP_ONE);
  EXPECT_LE(ratio(value.v, ULP_ONE), FEW_ULPS) << "N = " << order;
}

TEST_P(DaubechiesProperties, EvenShiftsAreOrthogonal) {
  for (int shift = 2; shift < taps; shift += 2) {
    mpfr_set_ui(value.v, 0, RND);
    mpfr_set_ui(bound.v, 0, RND);
    for (int k = 0; k + shift < taps; ++k) {
      const double a = h[static_cast<std::size_t>(k)];
      const double b = h[static_cast<std::size_t>(k + shift)];
      mpfr_set_d(term.v, a, RND);
      mpfr_mul_d(term.v, term.v, b, RND);
      mpfr_add(value.v, value.v, term.v, RND);
      // (|a| s_b + s_a |b|) / 2 + s_a s_b / 4
      mpfr_set_d(term.v, std::fabs(a), RND);
      mpfr_mul_d(term.v, term.v, spacing(b) / 2, RND);
      mpfr_add(bound.v, bound.v, term.v, RND);
      mpfr_set_d(term.v, std::fabs(b), RND);
      mpfr_mul_d(term.v, term.v, spacing(a) / 2, RND);
      mpfr_add(bound.v, bound.v, term.v, RND);
      mpfr_set_d(term.v, spacing(a) / 2, RND);
      mpfr_mul_d(term.v, term.v, spacing(b) / 2, RND);
      mpfr_add(bound.v, bound.v, term.v, RND);
    }
    EXPECT_LE(mpfr_cmpabs(value.v, bound.v), 0)
        << "N = " << order << ", shift " << shift << ": " << ratio(value.v, ULP_ONE)
        << " ulp, rounding allows " << ratio(bound.v, ULP_ONE);
    EXPECT_LE(ratio(value.v, ULP_ONE), FEW_ULPS) << "N = " << order << ", shift " << shift;
  }
}

// Moments about the centre c = (2N-1)/2 keep the powers small; the first N of
// them vanish exactly when the first N moments about 0 do, since each is a
// combination of those of the same or lower power.
TEST_P(DaubechiesProperties, FirstNMomentsOfTheWaveletFilterVanish) {
  Mp offset, power;
  for (int m = 0; m < order; ++m) {
    mpfr_set_ui(value.v, 0, RND);
    mpfr_set_ui(bound.v, 0, RND);
    for (int k = 0; k < taps; ++k) {
      const double hk = h[static_cast<std::size_t>(taps - 1 - k)];
      const double g = k % 2 == 0 ? hk : -hk;
      // (k - c)^m, exact: an odd integer over 2, to the power m
      mpfr_set_si(offset.v, 2 * k - (2 * order - 1), RND);
      mpfr_div_2ui(offset.v, offset.v, 1, RND);
      mpfr_pow_ui(power.v, offset.v, static_cast<unsigned long>(m), RND);
      mpfr_mul_d(term.v, power.v, g, RND);
      mpfr_add(value.v, value.v, term.v, RND);
      mpfr_abs(power.v, power.v, RND);
      mpfr_mul_d(term.v, power.v, spacing(g) / 2, RND);
      mpfr_add(bound.v, bound.v, term.v, RND);
    }
    EXPECT_LE(mpfr_cmpabs(value.v, bound.v), 0)
        << "N = " << order << ", moment " << m << ": " << mpfr_get_d(value.v, RND) << ", rounding allows "
        << mpfr_get_d(bound.v, RND);
  }
}

TEST_P(DaubechiesProperties, EveryCoefficientIsFiniteAndTheFirstPositive) {
  for (const double x : h) EXPECT_TRUE(std::isfinite(x)) << "N = " << order;
  EXPECT_GT(h[0], 0.0);
  EXPECT_NE(h[h.size() - 1], 0.0);
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, DaubechiesProperties, testing::Range(1, MAX_COEFS_ORDER + 1),
                         [](const testing::TestParamInfo<int>& order) {
                           return "N" + std::to_string(order.param);
                         });

// The closed forms of the first orders, each evaluated in MPFR and rounded
// once; the table must hold exactly those doubles.
//   N = 1: 1/sqrt 2, 1/sqrt 2
//   N = 2: (1 + r, 3 + r, 3 - r, 1 - r) / (4 sqrt 2), r = sqrt 3
//   N = 3: (1 + q + s, 5 + q + 3s, 10 - 2q + 2s, 10 - 2q - 2s, 5 + q - 3s,
//           1 + q - s) / (16 sqrt 2), q = sqrt 10, s = sqrt(5 + 2q)
struct ClosedForm {
  int order;
  // numerator k = constant + a * r + b * t, over denominator * sqrt 2,
  // where r and t are the order's square roots
  int constant[6];
  int a[6];
  int b[6];
  int denominator;
};

TEST(DaubechiesClosedForms, SmallOrdersAreTheCorrectlyRoundedExactValues) {
  const ClosedForm forms[] = {
      {1, {1, 1}, {0, 0}, {0, 0}, 1},
      {2, {1, 3, 3, 1}, {1, 1, -1, -1}, {0, 0, 0, 0}, 4},
      {3, {1, 5, 10, 10, 5, 1}, {1, 1, -2, -2, 1, 1}, {1, 3, 2, -2, -3, -1}, 16},
  };
  Mp r, t, scale, sum, term;
  for (const ClosedForm& form : forms) {
    // the order's square roots: sqrt 3 for N = 2; sqrt 10 and sqrt(5 + 2 sqrt 10) for N = 3
    mpfr_sqrt_ui(r.v, form.order == 2 ? 3 : 10, RND);
    mpfr_mul_2ui(t.v, r.v, 1, RND);
    mpfr_add_ui(t.v, t.v, 5, RND);
    mpfr_sqrt(t.v, t.v, RND);
    mpfr_sqrt_ui(scale.v, 2, RND);
    mpfr_mul_ui(scale.v, scale.v, static_cast<unsigned long>(form.denominator), RND);

    const std::span<const double> h = daubechies_coefficients(form.order);
    for (int k = 0; k < 2 * form.order; ++k) {
      mpfr_set_si(sum.v, form.constant[k], RND);
      mpfr_mul_si(term.v, r.v, form.a[k], RND);
      mpfr_add(sum.v, sum.v, term.v, RND);
      mpfr_mul_si(term.v, t.v, form.b[k], RND);
      mpfr_add(sum.v, sum.v, term.v, RND);
      mpfr_div(sum.v, sum.v, scale.v, RND);
      EXPECT_EQ(h[static_cast<std::size_t>(k)], mpfr_get_d(sum.v, MPFR_RNDN)) << "N = " << form.order << ", k = " << k;
    }
  }
}

}  // namespace
}  // namespace dorvenk
