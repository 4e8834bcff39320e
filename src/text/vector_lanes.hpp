// The generic vector types and the few helpers the vector versions of the
// noise estimator and of the wavelet stages are written with. The versions
// are compiled once per instruction set by target-specific wrappers; these
// helpers are always inlined into them, so they take the wrapper's
// instruction set. They have internal linkage: every file that includes
// this gets its own copies, and no copy built for one instruction set can
// stand in for another. Loads and stores go through memcpy, so any address
// will do.
#pragma once

// No vector crosses a call (everything below is always inlined), so the
// warning about how vectors would be passed does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace dorvenk {
namespace {

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));
typedef double v8d __attribute__((vector_size(64)));

template <class V>
constexpr int lanes_of = static_cast<int>(sizeof(V) / sizeof(double));

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
[[gnu::always_inline]] inline void store(double* p, const V& v) {
  __builtin_memcpy(p, &v, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline V splat(double value) {
  V v;
  for (int lane = 0; lane < lanes_of<V>; ++lane) v[lane] = value;
  return v;
}

}  // namespace
}  // namespace dorvenk
