// The key wait at the end of a run.
#pragma once

#include <string>

namespace dorvenk {

// Waits for one key press on the terminal device `tty_path` (normally
// "/dev/tty", the console itself, not standard input), without echo and
// without Enter. Ctrl-C is a key like any other. The rest of a key that
// sends several bytes (arrows, function keys) is read too, so it does not
// reach the shell. The terminal's mode is restored afterwards, also when a
// signal ends the process during the wait (through the terminal remembered
// in text/run_files.hpp, which the handlers of install_ending_handlers()
// put back). Stopped by SIGTSTP during the wait, it gives the terminal its
// mode back before stopping, and takes the one-key mode again on SIGCONT.
// With no terminal (empty path, no controlling terminal) it returns at once.
void wait_for_key(const std::string& tty_path);

}  // namespace dorvenk
