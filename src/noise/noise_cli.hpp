// The command line of dorvenk-noise: the noise standard deviation of a data
// file, estimated from its finest-level wavelet details, printed in a form
// the tool reads back as the same double.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace dorvenk {

// Exit statuses of the command.
inline constexpr int NOISE_EXIT_OK = 0;
inline constexpr int NOISE_EXIT_FAILED = 1;  // the data file, or standard output
inline constexpr int NOISE_EXIT_USAGE = 2;

// The order used when none is given: the most accurate overall on the
// bundled example signals at n = 2048 and n = 32768 (docs/noise-accuracy.md).
inline constexpr int NOISE_DEFAULT_ORDER = 4;

// Writes the estimate with 17 significant digits ("%.17g") and a line end:
// enough for the tool's number reader to give back the same double. Only
// finite values are passed here. False if the stream reports an error.
bool write_sigma(double sigma, std::FILE* out);

// The whole command: argv[1] is FILE (or "--help", "-h", "--version"),
// argv[2] the optional order N. A missing, extra or bad argument writes a
// usage message on `err` and returns NOISE_EXIT_USAGE; a data file that
// cannot be read or gives no estimate, or a failed write to `out`, writes
// the reason on `err` and returns NOISE_EXIT_FAILED. Messages are those of
// text/command_line.hpp.
int run_noise(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace dorvenk
