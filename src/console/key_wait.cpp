#include "console/key_wait.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "console/terminal.hpp"
#include "text/messages.hpp"

#include "text/run_files.hpp"

namespace dorvenk {
namespace {

// How long the bytes of one key may take to arrive after its first byte.
constexpr int KEY_TAIL_MS = 50;
// Upper bound on the bytes drained after the first one.
constexpr int MAX_KEY_TAIL = 64;

// The terminal and its two modes while the wait is on, for the handlers of
// SIGTSTP and SIGCONT. The signals that end the process put the mode back
// through the terminal remembered in text/run_files.hpp.
volatile std::sig_atomic_t waiting_fd = -1;
struct termios saved_mode;
struct termios one_key_mode;

// Stopped while waiting: the terminal goes back to its mode for the shell,
// then the process stops as it would have without this handler. Once it
// continues, the one-key mode is back on.
extern "C" void restore_and_stop(int) {
  const int saved_errno = errno;
  const int fd = waiting_fd;
  if (fd >= 0) tcsetattr(fd, TCSANOW, &saved_mode);
  struct sigaction stopping {};
  stopping.sa_handler = SIG_DFL;
  sigemptyset(&stopping.sa_mask);
  struct sigaction handler {};
  sigaction(SIGTSTP, &stopping, &handler);
  sigset_t just_stop;
  sigemptyset(&just_stop);
  sigaddset(&just_stop, SIGTSTP);
  raise(SIGTSTP);
  // The stop happens here, as SIGTSTP is unblocked; the process goes on
  // when SIGCONT comes.
  sigprocmask(SIG_UNBLOCK, &just_stop, nullptr);
  sigaction(SIGTSTP, &handler, nullptr);
  if (fd >= 0) tcsetattr(fd, TCSANOW, &one_key_mode);
  errno = saved_errno;
}

// Continued (also after a stop that could not be caught): the one-key mode
// again, whatever the shell left.
extern "C" void back_to_one_key(int) {
  const int saved_errno = errno;
  const int fd = waiting_fd;
  if (fd >= 0) tcsetattr(fd, TCSANOW, &one_key_mode);
  errno = saved_errno;
}

// Writes the hint, or erases it: back to the start of the line, blanks over
// it, back again (plain bytes every terminal knows). The hint follows the
// line end of the last message, so it stands at the start of a line.
std::string hint_bytes(bool shown) {
  std::string bytes;
  fill(bytes, Encoding::utf8, text::key_hint);
  if (!shown) bytes = '\r' + std::string(bytes.size(), ' ') + '\r';
  return bytes;
}

void show_hint(int fd, bool shown) { write_to_terminal(fd, hint_bytes(shown)); }

ssize_t read_byte(int fd, char& byte) {
  for (;;) {
    ssize_t got = ::read(fd, &byte, 1);
    if (got >= 0 || errno != EINTR) return got;
  }
}

}  // namespace

void wait_for_key(const std::string& tty_path) {
  if (tty_path.empty()) return;
  int fd = ::open(tty_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  if (tcgetattr(fd, &saved_mode) != 0) {
    ::close(fd);
    return;
  }

  struct termios raw = saved_mode;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  one_key_mode = raw;

  // The handlers find the terminal and its modes before the mode changes.
  // SIGTTOU is held back in them so that the mode can be set from the
  // background too.
  // A signal that ends the run takes the hint off the screen too.
  remember_terminal(fd, saved_mode, hint_bytes(false));
  waiting_fd = fd;
  struct sigaction stopping {};
  stopping.sa_handler = restore_and_stop;
  sigemptyset(&stopping.sa_mask);
  sigaddset(&stopping.sa_mask, SIGCONT);
  sigaddset(&stopping.sa_mask, SIGTTOU);
  struct sigaction continuing {};
  continuing.sa_handler = back_to_one_key;
  sigemptyset(&continuing.sa_mask);
  sigaddset(&continuing.sa_mask, SIGTSTP);
  sigaddset(&continuing.sa_mask, SIGTTOU);
  struct sigaction previous_stop {};
  struct sigaction previous_continue {};
  sigaction(SIGTSTP, nullptr, &previous_stop);
  sigaction(SIGCONT, nullptr, &previous_continue);
  // A stop signal ignored at start (a job without job control) stays so.
  const bool catch_stop = (previous_stop.sa_flags & SA_SIGINFO) != 0 || previous_stop.sa_handler != SIG_IGN;
  if (catch_stop) sigaction(SIGTSTP, &stopping, nullptr);
  sigaction(SIGCONT, &continuing, nullptr);

  if (tcsetattr(fd, TCSANOW, &raw) == 0) {
    show_hint(fd, true);
    char byte;
    if (read_byte(fd, byte) == 1) {
      // Drain the rest of a key that sends several bytes.
      struct pollfd ready {fd, POLLIN, 0};
      for (int i = 0; i < MAX_KEY_TAIL && ::poll(&ready, 1, KEY_TAIL_MS) == 1 && (ready.revents & POLLIN); ++i) {
        if (read_byte(fd, byte) != 1) break;
      }
    }
    show_hint(fd, false);
    // From here a stop or continue leaves the terminal alone.
    waiting_fd = -1;
    tcsetattr(fd, TCSANOW, &saved_mode);
  }

  {
    // Handlers and the remembered terminal go together, so that no signal
    // finds one without the other.
    EndingSignalsBlocked blocked;
    if (catch_stop) sigaction(SIGTSTP, &previous_stop, nullptr);
    sigaction(SIGCONT, &previous_continue, nullptr);
    waiting_fd = -1;
    forget_terminal();
  }
  ::close(fd);
}

}  // namespace dorvenk
