// The key wait at the end of a run, driven through a pseudo-terminal: the
// built tool runs with the terminal as its console and a file as its
// standard input, as a user who pipes answers in would run it.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
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
      // SIGQUIT would leave a core file.
      struct rlimit no_core {0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
      _exit(122);
    }
  }

  // Starts the tool as a job in the foreground of the terminal's session,
  // as a shell with job control does: in a process group of its own, with
  // the session leader still there, so that SIGTSTP can stop it (a stop
  // signal to a group without a parent in the session is dropped). The
  // leader reports each change of the tool's state through `job_states_`;
  // `pid_` is the tool.
  void start_as_job() {
    int states[2];
    ASSERT_EQ(pipe(states), 0);
    const pid_t leader = forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(leader, 0);
    if (leader == 0) {
      close(states[0]);
      const pid_t tool = fork();
      if (tool < 0) _exit(123);
      if (tool == 0) {
        close(states[1]);
        if (chdir(dir_.path().c_str()) != 0) _exit(120);
        int answers = open("answers", O_RDONLY);
        if (answers < 0 || dup2(answers, 0) < 0) _exit(121);
        signal(SIGTTOU, SIG_IGN);
        setpgid(0, 0);
        tcsetpgrp(STDERR_FILENO, getpgrp());
        signal(SIGTTOU, SIG_DFL);
        execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
        _exit(122);
      }
      if (write(states[1], &tool, sizeof tool) != sizeof tool) _exit(124);
      for (;;) {
        int status = 0;
        if (waitpid(tool, &status, WUNTRACED | WCONTINUED) < 0) {
          if (errno == EINTR) continue;
          _exit(125);
        }
        if (write(states[1], &status, sizeof status) != sizeof status) _exit(124);
        if (WIFEXITED(status) || WIFSIGNALED(status)) _exit(0);
      }
    }
    close(states[1]);
    leader_ = leader;
    job_states_ = states[0];
    pid_t tool = -1;
    ASSERT_EQ(read(job_states_, &tool, sizeof tool), static_cast<ssize_t>(sizeof tool));
    pid_ = tool;
  }

  // The next state the leader reports for the job.
  int next_job_state() {
    int status = -1;
    for (int i = 0; i < 2000; ++i) {
      drain_output();
      struct pollfd ready {job_states_, POLLIN, 0};
      if (poll(&ready, 1, 5) == 1) {
        if (read(job_states_, &status, sizeof status) != static_cast<ssize_t>(sizeof status)) return -1;
        return status;
      }
    }
    return -1;
  }

  void end_job() {
    if (job_states_ >= 0) close(job_states_);
    job_states_ = -1;
    if (leader_ > 0) {
      int status = 0;
      waitpid(leader_, &status, 0);
    }
    leader_ = -1;
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
  pid_t leader_ = -1;
  int job_states_ = -1;
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
  // Every signal whose default action ends the process, from outside.
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGRTMIN + 3}) {
    start();
    ASSERT_TRUE(wait_until_waiting());
    ASSERT_EQ(kill(pid_, signal_number), 0);
    int status = wait_exit();
    ASSERT_TRUE(WIFSIGNALED(status)) << signal_number;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    expect_cooked_mode();
    // The hint is taken off the screen as the key would have.
    drain_output();
    EXPECT_TRUE(output_.ends_with("\r               \r")) << signal_number;
    close(master_);
    master_ = -1;
  }
}

TEST_F(KeyWait, ClosedPipeSignalDoesNotEndTheWait) {
  // SIGPIPE is ignored, so that a closed pipe shows as a failed write.
  start();
  ASSERT_TRUE(wait_until_waiting());
  ASSERT_EQ(kill(pid_, SIGPIPE), 0);
  ASSERT_EQ(write(master_, "x", 1), 1);
  int status = wait_exit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expect_cooked_mode();
}

TEST_F(KeyWait, StoppedTheModeComesBackAndContinuedTheWaitGoesOn) {
  start_as_job();
  ASSERT_TRUE(wait_until_waiting());
  ASSERT_EQ(kill(pid_, SIGTSTP), 0);
  int state = next_job_state();
  ASSERT_TRUE(WIFSTOPPED(state)) << state;
  EXPECT_EQ(WSTOPSIG(state), SIGTSTP);
  expect_cooked_mode();

  ASSERT_EQ(kill(pid_, SIGCONT), 0);
  state = next_job_state();
  ASSERT_TRUE(WIFCONTINUED(state)) << state;
  ASSERT_TRUE(wait_until_waiting()) << "the one-key mode did not come back";
  ASSERT_EQ(write(master_, "x", 1), 1);
  state = next_job_state();
  ASSERT_TRUE(WIFEXITED(state)) << state;
  EXPECT_EQ(WEXITSTATUS(state), 0);
  expect_cooked_mode();
  end_job();
}

}  // namespace
