// The key wait at the end of a run.
#pragma once

#include <string>

namespace dorvenk {

// Waits for one key press on the terminal device `tty_path` (normally
// "/dev/tty", the console itself, not standard input), without echo and
// without Enter. Ctrl-C is a key like any other. The rest of a key that
// sends several bytes (arrows, function keys) is read too, so it does not
// reach the shell. The terminal's mode is restored afterwards, also when the
// process is stopped by SIGINT, SIGTERM or SIGHUP during the wait. With no
// terminal (empty path, no controlling terminal) it returns at once.
void wait_for_key(const std::string& tty_path);

}  // namespace dorvenk
