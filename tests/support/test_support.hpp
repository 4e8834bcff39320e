// What the C++ tests share: a temporary directory that removes itself, a
// fixture that runs each test inside one, whole-file reading and writing,
// a seeded generator whose numbers are the same on every machine, and a
// built command run from outside.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "seeded_random.hpp"

namespace dorvenk::test_support {

namespace fs = std::filesystem;

// A fresh empty directory under the system's temporary folder, named
// <prefix>-XXXXXX, removed with everything in it when the object goes,
// also when a test left a part of it without permissions.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "dorvenk-test") {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    } else {
      ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
    }
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
      }
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Runs each test with a fresh empty temporary directory as the working
// directory, and goes back to the previous one afterwards.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0) << std::strerror(errno);
  }
  void TearDown() override { EXPECT_EQ(::chdir(previous_.c_str()), 0) << std::strerror(errno); }

  // The names of everything in the working directory.
  static std::set<std::string> entries() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) names.insert(entry.path().filename().string());
    return names;
  }

  TempDir dir_;
  fs::path previous_;
};

// The whole file as bytes; empty when it cannot be read.
inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Creates or empties the file and writes `text` into it as it is.
inline void write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) ADD_FAILURE() << "cannot write " << path;
}

// What a command run from outside left: its standard output (empty when it
// went to a file of the caller's), its standard error and its exit status
// (-1 when it did not exit by itself).
struct CommandResult {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs `program` with `args` in the directory `work`, in a session of its
// own without a controlling terminal, standard input from /dev/null. Its
// standard output and standard error go to the files "stdout" and "stderr"
// in `capture`, or its standard output to `stdout_path` when one is given.
inline CommandResult run_command(const std::string& program, const std::vector<std::string>& args,
                                 const fs::path& work, const fs::path& capture, const char* stdout_path = nullptr) {
  const fs::path out_path = stdout_path != nullptr ? fs::path(stdout_path) : capture / "stdout";
  const fs::path err_path = capture / "stderr";
  std::string program_copy = program;
  std::vector<std::string> copies = args;
  std::vector<char*> argv{program_copy.data()};
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(work.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CommandResult result;
  int wait_status = 0;
  if (pid < 0 || ::waitpid(pid, &wait_status, 0) != pid) return result;
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  if (stdout_path == nullptr) result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

}  // namespace dorvenk::test_support
