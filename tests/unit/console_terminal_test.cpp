// The console on the user's terminal: which encoding its texts get, and
// what the terminal itself is told (the key wait's hint, the note on
// redirected output). The rules are tested as functions; the built tool is
// then driven through a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "console/terminal.hpp"
#include "test_support.hpp"

namespace dorvenk {
namespace {

namespace test_support = dorvenk::test_support;

TEST(ConsoleEncoding, TerminalLocaleAndOverride) {
  constexpr auto utf8 = Encoding::utf8;
  constexpr auto sjis = Encoding::shift_jis;
  const struct {
    bool terminal;
    std::string_view override_value, codeset;
    Encoding expected;
  } cases[] = {
      // On a terminal: the locale's codeset.
      {true, "", "UTF-8", utf8},
      {true, "", "ANSI_X3.4-1968", utf8},  // C and POSIX
      {true, "", "", utf8},
      {true, "", "EUC-JP", utf8},
      {true, "", "SHIFT_JIS", sjis},
      {true, "", "Shift-JIS", sjis},
      {true, "", "SJIS", sjis},
      {true, "", "cp932", sjis},
      {true, "", "WINDOWS-31J", sjis},
      {true, "", "PCK", sjis},
      // Off a terminal: Shift-JIS whatever the locale.
      {false, "", "UTF-8", sjis},
      {false, "", "", sjis},
      // The override decides in both places, in its every spelling.
      {false, "utf-8", "", utf8},
      {false, "UTF8", "", utf8},
      {false, "Utf_8", "", utf8},
      {true, "shift-jis", "UTF-8", sjis},
      {true, "SHIFT_JIS", "UTF-8", sjis},
      {true, "sjis", "UTF-8", sjis},
      {true, "CP932", "UTF-8", sjis},
      {true, "utf-8", "SJIS", utf8},
      // A value that names no encoding is ignored.
      {true, "latin-1", "UTF-8", utf8},
      {true, "utf-16", "SJIS", sjis},
      {false, "windows-31j", "", sjis},
      {false, "utf", "", sjis},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(choose_console_encoding(c.terminal, c.override_value, c.codeset), c.expected)
        << c.terminal << " [" << c.override_value << "] [" << c.codeset << "]";
  }
  EXPECT_FALSE(encoding_named("").has_value());
  EXPECT_FALSE(encoding_named("latin-1").has_value());
  EXPECT_EQ(encoding_named("sHiFt-JiS"), sjis);
}

// Sets the locale variables for one test and puts the old values back.
class LocaleVariables : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : NAMES) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value == nullptr ? std::nullopt : std::optional<std::string>(value));
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }
  static constexpr const char* NAMES[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(LocaleVariables, CodesetOfTheLocaleTheEnvironmentNames) {
  const struct {
    const char *lc_all, *lc_ctype, *lang, *codeset;
  } cases[] = {
      {nullptr, nullptr, nullptr, "ANSI_X3.4-1968"},  // nothing set: the C locale
      {nullptr, nullptr, "C", "ANSI_X3.4-1968"},
      {nullptr, nullptr, "POSIX", "ANSI_X3.4-1968"},
      {nullptr, nullptr, "C.UTF-8", "UTF-8"},
      {"C", nullptr, "C.UTF-8", "ANSI_X3.4-1968"},  // LC_ALL first
      {"", "C.UTF-8", "C", "UTF-8"},               // an empty one does not count
      // A locale that is not installed: the codeset its name gives.
      {nullptr, nullptr, "xx_XX.SJIS", "SJIS"},
      {nullptr, "xx_XX.Shift_JIS@dorvenk", "C", "Shift_JIS"},
      {nullptr, nullptr, "xx_XX", ""},
  };
  for (const auto& c : cases) {
    for (const char* name : NAMES) unsetenv(name);
    if (c.lc_all) setenv("LC_ALL", c.lc_all, 1);
    if (c.lc_ctype) setenv("LC_CTYPE", c.lc_ctype, 1);
    if (c.lang) setenv("LANG", c.lang, 1);
    EXPECT_EQ(environment_codeset(), c.codeset) << (c.lc_all ? c.lc_all : "-") << " "
                                                << (c.lc_ctype ? c.lc_ctype : "-") << " " << (c.lang ? c.lang : "-");
  }
}

// ---- The built tool on a pseudo-terminal ----

const std::string ANSWERS = "wave 1 0.5 0.5 no no 1\n";
// "[完了]" as the tool writes it in each encoding.
const std::string DONE_UTF8 = "[\xe5\xae\x8c\xe4\xba\x86]";
const std::string DONE_SHIFT_JIS = "[\x8a\xae\x97\xb9]";
const std::string HINT = "(press any key)";
const std::string HINT_ERASED = "\r" + std::string(HINT.size(), ' ') + "\r";
const std::string REDIRECT_NOTE = "dorvenk: standard output is redirected, so the prompts go there; type the answers here";

struct Launch {
  // Variables set for the tool; LC_ALL, LC_CTYPE, LANG and DORVENK_ENCODING
  // are unset otherwise.
  std::vector<std::pair<std::string, std::string>> env;
  // Standard input from the file "answers"; else the terminal.
  bool answers_from_file = true;
  // Standard output to the file "stdout"; else the terminal.
  bool output_to_file = false;
};

class TerminalConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    test_support::write_file(dir_ / "wave.txt", "1 2 3 4\n");
    test_support::write_file(dir_ / "answers", ANSWERS);
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
  }

  // Starts the tool on a new pseudo-terminal, its controlling terminal.
  void start(const Launch& launch) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "DORVENK_ENCODING"}) unsetenv(name);
      for (const auto& [name, value] : launch.env) setenv(name.c_str(), value.c_str(), 1);
      if (chdir(dir_.path().c_str()) != 0) _exit(120);
      if (launch.answers_from_file) {
        int answers = open("answers", O_RDONLY);
        if (answers < 0 || dup2(answers, 0) < 0) _exit(121);
      }
      if (launch.output_to_file) {
        int out = open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0) _exit(121);
      }
      execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
      _exit(122);
    }
  }

  // The same answers without any terminal (a new session, as a batch job
  // runs): the standard output the tool has always written.
  std::string output_without_terminal() {
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "DORVENK_ENCODING"}) unsetenv(name);
      if (chdir(dir_.path().c_str()) != 0) _exit(120);
      int answers = open("answers", O_RDONLY);
      int out = open("reference", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (answers < 0 || out < 0 || dup2(answers, 0) < 0 || dup2(out, 1) < 0) _exit(121);
      execl(DORVENK_TOOL, DORVENK_TOOL, static_cast<char*>(nullptr));
      _exit(122);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return test_support::read_file(dir_ / "reference");
  }

  // Reads the terminal until `done` holds or a long while passed.
  template <typename Done>
  bool read_until(Done done) {
    for (int i = 0; i < 2000; ++i) {
      drain_output();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Until the key wait has begun (echo off).
  bool wait_until_waiting() {
    return read_until([&] {
      struct termios mode;
      return tcgetattr(master_, &mode) == 0 && !(mode.c_lflag & ECHO);
    });
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

  // Presses a key and waits for the tool to end with status 0.
  void press_key_and_end() {
    ASSERT_EQ(write(master_, "x", 1), 1);
    int status = 0;
    ASSERT_TRUE(read_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }));
    drain_output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  test_support::TempDir dir_{"dorvenk-terminal"};
  int master_ = -1;
  pid_t pid_ = -1;
  std::string output_;
};

TEST_F(TerminalConsole, EncodingOnTheTerminalFollowsTheLocaleAndTheOverride) {
  const struct {
    std::vector<std::pair<std::string, std::string>> env;
    const std::string& done;
  } cases[] = {
      {{{"LANG", "C"}}, DONE_UTF8},  // the C locale, as over ssh or in a container
      {{{"LC_ALL", "POSIX"}, {"LANG", "xx_XX.SJIS"}}, DONE_UTF8},
      {{}, DONE_UTF8},
      {{{"LANG", "C.UTF-8"}}, DONE_UTF8},
      {{{"LANG", "xx_XX.SJIS"}}, DONE_SHIFT_JIS},  // not installed: the name says Shift-JIS
      {{{"LANG", "C.UTF-8"}, {"DORVENK_ENCODING", "shift-jis"}}, DONE_SHIFT_JIS},
      {{{"LANG", "xx_XX.SJIS"}, {"DORVENK_ENCODING", "UTF-8"}}, DONE_UTF8},
  };
  for (const auto& c : cases) {
    output_.clear();
    start({c.env});
    ASSERT_TRUE(wait_until_waiting());
    EXPECT_NE(output_.find(c.done), std::string::npos) << output_;
    EXPECT_EQ(output_.find(c.done == DONE_UTF8 ? DONE_SHIFT_JIS : DONE_UTF8), std::string::npos);
    press_key_and_end();
    close(master_);
    master_ = -1;
  }
}

TEST_F(TerminalConsole, KeyWaitHintFollowsTheLastMessageAndIsErasedByTheKey) {
  start({{{"LANG", "C.UTF-8"}}});
  ASSERT_TRUE(wait_until_waiting());
  // The terminal turns each line end into CR LF.
  const std::string last_line = "Outputfile > [ wave-dN.txt ]\r\n";
  ASSERT_GE(output_.size(), last_line.size() + HINT.size());
  EXPECT_EQ(output_.substr(output_.size() - last_line.size() - HINT.size()), last_line + HINT);
  const std::size_t before_key = output_.size();
  press_key_and_end();
  EXPECT_EQ(output_.substr(before_key), HINT_ERASED);
}

TEST_F(TerminalConsole, HintGoesToTheTerminalAndStandardOutputStaysAsItWas) {
  const std::string reference = output_without_terminal();
  ASSERT_NE(reference.find(DONE_SHIFT_JIS), std::string::npos);
  start({{{"LANG", "C.UTF-8"}}, true, true});
  ASSERT_TRUE(wait_until_waiting());
  // Answers from a file: the terminal gets the hint and nothing else.
  EXPECT_EQ(output_, HINT);
  press_key_and_end();
  EXPECT_EQ(output_, HINT + HINT_ERASED);
  EXPECT_EQ(test_support::read_file(dir_ / "stdout"), reference);
}

TEST_F(TerminalConsole, AnswersTypedWithOutputRedirectedGetOneNote) {
  const std::string reference = output_without_terminal();
  start({{{"LANG", "C.UTF-8"}}, false, true});
  const std::string note = REDIRECT_NOTE + "\r\n";
  ASSERT_TRUE(read_until([&] { return output_.size() >= note.size(); })) << output_;
  EXPECT_EQ(output_, note);
  // The answers typed show as the terminal echoes them; nothing else but the hint.
  ASSERT_EQ(write(master_, ANSWERS.data(), ANSWERS.size()), static_cast<ssize_t>(ANSWERS.size()));
  ASSERT_TRUE(wait_until_waiting());
  EXPECT_EQ(output_, note + "wave 1 0.5 0.5 no no 1\r\n" + HINT);
  press_key_and_end();
  EXPECT_EQ(test_support::read_file(dir_ / "stdout"), reference);
}

}  // namespace
}  // namespace dorvenk
