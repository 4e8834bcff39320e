// dorvenk-noise from outside: the built command run in a temporary working
// directory, in a session of its own without a controlling terminal, with
// standard input from /dev/null; stdout, stderr and the exit status compared.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace dorvenk {
namespace {

namespace fs = std::filesystem;
using RunResult = test_support::CommandResult;

// A fresh temporary directory holding "work" (the command's working
// directory) and "capture" (its stdout and stderr), removed at the end.
class NoiseCommand : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path().empty());
    root = temp.path();
    fs::create_directory(root / "work");
    fs::create_directory(root / "capture");
  }

  void write_file(const std::string& name, const std::string& content) {
    test_support::write_file(root / "work" / name, content);
  }

  // Runs the command with `args` in root/work; stdout goes to `stdout_path` if given.
  RunResult run(const std::vector<std::string>& args, const char* stdout_path = nullptr) {
    return test_support::run_command(DORVENK_NOISE_TOOL, args, root / "work", root / "capture", stdout_path);
  }

  test_support::TempDir temp{"dorvenk-noise-test"};
  fs::path root;
};

// Haar details of (2 2 4 2 0 4 8 0 1 1) are 0, 2h, -4h, 8h, 0 with
// h = 0.70710678118654757: the median 2h = sqrt(2) divided by
// 0.6744897501960817 (see MadNoise.HaarSeriesComputedByHand).
TEST_F(NoiseCommand, PrintsTheEstimateOfAHandComputedSeries) {
  write_file("haar.txt", "2 2\n4 2\r\n\n  0 4 8\t0 1 1\n");
  const RunResult r = run({"haar.txt", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2.0967161650150614\n");
  EXPECT_EQ(r.err, "");
  write_file("even.txt", "2 2 4 2 0 4 8 0 1 1 3 3");
  EXPECT_EQ(run({"even.txt", "01"}).out, "1.0483580825075307\n");
  write_file("flat.txt", "5 5 5 5 5 5");
  EXPECT_EQ(run({"flat.txt", "1"}).out, "0\n");
}

// Without N the default order is used; the bundled example stays within
// 10 % of its true noise level 1 for the orders 1, 2, 4, 8 and 100.
TEST_F(NoiseCommand, DefaultOrderAndTheBundledExample) {
  const std::string example = std::string(DORVENK_SOURCE_DIR) + "/examples/doppler.txt";
  const RunResult by_default = run({example});
  EXPECT_EQ(by_default.status, 0);
  EXPECT_EQ(by_default.out, run({example, "4"}).out);
  for (const char* order : {"1", "2", "4", "8", "100"}) {
    const RunResult r = run({example, order});
    ASSERT_EQ(r.status, 0) << order;
    const double sigma = std::stod(r.out);
    EXPECT_NEAR(sigma, 1.0, 0.1) << "N = " << order;
  }
}

TEST_F(NoiseCommand, DataProblemsNameTheFileAndGiveStatus1) {
  std::string max_values;
  for (int i = 0; i < 32768; ++i) max_values += (i % 2 == 0 ? "1\n" : "-1\n");
  write_file("max.txt", max_values);
  write_file("over.txt", max_values + "7\n");
  write_file("empty.txt", "");
  write_file("blank.txt", " \n\t\r\n");
  write_file("one.txt", "3.5\n");
  write_file("word.txt", "1 2\n3 4x5 6\n");
  write_file("comma.txt", "1,2,3\n");
  write_file("escape.txt", "1\n\x1b[2Jgone\n");
  write_file("huge.txt", "1e999 1 2 3\n");
  fs::create_directory(root / "work" / "folder");
  ASSERT_EQ(mkfifo((root / "work" / "pipe").c_str(), 0600), 0);
  write_file(std::string("name\x07.txt"), "");

  EXPECT_EQ(run({"max.txt", "1"}).out, "2.0967161650150614\n");  // every detail is h + h = 2h
  const struct {
    std::string file;
    std::string err;
  } cases[] = {
      {"over.txt", "\adorvenk-noise: over.txt: data over! more than 32768 values\n"},
      {"empty.txt", "\adorvenk-noise: empty.txt: data empty! no number in the file\n"},
      {"blank.txt", "\adorvenk-noise: blank.txt: data empty! no number in the file\n"},
      {"one.txt", "\adorvenk-noise: one.txt: only 1 value; at least 2 are needed\n"},
      {"word.txt", "\adorvenk-noise: word.txt: data error! line 2 is not a number: x5\n"},
      {"comma.txt", "\adorvenk-noise: comma.txt: data error! line 1 is not a number: ,2,3\n"},
      {"escape.txt", "\adorvenk-noise: escape.txt: data error! line 2 is not a number: \\x1B[2Jgone\n"},
      {"huge.txt",
       "\adorvenk-noise: huge.txt: no finite estimate: the values are too large for the wavelet sums\n"},
      {"missing.txt", "\adorvenk-noise: missing.txt: cannot open: No such file or directory\n"},
      {"folder", "\adorvenk-noise: folder: cannot read: it is a directory\n"},
      {"pipe", "\adorvenk-noise: pipe: cannot read: not a regular file\n"},
      {"/dev/null", "\adorvenk-noise: /dev/null: cannot read: not a regular file\n"},
      {std::string("name\x07.txt"), "\adorvenk-noise: name\\x07.txt: data empty! no number in the file\n"},
      // A real read error: the file is regular, but reading it at offset 0
      // fails with EIO.
      {"/proc/self/mem", "\adorvenk-noise: /proc/self/mem: cannot read: Input/output error\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run({c.file});
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_EQ(r.out, "") << c.file;
    EXPECT_EQ(r.err, c.err) << c.file;
  }
}

TEST_F(NoiseCommand, BadArgumentsGetUsageOnStderrAndStatus2) {
  write_file("data.txt", "1 2 3 4\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {""},
      {"", "4"},
      {"data.txt", "0"},
      {"data.txt", "101"},
      {"data.txt", "-1"},
      {"data.txt", "4.0"},
      {"data.txt", ""},
      {"data.txt", "x"},
      {"data.txt", "4", "5"},
      {"-x"},
      {"-"},
      {"--hlep"},
      {"--help", "data.txt"},
      {"data.txt", "--help"},
      {"--version", "1"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "]";
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(r.err.rfind("\adorvenk-noise: ", 0), 0u) << shown << ": " << r.err;
    EXPECT_NE(r.err.find("Usage: dorvenk-noise FILE [N]"), std::string::npos) << shown << ": " << r.err;
  }
  EXPECT_EQ(run({"data.txt", std::string("\x1b]0;x\x07", 6)}).err,
            "\adorvenk-noise: N must be a whole number from 1 to 100, not \"\\x1B]0;x\\x07\"\n"
            "Usage: dorvenk-noise FILE [N]    (N from 1 to 100; dorvenk-noise --help for more)\n");
}

TEST_F(NoiseCommand, HelpAndVersion) {
  const RunResult long_form = run({"--help"});
  EXPECT_EQ(long_form.status, 0);
  EXPECT_EQ(long_form.err, "");
  for (const char* needle : {"Usage: dorvenk-noise FILE [N]", "default 4", "median(|d|) / 0.6744897501960817",
                             "17 significant digits", "midpoint of the two", "dorvenk-noise mydata.txt 8",
                             "| dorvenk", "Exit status"}) {
    EXPECT_NE(long_form.out.find(needle), std::string::npos) << needle;
  }
  EXPECT_EQ(run({"-h"}).out, long_form.out);
  const RunResult version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "dorvenk-noise " DORVENK_EXPECTED_VERSION "\n");
  EXPECT_EQ(version.err, "");
}

// Output that cannot be written is a failure, not a silent success.
TEST_F(NoiseCommand, FullOutputDeviceGivesStatus1) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  write_file("data.txt", "1 2 3 4 5 6 7 8\n");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"data.txt"}, {"--help"}, {"--version"}}) {
    const RunResult r = run(args, "/dev/full");
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, "\adorvenk-noise: cannot write to standard output\n") << args[0];
  }
}

}  // namespace
}  // namespace dorvenk
