// Whole-run figures: the dialogue path and a full run at the largest size,
// driven in-process through run_console with a prepared answer text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/dialogue.hpp"
#include "data/samples.hpp"
#include "report/result_file.hpp"

namespace {

namespace fs = std::filesystem;

// Discards everything written to it.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// A noisy sine of n values, seeded, written with six decimals.
std::string noisy_series(int n) {
  std::uint64_t state = 12345;
  auto uniform = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::ostringstream text;
  text.precision(6);
  text << std::fixed;
  for (int i = 0; i < n; ++i) {
    double noise = std::sqrt(-2.0 * std::log(1.0 - uniform())) * std::cos(6.283185307179586 * uniform());
    text << std::sin(i * 0.01) + 0.3 * noise << '\n';
  }
  return text.str();
}

// 200 coefficients as answer text (their values do not change the cost).
std::string answers(const std::string& noise_answers, int levels) {
  std::string text = "wave\n100\n";
  for (int k = 0; k < 200; ++k) text += (k % 2 ? "-0.05 " : "0.05 ");
  return text + "\n" + noise_answers + "\n" + std::to_string(levels) + "\n";
}

// Runs the benchmark in a temporary working directory holding the data file.
class WorkDir {
 public:
  WorkDir() {
    char pattern[] = "/tmp/dorvenk-bench-XXXXXX";
    dir_ = mkdtemp(pattern);
    previous_ = fs::current_path();
    fs::current_path(dir_);
    std::ofstream("wave.txt") << noisy_series(dorvenk::MAX_DATA);
  }
  ~WorkDir() {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

 private:
  fs::path dir_, previous_;
};

void run_dialogue(benchmark::State& state, const std::string& noise_answers) {
  WorkDir work;
  std::ifstream data("wave.txt");
  std::vector<double> samples(dorvenk::MAX_DATA);
  dorvenk::ReadResult read = dorvenk::read_samples(data.rdbuf(), samples);
  dorvenk::Summary summary = dorvenk::summarize_samples(samples, read.n);
  std::string text = answers(noise_answers, 15).substr(5);  // without the file name
  NullBuffer null;
  std::ostream out(&null);
  for (auto _ : state) {
    std::istringstream in(text);
    dorvenk::Console console{dorvenk::make_scanner(in.rdbuf()), out, dorvenk::Encoding::shift_jis, {}};
    double sd = summary.sd;
    auto params = dorvenk::ask_parameters(console, samples, read.n, summary.mean, sd, "wave.txt", "wave-dN.txt");
    benchmark::DoNotOptimize(params.threshold);
  }
}

void BM_DialogueTypedNoise(benchmark::State& state) { run_dialogue(state, "yes 0.3"); }
void BM_DialogueHardThreshold(benchmark::State& state) { run_dialogue(state, "no no"); }
void BM_DialogueEstimatedNoise(benchmark::State& state) { run_dialogue(state, "no yes"); }

// The whole tool at n = 32768, N = 100, L = 15 with the estimated noise level:
// reading, summary, dialogue with the estimator, engine and result file.
void BM_WholeRunEstimate(benchmark::State& state) {
  WorkDir work;
  std::string text = answers("no yes", 15);
  NullBuffer null;
  std::ostream out(&null);
  for (auto _ : state) {
    std::istringstream in(text);
    int status = dorvenk::run_console(in, out, dorvenk::ConsoleOptions{});
    if (status != 0) state.SkipWithError("run failed");
  }
}

// The result file alone at n = 32768: the second reading of the data file
// and one formatted row per sample.
void BM_ResultFile(benchmark::State& state) {
  WorkDir work;
  std::ifstream data("wave.txt");
  std::vector<double> samples(dorvenk::MAX_DATA);
  dorvenk::ReadResult read = dorvenk::read_samples(data.rdbuf(), samples);
  const dorvenk::SeriesDigest first_reading = dorvenk::digest_series(samples, read.n);
  for (double& x : samples) x *= 0.75;
  for (auto _ : state) {
    dorvenk::ResultOutcome outcome =
        dorvenk::write_result_file("wave.txt", "wave-dN.txt", samples, read.n, 15, 100, first_reading);
    if (outcome.failure.failed() || outcome.data_changed) state.SkipWithError("result file failed");
  }
}

BENCHMARK(BM_DialogueTypedNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogueHardThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogueEstimatedNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResultFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeRunEstimate)->Unit(benchmark::kMillisecond);

}  // namespace
