// Wavelet shrinkage engine: filter pair and table, decomposition and
// reconstruction through the scratch files, the stages in memory, hard
// thresholding, the whole engine against the formulas (samples[n..] never
// touched), orthonormal filters giving the input back, scratch file
// failures and the working-directory lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "coefs/daubechies_table.hpp"
#include "test_support.hpp"
#include "text/messages.hpp"
#include "text/run_files.hpp"
#include "wavelet/rules.hpp"
#include "wavelet/scratch.hpp"
#include "wavelet/shrink.hpp"
#include "wavelet/shrink_internal.hpp"
#include "wavelet/stages.hpp"

namespace dorvenk {
namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::write_file;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// A vector position from an int count or index.
constexpr std::size_t ix(int i) { return static_cast<std::size_t>(i); }

// Every test runs in a fresh temporary directory of its own, since the
// engine works on fixed file names in the working directory.
using WaveletDir = test_support::InTempDir;

using WaveletFilter = WaveletDir;
using WaveletDecompose = WaveletDir;
using WaveletReconstruct = WaveletDir;
using WaveletThreshold = WaveletDir;
using WaveletEngine = WaveletDir;
using WaveletRoundTrip = WaveletDir;
using WaveletStages = WaveletDir;
using WaveletScratchFailure = WaveletDir;
using WaveletLock = WaveletDir;

// True when nobody holds a lock on the working directory: a second open
// description of it takes the exclusive lock at once.
bool directory_lock_is_free() {
  const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

bool entry_exists(const char* name) {
  std::error_code ec;
  return fs::symlink_status(name, ec).type() != fs::file_type::not_found;
}

std::vector<double> wavelet_of(const std::vector<double>& p) {
  std::vector<double> q(p.size());
  build_filter_pair(p, q);
  return q;
}

// The coefficient table the engine prints for p: one line per tap k with
// p[k], q[k] and the label k - N of q[k].
std::string table_of(const std::vector<double>& p) {
  const std::vector<double> q = wavelet_of(p);
  const int taps = static_cast<int>(p.size());
  std::string table;
  for (int k = 0; k < taps; ++k) fill(table, Encoding::utf8, text::coefficient_line, k, p[ix(k)], k - taps / 2, q[ix(k)]);
  return table;
}

struct Outcome {
  FileFailure failure;
  std::string out;
};

Outcome shrink(std::vector<double>& x, const std::vector<double>& p, int levels, double threshold) {
  std::ostringstream out;
  FileFailure failure =
      wavelet_shrink(x, static_cast<int>(x.size()), p, static_cast<int>(p.size()), levels, threshold, out);
  return {failure, out.str()};
}

// Orthonormal Daubechies scaling filters with 2N taps, summing to sqrt(2),
// from the table that dorvenk-coefs prints.
std::vector<double> daubechies(int order) {
  const std::span<const double> h = daubechies_coefficients(order);
  return std::vector<double>(h.begin(), h.end());
}

// Largest deviation of p from an orthonormal scaling filter.
double orthonormality_defect(const std::vector<double>& p) {
  double worst = 0;
  const std::size_t taps = p.size();
  for (std::size_t m = 0; 2 * m < taps; ++m) {
    double sum = 0;
    for (std::size_t k = 0; k + 2 * m < taps; ++k) sum += p[k] * p[k + 2 * m];
    worst = std::max(worst, std::fabs(m == 0 ? sum - 1 : sum));
  }
  return worst;
}

// n seeded values, uniform in [-scale, scale).
std::vector<double> series(int n, long long seed, double scale) {
  test_support::Random rng{static_cast<std::uint64_t>(seed)};
  std::vector<double> x(ix(n));
  for (double& v : x) v = scale * (2 * rng.next_uniform() - 1);
  return x;
}

// The value a scratch file gives back for v: its "%.12lf" text, read again.
double through_text(double v) {
  char text[512];
  std::snprintf(text, sizeof text, "%.12f", v);
  return std::strtod(text, nullptr);
}

// The offset of a reconstruction stage: the engine's, the smallest multiple
// of r not below N; or the older rule, N whenever N > r, which is not the
// transpose of the decomposition unless N is a multiple of r.
enum class OffsetRule { multiple_of_r, old_n_above_r };

int offset_of(OffsetRule rule, int half, int r) {
  if (rule == OffsetRule::old_n_above_r || r == 0) return half <= r ? r : half;
  int c = r;
  while (c < half) c += r;
  return c;
}

// The engine's arithmetic written out term by term: plain remainders for the
// periodic indices, one pair at a time, the C library's conversions for the
// twelve-decimal text.
void reference_shrink(std::vector<double>& x, const std::vector<double>& p, int levels, double threshold,
                      OffsetRule rule = OffsetRule::multiple_of_r) {
  const int n = static_cast<int>(x.size());
  const int taps = static_cast<int>(p.size());
  const int half = taps / 2;
  std::vector<double> q(p.size());
  for (int k = 0; k < taps; ++k) q[ix(k)] = (k % 2 == 0 ? 1.0 : -1.0) * p[ix(taps - 1 - k)];
  int r = n;
  for (int s = 0; s < levels; ++s) {
    const int h = r / 2;
    std::vector<double> a(ix(h)), d(ix(h));
    for (int i = 0; i < h; ++i) {
      double sa = 0.0, sd = 0.0;
      for (int k = 0; k < taps; ++k) {
        sa += p[ix(k)] * x[ix((k + 2 * i) % r)];
        sd += q[ix(k)] * x[ix((k + 2 * i) % r)];
      }
      a[ix(i)] = through_text(sa);
      d[ix(i)] = through_text(sd);
    }
    r = h;
    for (int i = 0; i < r; ++i) {
      x[ix(r + i)] = d[ix(i)];
      x[ix(i)] = a[ix(i)];
    }
  }
  for (double& v : x) {
    if (!(std::fabs(v) >= threshold)) v = 0.0;
  }
  for (int s = 0; s < levels; ++s) {
    const int c = offset_of(rule, half, r);
    std::vector<double> y(ix(2 * r));
    for (int j = 0; j < r; ++j) {
      double y0 = 0.0, y1 = 0.0;
      for (int i = 0; i < half; ++i) {
        const int idx = (j - i + c) % r;
        y0 += (p[ix(2 * i)] * x[ix(idx)] + q[ix(2 * i)] * x[ix(r + idx)]);
        y1 += (p[ix(2 * i + 1)] * x[ix(idx)] + q[ix(2 * i + 1)] * x[ix(r + idx)]);
      }
      y[ix(2 * j)] = through_text(y0);
      y[ix(2 * j + 1)] = through_text(y1);
    }
    r *= 2;
    for (int i = 0; i < r; ++i) x[ix(i)] = y[ix(i)];
  }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- Filter pair and coefficient table ----

TEST_F(WaveletFilter, TableOfTheTwoTapAverage) {
  const std::vector<double> p = {0.5, 0.5};
  std::vector<double> q(2);
  build_filter_pair(p, q);
  EXPECT_EQ(table_of(p), "p 0= 0.500000000000, q-1= 0.500000000000\np 1= 0.500000000000, q 0=-0.500000000000\n");
  EXPECT_EQ(q, (std::vector<double>{0.5, -0.5}));
}

TEST_F(WaveletFilter, FourTapsMirrorWithAlternatingSignsAndLabelsFromMinusN) {
  const std::vector<double> p = {1, 2, 3, 4};
  std::vector<double> q(4);
  build_filter_pair(p, q);
  EXPECT_EQ(q, (std::vector<double>{4, -3, 2, -1}));
  EXPECT_EQ(table_of(p),
            "p 0= 1.000000000000, q-2= 4.000000000000\n"
            "p 1= 2.000000000000, q-1=-3.000000000000\n"
            "p 2= 3.000000000000, q 0= 2.000000000000\n"
            "p 3= 4.000000000000, q 1=-1.000000000000\n");
}

TEST_F(WaveletFilter, ThreeCharacterLabelsWidenTheirField) {
  std::vector<double> p(MAX_TAPS);
  for (int k = 0; k < MAX_TAPS; ++k) p[ix(k)] = (k + 1) * 0.001;
  std::vector<std::string> lines;
  std::istringstream in(table_of(p));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 200u);
  EXPECT_EQ(lines[0], "p 0= 0.001000000000, q-100= 0.200000000000");
  EXPECT_EQ(lines[100], "p100= 0.101000000000, q 0= 0.100000000000");
  EXPECT_EQ(lines[199], "p199= 0.200000000000, q99=-0.001000000000");
}

// ---- Decomposition ----

TEST_F(WaveletDecompose, WorkedExampleOneStageThenTwo) {
  const std::vector<double> p = {1, 1};
  const std::vector<double> q = wavelet_of(p);
  std::vector<double> x = {1, 2, 3, 4};
  ScratchFiles files;
  int r = 4;
  ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
  EXPECT_EQ(r, 2);
  EXPECT_EQ(x, (std::vector<double>{3, 7, -1, -1}));
  EXPECT_EQ(read_file("w_tmp"), "-1.000000000000\n-1.000000000000\n");
  EXPECT_EQ(read_file("s_tmp"), "3.000000000000\n7.000000000000\n");

  ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
  EXPECT_EQ(r, 1);
  EXPECT_EQ(x, (std::vector<double>{10, -4, -1, -1}));
  EXPECT_EQ(read_file("w_tmp"), "-4.000000000000\n");
  EXPECT_EQ(read_file("s_tmp"), "10.000000000000\n");
}

// With p[k] = 10^k and x[m] = m + 1, the decimal digits of an approximation
// spell the indices it used, lowest digit first.
TEST_F(WaveletDecompose, PeriodicIndexFoldsAFilterLongerThanTheLength) {
  const std::vector<double> p = {1, 10, 100, 1000, 10000, 100000};
  const std::vector<double> q = wavelet_of(p);
  ScratchFiles files;

  std::vector<double> x4 = {1, 2, 3, 4};
  int r = 4;
  ASSERT_FALSE(decompose_level(files, x4, r, p, q).failed());
  EXPECT_EQ(x4[0], 214321);  // indices 0,1,2,3,0,1
  EXPECT_EQ(x4[1], 432143);  // indices 2,3,0,1,2,3

  std::vector<double> x2 = {1, 2};
  r = 2;
  ASSERT_FALSE(decompose_level(files, x2, r, p, q).failed());
  EXPECT_EQ(x2[0], 212121);  // indices k mod 2
  // q = (1e5, -1e4, 1e3, -1e2, 10, -1) over the same indices.
  EXPECT_EQ(x2[1], 100000 - 20000 + 1000 - 200 + 10 - 2);
}

TEST_F(WaveletDecompose, StoredValuesAreTheirTwelveDecimalText) {
  const std::vector<double> p = {1, 0};  // a_i = x[2i], d_i = -x[2i+1]
  const std::vector<double> q = wavelet_of(p);
  std::vector<double> x = {1.0 / 3, 5, 4e-13, 5, -4e-13, 5, 6e-13, 5};
  ScratchFiles files;
  int r = 8;
  ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
  EXPECT_EQ(read_file("s_tmp"), "0.333333333333\n0.000000000000\n-0.000000000000\n0.000000000001\n");
  EXPECT_EQ(x[0], 0.333333333333);
  EXPECT_TRUE(same_bits(x[1], 0.0));
  EXPECT_TRUE(same_bits(x[2], -0.0));
  EXPECT_EQ(x[3], 0.000000000001);
  EXPECT_EQ(x[4], -5);
}

TEST_F(WaveletDecompose, OddLengthLeavesTheLastValueInPlace) {
  const std::vector<double> p = daubechies(2);
  const std::vector<double> q = wavelet_of(p);
  const double last = 0.12345678901234567;
  std::vector<double> x = {1, 2, 3, 4, 5, 6, last};
  ScratchFiles files;
  int r = 7;
  ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
  EXPECT_EQ(r, 3);
  EXPECT_TRUE(same_bits(x[6], last));
  // Pair 2 wraps over x[4], x[5], x[6], x[0].
  double a2 = 0.0;
  a2 += p[0] * 5;
  a2 += p[1] * 6;
  a2 += p[2] * last;
  a2 += p[3] * 1;
  EXPECT_EQ(x[2], through_text(a2));
  const std::string details = read_file("w_tmp");
  EXPECT_EQ(std::count(details.begin(), details.end(), '\n'), 3);
}

TEST_F(WaveletDecompose, LengthOneRewritesBothFilesEmpty) {
  write_file("w_tmp", "old\n");
  write_file("s_tmp", "old\n");
  const std::vector<double> p = {1, 1};
  const std::vector<double> q = wavelet_of(p);
  std::vector<double> x = {5.5};
  ScratchFiles files;
  int r = 1;
  ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
  EXPECT_EQ(r, 0);
  EXPECT_EQ(x[0], 5.5);
  EXPECT_EQ(read_file("w_tmp"), "");
  EXPECT_EQ(read_file("s_tmp"), "");
  EXPECT_TRUE(entry_exists("w_tmp"));
  EXPECT_TRUE(entry_exists("s_tmp"));

  ASSERT_FALSE(reconstruct_level(files, x, r, p, q).failed());
  EXPECT_EQ(r, 0);
  EXPECT_EQ(x[0], 5.5);
  EXPECT_EQ(read_file("r_tmp"), "");
}

// ---- Reconstruction ----

TEST_F(WaveletReconstruct, WorkedExampleDoublesTheUnnormalisedInput) {
  const std::vector<double> p = {1, 1};
  const std::vector<double> q = wavelet_of(p);
  std::vector<double> x = {3, 7, -1, -1};
  ScratchFiles files;
  int r = 2;
  ASSERT_FALSE(reconstruct_level(files, x, r, p, q).failed());
  EXPECT_EQ(r, 4);
  EXPECT_EQ(read_file("r_tmp"), "2.000000000000\n4.000000000000\n6.000000000000\n8.000000000000\n");
  EXPECT_EQ(x, (std::vector<double>{2, 4, 6, 8}));
}

// p = (1, 0, 10, 0, 100, 0) gives q = (0, -100, 0, -10, 0, -1): with one
// approximation and one detail set to 1, the outputs spell which i met them.
TEST_F(WaveletReconstruct, SixTapIndexPatterns) {
  const std::vector<double> p = {1, 0, 10, 0, 100, 0};
  const std::vector<double> q = wavelet_of(p);
  ScratchFiles files;

  // r = 2, offset 4 (the multiple of 2 not below N = 3): indices 0,1,0 for
  // j = 0 and 1,0,1 for j = 1, that is (j - i) mod 2.
  std::vector<double> x2 = {0, 1, 1, 0};
  int r = 2;
  ASSERT_FALSE(reconstruct_level(files, x2, r, p, q).failed());
  EXPECT_EQ(x2, (std::vector<double>{10, -100 - 1, 1 + 100, -10}));

  // r = 4, offset 4: indices (j - i) mod 4; approximation 1 and detail 3 set.
  std::vector<double> x4 = {0, 1, 0, 0, 0, 0, 0, 1};
  r = 4;
  ASSERT_FALSE(reconstruct_level(files, x4, r, p, q).failed());
  // j = 0: (0,3,2); j = 1: (1,0,3); j = 2: (2,1,0); j = 3: (3,2,1).
  EXPECT_EQ(x4, (std::vector<double>{0, -10, 1, -1, 10, 0, 100, -100}));
}

// ---- The stages in memory ----

// Without the scratch files a stage gives the same sums, before their
// twelve-decimal text: the engine's values are exactly their text.
TEST_F(WaveletStages, InMemoryStagesGiveTheEngineSumsBeforeTheirText) {
  for (int order : {1, 2, 5, 100}) {
    const std::vector<double> p = daubechies(order);
    const std::vector<double> q = wavelet_of(p);
    for (int n : {2, 7, 64, 1000}) {
      const std::vector<double> input = series(n, 17 * n + order, 3.0);
      const auto half = static_cast<std::size_t>(n / 2);
      std::vector<double> approx(half), detail(half);
      decompose_into(input, p, q, approx, detail);
      std::vector<double> x = input;
      ScratchFiles files;
      int r = n;
      ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
      for (std::size_t i = 0; i < half; ++i) {
        ASSERT_TRUE(same_bits(x[i], through_text(approx[i]))) << "N=" << order << " n=" << n << " i=" << i;
        ASSERT_TRUE(same_bits(x[half + i], through_text(detail[i]))) << "N=" << order << " n=" << n << " i=" << i;
      }

      std::vector<double> out(2 * half);
      reconstruct_into(std::span(x).first(half), std::span(x).subspan(half, half), p, q, out);
      ASSERT_FALSE(reconstruct_level(files, x, r, p, q).failed());
      for (std::size_t i = 0; i < 2 * half; ++i) {
        ASSERT_TRUE(same_bits(x[i], through_text(out[i]))) << "N=" << order << " n=" << n << " i=" << i;
      }
    }
  }
}

// A sink that takes `room` outputs of each sequence and then stops.
struct StoppingSink {
  int room;
  int taken = 0;
  static bool take(void* context, const double*, const double*, int count) {
    auto& sink = *static_cast<StoppingSink*>(context);
    sink.taken += count;
    return sink.taken < sink.room;
  }
};

TEST_F(WaveletStages, AStoppedSinkEndsTheStage) {
  const std::vector<double> p = daubechies(2);
  const std::vector<double> q = wavelet_of(p);
  const std::vector<double> x = series(256, 3, 1.0);
  StoppingSink sink{20};
  EXPECT_FALSE(decompose_stage(x, p, q, StageSink{&sink, StoppingSink::take}));
  EXPECT_GE(sink.taken, 20);
  EXPECT_LT(sink.taken, 28);  // at most one block of pairs beyond
  StoppingSink all{1000};
  EXPECT_TRUE(decompose_stage(x, p, q, StageSink{&all, StoppingSink::take}));
  EXPECT_EQ(all.taken, 128);

  StoppingSink again{20};
  const std::span<const double> both(x);
  EXPECT_FALSE(reconstruct_stage(both.first(128), both.subspan(128), p, q, StageSink{&again, StoppingSink::take}));
  EXPECT_LT(again.taken, 28);
}

// The arithmetic stays free of files, streams and the console: its two
// files include only these headers.
TEST(WaveletStageSource, IncludesNoFileStreamOrConsoleHeader) {
  const std::set<std::string> allowed = {"<algorithm>", "<cmath>", "<cstddef>", "<span>", "\"text/isa.hpp\"",
                                         "\"text/vector_lanes.hpp\"", "\"wavelet/stages.hpp\""};
  for (const char* name : {"src/wavelet/stages.hpp", "src/wavelet/stages.cpp"}) {
    std::ifstream source(std::string(DORVENK_SOURCE_DIR) + "/" + name);
    ASSERT_TRUE(source.is_open()) << name;
    int includes = 0;
    for (std::string line; std::getline(source, line);) {
      if (!line.starts_with("#include")) continue;
      ++includes;
      std::string header = line.substr(line.find_first_of("<\""));
      EXPECT_TRUE(allowed.count(header)) << name << ": " << line;
    }
    EXPECT_GT(includes, 0) << name;
  }
}

// ---- Hard thresholding ----

TEST_F(WaveletThreshold, ZeroesToPositiveZeroAndCountsNaN) {
  std::vector<double> x = {-0.5, NaN, -INF, 2, -2, 1.9999999999999998};
  EXPECT_EQ(hard_threshold(x, 2), 3);
  EXPECT_TRUE(same_bits(x[0], 0.0));
  EXPECT_TRUE(same_bits(x[1], 0.0));
  EXPECT_EQ(x[2], -INF);
  EXPECT_EQ(x[3], 2);
  EXPECT_EQ(x[4], -2);
  EXPECT_TRUE(same_bits(x[5], 0.0));

  std::vector<double> y = {1, -1, 0, INF};
  EXPECT_EQ(hard_threshold(y, NaN), 4);
  for (double v : y) EXPECT_TRUE(same_bits(v, 0.0));

  std::vector<double> z = {1, 2, 3};
  EXPECT_EQ(hard_threshold(std::span(z).first(2), 5), 2);  // only the values given are looked at
  EXPECT_EQ(z[2], 3);
}

struct ThresholdCase {
  double threshold;
  const char* ratio;
  std::vector<double> result;
};

// N = 1, p = (1, 1), x = (1, 2, 3, 4): one stage leaves (3, 7, -1, -1).
TEST_F(WaveletThreshold, WorkedExampleThroughTheEngine) {
  const ThresholdCase cases[] = {
      {0, "ratio >> 0/4\n", {2, 4, 6, 8}},
      {-1, "ratio >> 0/4\n", {2, 4, 6, 8}},
      {-INF, "ratio >> 0/4\n", {2, 4, 6, 8}},
      {2, "ratio >> 2/4\n", {3, 3, 7, 7}},
      {3, "ratio >> 2/4\n", {3, 3, 7, 7}},  // a magnitude equal to the threshold survives
      {3.5, "ratio >> 3/4\n", {0, 0, 7, 7}},
      {8, "ratio >> 4/4\n", {0, 0, 0, 0}},
      {INF, "ratio >> 4/4\n", {0, 0, 0, 0}},
      {NaN, "ratio >> 4/4\n", {0, 0, 0, 0}},
  };
  const std::string table = "p 0= 1.000000000000, q-1= 1.000000000000\np 1= 1.000000000000, q 0=-1.000000000000\n";
  for (const ThresholdCase& c : cases) {
    std::vector<double> x = {1, 2, 3, 4};
    Outcome run = shrink(x, {1, 1}, 1, c.threshold);
    EXPECT_FALSE(run.failure.failed()) << c.threshold;
    EXPECT_EQ(run.out, table + c.ratio) << c.threshold;
    EXPECT_EQ(x, c.result) << c.threshold;
    for (double v : x) EXPECT_FALSE(std::signbit(v)) << c.threshold;
  }
}

TEST_F(WaveletThreshold, ThresholdAboveEveryMagnitudeOrNaNZeroesAllOfAnOddSeries) {
  for (double threshold : {1e6, NaN}) {
    std::vector<double> x = {1, -2, 3, -4, 5, -6, 7};
    Outcome run = shrink(x, daubechies(2), 1, threshold);
    ASSERT_FALSE(run.failure.failed());
    EXPECT_NE(run.out.find("ratio >> 7/7\n"), std::string::npos) << threshold;
    for (double v : x) EXPECT_TRUE(same_bits(v, 0.0)) << threshold;
  }
}

// ---- The whole engine ----

TEST_F(WaveletEngine, TwoLevelsOfTheWorkedExample) {
  std::vector<double> x = {1, 2, 3, 4};
  Outcome run = shrink(x, {1, 1}, 2, 0);
  ASSERT_FALSE(run.failure.failed());
  // (10, -4, -1, -1): r = 1 gives (6, 14), twice (3, 7) since this p is not
  // normalised; r = 2 then adds and subtracts the level-1 details.
  EXPECT_EQ(x, (std::vector<double>{5, 7, 13, 15}));
  EXPECT_TRUE(entries().empty());
}

struct ShapeCase {
  int n;
  int order;
  int levels;
};

// Block and single-pair paths, wrapping indices, offsets N > r, odd n, and
// the largest filter, all against the plain formulas bit for bit.
TEST_F(WaveletEngine, MatchesTheFormulasTermByTerm) {
  const ShapeCase cases[] = {
      {64, 1, 6},  {64, 2, 6},  {64, 3, 6},   {37, 4, 2},    {7, 2, 1},    {5, 100, 2}, {1, 2, 1},
      {2, 3, 1},   {96, 8, 5},  {100, 10, 2}, {1536, 5, 9},  {1024, 100, 3}, {1000, 7, 3},
  };
  for (const ShapeCase& c : cases) {
    std::vector<double> p = series(2 * c.order, 100 + c.order, 1.0);
    std::vector<double> x = series(c.n, 7 * c.n + c.order, 1.0);
    std::vector<double> expected = x;
    reference_shrink(expected, p, c.levels, 0.25);
    Outcome run = shrink(x, p, c.levels, 0.25);
    ASSERT_FALSE(run.failure.failed()) << run.failure.file;
    for (int i = 0; i < c.n; ++i) {
      ASSERT_TRUE(same_bits(x[ix(i)], expected[ix(i)]))
          << "n=" << c.n << " N=" << c.order << " L=" << c.levels << " i=" << i << ": " << x[ix(i)] << " vs "
          << expected[ix(i)];
    }
    EXPECT_TRUE(entries().empty());
  }
}

// samples[n..] is neither written nor read: a series followed by sentinels
// gives the same bits as the series alone, and the sentinels stay.
TEST_F(WaveletEngine, NeverTouchesSamplesBeyondN) {
  constexpr int TAIL = 300;
  const double sentinels[] = {NaN, -INF, 7777.125, -0.0, 1e300};
  for (int n : {1, 2, 3, 7, 8, 37, 64, 96, 100, 1000, 1536}) {
    for (int order : {1, 2, 3, 10, 100}) {
      const std::vector<double> p = daubechies(order);
      for (int levels : {1, level_limit(n)}) {
        const std::vector<double> input = series(n, 5 * n + order, 2.0);
        std::vector<double> alone = input;
        ASSERT_FALSE(shrink(alone, p, levels, 0.5).failure.failed());

        std::vector<double> padded = input;
        for (int k = 0; k < TAIL; ++k) padded.push_back(sentinels[k % 5]);
        std::ostringstream out;
        ASSERT_FALSE(wavelet_shrink(padded, n, p, 2 * order, levels, 0.5, out).failed());
        for (int i = 0; i < n; ++i) {
          ASSERT_TRUE(same_bits(padded[ix(i)], alone[ix(i)])) << "n=" << n << " N=" << order << " L=" << levels << " i=" << i;
        }
        for (int k = 0; k < TAIL; ++k) {
          ASSERT_TRUE(same_bits(padded[ix(n + k)], sentinels[k % 5]))
              << "n=" << n << " N=" << order << " L=" << levels << " samples[n+" << k << "]";
        }
      }
    }
  }
  EXPECT_TRUE(entries().empty());
}

TEST_F(WaveletEngine, OddLengthWithTheTwoTapFilterComesBack) {
  std::vector<double> input = {0.3, -1.25, 2.5, 3.75, -4.125, 5.0625, 0.12345678901234567};
  std::vector<double> x = input;
  Outcome run = shrink(x, daubechies(1), 1, 0);
  ASSERT_FALSE(run.failure.failed());
  EXPECT_NE(run.out.find("ratio >> 0/7\n"), std::string::npos);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(x[i], input[i], 2e-12) << i;
  EXPECT_TRUE(same_bits(x[6], input[6]));
}

TEST_F(WaveletEngine, OddLengthWithFourTapsChangesOnlyTheFirstTwo) {
  std::vector<double> input = {0.3, -1.25, 2.5, 3.75, -4.125, 5.0625, 0.12345678901234567};
  std::vector<double> x = input;
  Outcome run = shrink(x, daubechies(2), 1, 0);
  ASSERT_FALSE(run.failure.failed());
  // The decomposition folded x[6] into its last pair with period 7; the
  // reconstruction wraps with period 6.
  EXPECT_GT(std::fabs(x[0] - input[0]), 1e-3);
  EXPECT_GT(std::fabs(x[1] - input[1]), 1e-3);
  for (std::size_t i = 2; i < 6; ++i) EXPECT_NEAR(x[i], input[i], 2e-12) << i;
  EXPECT_TRUE(same_bits(x[6], input[6]));
}

TEST_F(WaveletEngine, SingleValue) {
  std::vector<double> x = {0.12345678901234567};
  Outcome run = shrink(x, daubechies(3), 1, 0);
  ASSERT_FALSE(run.failure.failed());
  EXPECT_NE(run.out.find("ratio >> 0/1\n"), std::string::npos);
  EXPECT_TRUE(same_bits(x[0], 0.12345678901234567));
  EXPECT_TRUE(entries().empty());

  run = shrink(x, daubechies(3), 1, 1);
  EXPECT_NE(run.out.find("ratio >> 1/1\n"), std::string::npos);
  EXPECT_TRUE(same_bits(x[0], 0.0));
}

TEST_F(WaveletEngine, ScratchFilesFoundBeforeAreOverwrittenAndGoneAfter) {
  std::string junk;
  for (int i = 0; i < 5000; ++i) junk += "123456.000000000000\n";
  for (const char* name : {"w_tmp", "s_tmp", "r_tmp"}) write_file(name, junk);
  std::vector<double> x = {1, 2, 3, 4};
  Outcome run = shrink(x, {1, 1}, 1, 0);
  ASSERT_FALSE(run.failure.failed());
  EXPECT_EQ(x, (std::vector<double>{2, 4, 6, 8}));
  EXPECT_TRUE(entries().empty());
}

TEST_F(WaveletEngine, InfinitiesAndNaNPassTheScratchFiles) {
  const std::vector<double> p = {1, 1};
  const std::vector<double> q = wavelet_of(p);
  {
    std::vector<double> x = {1, INF, 3, 4};
    ScratchFiles files;
    int r = 4;
    ASSERT_FALSE(decompose_level(files, x, r, p, q).failed());
    EXPECT_EQ(read_file("w_tmp"), "-inf\n-1.000000000000\n");
    EXPECT_EQ(read_file("s_tmp"), "inf\n7.000000000000\n");
    EXPECT_EQ(x, (std::vector<double>{INF, 7, -INF, -1}));
  }
  {
    // inf + -inf = NaN, inf - -inf = inf: both come back through "r_tmp".
    std::vector<double> x = {1, INF, 3, 4};
    Outcome run = shrink(x, p, 1, 0);
    ASSERT_FALSE(run.failure.failed());
    EXPECT_NE(run.out.find("ratio >> 0/4\n"), std::string::npos);
    EXPECT_TRUE(std::isnan(x[0]));
    EXPECT_EQ(x[1], INF);
    EXPECT_EQ(x[2], 6);
    EXPECT_EQ(x[3], 8);
  }
  {
    // A NaN coefficient has no magnitude at least 0: zeroed and counted.
    std::vector<double> x = {NaN, 2, 3, 4, -INF};
    Outcome run = shrink(x, p, 1, 0);
    ASSERT_FALSE(run.failure.failed());
    EXPECT_NE(run.out.find("ratio >> 2/5\n"), std::string::npos);
    EXPECT_EQ(x, (std::vector<double>{0, 0, 6, 8, -INF}));
  }
}

// ---- Orthonormal filters reconstruct the input ----

struct RoundTripCase {
  int order;
  int n;
  int levels;
};

TEST_F(WaveletRoundTrip, OrthonormalDaubechiesFiltersGiveTheInputBack) {
  // Every reconstruction stage has an offset that is a multiple of r, so
  // each one is the transpose of its decomposition stage.
  const RoundTripCase cases[] = {
      {1, 64, 6}, {2, 64, 6},   {2, 96, 5},    {3, 64, 4},    {3, 1000, 3},
      {4, 64, 6}, {4, 1536, 8}, {10, 128, 3},  {10, 160, 5},  // r = 5: offset 10
  };
  for (const RoundTripCase& c : cases) {
    const std::vector<double> p = daubechies(c.order);
    ASSERT_LT(orthonormality_defect(p), 1e-15) << c.order;
    const double scale = 10;
    const std::vector<double> input = series(c.n, 31 * c.n + c.order, scale);
    std::vector<double> x = input;
    Outcome run = shrink(x, p, c.levels, 0);
    ASSERT_FALSE(run.failure.failed());
    EXPECT_NE(run.out.find("ratio >> 0/" + std::to_string(c.n) + "\n"), std::string::npos);
    double worst = 0;
    for (std::size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::fabs(x[i] - input[i]));
    // Each stage rounds to a multiple of 1e-12; the orthonormal stages carry
    // those errors on without growing them.
    EXPECT_LE(worst, 2 * c.levels * 1e-12) << "N=" << c.order << " n=" << c.n << " L=" << c.levels;
    EXPECT_GT(worst, 0) << "the values did not pass the twelve-decimal text";
  }
}

// The value a scratch file gives back for v, without the text: "%.12lf"
// writes D, the exact v * 10^12 rounded to an integer (ties to even), and
// reading the text back gives the double nearest to D / 10^12, which the
// IEEE division of D by the exact 1e12 gives too while D fits 53 bits. fma
// yields the rounding error of v * 1e12, so D is rounded from the exact
// product.
double scratch_round(double v) {
  if (!(std::fabs(v) < 4096)) return through_text(v);
  const double scaled = v * 1e12;
  const double error = std::fma(v, 1e12, -scaled);  // scaled + error = v * 10^12
  double d = std::nearbyint(scaled);
  const double fraction = scaled - d;  // exact, in [-0.5, 0.5]
  if (fraction == 0.5 && error > 0) d += 1;
  if (fraction == -0.5 && error < 0) d -= 1;
  return d / 1e12;
}

TEST(WaveletScratchRound, EqualsTheTextBitForBit) {
  test_support::Random rng{42};
  for (int i = 0; i < 200000; ++i) {
    // Uniform in [-1, 1), scaled by 2^-16 to 2^14.
    const double unit = 2 * rng.next_uniform() - 1;
    const double v = std::ldexp(unit, static_cast<int>(rng.next_u64() % 31) - 16);
    ASSERT_TRUE(same_bits(scratch_round(v), through_text(v))) << v;
  }
  // Halves of 1e-12 that are exact in binary and sit near their neighbours.
  for (double v : {0.5e-12, -0.5e-12, 2.5, 0.0000000000015, 1.0000000000005, -0.0, 4095.9999999999995}) {
    EXPECT_TRUE(same_bits(scratch_round(v), through_text(v))) << v;
  }
}

// One engine level in memory: the pure stage, then every output rounded as
// its scratch file rounds it.
void decompose_rounded(std::vector<double>& x, int& r, const std::vector<double>& p, const std::vector<double>& q,
                       std::vector<double>& approx, std::vector<double>& detail) {
  const auto half = static_cast<std::size_t>(r / 2);
  decompose_into(std::span(x).first(static_cast<std::size_t>(r)), p, q, std::span(approx).first(half),
                 std::span(detail).first(half));
  for (std::size_t i = 0; i < half; ++i) {
    x[half + i] = scratch_round(detail[i]);
    x[i] = scratch_round(approx[i]);
  }
  r /= 2;
}

void reconstruct_rounded(std::vector<double>& x, int& r, const std::vector<double>& p,
                         const std::vector<double>& q, std::vector<double>& out) {
  const auto count = static_cast<std::size_t>(r);
  reconstruct_into(std::span(x).first(count), std::span(x).subspan(count, count), p, q,
                   std::span(out).first(2 * count));
  for (std::size_t i = 0; i < 2 * count; ++i) x[i] = scratch_round(out[i]);
  r *= 2;
}

TEST_F(WaveletRoundTrip, InMemoryLevelsAreTheEngineBitForBit) {
  for (int order : {1, 3, 20, 100}) {
    const std::vector<double> p = daubechies(order);
    const std::vector<double> q = wavelet_of(p);
    for (int n : {64, 1000, 7}) {
      const int levels = level_limit(n);
      const std::vector<double> input = series(n, 3 * n + order, 10);
      std::vector<double> engine = input;
      ASSERT_FALSE(shrink(engine, p, levels, 0).failure.failed());
      std::vector<double> x = input, a(ix(n)), d(ix(n)), out(ix(n));
      int r = n;
      for (int s = 0; s < levels; ++s) decompose_rounded(x, r, p, q, a, d);
      for (int s = 0; s < levels; ++s) reconstruct_rounded(x, r, p, q, out);
      for (std::size_t i = 0; i < x.size(); ++i) {
        ASSERT_TRUE(same_bits(x[i], engine[i])) << "N=" << order << " n=" << n << " i=" << i;
      }
    }
  }
}

// Every order of the table, every level the dialogue accepts, threshold 0:
// each reconstruction stage is the transpose of its decomposition stage,
// which the orthonormal filters make its inverse, so the series comes back
// but for the twelve-decimal text of each stage (at most 0.5e-12 a value,
// carried on by the orthogonal stages). Each stage here is the engine's
// stage with its outputs rounded like the scratch files; the test above
// shows that this is the engine bit for bit.
//
// With odd n the first stage takes floor(n/2) pairs over x[0..n-1] with
// period n, folding x[n-1] into the pairs that wrap, while the
// reconstruction works with period n-1 and never writes x[n-1]. So x[n-1]
// comes back unchanged, and the first n-1 values come back as the series
// whose period-(n-1) decomposition is the engine's first-level
// coefficients: with 2 taps nothing wraps and that is the input itself;
// with longer filters the input differs from it by the folded x[n-1].
class WaveletRoundTripAllOrders : public ::testing::TestWithParam<int> {};

TEST_P(WaveletRoundTripAllOrders, EverySeriesComesBack) {
  const int n = GetParam();
  const bool odd = n % 2 != 0;
  const int top = level_limit(n);
  std::vector<double> x(ix(n)), a(ix(n)), d(ix(n)), out(ix(n)), first_level(ix(n)), back(ix(n));
  std::vector<std::vector<double>> after(ix(top + 1));
  double worst = 0;
  for (int order = 1; order <= MAX_N; ++order) {
    const std::vector<double> p = daubechies(order);
    const std::vector<double> q = wavelet_of(p);
    const std::vector<double> input = series(n, 1000003LL * n + order, 10);
    // The decomposition once, keeping the series after every stage.
    x = input;
    int r = n;
    for (int s = 1; s <= top; ++s) {
      decompose_rounded(x, r, p, q, a, d);
      after[ix(s)] = x;
    }
    if (odd) first_level = after[1];
    for (int levels = 1; levels <= top; ++levels) {
      x = after[ix(levels)];
      r = n >> levels;
      for (int s = 0; s < levels; ++s) reconstruct_rounded(x, r, p, q, out);
      const double bound = levels * 2e-12;
      const int checked = odd ? n - 1 : n;
      if (odd) {
        ASSERT_TRUE(same_bits(x[ix(n - 1)], input[ix(n - 1)])) << "N=" << order << " L=" << levels;
      }
      if (!odd || order == 1) {
        double error = 0;
        for (int i = 0; i < checked; ++i) error = std::max(error, std::fabs(x[ix(i)] - input[ix(i)]));
        worst = std::max(worst, error);
        ASSERT_LE(error, bound) << "N=" << order << " n=" << n << " L=" << levels;
      } else {
        // Decomposed again with period n-1, the result gives the engine's
        // first-level coefficients.
        decompose_into(std::span(x).first(static_cast<std::size_t>(checked)), p, q,
                       std::span(back).first(static_cast<std::size_t>(checked / 2)),
                       std::span(d).first(static_cast<std::size_t>(checked / 2)));
        double error = 0;
        for (int i = 0; i < checked / 2; ++i) {
          error = std::max(error, std::fabs(back[ix(i)] - first_level[ix(i)]));
          error = std::max(error, std::fabs(d[ix(i)] - first_level[ix(checked / 2 + i)]));
        }
        worst = std::max(worst, error);
        ASSERT_LE(error, bound) << "N=" << order << " n=" << n << " L=" << levels;
      }
    }
  }
  char worst_text[32];
  std::snprintf(worst_text, sizeof worst_text, "%.3g", worst);
  RecordProperty("worst_error", worst_text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WaveletRoundTripAllOrders,
                         ::testing::Values(32768, 2048, 1536, 1000, 64, 8, 7, 5));

// Where the older offset rule (c = N whenever N > r) already gave a multiple
// of r at every stage, the engine's results are the same bits as under that
// rule; where it did not, they differ.
TEST_F(WaveletRoundTrip, SameBitsWhereTheOlderOffsetWasAMultipleOfR) {
  int same = 0;
  int mended = 0;
  for (int n : {1, 2, 5, 7, 64, 96, 1536}) {
    for (int order : {1, 2, 3, 4, 5, 6, 8, 12, 16, 24, 32, 48, 64, 96, 100}) {
      const std::vector<double> p = daubechies(order);
      for (int levels = 1; levels <= level_limit(n); ++levels) {
        bool multiple = true;
        for (int s = levels, r = n >> levels; s >= 1; --s, r *= 2) {
          if (r > 0 && order > r && order % r != 0) multiple = false;
        }
        const std::vector<double> input = series(n, 11 * n + order, 10);
        std::vector<double> engine = input;
        ASSERT_FALSE(shrink(engine, p, levels, 0.5).failure.failed());
        std::vector<double> old_rule = input;
        reference_shrink(old_rule, p, levels, 0.5, OffsetRule::old_n_above_r);
        bool identical = true;
        for (std::size_t i = 0; i < engine.size(); ++i) identical = identical && same_bits(engine[i], old_rule[i]);
        EXPECT_EQ(identical, multiple) << "n=" << n << " N=" << order << " L=" << levels;
        ++(multiple ? same : mended);
      }
    }
  }
  EXPECT_GT(same, 0);
  EXPECT_GT(mended, 0);
}

// ---- Scratch files that cannot be used ----

struct FailureCase {
  const char* name;  // a directory of that name is in the way
  int error;
  bool ratio_printed;
};

TEST_F(WaveletScratchFailure, StopsNamesTheFileAndLeavesNothingOfItsOwn) {
  const FailureCase cases[] = {
      {"w_tmp", EISDIR, false},
      {"s_tmp", EISDIR, false},
      {"r_tmp", EISDIR, true},
  };
  const std::vector<double> p = daubechies(2);
  for (const FailureCase& c : cases) {
    ASSERT_EQ(::mkdir(c.name, 0777), 0);
    std::vector<double> x = series(64, 5, 1.0);
    Outcome run = shrink(x, p, 2, 0);
    EXPECT_EQ(run.failure.file, c.name);
    EXPECT_EQ(run.failure.error, c.error) << c.name << ": " << std::strerror(run.failure.error);
    // The coefficient table, the ratio line once the thresholding was
    // reached, and no message of the engine's own.
    EXPECT_EQ(run.out, table_of(p) + (c.ratio_printed ? "ratio >> 0/64\n" : "")) << c.name;
    EXPECT_TRUE(directory_lock_is_free()) << c.name;
    EXPECT_EQ(entries(), std::set<std::string>{c.name}) << c.name;
    fs::remove(c.name);
  }
}

TEST_F(WaveletScratchFailure, ShortOrGarbledReadBackIsAnError) {
  double values[2];
  std::string text;
  write_file("s_tmp", "1.000000000000\n");  // one value of two
  FileFailure short_file = read_back(text, "s_tmp", values);
  EXPECT_EQ(short_file.file, "s_tmp");
  EXPECT_EQ(short_file.error, EIO);
  write_file("s_tmp", "");
  EXPECT_EQ(read_back(text, "s_tmp", values).error, EIO);
  EXPECT_EQ(read_back(text, "gone", values).error, ENOENT);
}

// A scratch file this call made is among the files a signal removes, and
// no longer once the call removed it itself.
TEST_F(WaveletScratchFailure, MadeScratchFilesAreRemovedAtASignal) {
  ScratchFiles files;
  ASSERT_TRUE(open_scratch(files.w, W_TMP, files.made_w));
  ASSERT_TRUE(close_scratch(files.w));
  ASSERT_TRUE(entry_exists("w_tmp"));
  remove_remembered_files();  // what the handler of an ending signal does
  EXPECT_TRUE(entries().empty());
  remove_made_scratch(files);
  write_file("w_tmp", "a file made after the run\n");
  remove_remembered_files();
  EXPECT_TRUE(entry_exists("w_tmp"));
}

// ---- Names of scratch files that hold something else ----

enum class InTheWay { symlink_to_user_file, symlink_to_device, dangling_symlink, hard_link, fifo };

// A scratch name that is a link, another name of a user's file or a pipe is
// taken away and replaced by the engine's own file: the user's file keeps
// its content, the run gives the same result as in an empty directory, and
// afterwards the name is gone like every scratch file.
TEST_F(WaveletScratchFailure, LinksAndPipesAreReplacedNeverWrittenThrough) {
  const struct {
    const char* name;
    InTheWay kind;
  } cases[] = {
      {"w_tmp", InTheWay::symlink_to_user_file}, {"s_tmp", InTheWay::symlink_to_user_file},
      {"r_tmp", InTheWay::symlink_to_user_file}, {"w_tmp", InTheWay::symlink_to_device},
      {"r_tmp", InTheWay::dangling_symlink},     {"w_tmp", InTheWay::hard_link},
      {"r_tmp", InTheWay::hard_link},            {"s_tmp", InTheWay::fifo},
  };
  const std::vector<double> p = daubechies(2);
  std::vector<double> expected = series(64, 5, 1.0);
  ASSERT_FALSE(shrink(expected, p, 2, 0.3).failure.failed());
  const std::string user_text = "the user's own file\n";
  for (const auto& c : cases) {
    write_file("user.txt", user_text);
    switch (c.kind) {
      case InTheWay::symlink_to_user_file: fs::create_symlink("user.txt", c.name); break;
      case InTheWay::symlink_to_device: fs::create_symlink("/dev/full", c.name); break;
      case InTheWay::dangling_symlink: fs::create_symlink("made_by_link.txt", c.name); break;
      case InTheWay::hard_link: fs::create_hard_link("user.txt", c.name); break;
      case InTheWay::fifo: ASSERT_EQ(::mkfifo(c.name, 0666), 0) << std::strerror(errno); break;
    }
    std::vector<double> x = series(64, 5, 1.0);
    Outcome run = shrink(x, p, 2, 0.3);
    EXPECT_FALSE(run.failure.failed()) << c.name << ": " << run.failure.file << " " << std::strerror(run.failure.error);
    EXPECT_EQ(x, expected) << c.name;
    EXPECT_EQ(read_file("user.txt"), user_text) << c.name;
    EXPECT_EQ(entries(), std::set<std::string>{"user.txt"}) << c.name;
    EXPECT_TRUE(directory_lock_is_free()) << c.name;
    fs::remove("user.txt");
  }
}

struct FullDiskCase {
  const char* name;   // the scratch file that meets the limit
  rlim_t limit;       // largest file size allowed, in bytes
  int order;
  int levels;
  bool constant;      // a constant series: details "0.000000000000", approximations of 20 bytes
  bool ratio_printed;
};

// The disk fills in the middle of a scratch file: the file size limit lets
// the first writes through and fails the one that crosses it (EFBIG, with
// SIGXFSZ ignored). The engine names the file, and on its way out drops the
// directory lock and removes every scratch file it made. It runs in a child
// process, since the limit holds for a whole process; the child checks the
// lock while it still lives and reports by its exit status.
TEST_F(WaveletScratchFailure, ADiskFullHalfWayReleasesTheLockAndLeavesNothing) {
  const FullDiskCase cases[] = {
      // n = 32768: "s_tmp" of the first stage takes 16384 * 20 bytes and
      // reaches the limit first; "w_tmp" takes 16384 * 15.
      {"s_tmp", 200000, 1, 3, true, false},
      // Values below 20 in magnitude: the first stage's files take under
      // 300000 bytes each, the last "r_tmp" over 500000.
      {"r_tmp", 400000, 4, 2, false, true},
  };
  enum : int { WRONG_FILE = 1, WRONG_ERROR = 2, LOCK_HELD = 4, FILES_LEFT = 8, WRONG_OUTPUT = 16 };
  for (const FullDiskCase& c : cases) {
    const std::vector<double> p = daubechies(c.order);
    std::vector<double> x = c.constant ? std::vector<double>(32768, 123456.123456) : series(32768, 9, 10.0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{c.limit, c.limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
      Outcome run = shrink(x, p, c.levels, 0);
      int result = 0;
      if (run.failure.file != c.name) result |= WRONG_FILE;
      if (run.failure.error != EFBIG) result |= WRONG_ERROR;
      if (!directory_lock_is_free()) result |= LOCK_HELD;
      if (!entries().empty()) result |= FILES_LEFT;
      if (run.out != table_of(p) + (c.ratio_printed ? "ratio >> 0/32768\n" : "")) result |= WRONG_OUTPUT;
      ::_exit(result);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << c.name << ": status " << status;
    const int result = WEXITSTATUS(status);
    ASSERT_NE(result, 100) << "setrlimit failed";
    EXPECT_FALSE(result & WRONG_FILE) << c.name << " was not the file named";
    EXPECT_FALSE(result & WRONG_ERROR) << c.name << ": not EFBIG";
    EXPECT_FALSE(result & LOCK_HELD) << c.name << ": the directory lock outlived the engine";
    EXPECT_FALSE(result & FILES_LEFT) << c.name << ": scratch files left behind";
    EXPECT_FALSE(result & WRONG_OUTPUT) << c.name << ": unexpected console output";
    EXPECT_TRUE(entries().empty()) << c.name;
  }
}

TEST_F(WaveletScratchFailure, ParsesExactlyTheLinesWritten) {
  double values[4];
  ASSERT_TRUE(parse_scratch_values("1.500000000000\n-inf\nnan\n-0.000000000000\n", values));
  EXPECT_EQ(values[0], 1.5);
  EXPECT_EQ(values[1], -INF);
  EXPECT_TRUE(std::isnan(values[2]));
  EXPECT_TRUE(same_bits(values[3], -0.0));

  const char* bad[] = {
      "1.0\n2.0\n3.0\n",            // fewer values
      "1.0\n2.0\n3.0\n4.0\n5.0\n",  // more text than was written
      "1.0\n2.0\n3.0\n4.0",         // last line cut
      "1.0\n2.0\nx\n4.0\n",         // not a number
      "1.0\n2.0 \n3.0\n4.0\n",      // stray text after a number
      "",
  };
  for (const char* text : bad) EXPECT_FALSE(parse_scratch_values(text, values)) << text;
  EXPECT_TRUE(parse_scratch_values("", std::span<double>()));
}

// ---- Two engines in one directory ----

// Holds the exclusive lock on the working directory, as another engine would.
struct DirectoryLock {
  int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DirectoryLock() { EXPECT_EQ(::flock(fd, LOCK_EX), 0) << std::strerror(errno); }
  ~DirectoryLock() { release(); }
  void release() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

TEST_F(WaveletLock, WaitsWhileTheDirectoryIsLocked) {
  DirectoryLock other;
  std::vector<double> x = {1, 2, 3, 4};
  std::atomic<bool> done{false};
  Outcome run;
  std::thread engine([&] {
    run = shrink(x, {1, 1}, 1, 0);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(done.load());
  EXPECT_FALSE(entry_exists("w_tmp"));
  other.release();
  engine.join();
  EXPECT_FALSE(run.failure.failed());
  EXPECT_EQ(x, (std::vector<double>{2, 4, 6, 8}));
  EXPECT_TRUE(entries().empty());
}

TEST_F(WaveletLock, TwoEnginesAtOnceBothGetTheirOwnResults) {
  const std::vector<double> p = daubechies(4);
  std::vector<double> expected[2];
  std::vector<double> x[2];
  for (int k = 0; k < 2; ++k) {
    x[k] = series(8192, 11 + k, 5.0);
    expected[k] = x[k];
    ASSERT_FALSE(shrink(expected[k], p, 6, 0.5).failure.failed());
  }
  Outcome run[2];
  std::thread first([&] { run[0] = shrink(x[0], p, 6, 0.5); });
  std::thread second([&] { run[1] = shrink(x[1], p, 6, 0.5); });
  first.join();
  second.join();
  for (int k = 0; k < 2; ++k) {
    EXPECT_FALSE(run[k].failure.failed()) << run[k].failure.file;
    EXPECT_TRUE(x[k] == expected[k]) << k;
  }
  EXPECT_TRUE(entries().empty());
}

TEST_F(WaveletLock, RunsWithoutTheLockWhenTheDirectoryCannotBeOpened) {
  // Write and search permission but no read permission: open(".") fails.
  // Root passes every permission check, so the engine runs as nobody then.
  ASSERT_EQ(::chmod(".", 0333), 0);
  const bool as_root = ::geteuid() == 0;
  if (as_root) {
    ASSERT_EQ(::seteuid(65534), 0) << std::strerror(errno);
  }
  const int probe = ::open(".", O_RDONLY | O_DIRECTORY);
  const bool unreadable = probe < 0;
  if (probe >= 0) ::close(probe);
  std::vector<double> x = {1, 2, 3, 4};
  Outcome run = shrink(x, {1, 1}, 1, 0);
  if (as_root) {
    ASSERT_EQ(::seteuid(0), 0);
  }
  ::chmod(".", 0700);
  ASSERT_TRUE(unreadable);
  EXPECT_FALSE(run.failure.failed()) << run.failure.file << ": " << std::strerror(run.failure.error);
  EXPECT_EQ(x, (std::vector<double>{2, 4, 6, 8}));
  EXPECT_TRUE(entries().empty());
}

}  // namespace
}  // namespace dorvenk
