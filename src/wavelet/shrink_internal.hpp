// One level of the engine through the scratch files, for the engine and its
// tests: a stage of wavelet/stages.hpp whose outputs pass the scratch files
// of wavelet/scratch.hpp on their way back into the series.
#pragma once

#include <span>

#include "text/text_file.hpp"
#include "wavelet/scratch.hpp"
#include "wavelet/shrink.hpp"

namespace dorvenk {

// One decomposition stage on x[0..r-1]: the floor(r/2) details go through
// "w_tmp" into x[r'..2r'-1] and the approximations through "s_tmp" into
// x[0..r'-1], r' = floor(r/2); r becomes r'. Nothing is stored back before
// the files hold every coefficient of the stage.
FileFailure decompose_level(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                            std::span<const double> q);

// One reconstruction stage: the r approximations x[0..r-1] and the r details
// x[r..2r-1] go through "r_tmp" into x[0..2r-1]; r becomes 2r.
FileFailure reconstruct_level(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                              std::span<const double> q);

// Takes the exclusive lock on the working directory and returns the
// descriptor that holds it, or -1 when the directory cannot be opened or
// locked. While another run holds it, tells `notes` at once and again after
// `note_again_ms`, and keeps trying.
int lock_working_directory(LockWaitNotes notes, int note_again_ms);

}  // namespace dorvenk
