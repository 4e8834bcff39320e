// dorvenk-coefs from outside: the built command run in an empty temporary
// directory, in a session of its own without a controlling terminal, with
// standard input from /dev/null; stdout, stderr and the exit status compared,
// and the directory checked to stay empty. Plus the argument parser and the
// output format for every order, in-process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "coefs/coefs_cli.hpp"
#include "coefs/daubechies_table.hpp"
#include "test_support.hpp"

namespace dorvenk {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;
  std::vector<std::string> files_left;  // in the working directory
};

using test_support::read_file;

// A fresh temporary directory holding "work" (the command's working
// directory) and "capture" (its stdout and stderr), removed at the end.
class CoefsCommand : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path().empty());
    root = temp.path();
    fs::create_directory(root / "work");
    fs::create_directory(root / "capture");
  }

  // Runs the command with `args`; stdout goes to `stdout_path` if given.
  RunResult run(const std::vector<std::string>& args, const char* stdout_path = nullptr) {
    const test_support::CommandResult ran =
        test_support::run_command(DORVENK_COEFS_TOOL, args, root / "work", root / "capture", stdout_path);
    RunResult result{ran.out, ran.err, ran.status, {}};
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "work")) {
      result.files_left.push_back(entry.path().filename().string());
    }
    return result;
  }

  test_support::TempDir temp{"dorvenk-coefs-test"};
  fs::path root;
};

TEST_F(CoefsCommand, PrintsOrderTwoExactly) {
  const RunResult r = run({"2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "0.48296291314453416\n"
            "0.83651630373780794\n"
            "0.22414386804201339\n"
            "-0.12940952255126037\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.files_left.empty());
}

TEST_F(CoefsCommand, PrintsTheLargestOrderFromTheTable) {
  const RunResult r = run({"100"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::string expected;
  char line[64];
  for (const double x : daubechies_coefficients(100)) {
    std::snprintf(line, sizeof line, "%.17g\n", x);
    expected += line;
  }
  EXPECT_EQ(r.out, expected);
}

TEST_F(CoefsCommand, BadArgumentsGetUsageOnStderrAndStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {},      {"0"},    {"101"},  {"-1"},  {"+4"},      {" 4"},     {"4 "},
      {"4.0"}, {"4e0"},  {"abc"},  {""},    {"4", "5"},  {"4", "--help"},
      {"99999999999999999999"},   {"--hlep"}, {"-"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "]";
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(r.err.rfind("\adorvenk-coefs: ", 0), 0u) << shown << ": " << r.err;
    EXPECT_NE(r.err.find("Usage: dorvenk-coefs N"), std::string::npos) << shown << ": " << r.err;
    EXPECT_TRUE(r.files_left.empty()) << shown;
  }
  // An argument is shown with its control bytes as \xNN.
  EXPECT_EQ(run({std::string("\x1b]0;x\x07", 6)}).err,
            "\adorvenk-coefs: N must be a whole number from 1 to 100, not \"\\x1B]0;x\\x07\"\n"
            "Usage: dorvenk-coefs N    (N from 1 to 100; dorvenk-coefs --help for more)\n");
}

TEST_F(CoefsCommand, HelpSaysWhatItPrintsAndHowToFeedTheTool) {
  const RunResult long_form = run({"--help"});
  EXPECT_EQ(long_form.status, 0);
  EXPECT_EQ(long_form.err, "");
  for (const char* needle : {"Usage: dorvenk-coefs N", "minimum-phase Daubechies", "17 significant digits",
                             "\"p[ 0]=\"", "dorvenk-coefs 4", "| dorvenk"}) {
    EXPECT_NE(long_form.out.find(needle), std::string::npos) << needle;
  }
  const RunResult short_form = run({"-h"});
  EXPECT_EQ(short_form.status, 0);
  EXPECT_EQ(short_form.out, long_form.out);
}

// The version is the project's, set once in CMakeLists.txt; the help lists
// the option. With anything after it, it is a bad argument like any other.
TEST_F(CoefsCommand, VersionIsTheProjectVersion) {
  const RunResult r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "dorvenk-coefs " DORVENK_EXPECTED_VERSION "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.files_left.empty());
  EXPECT_NE(run({"--help"}).out.find("--version"), std::string::npos);
  const RunResult extra = run({"--version", "2"});
  EXPECT_EQ(extra.status, 2);
  EXPECT_EQ(extra.out, "");
}

// Output that cannot be written is a failure, not a silent success.
TEST_F(CoefsCommand, FullOutputDeviceGivesStatus1) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const char* arg : {"100", "--help", "--version"}) {
    const RunResult r = run({arg}, "/dev/full");
    EXPECT_EQ(r.status, 1) << arg;
    EXPECT_EQ(r.err, "\adorvenk-coefs: cannot write to standard output\n") << arg;
  }
}

TEST(CoefsParseOrder, AcceptsOnlyWholeNumbersFrom1To100) {
  const struct {
    const char* text;
    int order;
  } cases[] = {
      {"1", 1},    {"2", 2},    {"99", 99}, {"100", 100}, {"007", 7},  {"0100", 100}, {"0", 0},
      {"101", 0},  {"1000", 0}, {"-1", 0},  {"+1", 0},    {"1.0", 0},  {"1e1", 0},    {" 1", 0},
      {"1 ", 0},   {"", 0},     {"x1", 0},  {"1x", 0},    {"0x10", 0}, {"4294967297", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_order(c.text), c.order) << "\"" << c.text << "\"";
  EXPECT_EQ(parse_order(nullptr), 0);
}

// For every order: 2N lines, each a 17-significant-digit number that reads
// back as exactly the table's double, which is what the tool's "%lf" reads.
TEST(CoefsOutputFormat, EveryOrderReadsBackAsTheSameDoubles) {
  for (int order = 1; order <= MAX_COEFS_ORDER; ++order) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    const std::span<const double> h = daubechies_coefficients(order);
    EXPECT_TRUE(write_coefficients(h, out));
    std::fclose(out);

    const std::string text(buffer, size);
    std::free(buffer);
    std::size_t start = 0;
    for (std::size_t k = 0; k < h.size(); ++k) {
      const std::size_t end = text.find('\n', start);
      ASSERT_NE(end, std::string::npos) << "N = " << order << ", k = " << k;
      const std::string line = text.substr(start, end - start);
      char* stop = nullptr;
      EXPECT_EQ(std::strtod(line.c_str(), &stop), h[k]) << "N = " << order << ": " << line;
      EXPECT_EQ(*stop, '\0') << line;
      // 17 significant digits: count the digits of the mantissa without
      // leading zeros
      const std::string mantissa = line.substr(0, line.find('e'));
      int digits = 0;
      bool leading = true;
      for (const char c : mantissa) {
        if (c < '0' || c > '9') continue;
        if (c != '0') leading = false;
        if (!leading) ++digits;
      }
      EXPECT_LE(digits, 17) << line;
      start = end + 1;
    }
    EXPECT_EQ(start, text.size()) << "N = " << order;
  }
}

}  // namespace
}  // namespace dorvenk
