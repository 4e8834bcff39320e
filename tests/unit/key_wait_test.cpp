// The key wait at the end of a run, driven through a pseudo-terminal: the
// built tool runs with the terminal as its console and a file as its
// standard input, as a user who pipes answers in would run it.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "test_support.hpp"

namespace {

namespace test_support = dorvenk::test_support;

class KeyWait : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    test_support::write_file(dir_ / "wave.txt", "1 2 3 4\n");
    test_support::write_file(dir_ / "answers", "wave 1 0.5 0.5 no no 1\n");
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
  }

  // Starts the tool on a new pseudo-terminal, standard input from the answers.
  void start(const char* locale = "C") {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      unsetenv("LC_ALL");
      unsetenv("LC_CTYPE");
      setenv("LANG", locale, 1);
      if (chdir(dir_.path().c_str()) != 0) _exit(120);
      int answers = open("answers", O_RDONLY);
      if (answers < 0 || dup2(answers, 0) < 0) _exit(121);
      execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
      _exit(122);
    }
  }

  // Reads the terminal's output until the mode shows the wait has begun
  // (echo off); false if the tool ended or nothing happened for a long while.
  bool wait_until_waiting() {
    for (int i = 0; i < 2000; ++i) {
      drain_output();
      struct termios mode;
      if (tcgetattr(master_, &mode) == 0 && !(mode.c_lflag & ECHO)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  void drain_output() {
    char buffer[4096];
    struct pollfd ready {master_, POLLIN, 0};
    while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN)) {
      ssize_t got = read(master_, buffer, sizeof buffer);
      if (got <= 0) break;
      output_.append(buffer, static_cast<std::size_t>(got));
    }
  }

  int wait_exit() {
    int status = 0;
    for (;;) {
      drain_output();
      pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  void expect_cooked_mode() {
    struct termios mode;
    ASSERT_EQ(tcgetattr(master_, &mode), 0);
    EXPECT_TRUE(mode.c_lflag & ECHO);
    EXPECT_TRUE(mode.c_lflag & ICANON);
    EXPECT_TRUE(mode.c_lflag & ISIG);
  }

  test_support::TempDir dir_{"dorvenk-keywait"};
  int master_ = -1;
  pid_t pid_ = -1;
  std::string output_;
};

TEST_F(KeyWait, OneKeyEndsTheRunAndTheModeComesBack) {
  start();
  ASSERT_TRUE(wait_until_waiting());
  EXPECT_NE(output_.find("Outputfile > [ wave-dN.txt ]"), std::string::npos);
  ASSERT_EQ(write(master_, "x", 1), 1);
  int status = wait_exit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expect_cooked_mode();
}

TEST_F(KeyWait, TerminalWithUtf8LocaleGetsUtf8Text) {
  start("C.UTF-8");
  ASSERT_TRUE(wait_until_waiting());
  EXPECT_NE(output_.find("[完了]"), std::string::npos);
  ASSERT_EQ(write(master_, "x", 1), 1);
  wait_exit();
}

TEST_F(KeyWait, TerminalWithShiftJisLocaleGetsShiftJis) {
  start("ja_JP.SJIS");
  ASSERT_TRUE(wait_until_waiting());
  EXPECT_NE(output_.find("[\x8A\xAE\x97\xB9]"), std::string::npos);
  ASSERT_EQ(write(master_, "x", 1), 1);
  wait_exit();
}

TEST_F(KeyWait, ControlCIsAKeyNotAnInterrupt) {
  start();
  ASSERT_TRUE(wait_until_waiting());
  ASSERT_EQ(write(master_, "\x03", 1), 1);
  int status = wait_exit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expect_cooked_mode();
}

TEST_F(KeyWait, AllBytesOfAnArrowKeyAreTaken) {
  start();
  ASSERT_TRUE(wait_until_waiting());
  int slave = open(ptsname(master_), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  ASSERT_EQ(write(master_, "\x1b[A", 3), 3);
  int status = wait_exit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  int unread = -1;
  ASSERT_EQ(ioctl(slave, FIONREAD, &unread), 0);
  EXPECT_EQ(unread, 0) << "the rest of the key would reach the shell";
  close(slave);
  expect_cooked_mode();
}

TEST_F(KeyWait, ModeComesBackWhenStoppedBySignal) {
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    start();
    ASSERT_TRUE(wait_until_waiting());
    ASSERT_EQ(kill(pid_, signal_number), 0);
    int status = wait_exit();
    ASSERT_TRUE(WIFSIGNALED(status)) << signal_number;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    expect_cooked_mode();
    close(master_);
    master_ = -1;
  }
}

}  // namespace
