// Files a run has made and must take away again if a signal ends it, and
// the terminal mode to put back at that moment.
//
// A signal can arrive between any two instructions, so the table is fixed
// storage that the handler reads without allocating or locking: a name is
// copied in before the handler can need it, and a slot is marked in use only
// once its name is complete. Creating a file and remembering it happen with
// the ending signals blocked (see `EndingSignalsBlocked`), so there is no
// moment at which a file exists that the handler would not remove.
#pragma once

#include <termios.h>

#include <cstddef>
#include <string_view>
#include <csignal>

namespace dorvenk {

// Files a run makes at most at once: three scratch files, a result being
// written, one spare.
inline constexpr int MAX_RUN_FILES = 8;
// Longest name kept, terminator included; longer names are not remembered.
inline constexpr std::size_t MAX_RUN_FILE_NAME = 4096;

// Remembers `name` for removal at a signal; returns its slot, or -1 when the
// table is full or the name too long.
int remember_file(const char* name);
// Forgets a slot (the file was removed, renamed into place or handed over).
void forget_file(int slot);
// Removes every remembered file. Async-signal-safe.
void remove_remembered_files();

// Longest text written to the terminal before its mode is restored.
inline constexpr std::size_t MAX_TERMINAL_ERASE = 64;

// The terminal whose mode the key wait changed, the mode to restore, and the
// bytes that take the wait's hint off the screen (cut to
// MAX_TERMINAL_ERASE). fd < 0: nothing to restore.
void remember_terminal(int fd, const struct termios& mode, std::string_view erase = {});
void forget_terminal();
// Writes the erasing bytes and puts the remembered terminal mode back.
// Async-signal-safe.
void restore_remembered_terminal();

// The signals whose default action ends the process, that can come at any
// moment from outside, and which the tool catches to clean up first. The
// real-time signals (SIGRTMIN..SIGRTMAX, known only while running) are
// handled and blocked as these are.
inline constexpr int ENDING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGUSR1, SIGUSR2, SIGALRM,
                                         SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT};
// The signals of a fault in the process itself, which also end it: cleaned
// up after as the ending signals are, but never blocked (a fault while its
// signal is blocked ends the process at once).
inline constexpr int FAULT_SIGNALS[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

// Blocks the ending signals for its lifetime (RAII), so that a file can be
// created and remembered as one step.
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked();
  ~EndingSignalsBlocked();
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// Installs the cleaning handler for every ending and fault signal whose
// action is still the default: a signal ignored at start (as nohup leaves
// SIGHUP) stays ignored, and a handler already there (a sanitizer's) stays.
// Ignores SIGPIPE and SIGXFSZ so that a closed pipe or a file-size limit
// shows as a failed write (EPIPE, EFBIG) that the tool reports.
// The handler removes the remembered files, restores the terminal, and ends
// the process by the same signal, so the caller sees 128 + its number.
void install_ending_handlers();

}  // namespace dorvenk
