// Minimum-phase Daubechies scaling filters in multiple precision.
//
// The squared magnitude of the filter with N vanishing moments is
// cos^2N(w/2) P(sin^2(w/2)) with P(y) = sum_{k<N} C(N-1+k, k) y^k. With
// z = e^iw, y = sin^2(w/2) = (2 - z - 1/z) / 4, so each root y_k of P gives
// the pair z, 1/z with z + 1/z = 2 - 4 y_k; the minimum-phase filter takes
// the member inside the unit circle. P has only positive coefficients, so no
// root lies on [0, 1] and no zero lies on the unit circle.
//
// The roots of P are ill-conditioned: its coefficients grow to C(2N-2, N-1)
// and its roots cluster, so double precision loses every digit long before
// N = 100. Everything here therefore runs in MPFR/MPC at one precision, and
// the coefficients are rounded to double once, at the very end.
#include "coefs/daubechies_mp.hpp"

#include <gmp.h>
#include <mpc.h>
#include <mpfr.h>

#include <climits>
#include <cstdio>

#include "coefs/daubechies_table.hpp"

namespace dorvenk {
namespace {

constexpr int MAX_DEGREE = MAX_COEFS_ORDER - 1;
constexpr int MAX_TAPS = 2 * MAX_COEFS_ORDER;

// Aberth iterations allowed before the roots must have settled to half the
// working precision; far more than any order needs.
constexpr int MAX_ABERTH_ITERATIONS = 400;
// Further iterations once half the precision is reached. Aberth's method
// converges cubically near simple roots, so one already reaches the limit
// that rounding sets; the second is a margin.
constexpr int POLISH_ITERATIONS = 2;
// Precision of the sweeps that bring the roots near their places, enough for
// them to settle for every order up to 100 (about 100 bits are lost at N = 100).
constexpr mpfr_prec_t ROUGH_PRECISION_BITS = 256;

constexpr mpfr_rnd_t RND = MPFR_RNDN;
constexpr mpc_rnd_t CRND = MPC_RNDNN;

// Binary exponent of the larger part of v, or LONG_MIN / 2 for zero: a cheap
// log2 |v| to within one, enough to judge convergence.
long magnitude_exponent(const mpc_t v) {
  long e = LONG_MIN / 2;
  if (!mpfr_zero_p(mpc_realref(v)) && mpfr_get_exp(mpc_realref(v)) > e) e = mpfr_get_exp(mpc_realref(v));
  if (!mpfr_zero_p(mpc_imagref(v)) && mpfr_get_exp(mpc_imagref(v)) > e) e = mpfr_get_exp(mpc_imagref(v));
  return e;
}

// value = P(z) and slope = P'(z) by Horner's rule, a[0..degree] ascending.
void evaluate(const mpfr_t* a, int degree, const mpc_t z, mpc_t value, mpc_t slope) {
  mpc_set_fr(value, a[degree], CRND);
  mpc_set_ui(slope, 0, CRND);
  for (int k = degree - 1; k >= 0; --k) {
    mpc_mul(slope, slope, z, CRND);
    mpc_add(slope, slope, value, CRND);
    mpc_mul(value, value, z, CRND);
    mpc_add_fr(value, value, a[k], CRND);
  }
}

// Scratch values of one Aberth sweep, made once per computation.
struct AberthScratch {
  mpc_t value, slope, ratio, correction;
  mpfr_t sum_re, sum_im, d_re, d_im, norm, t;
};

// One Gauss-Seidel sweep of the Aberth-Ehrlich iteration over roots[0..degree-1]:
// z_i -= w / (1 - w sum_{j != i} 1/(z_i - z_j)), w = P(z_i) / P'(z_i).
// Returns the largest exponent of a correction relative to its root.
long aberth_sweep(const mpfr_t* a, int degree, mpc_t* roots, AberthScratch& s) {
  long worst = LONG_MIN / 2;
  for (int i = 0; i < degree; ++i) {
    evaluate(a, degree, roots[i], s.value, s.slope);
    mpc_div(s.ratio, s.value, s.slope, CRND);
    // sum of 1/(z_i - z_j) as conj(d) / |d|^2
    mpfr_set_ui(s.sum_re, 0, RND);
    mpfr_set_ui(s.sum_im, 0, RND);
    for (int j = 0; j < degree; ++j) {
      if (j == i) continue;
      mpfr_sub(s.d_re, mpc_realref(roots[i]), mpc_realref(roots[j]), RND);
      mpfr_sub(s.d_im, mpc_imagref(roots[i]), mpc_imagref(roots[j]), RND);
      mpfr_sqr(s.norm, s.d_re, RND);
      mpfr_sqr(s.t, s.d_im, RND);
      mpfr_add(s.norm, s.norm, s.t, RND);
      mpfr_ui_div(s.norm, 1, s.norm, RND);
      mpfr_mul(s.d_re, s.d_re, s.norm, RND);
      mpfr_mul(s.d_im, s.d_im, s.norm, RND);
      mpfr_add(s.sum_re, s.sum_re, s.d_re, RND);
      mpfr_sub(s.sum_im, s.sum_im, s.d_im, RND);
    }
    // correction = w / (1 - w * sum)
    mpc_set_fr_fr(s.correction, s.sum_re, s.sum_im, CRND);
    mpc_mul(s.correction, s.correction, s.ratio, CRND);
    mpc_ui_sub(s.correction, 1, s.correction, CRND);
    mpc_div(s.correction, s.ratio, s.correction, CRND);
    mpc_sub(roots[i], roots[i], s.correction, CRND);

    // A root gone to infinity or NaN never counts as settled.
    long relative = LONG_MAX / 2;
    if (mpfr_number_p(mpc_realref(roots[i])) && mpfr_number_p(mpc_imagref(roots[i])) &&
        mpfr_number_p(mpc_realref(s.correction)) && mpfr_number_p(mpc_imagref(s.correction))) {
      relative = magnitude_exponent(s.correction) - magnitude_exponent(roots[i]);
    }
    if (relative > worst) worst = relative;
  }
  return worst;
}

// Starting points for the roots of a[0..degree]: equally spaced on the circle
// of radius (a0/ad)^(1/degree), the geometric mean of the roots' moduli,
// turned off the real axis.
void circle_start(const mpfr_t* a, int degree, mpc_t* roots, mpfr_prec_t prec) {
  mpfr_t radius, angle, c, s, pi;
  mpfr_inits2(prec, radius, angle, c, s, pi, static_cast<mpfr_ptr>(nullptr));
  mpfr_div(radius, a[0], a[degree], RND);
  mpfr_rootn_ui(radius, radius, static_cast<unsigned long>(degree), RND);
  mpfr_const_pi(pi, RND);
  for (int i = 0; i < degree; ++i) {
    // angle = (2 pi i + 0.5) / degree
    mpfr_mul_ui(angle, pi, 2 * static_cast<unsigned long>(i), RND);
    mpfr_add_d(angle, angle, 0.5, RND);
    mpfr_div_ui(angle, angle, static_cast<unsigned long>(degree), RND);
    mpfr_sin_cos(s, c, angle, RND);
    mpfr_mul(c, c, radius, RND);
    mpfr_mul(s, s, radius, RND);
    mpc_set_fr_fr(roots[i], c, s, CRND);
  }
  mpfr_clears(radius, angle, c, s, pi, static_cast<mpfr_ptr>(nullptr));
}

// Runs Aberth sweeps on roots[0..degree-1] (degree >= 1) at `prec` until no
// root moves by more than 2^(-prec/2) of its size, then POLISH_ITERATIONS
// more. Returns false if that point is not reached.
bool aberth_converge(const mpfr_t* a, int degree, mpc_t* roots, mpfr_prec_t prec) {
  AberthScratch scratch;
  mpc_init2(scratch.value, prec);
  mpc_init2(scratch.slope, prec);
  mpc_init2(scratch.ratio, prec);
  mpc_init2(scratch.correction, prec);
  mpfr_inits2(prec, scratch.sum_re, scratch.sum_im, scratch.d_re, scratch.d_im, scratch.norm, scratch.t,
              static_cast<mpfr_ptr>(nullptr));

  const long settled = -static_cast<long>(prec) / 2;
  bool converged = false;
  for (int iteration = 0; iteration < MAX_ABERTH_ITERATIONS; ++iteration) {
    if (aberth_sweep(a, degree, roots, scratch) < settled) {
      converged = true;
      break;
    }
  }
  for (int iteration = 0; converged && iteration < POLISH_ITERATIONS; ++iteration) {
    aberth_sweep(a, degree, roots, scratch);
  }

  mpc_clear(scratch.value);
  mpc_clear(scratch.slope);
  mpc_clear(scratch.ratio);
  mpc_clear(scratch.correction);
  mpfr_clears(scratch.sum_re, scratch.sum_im, scratch.d_re, scratch.d_im, scratch.norm, scratch.t,
              static_cast<mpfr_ptr>(nullptr));
  return converged;
}

// Fills a[0..degree] with the coefficients of P, a[k] = C(degree+k, k):
// exact integers below 2^200 for N <= 100, so exact at ROUGH_PRECISION_BITS.
void binomial_polynomial(int degree, mpfr_t* a, mpfr_prec_t prec) {
  mpz_t binomial;
  mpz_init(binomial);
  for (int k = 0; k <= degree; ++k) {
    mpfr_init2(a[k], prec);
    mpz_bin_uiui(binomial, static_cast<unsigned long>(degree + k), static_cast<unsigned long>(k));
    mpfr_set_z(a[k], binomial, RND);
  }
  mpz_clear(binomial);
}

// The roots of P(y) of the given degree (>= 1) at `prec`. Most of the sweeps
// that bring the roots from the starting circle into place run at the cheaper
// ROUGH_PRECISION_BITS; the sweeps at `prec` then only refine them. The
// result is the fixed point at `prec` whatever the rough roots were, as long
// as each lies nearest its own root; the rough stage settling or not only
// changes how many sweeps the final stage needs.
bool find_roots(const mpfr_t* a, int degree, mpc_t* roots, mpfr_prec_t prec) {
  const mpfr_prec_t rough_prec = prec < ROUGH_PRECISION_BITS ? prec : ROUGH_PRECISION_BITS;
  mpfr_t rough_a[MAX_DEGREE + 1];
  mpc_t rough[MAX_DEGREE];
  binomial_polynomial(degree, rough_a, rough_prec);
  for (int i = 0; i < degree; ++i) mpc_init2(rough[i], rough_prec);
  circle_start(rough_a, degree, rough, rough_prec);
  aberth_converge(rough_a, degree, rough, rough_prec);
  for (int i = 0; i < degree; ++i) mpc_set(roots[i], rough[i], CRND);
  for (int i = 0; i < degree; ++i) mpc_clear(rough[i]);
  for (int k = 0; k <= degree; ++k) mpfr_clear(rough_a[k]);
  return aberth_converge(a, degree, roots, prec);
}

// The zero inside the unit circle for the root y: z + 1/z = c with c = 2 - 4y,
// so z = 2 / (c ± sqrt(c^2 - 4)), the sign giving the larger denominator
// (no cancellation there, and the smaller z).
void inner_zero(const mpc_t y, mpc_t z, mpfr_prec_t prec) {
  mpc_t c, root, plus, minus;
  mpfr_t norm_plus, norm_minus;
  mpc_init2(c, prec);
  mpc_init2(root, prec);
  mpc_init2(plus, prec);
  mpc_init2(minus, prec);
  mpfr_inits2(prec, norm_plus, norm_minus, static_cast<mpfr_ptr>(nullptr));

  mpc_mul_ui(c, y, 4, CRND);
  mpc_ui_sub(c, 2, c, CRND);
  mpc_sqr(root, c, CRND);
  mpc_sub_ui(root, root, 4, CRND);
  mpc_sqrt(root, root, CRND);
  mpc_add(plus, c, root, CRND);
  mpc_sub(minus, c, root, CRND);
  mpc_norm(norm_plus, plus, RND);
  mpc_norm(norm_minus, minus, RND);
  mpc_ui_div(z, 2, mpfr_cmp(norm_plus, norm_minus) >= 0 ? plus : minus, CRND);

  mpc_clear(c);
  mpc_clear(root);
  mpc_clear(plus);
  mpc_clear(minus);
  mpfr_clears(norm_plus, norm_minus, static_cast<mpfr_ptr>(nullptr));
}

}  // namespace

bool compute_daubechies(int order, long precision_bits, std::span<double> h) {
  if (order < 1 || order > MAX_COEFS_ORDER || h.size() != static_cast<std::size_t>(2 * order) ||
      precision_bits < MPFR_PREC_MIN || precision_bits > MPFR_PREC_MAX) {
    return false;
  }
  const int degree = order - 1;
  const int taps = 2 * order;
  const auto prec = static_cast<mpfr_prec_t>(precision_bits);

  mpfr_t a[MAX_DEGREE + 1];
  binomial_polynomial(degree, a, prec);

  mpc_t roots[MAX_DEGREE];
  for (int i = 0; i < degree; ++i) mpc_init2(roots[i], prec);
  bool ok = degree == 0 || find_roots(a, degree, roots, prec);

  // q(x) = prod (1 - z_k x) (1 + x)^N, coefficients of ascending powers of x = z^-1.
  mpc_t q[MAX_TAPS];
  mpc_t zero_z, term;
  for (int j = 0; j < taps; ++j) {
    mpc_init2(q[j], prec);
    mpc_set_ui(q[j], j == 0 ? 1 : 0, CRND);
  }
  mpc_init2(zero_z, prec);
  mpc_init2(term, prec);
  int length = 1;
  for (int i = 0; ok && i < degree; ++i) {
    inner_zero(roots[i], zero_z, prec);
    for (int j = length; j >= 1; --j) {
      mpc_mul(term, zero_z, q[j - 1], CRND);
      mpc_sub(q[j], q[j], term, CRND);
    }
    ++length;
  }
  for (int i = 0; ok && i < order; ++i) {
    for (int j = length; j >= 1; --j) mpc_add(q[j], q[j], q[j - 1], CRND);
    ++length;
  }

  // The zeros come in conjugate pairs, so q is real up to rounding; an
  // imaginary part above half the precision means the roots were wrong.
  mpfr_t sum, scale, coefficient;
  mpfr_inits2(prec, sum, scale, coefficient, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_ui(sum, 0, RND);
  for (int j = 0; ok && j < taps; ++j) mpfr_add(sum, sum, mpc_realref(q[j]), RND);
  const long sum_exponent = ok ? mpfr_get_exp(sum) : 0;
  for (int j = 0; ok && j < taps; ++j) {
    const mpfr_srcptr imaginary = mpc_imagref(q[j]);
    if (!mpfr_zero_p(imaginary) && mpfr_get_exp(imaginary) > sum_exponent - static_cast<long>(prec) / 2) {
      ok = false;
    }
  }
  // h_j = Re q_j * sqrt(2) / sum, each rounded to the nearest double once.
  if (ok) {
    mpfr_sqrt_ui(scale, 2, RND);
    mpfr_div(scale, scale, sum, RND);
    for (int j = 0; j < taps; ++j) {
      mpfr_mul(coefficient, mpc_realref(q[j]), scale, RND);
      h[static_cast<std::size_t>(j)] = mpfr_get_d(coefficient, MPFR_RNDN);
    }
  }

  mpfr_clears(sum, scale, coefficient, static_cast<mpfr_ptr>(nullptr));
  for (int j = 0; j < taps; ++j) mpc_clear(q[j]);
  mpc_clear(zero_z);
  mpc_clear(term);
  for (int i = 0; i < degree; ++i) mpc_clear(roots[i]);
  for (int k = 0; k <= degree; ++k) mpfr_clear(a[k]);
  return ok;
}

bool daubechies_table_source(long precision_bits, std::string& text) {
  char line[96];
  text.clear();
  std::snprintf(line, sizeof line, "%ld", precision_bits);
  text += "// Minimum-phase Daubechies scaling filters h[0..2N-1] for N = 1 to 100,\n"
          "// each the nearest double to the exact value. Written by dorvenk_coefs_gen,\n"
          "// which computes them at ";
  text += line;
  text += " bits; do not edit. To write it again:\n"
          "//   cmake --build <build directory> --target regenerate_coefs_table\n"
          "#include \"coefs/daubechies_table.hpp\"\n"
          "\n"
          "namespace dorvenk {\n"
          "\n"
          "const double DAUBECHIES_TABLE[DAUBECHIES_TABLE_SIZE] = {\n";
  double h[MAX_TAPS];
  for (int order = 1; order <= MAX_COEFS_ORDER; ++order) {
    const std::span<double> filter(h, static_cast<std::size_t>(2 * order));
    if (!compute_daubechies(order, precision_bits, filter)) {
      text.clear();
      return false;
    }
    std::snprintf(line, sizeof line, "    // N = %d\n", order);
    text += line;
    for (const double value : filter) {
      std::snprintf(line, sizeof line, "    %.17g,\n", value);
      text += line;
    }
  }
  text += "};\n"
          "\n"
          "}  // namespace dorvenk\n";
  return true;
}

}  // namespace dorvenk
