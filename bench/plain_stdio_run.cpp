// The whole largest job written plainly with C stdio, as a yardstick for the
// tool: the same answers read from standard input, the data file read with
// fscanf, the summary, the noise estimator loop by loop, the decomposition
// and reconstruction through real scratch files with fprintf("%.12lf\n") and
// fscanf("%lf"), the hard threshold, the run log and the result file. No
// checks beyond what the job needs, no speed-ups.
//
//   plain_stdio_run < answers            runs the job in the working directory
//   plain_stdio_run --write-data FILE    writes the benchmark series (32768
//                                        values of a noisy sine) to FILE
//
// scripts/bench-whole-run times the tool against this program.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <span>

#include "ar_noise_reference.hpp"

namespace {

constexpr int MAX_DATA = 32768;
constexpr int MAX_N = 100;

double samples[MAX_DATA];
double p[2 * MAX_N];
double q[2 * MAX_N];

// A noisy sine of n values with six decimals, seeded.
int write_data(const char* name) {
  FILE* f = std::fopen(name, "w");
  if (f == nullptr) {
    std::perror(name);
    return 1;
  }
  std::uint64_t state = 12345;
  auto uniform = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  for (int i = 0; i < MAX_DATA; ++i) {
    const double u1 = uniform();
    const double u2 = uniform();
    const double noise = std::sqrt(-2.0 * std::log(1.0 - u1)) * std::cos(6.283185307179586 * u2);
    std::fprintf(f, "%.6f\n", std::sin(i * 0.01) + 0.3 * noise);
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

int read_samples(FILE* f) {
  int n = 0;
  for (;;) {
    double value;
    const int got = std::fscanf(f, "%lG", &value);
    if (got == EOF) break;
    if (n < MAX_DATA) samples[n] = value;
    ++n;
    if (n > MAX_DATA) {
      std::printf("\adata over! [Max %d]\n", MAX_DATA);
      std::fclose(f);
      return -1;
    }
  }
  std::fclose(f);
  return n;
}

void wavelet_shrink(double* x, int n, int taps, int levels, double threshold) {
  const int half = taps / 2;
  for (int k = 0; k < taps; ++k) {
    q[k] = (k % 2 == 0 ? 1.0 : -1.0) * p[taps - 1 - k];
    std::printf("p%2d=%15.12lf, q%2d=%15.12lf\n", k, p[k], k - half, q[k]);
  }

  int r = n;
  for (int s = 1; s <= levels; ++s) {
    FILE* w = std::fopen("w_tmp", "w");
    FILE* a = std::fopen("s_tmp", "w");
    for (int i = 0; i < r / 2; ++i) {
      double approx = 0.0, detail = 0.0;
      for (int k = 0; k < taps; ++k) {
        const int idx = (k + 2 * i) % r;
        approx += p[k] * x[idx];
        detail += q[k] * x[idx];
      }
      std::fprintf(w, "%.12lf\n", detail);
      std::fprintf(a, "%.12lf\n", approx);
    }
    std::fclose(w);
    std::fclose(a);
    w = std::fopen("w_tmp", "r");
    a = std::fopen("s_tmp", "r");
    r = r / 2;
    for (int i = 0; i < r; ++i) {
      std::fscanf(w, "%lf", &x[r + i]);
      std::fscanf(a, "%lf", &x[i]);
    }
    std::fclose(w);
    std::fclose(a);
  }

  int zeroed = 0;
  for (int i = 0; i < n; ++i) {
    if (!(std::fabs(x[i]) >= threshold)) {
      x[i] = 0.0;
      ++zeroed;
    }
  }
  std::printf("ratio >> %d/%d\n", zeroed, n);

  for (int s = levels; s >= 1; --s) {
    // The offset: the smallest multiple of r not below half (r itself when
    // half <= r), so that every index is taken modulo r from a whole period.
    const int c = half <= r ? r : (r > 0 ? (half + r - 1) / r * r : half);
    FILE* t = std::fopen("r_tmp", "w");
    for (int j = 0; j < r; ++j) {
      double y0 = 0.0, y1 = 0.0;
      for (int i = 0; i < half; ++i) {
        const int idx = (j - i + c) % r;
        y0 += p[2 * i] * x[idx] + q[2 * i] * x[r + idx];
        y1 += p[2 * i + 1] * x[idx] + q[2 * i + 1] * x[r + idx];
      }
      std::fprintf(t, "%.12lf\n", y0);
      std::fprintf(t, "%.12lf\n", y1);
    }
    std::fclose(t);
    t = std::fopen("r_tmp", "r");
    r = 2 * r;
    for (int i = 0; i < r; ++i) std::fscanf(t, "%lf", &x[i]);
    std::fclose(t);
  }
  std::remove("w_tmp");
  std::remove("s_tmp");
  std::remove("r_tmp");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-data") == 0) return write_data(argv[2]);

  char base[256];
  if (std::scanf("%200s", base) != 1) return 1;
  char data_file_name[272], result_file_name[272];
  std::snprintf(data_file_name, sizeof data_file_name, "%s.txt", base);
  std::snprintf(result_file_name, sizeof result_file_name, "%s-dN.txt", base);
  FILE* data = std::fopen(data_file_name, "r");
  if (data == nullptr) {
    std::perror(data_file_name);
    return 1;
  }
  const int n = read_samples(data);
  if (n < 0) return 1;

  double sum = 0.0, sumsq = 0.0;
  for (int i = 0; i < n; ++i) {
    sum = sum + samples[i];
    sumsq = sumsq + samples[i] * samples[i];
  }
  const double mean = sum / n;
  double sd = std::sqrt(sumsq / n - mean * mean);
  std::printf("データ数=%d\n", n);
  std::printf("平均=%.6lG, 標準偏差=%.6lG\n", mean, sd);

  // The answers: N, the 2N coefficients, "no" (not known), "yes" (estimate), L.
  int order = 0, levels = 0;
  char known[16], estimate[16];
  if (std::scanf("%d", &order) != 1 || order < 1 || order > MAX_N) return 1;
  for (int k = 0; k < 2 * order; ++k)
    if (std::scanf("%lf", &p[k]) != 1) return 1;
  if (std::scanf("%15s %15s %d", known, estimate, &levels) != 3) return 1;

  FILE* log = std::fopen("wavelet_log.txt", "a");
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  std::fprintf(log, "%d:%d:%d\n", local->tm_hour, local->tm_min, local->tm_sec);
  std::fprintf(log, "Inputfile [ %s ]\n", data_file_name);
  std::fprintf(log, "データ数=%d\n", n);
  std::fprintf(log, "平均=%.6lG, 標準偏差=%.6lG\n", mean, sd);
  std::fprintf(log, "次数N=%d\n", order);

  sd = dorvenk::reference::reference_fit(std::span<const double>(samples, static_cast<std::size_t>(n)), n).estimate;
  std::printf("ノイズの標準偏差=%lG (推定)\n", sd);
  double t = std::log(static_cast<double>(n));
  t = t + t;
  t = std::sqrt(t);
  const double threshold = t * sd;
  std::fprintf(log, "ノイズの標準偏差=%lG (推定)\n", sd);
  std::fprintf(log, "縮退しきい値=%lG\n", threshold);
  std::printf("縮退しきい値=%lG\n", threshold);
  std::fprintf(log, "多重解像度レベル=%d\n", levels);
  std::fprintf(log, "Outputfile[ %s ]\n\n", result_file_name);
  std::fclose(log);

  wavelet_shrink(samples, n, 2 * order, levels, threshold);

  data = std::fopen(data_file_name, "r");
  FILE* result = std::fopen(result_file_name, "w");
  std::fprintf(result, " input L%d_N%d_denoise noise\n", levels, order);
  for (int i = 0; i < n; ++i) {
    double input = 0.0;
    std::fscanf(data, "%lf", &input);
    std::fprintf(result, "%d %.6G %.6G %.6G\n", i, input, samples[i], input - samples[i]);
  }
  std::fclose(data);
  std::fclose(result);
  std::printf("\a%s done\n", result_file_name);
  return 0;
}
