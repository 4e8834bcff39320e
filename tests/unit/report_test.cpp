// The run log record and the result file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "report/result_file.hpp"
#include "report/run_log.hpp"
#include "test_support.hpp"
#include "text/run_files.hpp"
#include "text/whole_file.hpp"

namespace dorvenk {
namespace {

namespace fs = std::filesystem;

// Each test in a fresh empty working directory.
class InTempDir : public test_support::InTempDir {
 protected:
  static std::string slurp(const std::string& name) { return test_support::read_file(name); }
  // The record without its first (time) line.
  static std::string after_time_line(const std::string& text) { return text.substr(text.find('\n') + 1); }
};

using RunLogRecord = InTempDir;

// Shift-JIS bytes of the labels.
const std::string COUNT = "\x83\x66\x81\x5B\x83\x5E\x90\x94=";                        // データ数=
const std::string MEAN = "\x95\xBD\x8B\xCF=";                                         // 平均=
const std::string SD = ", \x95\x57\x8F\x80\x95\xCE\x8D\xB7=";                         // , 標準偏差=
const std::string ORDER = "\x8E\x9F\x90\x94N=";                                       // 次数N=
const std::string NOISE = "\x83\x6D\x83\x43\x83\x59\x82\xCC\x95\x57\x8F\x80\x95\xCE\x8D\xB7=";  // ノイズの標準偏差=
const std::string ESTIMATED = " (\x90\x84\x92\xE8)";                                  // (推定)
const std::string THRESHOLD = "\x8F\x6B\x91\xDE\x82\xB5\x82\xAB\x82\xA2\x92\x6C=";    // 縮退しきい値=
const std::string LEVEL = "\x91\xBD\x8F\x64\x89\xF0\x91\x9C\x93\x78\x83\x8C\x83\x78\x83\x8B=";  // 多重解像度レベル=

std::string head() {
  return "Inputfile [ sample.txt ]\n" + COUNT + "1024\n" + MEAN + "0.0127" + SD + "1.04531\n" + ORDER + "2\n";
}
const std::string TAIL = LEVEL + "5\nOutputfile[ sample-dN.txt ]\n\n";

TEST_F(RunLogRecord, EachBranchWritesItsLines) {
  {
    RunLog log = run_log_begin("sample.txt", 1024, 0.0127, 1.04531, 2);
    run_log_noise_estimated(log, 0.298765, 1.1123926);
    ASSERT_TRUE(run_log_end(log, 5, "sample-dN.txt"));
  }
  {
    RunLog log = run_log_begin("sample.txt", 1024, 0.0127, 1.04531, 2);
    run_log_noise_typed(log, 0.3, 1.1169856);
    ASSERT_TRUE(run_log_end(log, 5, "sample-dN.txt"));
  }
  {
    RunLog log = run_log_begin("sample.txt", 1024, 0.0127, 1.04531, 2);
    run_log_hard_threshold(log, 0.12162500052);
    ASSERT_TRUE(run_log_end(log, 5, "sample-dN.txt"));
  }
  std::string all = slurp(RUN_LOG_NAME);
  std::vector<std::string> records;
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find("\n\n", at) + 2;
    records.push_back(after_time_line(all.substr(at, end - at)));
    at = end;
  }
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], head() + NOISE + "0.298765" + ESTIMATED + "\n" + THRESHOLD + "1.11239\n" + TAIL);
  EXPECT_EQ(records[1], head() + NOISE + "0.3\n" + THRESHOLD + "1.11699\n" + TAIL);
  EXPECT_EQ(records[2], head() + THRESHOLD + "0.121625 [Hard-th.]\n" + TAIL);
}

TEST_F(RunLogRecord, AppendedAfterWhateverTheFileEndsWith) {
  std::ofstream(RUN_LOG_NAME, std::ios::binary) << "no line end";
  RunLog log = run_log_begin("a.txt", 1, 2.0, 0.0, 1);
  run_log_noise_typed(log, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity());
  ASSERT_TRUE(run_log_end(log, 1, "a-dN.txt"));
  std::string all = slurp(RUN_LOG_NAME);
  ASSERT_EQ(all.rfind("no line end", 0), 0u);
  std::string record = all.substr(11);
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(record[0])));
  EXPECT_EQ(after_time_line(record), "Inputfile [ a.txt ]\n" + COUNT + "1\n" + MEAN + "2" + SD + "0\n" + ORDER +
                                         "1\n" + NOISE + "NAN\n" + THRESHOLD + "INF\n" + LEVEL +
                                         "1\nOutputfile[ a-dN.txt ]\n\n");
}

TEST_F(RunLogRecord, NothingReachesTheFileUntilTheRecordEnds) {
  RunLog log = run_log_begin("a.txt", 3, 1.0, 1.0, 1);
  run_log_hard_threshold(log, 0.5);
  EXPECT_EQ(slurp(RUN_LOG_NAME), "");
  run_log_abandon(log);
  EXPECT_EQ(slurp(RUN_LOG_NAME), "");
}

TEST_F(RunLogRecord, LogThatCannotOpenWritesNothing) {
  fs::create_directory(RUN_LOG_NAME);
  RunLog log = run_log_begin("a.txt", 3, 1.0, 1.0, 1);
  EXPECT_FALSE(run_log_opened(log));
  EXPECT_EQ(run_log_error(log), EISDIR);
  run_log_hard_threshold(log, 0.5);
  EXPECT_FALSE(run_log_end(log, 1, "a-dN.txt"));
  EXPECT_TRUE(fs::is_directory(RUN_LOG_NAME));
}

// Sets TZ for one test and puts the old value back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

std::string time_line(std::time_t t, bool local) {
  std::tm fields{};
  if (local) {
    localtime_r(&t, &fields);
  } else {
    gmtime_r(&t, &fields);
  }
  return std::to_string(fields.tm_hour) + ":" + std::to_string(fields.tm_min) + ":" +
         std::to_string(fields.tm_sec) + "\n";
}

TEST_F(RunLogRecord, TimeLineIsTheLocalTime) {
  // Nine and a half hours east of UTC: neither the hour nor the minute of
  // UTC can pass for the local time.
  TimeZone zone("ACST-9:30");
  std::time_t before = std::time(nullptr);
  RunLog log = run_log_begin("a.txt", 3, 1.0, 1.0, 1);
  run_log_hard_threshold(log, 0.5);
  ASSERT_TRUE(run_log_end(log, 1, "a-dN.txt"));
  std::time_t after = std::time(nullptr);
  std::string all = slurp(RUN_LOG_NAME);
  std::string line = all.substr(0, all.find('\n') + 1);
  EXPECT_TRUE(line == time_line(before, true) || line == time_line(after, true))
      << line << time_line(before, true) << time_line(before, false);
  EXPECT_NE(time_line(before, true), time_line(before, false));
}

TEST(RunLogTime, FieldsAreNotPadded) {
  const struct {
    int h, m, s;
    const char* text;
  } cases[] = {{9, 5, 3, "9:5:3\n"}, {0, 0, 0, "0:0:0\n"}, {23, 59, 59, "23:59:59\n"}, {14, 7, 3, "14:7:3\n"}};
  for (const auto& c : cases) {
    std::tm local{};
    local.tm_hour = c.h;
    local.tm_min = c.m;
    local.tm_sec = c.s;
    std::string line;
    append_time_line(line, local);
    EXPECT_EQ(line, c.text);
  }
}

using ResultFile = InTempDir;

// The digest the first reading of a data file holding these values gives.
SeriesDigest first_reading_of(const std::vector<double>& values) {
  return digest_series(values, static_cast<int>(values.size()));
}

TEST_F(ResultFile, RowsFromSecondReadingAndFullValues) {
  std::ofstream("in.txt") << "0.8120\n1.2e-1 0.1234564\n5 7 trailing words are not read";
  std::vector<double> denoised{0.745623, 0.12, 0.1234556, 5.0};
  ResultOutcome outcome =
      write_result_file("in.txt", "in-dN.txt", denoised, 4, 3, 2, first_reading_of({0.812, 0.12, 0.1234564, 5}));
  ASSERT_FALSE(outcome.failure.failed());
  EXPECT_FALSE(outcome.data_changed);
  EXPECT_EQ(slurp("in-dN.txt"),
            " input L3_N2_denoise noise\n"
            "0 0.812 0.745623 0.066377\n"
            "1 0.12 0.12 0\n"
            "2 0.123456 0.123456 8E-07\n"
            "3 5 5 0\n");
}

TEST_F(ResultFile, ShorterDataFileStillGetsEveryRow) {
  std::ofstream("in.txt") << "1 2";
  std::vector<double> denoised{1.0, 2.0, 3.0};
  ResultOutcome outcome = write_result_file("in.txt", "out.txt", denoised, 3, 1, 1, first_reading_of({1, 2, 3}));
  ASSERT_FALSE(outcome.failure.failed());
  EXPECT_TRUE(outcome.data_changed);
  EXPECT_EQ(slurp("out.txt"), " input L1_N1_denoise noise\n0 1 1 0\n1 2 2 0\n2 NAN 3 NAN\n");
}

TEST_F(ResultFile, ReplacesAnEarlierLongerResult) {
  std::ofstream("in.txt") << "4";
  std::ofstream("out.txt") << std::string(1000, 'x');
  std::vector<double> denoised{4.0};
  ASSERT_FALSE(write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, first_reading_of({4})).failure.failed());
  EXPECT_EQ(slurp("out.txt"), " input L1_N1_denoise noise\n0 4 4 0\n");
}

TEST_F(ResultFile, FailuresNameTheFile) {
  std::vector<double> denoised{4.0};
  const SeriesDigest four = first_reading_of({4});
  FileFailure missing = write_result_file("gone.txt", "out.txt", denoised, 1, 1, 1, four).failure;
  EXPECT_EQ(missing.file, "gone.txt");
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_FALSE(fs::exists("out.txt"));

  std::ofstream("in.txt") << "4";
  fs::create_directory("out.txt");
  FileFailure directory = write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, four).failure;
  EXPECT_EQ(directory.file, "out.txt");
  EXPECT_EQ(directory.error, EISDIR);

  fs::create_symlink("/dev/full", "full.txt");
  FileFailure full = write_result_file("in.txt", "full.txt", denoised, 1, 1, 1, four).failure;
  EXPECT_EQ(full.file, "full.txt");
  EXPECT_EQ(full.error, ENOSPC);
}

TEST_F(ResultFile, DataFileChangedBetweenTheReadingsIsToldAfterEveryRow) {
  // The first reading gave 1, 2, 3, 4; then the file was changed.
  const SeriesDigest first = first_reading_of({1, 2, 3, 4});
  const struct {
    const char* now;
    bool changed;
  } cases[] = {
      {"1 2 3 4", false},
      {"1.0\n2e0 +3 4.000", false},   // the same values in other words
      {"1 2 3 4 5 6", false},         // values after the n-th are not read
      {"", true},                     // emptied
      {"1 2 3", true},                // cut short
      {"1 2 3 5", true},              // another number, same count
      {"2 1 3 4", true},              // the same numbers in another order
      {"1 2 3 4.0000000000000001", false},  // the same double
      {"1 2 3 4.000000000000001", true},    // one bit apart
      {"1 2 -0 4", true},             // -0 is not 3, nor is 0 the same bits as -0
      {"1 2 x 4", true},              // no number where a number was
  };
  const std::vector<double> denoised{1, 2, 3, 4};
  for (const auto& c : cases) {
    std::ofstream("in.txt", std::ios::trunc) << c.now;
    ResultOutcome outcome = write_result_file("in.txt", "out.txt", denoised, 4, 1, 1, first);
    EXPECT_FALSE(outcome.failure.failed()) << c.now;
    EXPECT_EQ(outcome.data_changed, c.changed) << c.now;
    // Every row is written whatever the data file holds now.
    std::string written = slurp("out.txt");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 5) << c.now;
  }
  // A zero where the first reading had minus zero: equal values, other bits.
  std::ofstream("in.txt", std::ios::trunc) << "0";
  EXPECT_TRUE(write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, first_reading_of({-0.0})).data_changed);
}

TEST_F(ResultFile, NeverWritesThroughANameThatLeadsToTheDataFile) {
  const std::string data = "0.5 1.5 2.5\n";
  test_support::write_file("in.txt", data);
  fs::create_symlink("in.txt", "sym-dN.txt");
  fs::create_hard_link("in.txt", "hard-dN.txt");
  std::vector<double> denoised{0, 1, 2};
  for (const char* result : {"sym-dN.txt", "hard-dN.txt"}) {
    ResultOutcome outcome = write_result_file("in.txt", result, denoised, 3, 1, 1, first_reading_of({0.5, 1.5, 2.5}));
    EXPECT_EQ(outcome.failure.file, result);
    EXPECT_EQ(outcome.failure.error, SAME_AS_DATA_FILE);
    EXPECT_EQ(reason(outcome.failure.error), "same file as the data file");
    EXPECT_EQ(slurp("in.txt"), data) << result;
  }
  EXPECT_TRUE(fs::is_symlink("sym-dN.txt"));
}

TEST_F(ResultFile, DataFileThatIsNoLongerARegularFileFailsBeforeWriting) {
  std::vector<double> denoised{1};
  fs::create_directory("dir.txt");
  ASSERT_EQ(::mkfifo("fifo.txt", 0600), 0);
  for (const char* name : {"dir.txt", "fifo.txt"}) {
    FileFailure failure = write_result_file(name, "out.txt", denoised, 1, 1, 1, first_reading_of({1})).failure;
    EXPECT_EQ(failure.file, name);
    EXPECT_EQ(failure.error, NOT_REGULAR_FILE);
    EXPECT_EQ(reason(failure.error), "not a regular file");
    EXPECT_FALSE(fs::exists("out.txt"));
  }
}

mode_t mode_of(const char* name) {
  struct stat info {};
  EXPECT_EQ(::stat(name, &info), 0) << name;
  return info.st_mode & 07777;
}

const std::string EARLIER = "an earlier result\n";
const std::string RESULT = " input L1_N1_denoise noise\n0 4 4 0\n";

// The result replaces a regular file whole, keeps its permission bits, and
// leaves no temporary file beside it.
TEST_F(ResultFile, ReplacesAFileAndKeepsItsMode) {
  std::ofstream("in.txt") << "4";
  std::vector<double> denoised{4.0};
  for (mode_t mode : std::initializer_list<mode_t>{0640, 0600, 0664, 0604}) {
    test_support::write_file("out.txt", EARLIER);
    ASSERT_EQ(::chmod("out.txt", mode), 0);
    ASSERT_FALSE(write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, SeriesDigest{}).failure.failed());
    EXPECT_EQ(slurp("out.txt"), RESULT);
    EXPECT_EQ(mode_of("out.txt"), mode);
    EXPECT_EQ(entries(), (std::set<std::string>{"in.txt", "out.txt"}));
  }
  // A new file gets 0666 without the bits of the creation mask, not the
  // 0600 its temporary file was made with.
  const mode_t mask = creation_mask();
  fs::remove("out.txt");
  ASSERT_FALSE(write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, SeriesDigest{}).failure.failed());
  EXPECT_EQ(mode_of("out.txt"), 0666 & ~mask);
  EXPECT_EQ(mode_of("out.txt") & 0066, 0066 & ~mask);
}

// A write-protected result stays as it is, as opening it for writing would
// refuse (not for root, whom no mode stops).
TEST_F(ResultFile, AWriteProtectedResultIsKept) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes any file";
  std::ofstream("in.txt") << "4";
  std::vector<double> denoised{4.0};
  test_support::write_file("out.txt", EARLIER);
  ASSERT_EQ(::chmod("out.txt", 0444), 0);
  FileFailure refused = write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, SeriesDigest{}).failure;
  EXPECT_EQ(refused.file, "out.txt");
  EXPECT_EQ(refused.error, EACCES);
  EXPECT_EQ(slurp("out.txt"), EARLIER);
  EXPECT_EQ(entries(), (std::set<std::string>{"in.txt", "out.txt"}));
}

// A symbolic link to a regular file, also through a chain of relative links
// into another directory, receives the result at its target and stays a
// link; another name of the old file (a hard link) keeps the old content.
TEST_F(ResultFile, LinksToRegularFilesReceiveTheResultAtTheirTarget) {
  std::ofstream("in.txt") << "4";
  std::vector<double> denoised{4.0};
  fs::create_directory("keep");
  test_support::write_file("keep/real.txt", EARLIER);
  fs::create_symlink("real.txt", "keep/link.txt");
  fs::create_symlink("keep/link.txt", "out.txt");
  ASSERT_FALSE(write_result_file("in.txt", "out.txt", denoised, 1, 1, 1, SeriesDigest{}).failure.failed());
  EXPECT_TRUE(fs::is_symlink("out.txt"));
  EXPECT_TRUE(fs::is_symlink("keep/link.txt"));
  EXPECT_EQ(slurp("keep/real.txt"), RESULT);
  EXPECT_EQ(entries(), (std::set<std::string>{"in.txt", "out.txt", "keep"}));
  std::set<std::string> in_keep;
  for (const auto& entry : fs::directory_iterator("keep")) in_keep.insert(entry.path().filename().string());
  EXPECT_EQ(in_keep, (std::set<std::string>{"real.txt", "link.txt"}));

  // A dangling link makes its target, as opening it would.
  fs::create_symlink("made.txt", "new.txt");
  ASSERT_FALSE(write_result_file("in.txt", "new.txt", denoised, 1, 1, 1, SeriesDigest{}).failure.failed());
  EXPECT_TRUE(fs::is_symlink("new.txt"));
  EXPECT_EQ(slurp("made.txt"), RESULT);

  test_support::write_file("old.txt", EARLIER);
  fs::create_hard_link("old.txt", "hard.txt");
  ASSERT_FALSE(write_result_file("in.txt", "hard.txt", denoised, 1, 1, 1, SeriesDigest{}).failure.failed());
  EXPECT_EQ(slurp("hard.txt"), RESULT);
  EXPECT_EQ(slurp("old.txt"), EARLIER);

  // A loop of links names no file.
  fs::create_symlink("loop_b", "loop_a");
  fs::create_symlink("loop_a", "loop_b");
  EXPECT_EQ(write_result_file("in.txt", "loop_a", denoised, 1, 1, 1, SeriesDigest{}).failure.error, ELOOP);
}

// A device, or a link to one, is written directly and stays what it is.
TEST_F(ResultFile, DevicesAreWrittenDirectly) {
  if (!fs::exists("/dev/null")) GTEST_SKIP() << "/dev/null is missing";
  std::ofstream("in.txt") << "4";
  std::vector<double> denoised{4.0};
  fs::create_symlink("/dev/null", "null.txt");
  ASSERT_FALSE(write_result_file("in.txt", "null.txt", denoised, 1, 1, 1, SeriesDigest{}).failure.failed());
  EXPECT_TRUE(fs::is_symlink("null.txt"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(entries(), (std::set<std::string>{"in.txt", "null.txt"}));
}

// Every failure after the temporary file is made removes it, and the name
// keeps the earlier file.
TEST_F(ResultFile, AFailureLeavesTheEarlierFileAndNoTemporary) {
  std::ofstream("in.txt") << "4";
  test_support::write_file("out.txt", EARLIER);
  {
    WholeFile file;
    ASSERT_TRUE(open_whole(file, "out.txt"));
    put(file.out, "half a resu");
    flush_out(file.out);
    EXPECT_EQ(entries().size(), 3u);  // in.txt, out.txt and the temporary
    // Goes out of scope uncommitted, as on an early return.
  }
  EXPECT_EQ(entries(), (std::set<std::string>{"in.txt", "out.txt"}));
  EXPECT_EQ(slurp("out.txt"), EARLIER);

  // The name became a directory while the file was written: the rename fails.
  {
    WholeFile file;
    ASSERT_TRUE(open_whole(file, "moved.txt"));
    put(file.out, RESULT);
    fs::create_directory("moved.txt");
    test_support::write_file("moved.txt/inside", "x");
    EXPECT_FALSE(commit_whole(file));
    EXPECT_EQ(file.out.error, EISDIR);
  }
  EXPECT_EQ(entries(), (std::set<std::string>{"in.txt", "out.txt", "moved.txt"}));
}

// While it exists, the temporary file is among the files a signal removes;
// once renamed into place it no longer is.
TEST_F(ResultFile, TheTemporaryIsRemovedAtASignal) {
  test_support::write_file("out.txt", EARLIER);
  {
    WholeFile file;
    ASSERT_TRUE(open_whole(file, "out.txt"));
    put(file.out, RESULT);
    flush_out(file.out);
    ASSERT_TRUE(fs::exists(file.temporary));
    remove_remembered_files();  // what the handler of an ending signal does
    EXPECT_EQ(entries(), std::set<std::string>{"out.txt"});
    EXPECT_EQ(slurp("out.txt"), EARLIER);
  }
  {
    WholeFile file;
    ASSERT_TRUE(open_whole(file, "out.txt"));
    put(file.out, RESULT);
    ASSERT_TRUE(commit_whole(file));
  }
  test_support::write_file(".dorvenk-later", "another run's file\n");
  remove_remembered_files();
  EXPECT_EQ(entries(), (std::set<std::string>{"out.txt", ".dorvenk-later"}));
  EXPECT_EQ(slurp("out.txt"), RESULT);
}

}  // namespace
}  // namespace dorvenk
