// Reading the data file and summarising it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "data/samples.hpp"

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

}  // namespace
}  // namespace dorvenk
