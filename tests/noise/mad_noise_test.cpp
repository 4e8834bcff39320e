// The noise estimate from the finest details, in-process: the median, the
// constant, the estimate on hand-computable Haar series, agreement with the
// tool's own decomposition stage, the cases without a finite estimate, and
// the printed form read back by the tool's number scanner.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "coefs/daubechies_table.hpp"
#include "estimate/mad_noise.hpp"
#include "noise/noise_cli.hpp"
#include "text/command_line.hpp"
#include "text/scan.hpp"
#include "wavelet/stages.hpp"

namespace dorvenk {
namespace {

TEST(MedianMagnitude, OddCountsTakeTheMiddleEvenCountsTheMidpoint) {
  const struct {
    std::vector<double> values;
    double median;
  } cases[] = {
      {{3.0}, 3.0},
      {{-3.0}, 3.0},
      {{-0.0}, 0.0},
      {{5.0, -1.0, 3.0}, 3.0},
      {{-3.0, 1.0}, 2.0},
      {{4.0, -1.0, 3.0, 2.0}, 2.5},
      {{0.0, 0.0, 5.0}, 0.0},          // zeros count like any value
      {{0.0, -0.0, 5.0, 7.0}, 2.5},    // midpoint of 0 and 5
      {{DBL_MAX, -DBL_MAX}, DBL_MAX},  // the midpoint does not overflow
      {{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, -1, -2}, 3.5},
  };
  for (const auto& c : cases) {
    std::vector<double> work = c.values;
    const double median = median_magnitude(work);
    EXPECT_EQ(median, c.median) << "count " << c.values.size();
    EXPECT_FALSE(std::signbit(median));
  }
}

// The constant is Phi^-1(0.75): the normal distribution function gives
// 0.75 at it, and the literal is the double nearest the exact value.
TEST(MadNoise, ConstantIsTheNormalQuartile) {
  EXPECT_EQ(NORMAL_QUARTILE, 0x1.5956b87528a49p-1);
  const double phi = 0.5 * std::erfc(-NORMAL_QUARTILE / std::sqrt(2.0));
  EXPECT_NEAR(phi, 0.75, 2e-16);
}

// Haar (N = 1): both taps are the same double h = 0.70710678118654757, so
// each detail is h*x[2i] - h*x[2i+1]. With x a power of two or zero, every
// product and difference is exact: the details are multiples of h.
TEST(MadNoise, HaarSeriesComputedByHand) {
  MadWork work;
  const std::span<const double> haar = daubechies_coefficients(1);
  const double h = haar[0];
  ASSERT_EQ(haar[1], h);
  const struct {
    const char* what;
    std::vector<double> x;
    double sigma;
  } cases[] = {
      // |d| = 0, 2h, 4h, 8h, 0: five details, the middle one is 2h.
      {"odd count", {2, 2, 4, 2, 0, 4, 8, 0, 1, 1}, 2 * h / NORMAL_QUARTILE},
      // |d| = 0, 2h, 4h, 8h, 0, 0: six details, midpoint of 0 and 2h.
      {"even count", {2, 2, 4, 2, 0, 4, 8, 0, 1, 1, 3, 3}, h / NORMAL_QUARTILE},
      // n = 5: two details (0 and 2h); the fifth value has no pair and
      // the two taps never reach it.
      {"odd n", {2, 2, 4, 2, 1e300}, h / NORMAL_QUARTILE},
      // Constant data: every detail is 0, so is the estimate.
      {"constant", {7, 7, 7, 7}, 0.0},
      {"two values", {4, 2}, 2 * h / NORMAL_QUARTILE},
  };
  for (const auto& c : cases) {
    const MadEstimate estimate = estimate_noise_mad(c.x, haar, work);
    EXPECT_EQ(estimate.status, MadStatus::ok) << c.what;
    EXPECT_EQ(estimate.details, static_cast<int>(c.x.size() / 2)) << c.what;
    EXPECT_EQ(estimate.sigma, c.sigma) << c.what;
  }
  // The same numbers in decimals: sqrt(2)/0.6744897501960817 and half of it.
  EXPECT_EQ(estimate_noise_mad(std::vector<double>{4, 2}, haar, work).sigma, 2.0967161650150614);
  EXPECT_EQ(estimate_noise_mad(std::vector<double>{2, 2, 4, 2}, haar, work).sigma, 1.0483580825075307);
}

// For longer filters the details are those of the tool's own first stage,
// the periodic index folding the last value in for odd n.
TEST(MadNoise, UsesTheToolsDecompositionStage) {
  MadWork work;
  std::vector<double> x(101);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.3 * static_cast<double>(i)) + 0.01 * static_cast<double>(i % 7);
  for (const int order : {2, 4, 8, 100}) {
    for (const std::size_t n : {std::size_t{101}, std::size_t{100}, std::size_t{3}}) {
      const std::span<const double> series(x.data(), n);
      const std::span<const double> p = daubechies_coefficients(order);
      std::vector<double> q(p.size()), approx(n / 2), detail(n / 2);
      build_filter_pair(p, q);
      decompose_into(series, p, q, approx, detail);
      const double expected = median_magnitude(detail) / NORMAL_QUARTILE;
      const MadEstimate estimate = estimate_noise_mad(series, p, work);
      EXPECT_EQ(estimate.status, MadStatus::ok);
      EXPECT_EQ(estimate.sigma, expected) << "N = " << order << ", n = " << n;
    }
  }
}

TEST(MadNoise, NoEstimateWithoutDetailsOrWithInfiniteOnes) {
  MadWork work;
  const std::span<const double> d4 = daubechies_coefficients(2);
  EXPECT_EQ(estimate_noise_mad(std::vector<double>{}, d4, work).status, MadStatus::too_few);
  EXPECT_EQ(estimate_noise_mad(std::vector<double>{1.5}, d4, work).status, MadStatus::too_few);
  const double inf = HUGE_VAL;
  // An infinity from the reader ("1e999"), and finite values whose sums overflow.
  EXPECT_EQ(estimate_noise_mad(std::vector<double>{1, inf, 3, 4}, d4, work).status, MadStatus::not_finite);
  EXPECT_EQ(estimate_noise_mad(std::vector<double>{DBL_MAX, -DBL_MAX, DBL_MAX, -DBL_MAX}, d4, work).status,
            MadStatus::not_finite);
}

// The printed estimate reads back through the tool's number scanner as the
// same double, for the whole range of values the command can print.
TEST(MadNoise, PrintedFormReadsBackAsTheSameDouble) {
  const double values[] = {0.0,     1.0,    0.1,           2.0 / 3.0, 1.0483580825075307, 1e-300,
                           5e-324,  DBL_MIN, 2.2250738585072009e-308, 123456789.0, 1e22, DBL_MAX};
  for (const double v : values) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(write_sigma(v, out));
    std::fclose(out);
    const std::string text(buffer, size);
    std::free(buffer);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream in(text);
    Scanner scanner = make_scanner(in.rdbuf());
    double back = -1.0;
    ASSERT_EQ(scan_double(scanner, back), ScanStatus::ok) << text;
    EXPECT_EQ(back, v) << text;
    EXPECT_FALSE(std::signbit(back)) << text;
    std::string rest;
    EXPECT_EQ(scan_word(scanner, rest), ScanStatus::end) << text;  // nothing after the number
  }
}

TEST(CommandLinePrintable, ControlBytesAreShownAsHex) {
  EXPECT_EQ(printable("data.txt"), "data.txt");
  EXPECT_EQ(printable(std::string("a\x1b[31mb\x7f\n", 9)), "a\\x1B[31mb\\x7F\\x0A");
  EXPECT_EQ(printable(std::string("\0x", 2)), "\\x00x");
  EXPECT_EQ(printable("\xe3\x83\x87"), "\xe3\x83\x87");  // UTF-8 stays as it is
  // The tool's one rule: no C1 control, no byte that is no whole UTF-8
  // character, and a backslash doubled so that an escape is always a byte.
  EXPECT_EQ(printable("\xc2\x9b" "2J"), "\\xC2\\x9B2J");
  EXPECT_EQ(printable("\x83\x66\xff"), "\\x83f\\xFF");
  EXPECT_EQ(printable("a\\x1b"), "a\\\\x1b");
}

}  // namespace
}  // namespace dorvenk
