#include "coefs/coefs_cli.hpp"

#include <cstring>

#include "coefs/daubechies_table.hpp"
#include "text/command_line.hpp"
#include "version.hpp"

namespace dorvenk {
namespace {

constexpr const char* USAGE =
    "Usage: dorvenk-coefs N    (N from 1 to 100; dorvenk-coefs --help for more)\n";

constexpr const char* HELP =
    "Usage: dorvenk-coefs N\n"
    "\n"
    "Prints the 2N coefficients h[0..2N-1] of the minimum-phase Daubechies scaling\n"
    "filter with N vanishing moments, for N from 1 to 100: one per line, each with\n"
    "17 significant digits so that it reads back as the same double. Each is the\n"
    "double nearest to the exact coefficient; together they sum to the square root\n"
    "of 2 and their squares to 1. For N = 2:\n"
    "  0.48296291314453416\n"
    "  0.83651630373780794\n"
    "  0.22414386804201339\n"
    "  -0.12940952255126037\n"
    "\n"
    "Use with dorvenk: answer \"N=\" with the same N, then paste the whole output at\n"
    "the \"p[ 0]=\" prompt. dorvenk takes whitespace-separated answers in turn, so\n"
    "the 2N numbers fill p[ 0] to p[2N-1] at once. Or give dorvenk all its answers\n"
    "on standard input, for example\n"
    "  { echo mydata; echo 4; dorvenk-coefs 4; echo no; echo no; echo 3; } | dorvenk\n"
    "denoises mydata.txt with N = 4, the hard-threshold rule and 3 levels.\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 2 for a missing or bad argument, 1 if the output\n"
    "cannot be written.\n";

constexpr const char* COMMAND = "dorvenk-coefs";

int usage_error(std::FILE* err, const char* problem, const char* argument) {
  write_usage_error(err, COMMAND, problem, argument, USAGE);
  return COEFS_EXIT_USAGE;
}

int finish_output(std::FILE* out, std::FILE* err, bool written) {
  return dorvenk::finish_output(out, err, COMMAND, written) ? COEFS_EXIT_OK : COEFS_EXIT_WRITE_FAILED;
}

}  // namespace

int parse_order(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  int value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = value * 10 + (*c - '0');
    if (value > MAX_COEFS_ORDER) return 0;  // also stops any overflow
  }
  return value;
}

bool write_coefficients(std::span<const double> h, std::FILE* out) {
  for (const double value : h) {
    if (std::fprintf(out, "%.17g\n", value) < 0) return false;
  }
  return !std::ferror(out);
}

int run_coefs(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  if (argc < 2) return usage_error(err, "missing the order N", nullptr);
  if (argc > 2) return usage_error(err, "expected one argument, the order N, but got more", nullptr);
  const char* argument = argv[1];
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
    return finish_output(out, err, std::fputs(HELP, out) >= 0);
  }
  if (std::strcmp(argument, "--version") == 0) {
    return finish_output(out, err, std::fprintf(out, "dorvenk-coefs %s\n", PROJECT_VERSION) >= 0);
  }
  const int order = parse_order(argument);
  if (order == 0) return usage_error(err, "N must be a whole number from 1 to 100, not", argument);
  return finish_output(out, err, write_coefficients(daubechies_coefficients(order), out));
}

}  // namespace dorvenk
