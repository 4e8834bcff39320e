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

namespace dorvenk {
namespace {

// How long the bytes of one key may take to arrive after its first byte.
constexpr int KEY_TAIL_MS = 50;
// Upper bound on the bytes drained after the first one.
constexpr int MAX_KEY_TAIL = 64;

constexpr int RESTORING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The terminal and its mode while the wait is on, for the signal handler.
volatile std::sig_atomic_t waiting_fd = -1;
struct termios saved_mode;

extern "C" void restore_and_die(int signal_number) {
  int fd = waiting_fd;
  if (fd >= 0) tcsetattr(fd, TCSANOW, &saved_mode);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Writes the hint, or erases it: back to the start of the line, blanks over
// it, back again (plain bytes every terminal knows). The hint follows the
// line end of the last message, so it stands at the start of a line.
void show_hint(int fd, bool shown) {
  std::string bytes;
  fill(bytes, Encoding::utf8, text::key_hint);
  if (!shown) bytes = '\r' + std::string(bytes.size(), ' ') + '\r';
  write_to_terminal(fd, bytes);
}

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

  struct sigaction restoring {};
  restoring.sa_handler = restore_and_die;
  sigemptyset(&restoring.sa_mask);
  struct sigaction previous[3];
  waiting_fd = fd;
  for (int i = 0; i < 3; ++i) sigaction(RESTORING_SIGNALS[i], &restoring, &previous[i]);

  struct termios raw = saved_mode;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
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
    tcsetattr(fd, TCSANOW, &saved_mode);
  }

  for (int i = 0; i < 3; ++i) sigaction(RESTORING_SIGNALS[i], &previous[i], nullptr);
  waiting_fd = -1;
  ::close(fd);
}

}  // namespace dorvenk
