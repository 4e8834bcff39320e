// dorvenk-example-signals: writes the four classical test signals of wavelet
// denoising (Blocks, Bumps, HeaviSine, Doppler), clean and with Gaussian
// noise added, as data files the tool reads.
//
//   dorvenk-example-signals DIR [N [SEED]]
//
// writes DIR/<signal>.txt (noisy) and DIR/<signal>-clean.txt (clean) for
// each signal: N values (default EXAMPLE_N), one "%.6f" per line. The four
// signals get the noise seeds SEED, SEED+1, SEED+2, SEED+3 (default
// BASE_SEED). Without N and SEED it writes the files committed in examples/;
// other sizes and seeds serve measurements such as the noise estimate's
// accuracy.
//
// The files must be the same bytes on every machine, so nothing here comes
// from the standard library's random engines or distributions (whose output
// may change between library versions): the noise is splitmix64 with a fixed
// seed per signal, turned into normal deviates by Box-Muller written out
// below, and every sum runs in one fixed order.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace dorvenk {
namespace {

constexpr int EXAMPLE_N = 2048;
constexpr long MAX_EXAMPLE_N = 1L << 24;
constexpr double SIGNAL_SD = 7.0;  // every clean signal is scaled to this sd
constexpr double NOISE_SD = 1.0;   // and gets white noise of this sd
constexpr std::uint64_t BASE_SEED = 20480;
constexpr double PI = 3.14159265358979323846;

constexpr int JUMPS = 11;
// Positions shared by Blocks and Bumps.
constexpr double JUMP_POS[JUMPS] = {0.10, 0.13, 0.15, 0.23, 0.25, 0.40, 0.44, 0.65, 0.76, 0.78, 0.81};
constexpr double BLOCK_HEIGHT[JUMPS] = {4, -5, 3, -4, 5, -4.2, 2.1, 4.3, -3.1, 2.1, -4.2};
constexpr double BUMP_HEIGHT[JUMPS] = {4, 5, 3, 4, 5, 4.2, 2.1, 4.3, 3.1, 5.1, 4.2};
constexpr double BUMP_WIDTH[JUMPS] = {0.005, 0.005, 0.006, 0.01, 0.01, 0.03, 0.01, 0.01, 0.005, 0.008, 0.005};

double sgn(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

// Piecewise constant: sum of h_j (1 + sgn(t - t_j)) / 2.
double blocks(double t) {
  double f = 0;
  for (int j = 0; j < JUMPS; ++j) f += BLOCK_HEIGHT[j] * (1 + sgn(t - JUMP_POS[j])) / 2;
  return f;
}

// Sum of h_j K((t - t_j) / w_j) with K(x) = (1 + |x|)^-4.
double bumps(double t) {
  double f = 0;
  for (int j = 0; j < JUMPS; ++j) {
    const double k = 1 + std::fabs((t - JUMP_POS[j]) / BUMP_WIDTH[j]);
    const double k2 = k * k;
    f += BUMP_HEIGHT[j] / (k2 * k2);
  }
  return f;
}

double heavisine(double t) { return 4 * std::sin(4 * PI * t) - sgn(t - 0.3) - sgn(0.72 - t); }

double doppler(double t) { return std::sqrt(t * (1 - t)) * std::sin(2 * PI * 1.05 / (t + 0.05)); }

struct Signal {
  const char* name;
  double (*shape)(double t);
};

constexpr Signal SIGNALS[] = {
    {"blocks", blocks}, {"bumps", bumps}, {"heavisine", heavisine}, {"doppler", doppler}};

std::uint64_t splitmix64(std::uint64_t& state) {
  state += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Fills out with standard normal deviates, two per pair of uniforms
// (Box-Muller). u1 lies in (0, 1] so that its logarithm is finite.
void normal_deviates(std::uint64_t seed, std::span<double> out) {
  constexpr double TWO_TO_MINUS_53 = 1.0 / 9007199254740992.0;
  std::uint64_t state = seed;
  for (std::size_t i = 0; i < out.size(); i += 2) {
    const double u1 = static_cast<double>((splitmix64(state) >> 11) + 1) * TWO_TO_MINUS_53;
    const double u2 = static_cast<double>(splitmix64(state) >> 11) * TWO_TO_MINUS_53;
    const double radius = std::sqrt(-2 * std::log(u1));
    out[i] = radius * std::cos(2 * PI * u2);
    if (i + 1 < out.size()) out[i + 1] = radius * std::sin(2 * PI * u2);
  }
}

// The shape at t = i/n, i = 0..n-1, multiplied so that its population
// standard deviation is SIGNAL_SD (the mean is left as it is).
void clean_signal(const Signal& signal, std::span<double> out) {
  const int n = static_cast<int>(out.size());
  for (int i = 0; i < n; ++i) out[static_cast<std::size_t>(i)] = signal.shape(static_cast<double>(i) / n);
  double sum = 0;
  for (double v : out) sum += v;
  const double mean = sum / n;
  double squares = 0;
  for (double v : out) squares += (v - mean) * (v - mean);
  const double scale = SIGNAL_SD / std::sqrt(squares / n);
  for (double& v : out) v *= scale;
}

bool write_values(const std::string& path, std::span<const double> values) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "dorvenk-example-signals: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = true;
  char text[64];
  for (double v : values) {
    std::snprintf(text, sizeof text, "%.6f", v);
    // A value that rounds to zero is written 0.000000, never -0.000000.
    const char* shown = std::strcmp(text, "-0.000000") == 0 ? text + 1 : text;
    ok = std::fprintf(file, "%s\n", shown) > 0 && ok;
  }
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "dorvenk-example-signals: cannot write %s\n", path.c_str());
  return ok;
}

// A whole decimal number from `min` to `max`, or -1.
long parse_count(const char* text, long min, long max) {
  if (text == nullptr || *text == '\0') return -1;
  long value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return -1;
    value = value * 10 + (*c - '0');
    if (value > max) return -1;
  }
  return value < min ? -1 : value;
}

int run(int argc, char** argv) {
  long n = EXAMPLE_N;
  long base_seed = static_cast<long>(BASE_SEED);
  if (argc >= 3) n = parse_count(argv[2], 2, MAX_EXAMPLE_N);
  if (argc >= 4) base_seed = parse_count(argv[3], 0, 1L << 40);
  if (argc < 2 || argc > 4 || argv[1][0] == '\0' || argv[1][0] == '-' || n < 0 || base_seed < 0) {
    std::fputs("Usage: dorvenk-example-signals DIR [N [SEED]]\n"
               "Writes DIR/<signal>.txt (noisy) and DIR/<signal>-clean.txt for\n"
               "blocks, bumps, heavisine and doppler: N values each (default 2048),\n"
               "noise seeds SEED to SEED+3 (default 20480).\n",
               stderr);
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<double> clean(static_cast<std::size_t>(n));
  std::vector<double> noisy(static_cast<std::size_t>(n));
  std::vector<double> noise(static_cast<std::size_t>(n));
  std::uint64_t seed = static_cast<std::uint64_t>(base_seed);
  for (const Signal& signal : SIGNALS) {
    clean_signal(signal, clean);
    normal_deviates(seed++, noise);
    for (std::size_t i = 0; i < clean.size(); ++i) noisy[i] = clean[i] + NOISE_SD * noise[i];
    if (!write_values(dir + "/" + signal.name + ".txt", noisy)) return 1;
    if (!write_values(dir + "/" + signal.name + "-clean.txt", clean)) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace dorvenk

int main(int argc, char** argv) { return dorvenk::run(argc, argv); }
