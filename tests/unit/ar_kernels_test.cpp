// Every vector version of the estimator's loops that this processor runs,
// against the plain scalar loops, bit for bit, over many shapes: every order
// count 1..60, short and odd lengths, lengths around the block and stretch
// sizes, the full 32768, seeded random data and special values.
#include "estimate/ar_kernels.hpp"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ar_noise_reference.hpp"
#include "test_support.hpp"

namespace dorvenk::ar_kernels {
namespace {

std::uint64_t bits_of(double value) { return std::bit_cast<std::uint64_t>(value); }

using test_support::Random;

// The NaN the processor makes itself (0/0), the only kind that arises from
// data the tool can read.
double made_nan() {
  volatile double zero = 0.0;
  return zero / zero;
}

enum class Fill { smooth, wild, special };

// smooth: an AR(2) series; wild: values over many magnitudes, both signs;
// special: wild with infinities, zeros of both signs, huge and subnormal
// values scattered in.
std::vector<double> series(int n, Fill fill, int seed) {
  Random rng{static_cast<std::uint64_t>(seed)};
  std::vector<double> x(static_cast<std::size_t>(n));
  for (std::size_t t = 0; t < x.size(); ++t) {
    double v = rng.next_uniform() - 0.5;
    if (fill == Fill::smooth) {
      if (t >= 2) v += 1.1 * x[t - 1] - 0.4 * x[t - 2];
    } else {
      v = std::ldexp(v, static_cast<int>(rng.next_u64() % 40) - 20);
    }
    if (fill == Fill::special) {
      switch (rng.next_u64() % 16) {
        case 0: v = std::numeric_limits<double>::infinity(); break;
        case 1: v = -std::numeric_limits<double>::infinity(); break;
        case 2: v = 0.0; break;
        case 3: v = -0.0; break;
        case 4: v = 1e300; break;
        case 5: v = std::numeric_limits<double>::denorm_min() * 3; break;
        default: break;
      }
    }
    x[t] = v;
  }
  return x;
}

// Coefficient rows as the estimator would hold them; with special, some are
// infinite, NaN or zero, as a zero pivot leaves them.
void fill_coefficients(double (*coef)[MAX_AR_ORDER], bool special, int seed) {
  Random rng{static_cast<std::uint64_t>(seed)};
  for (int q = 0; q < MAX_AR_ORDER; ++q) {
    for (int o = 0; o < MAX_AR_ORDER; ++o) {
      double c = (rng.next_uniform() - 0.5) * 2.0 / (o + 1);
      if (special) {
        switch (rng.next_u64() % 24) {
          case 0: c = std::numeric_limits<double>::infinity(); break;
          case 1: c = made_nan(); break;
          case 2: c = 0.0; break;
          case 3: c = -0.0; break;
          default: break;
        }
      }
      coef[q][o] = c;
    }
  }
}

std::vector<Isa> vector_isas() {
  std::vector<Isa> isas;
  for (Isa isa : ALL_ISAS)
    if (isa != Isa::scalar && isa_supported(isa)) isas.push_back(isa);
  return isas;
}

// Lengths: every one up to 130 (every order count, odd and even), then
// lengths around multiples of the block and stretch sizes, odd ones, and the
// largest.
std::vector<int> lengths() {
  std::vector<int> ns;
  for (int n = 2; n <= 130; ++n) ns.push_back(n);
  for (int n : {191, 255, 256, 257, 300, 317, 511, 512, 513, 1001, 4095, 4097, 32767, 32768}) ns.push_back(n);
  return ns;
}

void expect_same_bits(const double* got, const double* want, int count, const std::string& where) {
  for (int i = 0; i < count; ++i) {
    if (bits_of(got[i]) != bits_of(want[i])) {
      ADD_FAILURE() << where << " entry " << i << ": " << got[i] << " instead of " << want[i];
      return;
    }
  }
}

TEST(ArKernels, ScalarAndSse2AlwaysRun) {
  EXPECT_TRUE(isa_supported(Isa::scalar));
  EXPECT_TRUE(isa_supported(Isa::sse2));
  EXPECT_TRUE(isa_supported(chosen_isa()));
  EXPECT_NE(chosen_isa(), Isa::scalar);
}

TEST(ArKernels, AutocorrelationMatchesScalar) {
  for (Fill fill : {Fill::smooth, Fill::wild, Fill::special}) {
    for (int n : lengths()) {
      const std::vector<double> x = series(n, fill, 100 + n);
      const int max_order = ar_max_order(n);
      double want[MAX_AR_ORDER + 1];
      autocorrelation(Isa::scalar, x.data(), n, max_order, want);
      for (Isa isa : vector_isas()) {
        double got[MAX_AR_ORDER + 1];
        autocorrelation(isa, x.data(), n, max_order, got);
        expect_same_bits(got, want, max_order + 1,
                         std::string(isa_name(isa)) + " n=" + std::to_string(n) + " fill=" +
                             std::to_string(static_cast<int>(fill)));
      }
    }
  }
}

TEST(ArKernels, SquaredErrorSumsMatchScalarForEveryOrderCount) {
  static double coef[MAX_AR_ORDER][MAX_AR_ORDER];
  for (Fill fill : {Fill::smooth, Fill::wild, Fill::special}) {
    for (int n : lengths()) {
      const std::vector<double> x = series(n, fill, 200 + n);
      fill_coefficients(coef, fill == Fill::special, 300 + n);
      // Every order count for short series; for long ones (where the
      // scalar loops are slow) the counts around the group widths.
      std::vector<int> counts;
      const int highest = ar_max_order(n);
      if (n <= 130 || n == 1001) {
        for (int m = 1; m <= highest; ++m) counts.push_back(m);
      } else if (n < 4095) {
        for (int m : {1, 2, 3, 4, 5, 7, 8, 9, 12, 16, 17, 33, 56, 57, 59, 60}) counts.push_back(m);
      } else {
        for (int m : {1, 5, 9, 57, 60}) counts.push_back(m);
      }
      for (int max_order : counts) {
        double want[MAX_AR_ORDER];
        squared_error_sums(Isa::scalar, x.data(), n, coef, max_order, want);
        for (Isa isa : vector_isas()) {
          double got[MAX_AR_ORDER];
          squared_error_sums(isa, x.data(), n, coef, max_order, got);
          expect_same_bits(got, want, max_order,
                           std::string(isa_name(isa)) + " n=" + std::to_string(n) + " orders=" +
                               std::to_string(max_order) + " fill=" + std::to_string(static_cast<int>(fill)));
        }
      }
    }
  }
}

// The scalar loops themselves against the plain step-by-step estimator
// (which squares with pow), and every version of the whole estimate against
// it, special values included.
TEST(ArKernels, WholeEstimateMatchesReferenceOnEveryVersion) {
  for (Fill fill : {Fill::smooth, Fill::wild, Fill::special}) {
    for (int n : {0, 1, 2, 3, 17, 60, 61, 62, 129, 1000, 4097, 32768}) {
      const std::vector<double> x = series(n, fill, 400 + n);
      const double want = reference::reference_fit(x, n).estimate;
      for (Isa isa : ALL_ISAS) {
        if (!isa_supported(isa)) continue;
        const double got = estimate_noise_sd(isa, x, n);
        EXPECT_EQ(bits_of(got), bits_of(want))
            << isa_name(isa) << " n=" << n << " fill=" << static_cast<int>(fill) << ": " << got << " vs " << want;
      }
    }
  }
}

// The series is placed so that its last sample is the last double before a
// page that cannot be read: a read at or beyond x[n] ends the test with a
// fault.
class GuardedSeries {
 public:
  explicit GuardedSeries(int n) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(double);
    readable_ = (bytes + page - 1) / page * page;
    size_ = readable_ + page;
    void* base = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return;
    base_ = static_cast<char*>(base);
    mprotect(base_ + readable_, page, PROT_NONE);
    data_ = reinterpret_cast<double*>(base_ + readable_ - bytes);
  }
  GuardedSeries(const GuardedSeries&) = delete;
  GuardedSeries& operator=(const GuardedSeries&) = delete;
  ~GuardedSeries() {
    if (base_ != nullptr) munmap(base_, size_);
  }
  double* data() const { return data_; }

 private:
  char* base_ = nullptr;
  double* data_ = nullptr;
  std::size_t readable_ = 0;
  std::size_t size_ = 0;
};

TEST(ArKernels, NothingAtOrBeyondTheLastSampleIsRead) {
  static double coef[MAX_AR_ORDER][MAX_AR_ORDER];
  fill_coefficients(coef, false, 7);
  for (int n : {2, 3, 9, 60, 61, 64, 65, 257, 1000, 32768}) {
    GuardedSeries guarded(n);
    ASSERT_NE(guarded.data(), nullptr);
    const std::vector<double> x = series(n, Fill::smooth, 500 + n);
    std::copy(x.begin(), x.end(), guarded.data());
    const int max_order = ar_max_order(n);
    double want_r[MAX_AR_ORDER + 1], want_s[MAX_AR_ORDER];
    autocorrelation(Isa::scalar, x.data(), n, max_order, want_r);
    squared_error_sums(Isa::scalar, x.data(), n, coef, max_order, want_s);
    for (Isa isa : vector_isas()) {
      double r[MAX_AR_ORDER + 1], s[MAX_AR_ORDER];
      autocorrelation(isa, guarded.data(), n, max_order, r);
      squared_error_sums(isa, guarded.data(), n, coef, max_order, s);
      expect_same_bits(r, want_r, max_order + 1, std::string(isa_name(isa)) + " lags n=" + std::to_string(n));
      expect_same_bits(s, want_s, max_order, std::string(isa_name(isa)) + " sums n=" + std::to_string(n));
    }
  }
}

}  // namespace
}  // namespace dorvenk::ar_kernels
