// Wavelet shrinkage: periodic discrete wavelet decomposition through scratch
// text files, hard thresholding, and reconstruction.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "text/text_file.hpp"

namespace dorvenk {

inline constexpr int MAX_N = 100;
inline constexpr int MAX_TAPS = 2 * MAX_N;

// The scratch files, in the working directory. Every value a stage stores
// passes one of them as "%.12lf\n" text and is read back from it.
inline constexpr const char* W_TMP = "w_tmp";  // details of a decomposition stage
inline constexpr const char* S_TMP = "s_tmp";  // approximations of a decomposition stage
inline constexpr const char* R_TMP = "r_tmp";  // outputs of a reconstruction stage

// Denoises samples[0..n-1] in place with the scaling filter p[0..taps-1]
// over `levels` levels, zeroing every coefficient whose magnitude is below
// `threshold`. Prints the coefficient table and the "ratio >> z/n" line on
// `out`. The scratch files "w_tmp", "s_tmp" and "r_tmp" live in the working
// directory for the call and are removed before it returns.
// Returns the scratch file that failed, if any; samples are then unusable.
//
// While its scratch files exist the engine holds an exclusive flock() on the
// working directory, so a second engine in the same directory waits instead
// of overwriting them; when the directory cannot be opened or locked the
// engine runs without the lock.
//
// Expects 1 <= taps/2 <= MAX_N, taps even, and 1 <= levels <= level_limit(n);
// n beyond samples and taps beyond p are cut to what is there.
FileFailure wavelet_shrink(std::span<double> samples, int n, std::span<const double> p, int taps,
                           int levels, double threshold, std::ostream& out);

// ---- The stages, for the engine and its tests ----

// Output buffers and read-back text that the stages reuse from one stage to
// the next, and which scratch files this call has created or overwritten.
struct ScratchFiles {
  OutFile w;
  OutFile s;
  OutFile r;
  std::string text;
  bool made_w = false;
  bool made_s = false;
  bool made_r = false;
};

// q[k] = (-1)^k p[taps-1-k] for k = 0..taps-1, printing one table line
// "p%2d=%15.12lf, q%2d=%15.12lf\n" (k, p[k], k - taps/2, q[k]) per k.
void build_filter_pair(std::span<const double> p, int taps, std::span<double> q, std::ostream& out);

// One decomposition stage on x[0..r-1]: the floor(r/2) details go through
// "w_tmp" into x[r'..2r'-1] and the approximations through "s_tmp" into
// x[0..r'-1], r' = floor(r/2); r becomes r'.
FileFailure decompose_stage(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                            std::span<const double> q, int taps);

// Zeroes (to +0.0) every x[0..n-1] whose magnitude is not at least
// `threshold`, NaN included; returns how many were zeroed.
int hard_threshold(std::span<double> x, int n, double threshold);

// One reconstruction stage: the r approximations x[0..r-1] and the r details
// x[r..2r-1] go through "r_tmp" into x[0..2r-1]; r becomes 2r.
FileFailure reconstruct_stage(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                              std::span<const double> q, int taps);

// Parses exactly values.size() lines of scratch text, each one number
// followed by "\n" ("inf", "-inf" and "nan" included). False when the text
// holds fewer values, more text, or anything that is not a number.
bool parse_scratch_values(std::string_view text, std::span<double> values);

}  // namespace dorvenk
