#include "text/run_files.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace dorvenk {
namespace {

struct Slot {
  // Set (release) once `name` is complete; cleared before the name changes.
  std::atomic<bool> used{false};
  char name[MAX_RUN_FILE_NAME];
};

Slot slots[MAX_RUN_FILES];

std::atomic<int> terminal_fd{-1};
struct termios terminal_mode;
char terminal_erase[MAX_TERMINAL_ERASE];
std::size_t terminal_erase_length = 0;

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler reads these without a lock");

extern "C" void clean_and_end(int signal_number) {
  const int saved_errno = errno;
  remove_remembered_files();
  restore_remembered_terminal();
  // End by the same signal: default action, then raise it again. It is
  // blocked while this handler runs, so unblock it for the default to act.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal_number);
  raise(signal_number);
  sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
  errno = saved_errno;  // not reached for an ending signal
}

}  // namespace

int remember_file(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length >= MAX_RUN_FILE_NAME) return -1;
  for (int i = 0; i < MAX_RUN_FILES; ++i) {
    Slot& slot = slots[i];
    if (slot.used.load(std::memory_order_acquire)) continue;
    std::memcpy(slot.name, name, length + 1);
    slot.used.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void forget_file(int slot) {
  if (slot >= 0 && slot < MAX_RUN_FILES) slots[slot].used.store(false, std::memory_order_release);
}

void remove_remembered_files() {
  for (Slot& slot : slots) {
    if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.name);
  }
}

void remember_terminal(int fd, const struct termios& mode, std::string_view erase) {
  terminal_fd.store(-1, std::memory_order_release);
  terminal_mode = mode;
  terminal_erase_length = std::min(erase.size(), MAX_TERMINAL_ERASE);
  std::memcpy(terminal_erase, erase.data(), terminal_erase_length);
  terminal_fd.store(fd, std::memory_order_release);
}

void forget_terminal() { terminal_fd.store(-1, std::memory_order_release); }

void restore_remembered_terminal() {
  const int fd = terminal_fd.load(std::memory_order_acquire);
  if (fd < 0) return;
  // One try: a terminal that takes nothing now is not waited for.
  if (terminal_erase_length > 0) {
    const ssize_t written = ::write(fd, terminal_erase, terminal_erase_length);
    static_cast<void>(written);
  }
  ::tcsetattr(fd, TCSANOW, &terminal_mode);
}

namespace {

void add_ending_signals(sigset_t& set) {
  for (int signal_number : ENDING_SIGNALS) sigaddset(&set, signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) sigaddset(&set, signal_number);
}

// Sets `action` for `signal_number` only if its action is the default one.
void take_over_default(int signal_number, const struct sigaction& action) {
  struct sigaction current {};
  if (sigaction(signal_number, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

EndingSignalsBlocked::EndingSignalsBlocked() {
  sigset_t ending;
  sigemptyset(&ending);
  add_ending_signals(ending);
  sigprocmask(SIG_BLOCK, &ending, &previous_);
}

EndingSignalsBlocked::~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

void install_ending_handlers() {
  struct sigaction cleaning {};
  cleaning.sa_handler = clean_and_end;
  sigemptyset(&cleaning.sa_mask);
  // While one handler cleans up, no other ending signal interrupts it; and
  // SIGTTOU is held back so that putting the terminal mode back from a
  // background process goes through instead of stopping the process.
  add_ending_signals(cleaning.sa_mask);
  sigaddset(&cleaning.sa_mask, SIGTTOU);
  for (int signal_number : ENDING_SIGNALS) take_over_default(signal_number, cleaning);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    take_over_default(signal_number, cleaning);
  }
  for (int signal_number : FAULT_SIGNALS) take_over_default(signal_number, cleaning);
  struct sigaction ignoring {};
  ignoring.sa_handler = SIG_IGN;
  sigemptyset(&ignoring.sa_mask);
  sigaction(SIGPIPE, &ignoring, nullptr);
  sigaction(SIGXFSZ, &ignoring, nullptr);
}

}  // namespace dorvenk
