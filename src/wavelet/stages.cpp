#include "wavelet/stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "text/vector_lanes.hpp"

namespace dorvenk {
namespace {

// ---------------------------------------------------------------------------
// Plain scalar loops: the definition every vector version must match.

// Computes one decomposition pair with the periodic index (k + 2i) mod r.
void decompose_pair(const double* x, int r, int i, const double* p, const double* q, int taps, double& a,
                    double& d) {
  a = 0.0;
  d = 0.0;
  int idx = (2 * i) % r;
  for (int k = 0; k < taps; ++k) {
    const double v = x[idx];
    a += p[k] * v;
    d += q[k] * v;
    if (++idx == r) idx = 0;
  }
}

// Computes one reconstruction output pair with idx_i = (j - i + c) mod r.
void reconstruct_pair(const double* approx, const double* detail, int r, int c, int j, const double* p,
                      const double* q, int half, double& y0, double& y1) {
  y0 = 0.0;
  y1 = 0.0;
  int idx = (j + c) % r;  // j - i + c stays positive, so stepping down wraps at 0
  for (int i = 0; i < half; ++i) {
    const double a = approx[idx];
    const double d = detail[idx];
    y0 += (p[2 * i] * a + q[2 * i] * d);
    y1 += (p[2 * i + 1] * a + q[2 * i + 1] * d);
    idx = idx == 0 ? r - 1 : idx - 1;
  }
}

bool decompose_scalar(const double* x, int r, const double* p, const double* q, int taps, StageSink sink) {
  const int pairs = r / 2;
  for (int i = 0; i < pairs; ++i) {
    double a;
    double d;
    decompose_pair(x, r, i, p, q, taps, a, d);
    if (!sink.take(sink.context, &d, &a, 1)) return false;
  }
  return true;
}

bool reconstruct_scalar(const double* approx, const double* detail, int r, const double* p, const double* q,
                        int half, StageSink sink) {
  const int c = reconstruction_offset(half, r);
  for (int j = 0; j < r; ++j) {
    double y0;
    double y1;
    reconstruct_pair(approx, detail, r, c, j, p, q, half, y0, y1);
    if (!sink.take(sink.context, &y0, &y1, 1)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Vector versions, written once over GCC's generic vector types and compiled
// for each instruction set by the target-specific wrappers further down. The
// bodies are always inlined into those wrappers, so they take the wrapper's
// instruction set; -ffp-contract=off holds there as everywhere, so no
// multiply is fused with an add.
//
// A stage goes in stretches of up to STRETCH pairs (or output pairs). For
// each stretch the samples its sums read are first copied, in the order the
// periodic index visits them, into a small window, so that the outputs of a
// block lie side by side in the lanes of a few vectors and every term of
// their sums is one contiguous load: the wrapping index costs nothing in the
// sums, and no output needs a path of its own. Each block holds G vectors of
// outputs, enough independent sums to hide the latency of the additions.

// The vector types and load, store and splat: text/vector_lanes.hpp.

// Pairs or output pairs per stretch, a multiple of every block size.
constexpr int STRETCH = 512;
// Largest filter the vector versions take; longer ones go the scalar way.
constexpr int MAX_VECTOR_TAPS = 200;
// Outputs handed to the sink at a time, so that a failed store stops the
// stage within a few outputs.
constexpr int SINK_STEP = 8;

bool hand_over(StageSink sink, const double* first, const double* second, int count) {
  for (int b = 0; b < count; b += SINK_STEP) {
    if (!sink.take(sink.context, first + b, second + b, std::min(SINK_STEP, count - b))) return false;
  }
  return true;
}

// Decomposition pairs b = 0..G*W-1 of a block: with window[t] the sample
// at (t + 2 i0) mod r, even[m] = window[2m] and odd[m] = window[2m+1],
//   a[b] = sum over k of p[k] window[2b + k], d[b] likewise with q,
// k = 0..2*half-1 ascending. Term k reads even[b + k/2] for even k and
// odd[b + k/2] for odd k.
template <class V, int G>
[[gnu::always_inline]] inline void decompose_block(const double* even, const double* odd, const double* p,
                                                   const double* q, int half, double* a, double* d) {
  constexpr int W = lanes_of<V>;
  V sum_a[std::size_t{G}];
  V sum_d[std::size_t{G}];
  _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
    sum_a[g] = splat<V>(0.0);
    sum_d[g] = splat<V>(0.0);
  }
  for (int h = 0; h < half; ++h) {
    const V pe = splat<V>(p[2 * h]);
    const V qe = splat<V>(q[2 * h]);
    _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
      const V v = load<V>(even + h + g * W);
      sum_a[g] = sum_a[g] + pe * v;
      sum_d[g] = sum_d[g] + qe * v;
    }
    const V po = splat<V>(p[2 * h + 1]);
    const V qo = splat<V>(q[2 * h + 1]);
    _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
      const V v = load<V>(odd + h + g * W);
      sum_a[g] = sum_a[g] + po * v;
      sum_d[g] = sum_d[g] + qo * v;
    }
  }
  _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
    store(a + g * W, sum_a[g]);
    store(d + g * W, sum_d[g]);
  }
}

template <class V, int G>
[[gnu::always_inline]] inline bool decompose_vector(const double* x, int r, const double* p, const double* q,
                                                    int taps, StageSink sink) {
  constexpr int BLOCK = G * lanes_of<V>;
  static_assert(STRETCH % BLOCK == 0);
  const int half = taps / 2;
  const int pairs = r / 2;
  alignas(64) double even[STRETCH + MAX_VECTOR_TAPS / 2];
  alignas(64) double odd[STRETCH + MAX_VECTOR_TAPS / 2];
  alignas(64) double a[STRETCH];
  alignas(64) double d[STRETCH];
  for (int i0 = 0; i0 < pairs; i0 += STRETCH) {
    const int count = std::min(STRETCH, pairs - i0);
    const int lanes = (count + BLOCK - 1) / BLOCK * BLOCK;
    // Every lane, the ones beyond the last pair included, reads samples of
    // the series: the window is filled for all of them.
    const int window = lanes + half - 1;
    int t = (2 * i0) % r;
    for (int m = 0; m < window; ++m) {
      even[m] = x[t];
      if (++t == r) t = 0;
      odd[m] = x[t];
      if (++t == r) t = 0;
    }
    for (int b = 0; b < lanes; b += BLOCK) decompose_block<V, G>(even + b, odd + b, p, q, half, a + b, d + b);
    if (!hand_over(sink, d, a, count)) return false;
  }
  return true;
}

// Reconstruction output pairs b = 0..G*W-1 of a block: with wa[t] the
// approximation at (j0 - (half-1) + t + c) mod r and wd[t] the detail there,
// output pair j0 + b gathers term i from wa[b + half-1 - i] and
// wd[b + half-1 - i], i = 0..half-1 ascending.
template <class V, int G>
[[gnu::always_inline]] inline void reconstruct_block(const double* wa, const double* wd, const double* p,
                                                     const double* q, int half, double* y0, double* y1) {
  constexpr int W = lanes_of<V>;
  V sum0[std::size_t{G}];
  V sum1[std::size_t{G}];
  _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
    sum0[g] = splat<V>(0.0);
    sum1[g] = splat<V>(0.0);
  }
  for (int i = 0; i < half; ++i) {
    const V pe = splat<V>(p[2 * i]);
    const V po = splat<V>(p[2 * i + 1]);
    const V qe = splat<V>(q[2 * i]);
    const V qo = splat<V>(q[2 * i + 1]);
    const int at = half - 1 - i;
    _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
      const V a = load<V>(wa + at + g * W);
      const V d = load<V>(wd + at + g * W);
      sum0[g] = sum0[g] + (pe * a + qe * d);
      sum1[g] = sum1[g] + (po * a + qo * d);
    }
  }
  _Pragma("GCC unroll 16") for (int g = 0; g < G; ++g) {
    store(y0 + g * W, sum0[g]);
    store(y1 + g * W, sum1[g]);
  }
}

template <class V, int G>
[[gnu::always_inline]] inline bool reconstruct_vector(const double* approx, const double* detail, int r,
                                                      const double* p, const double* q, int half,
                                                      StageSink sink) {
  constexpr int BLOCK = G * lanes_of<V>;
  static_assert(STRETCH % BLOCK == 0);
  const int c = reconstruction_offset(half, r);
  alignas(64) double wa[STRETCH + MAX_VECTOR_TAPS / 2];
  alignas(64) double wd[STRETCH + MAX_VECTOR_TAPS / 2];
  alignas(64) double y0[STRETCH];
  alignas(64) double y1[STRETCH];
  for (int j0 = 0; j0 < r; j0 += STRETCH) {
    const int count = std::min(STRETCH, r - j0);
    const int lanes = (count + BLOCK - 1) / BLOCK * BLOCK;
    const int window = lanes + half - 1;
    // j0 - (half-1) + c >= 1, since c >= half.
    int t = (j0 - (half - 1) + c) % r;
    for (int m = 0; m < window; ++m) {
      wa[m] = approx[t];
      wd[m] = detail[t];
      if (++t == r) t = 0;
    }
    for (int b = 0; b < lanes; b += BLOCK) reconstruct_block<V, G>(wa + b, wd + b, p, q, half, y0 + b, y1 + b);
    if (!hand_over(sink, y0, y1, count)) return false;
  }
  return true;
}

// One wrapper per instruction set. Vectors per block: enough independent
// sums to hide the addition latency, few enough that they stay in
// registers (16 vector registers below AVX-512, 32 with it).
constexpr int DECOMPOSE_SSE2 = 4;
constexpr int RECONSTRUCT_SSE2 = 4;
constexpr int DECOMPOSE_AVX2 = 4;
constexpr int RECONSTRUCT_AVX2 = 4;
constexpr int DECOMPOSE_AVX512 = 8;
constexpr int RECONSTRUCT_AVX512 = 8;

bool decompose_sse2(const double* x, int r, const double* p, const double* q, int taps, StageSink sink) {
  return decompose_vector<v2d, DECOMPOSE_SSE2>(x, r, p, q, taps, sink);
}
bool reconstruct_sse2(const double* approx, const double* detail, int r, const double* p, const double* q,
                      int half, StageSink sink) {
  return reconstruct_vector<v2d, RECONSTRUCT_SSE2>(approx, detail, r, p, q, half, sink);
}

__attribute__((target("avx2,no-fma"))) bool decompose_avx2(const double* x, int r, const double* p,
                                                           const double* q, int taps, StageSink sink) {
  return decompose_vector<v4d, DECOMPOSE_AVX2>(x, r, p, q, taps, sink);
}
__attribute__((target("avx2,no-fma"))) bool reconstruct_avx2(const double* approx, const double* detail, int r,
                                                             const double* p, const double* q, int half,
                                                             StageSink sink) {
  return reconstruct_vector<v4d, RECONSTRUCT_AVX2>(approx, detail, r, p, q, half, sink);
}

__attribute__((target("avx512f,no-fma"))) bool decompose_avx512(const double* x, int r, const double* p,
                                                                const double* q, int taps, StageSink sink) {
  return decompose_vector<v8d, DECOMPOSE_AVX512>(x, r, p, q, taps, sink);
}
__attribute__((target("avx512f,no-fma"))) bool reconstruct_avx512(const double* approx, const double* detail,
                                                                  int r, const double* p, const double* q,
                                                                  int half, StageSink sink) {
  return reconstruct_vector<v8d, RECONSTRUCT_AVX512>(approx, detail, r, p, q, half, sink);
}

// ---------------------------------------------------------------------------

// The in-memory sink: the first sequence goes to `first`, the second to
// `second`, each advancing by `step` from `at`.
struct ArraySink {
  double* first;
  double* second;
  std::ptrdiff_t step;
  std::ptrdiff_t at = 0;
};

bool take_into_arrays(void* context, const double* first, const double* second, int count) {
  auto& sink = *static_cast<ArraySink*>(context);
  for (int b = 0; b < count; ++b) {
    sink.first[sink.at] = first[b];
    sink.second[sink.at] = second[b];
    sink.at += sink.step;
  }
  return true;
}

}  // namespace

namespace stage_kernels {

bool decompose_stage(Isa isa, std::span<const double> x, std::span<const double> p, std::span<const double> q,
                     StageSink sink) {
  const int r = static_cast<int>(x.size());
  const int taps = static_cast<int>(p.size());
  const double* data = x.data();
  // The vector versions take the filters of the engine: an even number of
  // taps, at most MAX_VECTOR_TAPS.
  if (taps % 2 != 0 || taps > MAX_VECTOR_TAPS) isa = Isa::scalar;
  switch (isa) {
    case Isa::scalar: break;
    case Isa::sse2: return decompose_sse2(data, r, p.data(), q.data(), taps, sink);
    case Isa::avx2: return decompose_avx2(data, r, p.data(), q.data(), taps, sink);
    case Isa::avx512: return decompose_avx512(data, r, p.data(), q.data(), taps, sink);
  }
  return decompose_scalar(data, r, p.data(), q.data(), taps, sink);
}

bool reconstruct_stage(Isa isa, std::span<const double> approx, std::span<const double> detail,
                       std::span<const double> p, std::span<const double> q, StageSink sink) {
  const int r = static_cast<int>(approx.size());
  const int half = static_cast<int>(p.size()) / 2;
  if (2 * half > MAX_VECTOR_TAPS) isa = Isa::scalar;
  switch (isa) {
    case Isa::scalar: break;
    case Isa::sse2: return reconstruct_sse2(approx.data(), detail.data(), r, p.data(), q.data(), half, sink);
    case Isa::avx2: return reconstruct_avx2(approx.data(), detail.data(), r, p.data(), q.data(), half, sink);
    case Isa::avx512: return reconstruct_avx512(approx.data(), detail.data(), r, p.data(), q.data(), half, sink);
  }
  return reconstruct_scalar(approx.data(), detail.data(), r, p.data(), q.data(), half, sink);
}

}  // namespace stage_kernels

void build_filter_pair(std::span<const double> p, std::span<double> q) {
  const std::size_t taps = p.size();
  for (std::size_t k = 0; k < taps; ++k) {
    const double mirrored = p[taps - 1 - k];
    q[k] = k % 2 == 0 ? mirrored : -mirrored;
  }
}

bool decompose_stage(std::span<const double> x, std::span<const double> p, std::span<const double> q,
                     StageSink sink) {
  return stage_kernels::decompose_stage(stage_kernels::chosen_isa(), x, p, q, sink);
}

int reconstruction_offset(int half, int r) {
  // r = 0 forms no output pair, so any offset serves.
  if (r <= 0) return half;
  // The smallest multiple of r not below half: r itself when half <= r.
  return (half + r - 1) / r * r;
}

bool reconstruct_stage(std::span<const double> approx, std::span<const double> detail,
                       std::span<const double> p, std::span<const double> q, StageSink sink) {
  return stage_kernels::reconstruct_stage(stage_kernels::chosen_isa(), approx, detail, p, q, sink);
}

int hard_threshold(std::span<double> x, double threshold) {
  int zeroed = 0;
  for (double& v : x) {
    if (!(std::fabs(v) >= threshold)) {
      v = 0.0;
      ++zeroed;
    }
  }
  return zeroed;
}

void decompose_into(std::span<const double> x, std::span<const double> p, std::span<const double> q,
                    std::span<double> approx, std::span<double> detail) {
  ArraySink arrays{detail.data(), approx.data(), 1};
  decompose_stage(x, p, q, StageSink{&arrays, take_into_arrays});
}

void reconstruct_into(std::span<const double> approx, std::span<const double> detail,
                      std::span<const double> p, std::span<const double> q, std::span<double> out) {
  ArraySink arrays{out.data(), out.data() + 1, 2};
  reconstruct_stage(approx, detail, p, q, StageSink{&arrays, take_into_arrays});
}

}  // namespace dorvenk
