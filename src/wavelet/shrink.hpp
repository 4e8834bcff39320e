// Wavelet shrinkage: periodic discrete wavelet decomposition through scratch
// text files, hard thresholding, and reconstruction.
#pragma once

#include <ostream>
#include <span>

#include "text/text_file.hpp"

namespace dorvenk {

inline constexpr int MAX_N = 100;
inline constexpr int MAX_TAPS = 2 * MAX_N;

// Told when the working directory's lock is held by another run: once when
// the wait begins (`seconds_waited` 0), and once more if the wait lasts
// LOCK_WAIT_NOTE_SECONDS. `say` may be null: no notes.
struct LockWaitNotes {
  void* context = nullptr;
  void (*say)(void* context, int seconds_waited) = nullptr;
};

// How long a wait for the lock lasts before it is noted a second time.
inline constexpr int LOCK_WAIT_NOTE_SECONDS = 60;

// Denoises samples[0..n-1] in place with the scaling filter p[0..taps-1]
// over `levels` levels, zeroing every coefficient whose magnitude is below
// `threshold`. Prints the coefficient table and the "ratio >> z/n" line on
// `out`. The scratch files "w_tmp", "s_tmp" and "r_tmp" live in the working
// directory for the call and are removed before it returns.
// Returns the scratch file that failed, if any; samples are then unusable.
//
// While its scratch files exist the engine holds an exclusive flock() on the
// working directory, so a second engine in the same directory waits instead
// of overwriting them, telling `notes` that it waits; when the directory
// cannot be opened or locked the engine runs without the lock.
//
// Expects 1 <= taps/2 <= MAX_N, taps even, and 1 <= levels <= level_limit(n);
// n beyond samples and taps beyond p are cut to what is there. Never touches
// samples[n..].
FileFailure wavelet_shrink(std::span<double> samples, int n, std::span<const double> p, int taps,
                           int levels, double threshold, std::ostream& out, LockWaitNotes notes = {});

}  // namespace dorvenk
