#include "noise/noise_cli.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <streambuf>

#include "coefs/coefs_cli.hpp"
#include "coefs/daubechies_table.hpp"
#include "data/samples.hpp"
#include "estimate/mad_noise.hpp"
#include "text/command_line.hpp"
#include "version.hpp"

namespace dorvenk {
namespace {

constexpr const char* USAGE =
    "Usage: dorvenk-noise FILE [N]    (N from 1 to 100; dorvenk-noise --help for more)\n";

// The help text names the default order; keep the two in step.
static_assert(NOISE_DEFAULT_ORDER == 4);
constexpr const char* HELP =
    "Usage: dorvenk-noise FILE [N]\n"
    "\n"
    "Estimates the standard deviation of the white Gaussian noise in the data file\n"
    "FILE and prints it on one line, with 17 significant digits so that dorvenk\n"
    "reads it back as the same double.\n"
    "\n"
    "FILE is read as dorvenk reads its data files: numbers separated by white\n"
    "space, at least 2 and at most 32768 of them. One periodic decomposition stage\n"
    "with the minimum-phase Daubechies filter of order N (the filter that\n"
    "dorvenk-coefs N prints; default 4) gives the n/2 finest-level detail\n"
    "coefficients d, in full double precision, and the estimate is\n"
    "  median(|d|) / 0.6744897501960817\n"
    "the median absolute deviation scaled by the 0.75 quantile of the standard\n"
    "normal distribution. An even count of details takes the midpoint of the two\n"
    "middle magnitudes; details of exactly zero count like any other. Data that\n"
    "are constant or a straight line give 0.\n"
    "\n"
    "Use with dorvenk: answer \"yes\" to the question whether the noise level is\n"
    "known and give this value, for example\n"
    "  { echo mydata; echo 8; dorvenk-coefs 8; echo yes; dorvenk-noise mydata.txt 8; echo 5; } | dorvenk\n"
    "denoises mydata.txt with N = 8, this noise level and 5 levels.\n"
    "\n"
    "Options (only on their own):\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version and exit\n"
    "A file whose name begins with \"-\" is named as ./-name.\n"
    "\n"
    "Exit status: 0 on success; 1 if FILE cannot be opened or read, is not a\n"
    "regular file, or holds no usable series (no number, only one, more than\n"
    "32768, or a word that is not a number), or if the output cannot be written;\n"
    "2 for a missing or bad argument.\n";

// A read-only stream over an open file descriptor, with the first read
// failure kept so that it is reported instead of taken as the end of the file.
class FdReadBuffer : public std::streambuf {
 public:
  explicit FdReadBuffer(int fd) : fd_(fd) {}
  int error() const { return error_; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (error_ != 0) return traits_type::eof();
    for (;;) {
      const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
      if (got > 0) {
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(*gptr());
      }
      if (got == 0) return traits_type::eof();
      if (errno != EINTR) {
        error_ = errno;
        return traits_type::eof();
      }
    }
  }

 private:
  int fd_;
  int error_ = 0;
  std::array<char, 65536> buffer_;
};

// Closes the descriptor on every way out.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Everything one run needs, in fixed capacity, allocated once.
struct NoiseStorage {
  std::array<double, MAX_DATA> samples;
  MadWork work;
};

constexpr const char* COMMAND = "dorvenk-noise";

int usage_error(std::FILE* err, const char* problem, const char* argument) {
  write_usage_error(err, COMMAND, problem, argument, USAGE);
  return NOISE_EXIT_USAGE;
}

// "\adorvenk-noise: FILE: what[: detail]" on `err`; status 1.
int data_failure(std::FILE* err, const std::string& file, const std::string& what) {
  write_failure(err, COMMAND, printable(file) + ": " + what);
  return NOISE_EXIT_FAILED;
}

int finish_output(std::FILE* out, std::FILE* err, bool written) {
  return dorvenk::finish_output(out, err, COMMAND, written) ? NOISE_EXIT_OK : NOISE_EXIT_FAILED;
}

int estimate_file(const std::string& file, int order, std::FILE* out, std::FILE* err) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused
  // below like anything else that is not a regular file.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return data_failure(err, file, std::string("cannot open: ") + std::strerror(errno));
  FdCloser closer{fd};
  struct stat info;
  if (::fstat(fd, &info) != 0) return data_failure(err, file, std::string("cannot open: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return data_failure(err, file, "cannot read: it is a directory");
  if (!S_ISREG(info.st_mode)) return data_failure(err, file, "cannot read: not a regular file");

  auto storage = std::make_unique<NoiseStorage>();
  FdReadBuffer buffer(fd);
  const ReadResult read = read_samples(&buffer, storage->samples);
  if (buffer.error() != 0) {
    return data_failure(err, file, std::string("cannot read: ") + std::strerror(buffer.error()));
  }
  switch (read.status) {
    case ReadStatus::ok:
      break;
    case ReadStatus::over:
      return data_failure(err, file, "data over! more than " + std::to_string(MAX_DATA) + " values");
    case ReadStatus::bad_token:
      return data_failure(err, file,
                          "data error! line " + std::to_string(read.error_line) + " is not a number: " +
                              printable(read.error_text));
    default:
      return data_failure(err, file, "cannot read the data");
  }
  if (read.n == 0) return data_failure(err, file, "data empty! no number in the file");
  if (read.n == 1) return data_failure(err, file, "only 1 value; at least 2 are needed");

  const std::span<const double> series(storage->samples.data(), static_cast<std::size_t>(read.n));
  const MadEstimate estimate = estimate_noise_mad(series, daubechies_coefficients(order), storage->work);
  if (estimate.status != MadStatus::ok) {
    return data_failure(err, file, "no finite estimate: the values are too large for the wavelet sums");
  }
  return finish_output(out, err, write_sigma(estimate.sigma, out));
}

}  // namespace

bool write_sigma(double sigma, std::FILE* out) {
  return std::fprintf(out, "%.17g\n", sigma) >= 0 && !std::ferror(out);
}

int run_noise(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  if (argc < 2) return usage_error(err, "missing the data file FILE", nullptr);
  const char* first = argv[1];
  if (argc == 2 && (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0)) {
    return finish_output(out, err, std::fputs(HELP, out) >= 0);
  }
  if (argc == 2 && std::strcmp(first, "--version") == 0) {
    return finish_output(out, err, std::fprintf(out, "dorvenk-noise %s\n", PROJECT_VERSION) >= 0);
  }
  if (first[0] == '\0') return usage_error(err, "the data file FILE is an empty name", nullptr);
  if (first[0] == '-') return usage_error(err, "unknown option", first);
  if (argc > 3) return usage_error(err, "expected the data file FILE and at most the order N, but got more", nullptr);
  int order = NOISE_DEFAULT_ORDER;
  if (argc == 3) {
    order = parse_order(argv[2]);
    if (order == 0) return usage_error(err, "N must be a whole number from 1 to 100, not", argv[2]);
  }
  return estimate_file(first, order, out, err);
}

}  // namespace dorvenk
