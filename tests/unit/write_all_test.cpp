// The one write-everything loop that result files, standard output and the
// notes on the terminal share: short writes and interrupted writes go on
// where they stopped, and a failure comes back as its errno.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "test_support.hpp"
#include "text/text_file.hpp"

namespace dorvenk {
namespace {

using WriteAll = test_support::InTempDir;

void on_alarm(int) {}

// A child writes 4 MiB into a pipe with a timer interrupting it every
// millisecond (no SA_RESTART: write returns early or fails with EINTR) while
// the parent reads slowly; every byte must arrive, in order.
TEST(WriteAllPipe, InterruptedAndShortWritesGoOnWhereTheyStopped) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  constexpr std::size_t SIZE = std::size_t{4} << 20;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ends[0]);
    struct sigaction action {};
    action.sa_handler = on_alarm;
    ::sigaction(SIGALRM, &action, nullptr);
    const itimerval every_ms{{0, 1000}, {0, 1000}};
    ::setitimer(ITIMER_REAL, &every_ms, nullptr);
    std::string data(SIZE, '\0');
    for (std::size_t i = 0; i < SIZE; ++i) data[i] = static_cast<char>('a' + i % 23);
    const int error = write_all(ends[1], data.data(), data.size());
    ::_exit(error == 0 ? 0 : 1);
  }
  ::close(ends[1]);
  std::string got;
  char buffer[3000];
  for (;;) {
    const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
    if (got.size() % (256 * 1024) < sizeof buffer) ::usleep(2000);  // let the pipe fill now and then
  }
  ::close(ends[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(got.size(), SIZE);
  for (std::size_t i = 0; i < SIZE; ++i) {
    if (got[i] != static_cast<char>('a' + i % 23)) {
      ADD_FAILURE() << "byte " << i;
      break;
    }
  }
}

TEST(WriteAllPipe, AClosedReaderIsAnError) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  struct sigaction ignore {}, previous{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  EXPECT_EQ(write_all(ends[1], "abc", 3), EPIPE);
  ::sigaction(SIGPIPE, &previous, nullptr);
  ::close(ends[1]);
}

// A file size limit in the middle of the bytes: the first write is short,
// the next fails; the limit's errno comes back and the file holds exactly
// what fitted.
TEST_F(WriteAll, AFullFileStopsWithItsErrorAfterTheBytesThatFitted) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    const int fd = ::open("full.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) ::_exit(3);
    const std::string data(5000, 'x');
    ::_exit(write_all(fd, data.data(), data.size()) == EFBIG ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(test_support::read_file("full.txt"), std::string(1000, 'x'));
}

TEST(WriteAllFile, NothingToWriteIsDone) { EXPECT_EQ(write_all(-1, "", 0), 0); }

}  // namespace
}  // namespace dorvenk
