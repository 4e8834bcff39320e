// The arithmetic of the shrinkage engine: the filter pair, one stage of the
// periodic decomposition, one stage of the reconstruction and the hard
// threshold.
//
// Nothing here touches a file, a stream or the console. A stage reads its
// input from spans and hands its outputs, in order, to a sink: the engine's
// sink writes them to the scratch files, and callers that want the
// coefficients in memory collect them into arrays (decompose_into,
// reconstruct_into).
//
// Every sum runs from 0.0 in the one fixed order of its formula, so a stage
// gives the same bits whichever sink takes its outputs, and whichever
// version of the loops computes it: besides the plain scalar loops there
// are vector versions for the instruction sets a processor may have, which
// compute independent sums side by side, each in its own order, with no
// multiply fused with an add. The stages pick the widest version the
// processor supports; the tests and benchmarks can call each one directly.
#pragma once

#include <span>

#include "text/isa.hpp"

namespace dorvenk {

// Takes a stage's outputs in order, `count` of each of its two output
// sequences at a time: the details (`first`) and the approximations
// (`second`) of a decomposition pair, or y0 (`first`) and y1 (`second`) of a
// reconstruction output pair. Returns false to stop the stage, when the
// store behind it has failed.
struct StageSink {
  void* context = nullptr;
  bool (*take)(void* context, const double* first, const double* second, int count) = nullptr;
};

// The wavelet (high-pass) filter of the scaling filter p:
// q[k] = (-1)^k p[taps-1-k] for k = 0..taps-1, taps = p.size() <= q.size().
void build_filter_pair(std::span<const double> p, std::span<double> q);

// One decomposition stage over the r = x.size() values of x. For
// i = 0 .. floor(r/2)-1, with the periodic index idx_k = (k + 2i) mod r:
//   d_i = q[0] x[idx_0] + ... + q[taps-1] x[idx_(taps-1)]   (detail)
//   a_i = p[0] x[idx_0] + ... + p[taps-1] x[idx_(taps-1)]   (approximation)
// each summed from 0.0 in increasing k. The pairs reach the sink in order of
// i. With odd r, x[r-1] takes part in the sums but gets no pair of its own.
// Returns false when the sink stopped the stage.
bool decompose_stage(std::span<const double> x, std::span<const double> p, std::span<const double> q,
                     StageSink sink);

// The index offset c of a reconstruction stage with r approximations and a
// filter of 2 * half taps: the smallest multiple of r not below half (r
// itself when half <= r). Being a multiple of r, it makes every stage the
// transpose of its decomposition stage, for which the output 2j+m gathers
// p[2i+m] and q[2i+m] at position (j - i) mod r; and it keeps j - i + c
// from going negative.
int reconstruction_offset(int half, int r);

// One reconstruction stage from the r approximations `approx` and the r
// details `detail` (r = approx.size() = detail.size()). For j = 0 .. r-1,
// with idx_i = (j - i + c) mod r, c = reconstruction_offset(half, r):
//   y0_j = sum over i of (p[2i]   approx[idx_i] + q[2i]   detail[idx_i])
//   y1_j = sum over i of (p[2i+1] approx[idx_i] + q[2i+1] detail[idx_i])
// for i = 0 .. half-1, each summed from 0.0 in increasing i, the two
// products of one i added to each other first. The output pairs reach the
// sink in order of j. Returns false when the sink stopped the stage.
bool reconstruct_stage(std::span<const double> approx, std::span<const double> detail,
                       std::span<const double> p, std::span<const double> q, StageSink sink);

// Zeroes (to +0.0) every value whose magnitude is not at least `threshold`,
// NaN included; returns how many were zeroed.
int hard_threshold(std::span<double> x, double threshold);

// ---- The stages in memory ----

// One decomposition stage of x into approx[0..r/2-1] and detail[0..r/2-1],
// r = x.size(). The outputs must not overlap x and must have room for
// floor(r/2) values each.
void decompose_into(std::span<const double> x, std::span<const double> p, std::span<const double> q,
                    std::span<double> approx, std::span<double> detail);

// One reconstruction stage into out[0..2r-1]: out[2j] = y0_j and
// out[2j+1] = y1_j. `out` must not overlap the inputs.
void reconstruct_into(std::span<const double> approx, std::span<const double> detail,
                      std::span<const double> p, std::span<const double> q, std::span<double> out);

// ---- The versions of the loops ----

namespace stage_kernels {

// The shared choice of instruction set, under the names the callers use;
// the stages above use chosen_isa().
using ::dorvenk::ALL_ISAS;
using ::dorvenk::chosen_isa;
using ::dorvenk::Isa;
using ::dorvenk::isa_name;
using ::dorvenk::isa_supported;

// decompose_stage and reconstruct_stage with the given version of the loops.
bool decompose_stage(Isa isa, std::span<const double> x, std::span<const double> p, std::span<const double> q,
                     StageSink sink);
bool reconstruct_stage(Isa isa, std::span<const double> approx, std::span<const double> detail,
                       std::span<const double> p, std::span<const double> q, StageSink sink);

}  // namespace stage_kernels

}  // namespace dorvenk
