// A signal at each phase of a run: the built tool, in a session of its own
// with pipes for its standard streams, gets SIGINT, SIGTERM, SIGHUP or
// SIGQUIT while it waits at a prompt, estimates the noise, or writes a
// scratch file (held there by the fault shim's slow writes). However it
// ends, no scratch file may stay, the earlier result and the earlier run
// log records must be as they were, the log may gain only whole records,
// and the process must end by that very signal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "test_support.hpp"

namespace {

namespace test_support = dorvenk::test_support;
namespace fs = std::filesystem;

constexpr const char* EARLIER_RESULT = "earlier result\n";
constexpr const char* EARLIER_LOG = "12:0:0\nInputfile [ earlier ]\nOutputfile[ earlier-dN.txt ]\n\n";
constexpr const char* RECORD_END = "Outputfile[ wave-dN.txt ]\n\n";

// Answers that reach the engine: order 1 (Haar), noise level typed, 3 levels.
constexpr const char* TO_THE_ENGINE = "wave\n1\n0.5\n0.5\nyes\n0.3\n3\n";

struct Phase {
  const char* name;
  // Written first; then the test waits for `prompt` on standard output.
  const char* answers;
  const char* prompt;
  // Written once the prompt shows, and the signal follows at once.
  const char* last_answer;
  // The file whose writes are slowed; the signal comes once they are.
  const char* slow_file;
  // What is slowed: the writes of `slow_file`, or ("log") every call of the
  // maths library's logarithm.
  const char* slow_op = "write";
};

const Phase PHASES[] = {
    {"file prompt", "", "Please Input Filename\n >", nullptr, nullptr},
    {"dialogue", "wave\n1\n", "p[ 0]=", nullptr, nullptr},
    // The estimate over 32768 values does no I/O; its choice of order takes
    // the logarithm of every order's residual variance, and those calls are
    // slowed instead. The test also checks that the next prompt never showed.
    {"estimator", "wave\n1\n0.5\n0.5\nno\n", "[yes/no]\n >", "yes\n", "", "log"},
    {"decomposition", TO_THE_ENGINE, nullptr, nullptr, "w_tmp"},
    {"reconstruction", TO_THE_ENGINE, nullptr, nullptr, "r_tmp"},
    // The result is written to a temporary file beside its name, whose
    // random part the shim's trailing '*' matches.
    {"result file", TO_THE_ENGINE, nullptr, nullptr, ".dorvenk-*"},
};

const int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

class SignalAtPhase : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_FALSE(outside_.path().empty());
    std::string series;
    for (int i = 0; i < 32768; ++i) series += std::to_string((i * 7919 % 2003) / 1000.0 - 1.0) + "\n";
    series_ = series;
  }

  // Runs one case in a fresh directory and checks everything it leaves.
  void run_case(const Phase& phase, int signal_number) {
    SCOPED_TRACE(std::string(phase.name) + ", signal " + std::to_string(signal_number));
    const fs::path run = dir_ / (std::string("run") + std::to_string(++runs_));
    const fs::path mark = outside_ / (std::string("mark") + std::to_string(runs_));
    const fs::path errors = outside_ / (std::string("stderr") + std::to_string(runs_));
    fs::create_directory(run);
    test_support::write_file(run / "wave.txt", series_);
    test_support::write_file(run / "wave-dN.txt", EARLIER_RESULT);
    test_support::write_file(run / "wavelet_log.txt", EARLIER_LOG);

    int to_tool[2];
    int from_tool[2];
    ASSERT_EQ(pipe(to_tool), 0);
    ASSERT_EQ(pipe(from_tool), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      setsid();
      struct rlimit no_core {0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      if (chdir(run.c_str()) != 0) _exit(120);
      int error_file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (dup2(to_tool[0], 0) < 0 || dup2(from_tool[1], 1) < 0 || dup2(error_file, 2) < 0) _exit(121);
      close(to_tool[1]);
      close(from_tool[0]);
      if (phase.slow_file != nullptr) {
        setenv("LD_PRELOAD", DORVENK_FAULT_SHIM, 1);
        // A tool built with AddressSanitizer wants its runtime first.
        const char* asan = getenv("ASAN_OPTIONS");
        std::string options = asan != nullptr ? std::string(asan) + ":" : std::string();
        setenv("ASAN_OPTIONS", (options + "verify_asan_link_order=0").c_str(), 1);
        setenv("FAULT_FILE", phase.slow_file, 1);
        setenv("FAULT_OP", phase.slow_op, 1);
        setenv("FAULT_DELAY_US", "200000", 1);
        setenv("FAULT_MARK", mark.c_str(), 1);
      }
      execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
      _exit(122);
    }
    close(to_tool[0]);
    close(from_tool[1]);
    const int answers = to_tool[1];
    output_fd_ = from_tool[0];
    output_.clear();

    write_all(answers, phase.answers);
    if (phase.prompt != nullptr) {
      ASSERT_TRUE(wait_for_output(phase.prompt, phase.last_answer != nullptr ? 2 : 1)) << output_;
    }
    std::size_t shown_before_signal = output_.size();
    if (phase.last_answer != nullptr) write_all(answers, phase.last_answer);
    if (phase.slow_file != nullptr) {
      ASSERT_TRUE(wait_for_file(mark)) << "the slow writes never began";
    }
    ASSERT_EQ(kill(pid, signal_number), 0);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    read_output(-1);
    close(answers);
    close(output_fd_);

    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status << "\n" << output_;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    if (phase.last_answer != nullptr) {
      EXPECT_EQ(output_.size(), shown_before_signal) << "the signal came after the phase had ended";
    }
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(run)) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"wave.txt", "wave-dN.txt", "wavelet_log.txt"}));
    EXPECT_EQ(test_support::read_file(run / "wave-dN.txt"), EARLIER_RESULT);
    const std::string log = test_support::read_file(run / "wavelet_log.txt");
    ASSERT_EQ(log.substr(0, std::string(EARLIER_LOG).size()), EARLIER_LOG);
    const std::string added = log.substr(std::string(EARLIER_LOG).size());
    if (!added.empty()) {
      // One whole record: it ends with its last line and a blank line, and
      // holds no other blank line.
      EXPECT_EQ(added.find("\n\n"), added.size() - 2) << added;
      EXPECT_TRUE(added.ends_with(RECORD_END)) << added;
    }
    EXPECT_EQ(test_support::read_file(errors), "");
  }

  static void write_all(int fd, const std::string& text) {
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  // Reads what standard output has; waits up to `wait_ms` for the first
  // bytes (-1: until it closes).
  void read_output(int wait_ms) {
    char buffer[4096];
    struct pollfd ready {output_fd_, POLLIN, 0};
    while (poll(&ready, 1, wait_ms) == 1) {
      ssize_t got = read(output_fd_, buffer, sizeof buffer);
      if (got <= 0) return;
      output_.append(buffer, static_cast<std::size_t>(got));
      wait_ms = 0;
    }
  }

  bool wait_for_output(const std::string& text, int times) {
    for (int i = 0; i < 1000; ++i) {
      read_output(10);
      int found = 0;
      for (auto at = output_.find(text); at != std::string::npos; at = output_.find(text, at + 1)) ++found;
      if (found >= times) return true;
    }
    return false;
  }

  static bool wait_for_file(const fs::path& path) {
    for (int i = 0; i < 2000; ++i) {
      if (fs::exists(path)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  test_support::TempDir dir_{"dorvenk-signal"};
  test_support::TempDir outside_{"dorvenk-signal-marks"};
  std::string series_;
  int output_fd_ = -1;
  std::string output_;
  int runs_ = 0;
};

TEST_F(SignalAtPhase, EachSignalAtEachPhaseLeavesNothingBehind) {
  for (const Phase& phase : PHASES) {
    for (int signal_number : SIGNALS) run_case(phase, signal_number);
  }
}


// A signal ignored when the tool starts (SIGHUP under nohup) stays ignored:
// the run goes on at the file prompt, and "end" ends it with status 0.
TEST_F(SignalAtPhase, SignalIgnoredAtStartStaysIgnored) {
  int to_tool[2];
  int from_tool[2];
  ASSERT_EQ(pipe(to_tool), 0);
  ASSERT_EQ(pipe(from_tool), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setsid();
    if (chdir(dir_.path().c_str()) != 0) _exit(120);
    if (dup2(to_tool[0], 0) < 0 || dup2(from_tool[1], 1) < 0) _exit(121);
    close(to_tool[1]);
    close(from_tool[0]);
    signal(SIGHUP, SIG_IGN);
    execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
    _exit(122);
  }
  close(to_tool[0]);
  close(from_tool[1]);
  output_fd_ = from_tool[0];
  ASSERT_TRUE(wait_for_output("Please Input Filename\n >", 1)) << output_;
  ASSERT_EQ(kill(pid, SIGHUP), 0);
  write_all(to_tool[1], "end\n");
  close(to_tool[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  close(output_fd_);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
