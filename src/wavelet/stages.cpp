#include "wavelet/stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace dorvenk {
namespace {

// Pairs (decomposition) or output pairs (reconstruction) computed side by
// side. Their sums are independent of each other, so interleaving them keeps
// the floating-point units busy while every single sum still runs in its own
// fixed order.
constexpr int BLOCK = 8;

// Computes decomposition pairs i0 .. i0+BLOCK-1, none of whose indices
// k + 2i reaches r.
void decompose_block(const double* x, int i0, const double* p, const double* q, int taps, double* a,
                     double* d) {
  for (int b = 0; b < BLOCK; ++b) {
    a[b] = 0.0;
    d[b] = 0.0;
  }
  const double* base = x + 2 * i0;
  for (int k = 0; k < taps; ++k) {
    const double pk = p[k];
    const double qk = q[k];
    const double* xk = base + k;
    for (int b = 0; b < BLOCK; ++b) {
      const double v = xk[2 * b];
      a[b] += pk * v;
      d[b] += qk * v;
    }
  }
}

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

// Computes reconstruction output pairs j0 .. j0+BLOCK-1 where j - i never
// drops below 0, so idx_i = j - i.
void reconstruct_block(const double* approx, const double* detail, int j0, const double* p, const double* q,
                       int half, double* y0, double* y1) {
  for (int b = 0; b < BLOCK; ++b) {
    y0[b] = 0.0;
    y1[b] = 0.0;
  }
  for (int i = 0; i < half; ++i) {
    const double pe = p[2 * i];
    const double po = p[2 * i + 1];
    const double qe = q[2 * i];
    const double qo = q[2 * i + 1];
    const double* a_at = approx + (j0 - i);
    const double* d_at = detail + (j0 - i);
    for (int b = 0; b < BLOCK; ++b) {
      const double a = a_at[b];
      const double d = d_at[b];
      y0[b] += (pe * a + qe * d);
      y1[b] += (po * a + qo * d);
    }
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

void build_filter_pair(std::span<const double> p, std::span<double> q) {
  const std::size_t taps = p.size();
  for (std::size_t k = 0; k < taps; ++k) {
    const double mirrored = p[taps - 1 - k];
    q[k] = k % 2 == 0 ? mirrored : -mirrored;
  }
}

bool decompose_stage(std::span<const double> x, std::span<const double> p, std::span<const double> q,
                     StageSink sink) {
  const int r = static_cast<int>(x.size());
  const int taps = static_cast<int>(p.size());
  const int pairs = r / 2;
  const double* data = x.data();
  int i = 0;
  // Pairs whose indices k + 2i all stay below r need no wrapping.
  const int last_straight = r >= taps ? (r - taps) / 2 : -1;  // largest i with 2i + taps - 1 < r
  while (i + BLOCK - 1 <= last_straight && i + BLOCK <= pairs) {
    double a[BLOCK];
    double d[BLOCK];
    decompose_block(data, i, p.data(), q.data(), taps, a, d);
    if (!sink.take(sink.context, d, a, BLOCK)) return false;
    i += BLOCK;
  }
  for (; i < pairs; ++i) {
    double a;
    double d;
    decompose_pair(data, r, i, p.data(), q.data(), taps, a, d);
    if (!sink.take(sink.context, &d, &a, 1)) return false;
  }
  return true;
}

int reconstruction_offset(int half, int r) {
  // r = 0 forms no output pair, so any offset serves.
  if (r <= 0) return half;
  // The smallest multiple of r not below half: r itself when half <= r.
  return (half + r - 1) / r * r;
}

bool reconstruct_stage(std::span<const double> approx, std::span<const double> detail,
                       std::span<const double> p, std::span<const double> q, StageSink sink) {
  const int r = static_cast<int>(approx.size());
  const int half = static_cast<int>(p.size()) / 2;
  const int c = reconstruction_offset(half, r);
  const double* a = approx.data();
  const double* d = detail.data();
  // c is a multiple of r, so idx_i = (j - i) mod r. Up to j = half - 2 the
  // index j - i wraps below 0; from there on it never does, so the outputs
  // go in blocks.
  int j = 0;
  const int first_straight = std::min(half - 1, r);
  for (; j < first_straight; ++j) {
    double y0;
    double y1;
    reconstruct_pair(a, d, r, c, j, p.data(), q.data(), half, y0, y1);
    if (!sink.take(sink.context, &y0, &y1, 1)) return false;
  }
  for (; j + BLOCK <= r; j += BLOCK) {
    double y0[BLOCK];
    double y1[BLOCK];
    reconstruct_block(a, d, j, p.data(), q.data(), half, y0, y1);
    if (!sink.take(sink.context, y0, y1, BLOCK)) return false;
  }
  for (; j < r; ++j) {
    double y0;
    double y1;
    reconstruct_pair(a, d, r, c, j, p.data(), q.data(), half, y0, y1);
    if (!sink.take(sink.context, &y0, &y1, 1)) return false;
  }
  return true;
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
