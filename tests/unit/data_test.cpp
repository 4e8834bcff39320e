// Reading the data file and summarising it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "data/samples.hpp"
#include "text/messages.hpp"

namespace dorvenk {
namespace {

struct Read {
  std::vector<double> samples = std::vector<double>(MAX_DATA);
  ReadResult result;
  explicit Read(const std::string& text) {
    std::istringstream stream(text);
    result = read_samples(stream.rdbuf(), samples);
  }
};

TEST(ReadSamples, SameValuesHoweverTheLinesFall) {
  for (const char* text : {"1 2 3\n4\n", "1\n2\n3\n4", "\n\n 1\t2\r\n3\r\n\r\n4 \n", "1 2 3 4"}) {
    Read r(text);
    ASSERT_EQ(r.result.status, ReadStatus::ok) << text;
    ASSERT_EQ(r.result.n, 4) << text;
    EXPECT_EQ(r.samples[0], 1.0);
    EXPECT_EQ(r.samples[3], 4.0);
  }
}

TEST(ReadSamples, LimitIsExactlyMaxData) {
  std::string text;
  for (int i = 0; i < MAX_DATA; ++i) text += "0.5\n";
  Read full(text);
  EXPECT_EQ(full.result.status, ReadStatus::ok);
  EXPECT_EQ(full.result.n, MAX_DATA);
  Read over(text + "7\n");
  EXPECT_EQ(over.result.status, ReadStatus::over);
}

TEST(ReadSamples, TokenThatIsNoNumberStopsWithItsLine) {
  const struct {
    const char* text;
    int n, line;
    const char* token;
  } cases[] = {
      {"1,2,3", 1, 1, ",2,3"},
      {"1 2\n3 1.5abc", 4, 2, "abc"},
      {"\xEF\xBB\xBF" "1 2", 0, 1, "\xEF\xBB\xBF" "1"},
      {"time value\n1 2", 0, 1, "time"},
      {"1\n\n- 2", 1, 3, "-"},
      {"1 inf", 1, 1, "inf"},
      {"1 0x10", 2, 1, "x10"},
      {"2 abcdefghijklmnopqrstuvwxyz0123456789", 1, 1, "abcdefghijklmnopqrstuvwxyz012345"},
  };
  for (const auto& c : cases) {
    Read r(c.text);
    EXPECT_EQ(r.result.status, ReadStatus::bad_token) << c.text;
    EXPECT_EQ(r.result.n, c.n) << c.text;
    EXPECT_EQ(r.result.error_line, c.line) << c.text;
    EXPECT_EQ(r.result.error_text, c.token) << c.text;
  }
}

TEST(Summary, MeanAndPopulationDeviation) {
  std::vector<double> x{1, 2, 3, 4, 5, 6, 7, 8};
  Summary s = summarize_samples(x, 8);
  EXPECT_EQ(s.mean, 4.5);
  EXPECT_EQ(s.sd, std::sqrt(204.0 / 8 - 4.5 * 4.5));
  Summary one = summarize_samples(std::vector<double>{3.25}, 1);
  EXPECT_EQ(one.mean, 3.25);
  EXPECT_EQ(one.sd, 0.0);
}

TEST(Summary, RoundingOfEqualValuesIsNotClamped) {
  // Three values of 0.1 leave a variance slightly below zero: sd is NaN.
  Summary three = summarize_samples(std::vector<double>(3, 0.1), 3);
  EXPECT_TRUE(std::isnan(three.sd));
  Summary seven = summarize_samples(std::vector<double>(7, 0.1), 7);
  EXPECT_GT(seven.sd, 1e-9);
  EXPECT_LT(seven.sd, 2e-9);
  Summary none = summarize_samples(std::vector<double>{}, 0);
  EXPECT_TRUE(std::isnan(none.mean));
  EXPECT_TRUE(std::isnan(none.sd));
}

// The summary line as the console and the run log print it.
std::string summary_line(const Summary& s) {
  std::string line;
  fill(line, Encoding::utf8, text::mean_sd_line, s.mean, s.sd);
  return line;
}

// The one-pass variance in the order the tool uses, written out here:
// sum and sum of squares from the first value to the last, then
// sumsq / n - mean * mean.
Summary forward_one_pass(const std::vector<double>& x) {
  double sum = 0.0, sumsq = 0.0;
  for (double v : x) {
    sum = sum + v;
    sumsq = sumsq + v * v;
  }
  double n = static_cast<double>(x.size());
  double mean = sum / n;
  return {mean, std::sqrt(sumsq / n - mean * mean)};
}

TEST(Summary, PrintedDeviationWhenTheDataCancel) {
  // Seven values of 0.1: the variance is rounding error, printed as it falls.
  Summary seven = summarize_samples(std::vector<double>(7, 0.1), 7);
  EXPECT_EQ(summary_line(seven), "平均=0.1, 標準偏差=1.31709E-09\n");

  // Values near 10^6 with a ripple of a few tenths: the sum of squares
  // cancels in its last bits, so any other order of summing prints another
  // deviation.
  Read r("1000000.000 1000000.198 999999.949 999999.815 1000000.099 1000000.160\n"
         "999999.860 999999.876 1000000.172 1000000.079 999999.808 999999.970\n");
  ASSERT_EQ(r.result.n, 12);
  std::vector<double> x(r.samples.begin(), r.samples.begin() + 12);
  Summary s = summarize_samples(x, 12);
  EXPECT_EQ(summary_line(s), "平均=1E+06, 標準偏差=0.133956\n");
  Summary written_out = forward_one_pass(x);
  EXPECT_EQ(s.mean, written_out.mean);
  EXPECT_EQ(s.sd, written_out.sd);

  // The test has teeth: the same formula summed backwards, and the
  // two-pass variance, print other deviations.
  std::vector<double> reversed(x.rbegin(), x.rend());
  EXPECT_EQ(summary_line(forward_one_pass(reversed)), "平均=1E+06, 標準偏差=0.133042\n");
  double two_pass = 0.0;
  for (double v : x) two_pass = two_pass + (v - s.mean) * (v - s.mean);
  EXPECT_EQ(summary_line({s.mean, std::sqrt(two_pass / 12)}), "平均=1E+06, 標準偏差=0.135394\n");
}

}  // namespace
}  // namespace dorvenk
