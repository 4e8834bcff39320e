// The rules of the shrinkage that depend only on numbers: the largest
// number of levels for n values, and the two threshold rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "text/format.hpp"
#include "wavelet/rules.hpp"

namespace dorvenk {
namespace {

TEST(LevelLimit, TableOfLengths) {
  const struct {
    int n, limit;
  } cases[] = {{32768, 15}, {1536, 9}, {1024, 10}, {1000, 3}, {100, 2}, {8, 3}, {7, 1},
               {6, 1},      {5, 2},    {4, 2},     {2, 1},    {1, 1},  {0, 0}, {3, 1},
               {9, 3},      {17, 4},   {33, 5}};
  for (const auto& c : cases) EXPECT_EQ(level_limit(c.n), c.limit) << c.n;
}

std::string g6(double v) {
  std::string s;
  append_g6(s, v);
  return s;
}

TEST(Threshold, RulesAsPrinted) {
  EXPECT_EQ(g6(threshold_from_noise_sd(1000, 1.0)), "3.71692");
  EXPECT_EQ(g6(threshold_from_data_sd(1000, 1.0)), "0.117539");
  EXPECT_EQ(g6(threshold_from_noise_sd(1024, 0.298765)), "1.11239");
  EXPECT_EQ(g6(threshold_from_noise_sd(1024, 0.3)), "1.11699");
  EXPECT_EQ(g6(threshold_from_data_sd(1024, 1.04531)), "0.121625");
}

TEST(Threshold, EdgeValues) {
  // ln 1 = 0: the threshold is 0 for a finite noise level, by either rule.
  EXPECT_EQ(threshold_from_noise_sd(1, 5.0), 0.0);
  EXPECT_EQ(threshold_from_data_sd(1, 5.0), 0.0);
  EXPECT_EQ(threshold_from_noise_sd(100, 0.0), 0.0);
  EXPECT_LT(threshold_from_noise_sd(100, -1.0), 0.0);
  EXPECT_TRUE(std::isnan(threshold_from_noise_sd(100, std::numeric_limits<double>::quiet_NaN())));
  // The steps in their fixed order, bit for bit.
  double t = std::log(1000.0);
  t = t + t;
  t = t / 1000;
  EXPECT_EQ(threshold_from_data_sd(1000, 0.7), std::sqrt(t) * 0.7);
}

}  // namespace
}  // namespace dorvenk
