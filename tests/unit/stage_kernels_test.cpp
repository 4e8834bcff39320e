// Every vector version of the engine's stage loops that this processor
// runs, against the plain scalar loops, bit for bit, over many shapes: every
// filter length 2..200, every length up to 70 (odd and even), lengths
// around the block and stretch sizes, the full 32768, seeded data over many
// magnitudes and special values, and a store that stops the stage.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "seeded_random.hpp"
#include "wavelet/stages.hpp"

namespace dorvenk::stage_kernels {
namespace {

using test_support::Random;

double made_nan() {
  volatile double zero = 0.0;
  return zero / zero;
}

// Values over many magnitudes and both signs; with `special`, infinities,
// NaN, zeros of both signs, huge and subnormal values scattered in.
std::vector<double> values(int count, bool special, std::uint64_t seed) {
  Random rng{seed};
  std::vector<double> v(static_cast<std::size_t>(count));
  for (double& x : v) {
    x = std::ldexp(rng.next_uniform() - 0.5, static_cast<int>(rng.next_u64() % 40) - 20);
    if (special) {
      switch (rng.next_u64() % 20) {
        case 0: x = std::numeric_limits<double>::infinity(); break;
        case 1: x = -std::numeric_limits<double>::infinity(); break;
        case 2: x = made_nan(); break;
        case 3: x = 0.0; break;
        case 4: x = -0.0; break;
        case 5: x = 1e300; break;
        case 6: x = std::numeric_limits<double>::denorm_min() * 3; break;
        default: break;
      }
    }
  }
  return v;
}

// Everything a stage hands over: both output sequences, in order.
struct Collected {
  std::vector<double> first;
  std::vector<double> second;
  static bool take(void* context, const double* first, const double* second, int count) {
    auto& c = *static_cast<Collected*>(context);
    c.first.insert(c.first.end(), first, first + count);
    c.second.insert(c.second.end(), second, second + count);
    return true;
  }
  StageSink sink() { return StageSink{this, take}; }
};

std::vector<Isa> vector_isas() {
  std::vector<Isa> isas;
  for (Isa isa : ALL_ISAS)
    if (isa != Isa::scalar && isa_supported(isa)) isas.push_back(isa);
  return isas;
}

// The same double: the same bits, or both NaN. Which of two NaN operands an
// addition passes on depends on the order of its operands in the machine
// code, which the compiler may swap; the sign and payload of a NaN never
// reach the tool's output ("nan" is written without a sign).
bool same_value(double got, double want) {
  if (std::isnan(got) && std::isnan(want)) return true;
  return std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(want);
}

// Same count, same values, in both sequences.
void expect_same(const Collected& got, const Collected& want, const std::string& where) {
  ASSERT_EQ(got.first.size(), want.first.size()) << where;
  ASSERT_EQ(got.second.size(), want.second.size()) << where;
  for (std::size_t i = 0; i < want.first.size(); ++i) {
    if (!same_value(got.first[i], want.first[i]) || !same_value(got.second[i], want.second[i])) {
      ADD_FAILURE() << where << " output " << i << ": " << got.first[i] << ", " << got.second[i] << " instead of "
                    << want.first[i] << ", " << want.second[i];
      return;
    }
  }
}

// Both stages of one shape on every vector version against the scalar one:
// decomposition of r values, reconstruction of r approximations and r
// details.
void check_shape(int taps, int r, bool special, std::uint64_t seed) {
  const std::vector<double> p = values(taps, special && taps > 4, seed);
  std::vector<double> q(p.size());
  build_filter_pair(p, q);
  const std::vector<double> x = values(2 * r, special, seed + 1);
  const std::span<const double> xs(x);
  const std::string shape = "taps=" + std::to_string(taps) + " r=" + std::to_string(r) +
                            (special ? " special" : "");

  Collected want_decomposed;
  Collected want_reconstructed;
  ASSERT_TRUE(decompose_stage(Isa::scalar, xs.first(static_cast<std::size_t>(r)), p, q, want_decomposed.sink()));
  ASSERT_TRUE(reconstruct_stage(Isa::scalar, xs.first(static_cast<std::size_t>(r)),
                                xs.subspan(static_cast<std::size_t>(r)), p, q, want_reconstructed.sink()));
  ASSERT_EQ(want_decomposed.first.size(), static_cast<std::size_t>(r / 2)) << shape;
  ASSERT_EQ(want_reconstructed.first.size(), static_cast<std::size_t>(r)) << shape;
  for (Isa isa : vector_isas()) {
    Collected decomposed;
    Collected reconstructed;
    ASSERT_TRUE(decompose_stage(isa, xs.first(static_cast<std::size_t>(r)), p, q, decomposed.sink()));
    ASSERT_TRUE(reconstruct_stage(isa, xs.first(static_cast<std::size_t>(r)), xs.subspan(static_cast<std::size_t>(r)),
                                  p, q, reconstructed.sink()));
    expect_same(decomposed, want_decomposed, std::string(isa_name(isa)) + " decomposition " + shape);
    expect_same(reconstructed, want_reconstructed, std::string(isa_name(isa)) + " reconstruction " + shape);
  }
}

TEST(StageKernels, ScalarAndSse2AlwaysRunAndTheStagesUseTheWidest) {
  EXPECT_TRUE(isa_supported(Isa::scalar));
  EXPECT_TRUE(isa_supported(Isa::sse2));
  EXPECT_TRUE(isa_supported(chosen_isa()));
  EXPECT_NE(chosen_isa(), Isa::scalar);
  if (isa_supported(Isa::avx512)) {
    EXPECT_EQ(chosen_isa(), Isa::avx512);
  } else if (isa_supported(Isa::avx2)) {
    EXPECT_EQ(chosen_isa(), Isa::avx2);
  }
}

// Every filter length with every short length, where the periodic index
// wraps more than once and the filter is longer than the series.
TEST(StageKernels, EveryOrderWithEveryShortLength) {
  for (int half = 1; half <= 100; ++half)
    for (int r = 1; r <= 70; ++r) check_shape(2 * half, r, false, static_cast<std::uint64_t>(1000 * half + r));
}

// Lengths around the block sizes (8 to 64) and the stretch (512), odd ones,
// and the full series, for short and long filters.
TEST(StageKernels, LengthsAroundBlocksAndStretches) {
  const int lengths[] = {127, 128, 129, 255, 511, 512, 513, 1023, 1024, 1025, 1537, 4097};
  for (int half : {1, 2, 3, 4, 7, 8, 9, 31, 33, 64, 99, 100})
    for (int r : lengths) check_shape(2 * half, r, false, static_cast<std::uint64_t>(7 * half + r));
  for (int half : {1, 2, 5, 50, 100})
    for (int r : {32767, 32768}) check_shape(2 * half, r, false, static_cast<std::uint64_t>(11 * half + r));
}

// Infinities, NaN, signed zeros, huge and subnormal values in the data and
// the filter flow through every version the same way.
TEST(StageKernels, SpecialValuesGiveTheSameBits) {
  for (int half : {1, 2, 3, 10, 100})
    for (int r : {1, 2, 3, 5, 17, 64, 65, 300, 1001}) check_shape(2 * half, r, true, static_cast<std::uint64_t>(13 * half + r));
}

// A store that fails stops every version within a few outputs, and the
// outputs it took are the scalar ones.
struct Stopping {
  int room;
  Collected taken;
  static bool take(void* context, const double* first, const double* second, int count) {
    auto& s = *static_cast<Stopping*>(context);
    Collected::take(&s.taken, first, second, count);
    return static_cast<int>(s.taken.first.size()) < s.room;
  }
};

TEST(StageKernels, AFailedStoreStopsEveryVersion) {
  const std::vector<double> p = values(200, false, 5);
  std::vector<double> q(p.size());
  build_filter_pair(p, q);
  const std::vector<double> x = values(4096, false, 6);
  const std::span<const double> xs(x);
  for (Isa isa : ALL_ISAS) {
    if (!isa_supported(isa)) continue;
    Stopping decomposition{100, {}};
    EXPECT_FALSE(decompose_stage(isa, xs, p, q, StageSink{&decomposition, Stopping::take})) << isa_name(isa);
    EXPECT_GE(decomposition.taken.first.size(), 100u) << isa_name(isa);
    EXPECT_LT(decomposition.taken.first.size(), 108u) << isa_name(isa);
    Stopping reconstruction{100, {}};
    EXPECT_FALSE(reconstruct_stage(isa, xs.first(2048), xs.subspan(2048), p, q,
                                   StageSink{&reconstruction, Stopping::take}))
        << isa_name(isa);
    EXPECT_GE(reconstruction.taken.first.size(), 100u) << isa_name(isa);
    EXPECT_LT(reconstruction.taken.first.size(), 108u) << isa_name(isa);
  }
}

}  // namespace
}  // namespace dorvenk::stage_kernels
