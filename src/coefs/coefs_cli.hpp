// The command line of dorvenk-coefs: one argument, the order N, and the 2N
// coefficients of the minimum-phase Daubechies scaling filter on stdout.
#pragma once

#include <cstdio>
#include <span>

namespace dorvenk {

// Exit statuses of the command.
inline constexpr int COEFS_EXIT_OK = 0;
inline constexpr int COEFS_EXIT_WRITE_FAILED = 1;
inline constexpr int COEFS_EXIT_USAGE = 2;

// The order written as one or more decimal digits (leading zeros allowed)
// with a value from 1 to MAX_COEFS_ORDER; anything else, a sign, a blank or
// a fraction included, gives 0.
int parse_order(const char* text);

// Writes each value on its own line with 17 significant digits ("%.17g"),
// enough for the text to read back as the same double. Returns false if the
// stream reports an error.
bool write_coefficients(std::span<const double> h, std::FILE* out);

// The whole command: argv[1] is N, "--help" / "-h" for the help text or
// "--version" for "dorvenk-coefs <version>" on `out`. A missing, extra or
// bad argument writes a usage message on `err` and returns
// COEFS_EXIT_USAGE; a failed write to `out` returns COEFS_EXIT_WRITE_FAILED.
int run_coefs(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace dorvenk
