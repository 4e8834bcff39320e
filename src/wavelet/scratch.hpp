// The scratch files of the shrinkage engine: the only store of a stage's
// outputs between computing them and putting them back into the series.
//
// Format: one value per line, "%.12lf\n", read back in the order written.
// Every value that passes a scratch file therefore comes back as the
// multiple of 1e-12 nearest to it.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "text/text_file.hpp"
#include "wavelet/stages.hpp"

namespace dorvenk {

// The scratch files, in the working directory.
inline constexpr const char* W_TMP = "w_tmp";  // details of a decomposition stage
inline constexpr const char* S_TMP = "s_tmp";  // approximations of a decomposition stage
inline constexpr const char* R_TMP = "r_tmp";  // outputs of a reconstruction stage

// A scratch file this call has created or overwritten, and its slot among
// the files removed at a signal (-1: none).
struct MadeScratch {
  bool made = false;
  int slot = -1;
};

// Output buffers and read-back text that the stages reuse from one stage to
// the next, and which scratch files this call has made.
struct ScratchFiles {
  OutFile w;
  OutFile s;
  OutFile r;
  std::string text;
  MadeScratch made_w;
  MadeScratch made_s;
  MadeScratch made_r;
};

// Opens the scratch file `name` for writing, as "w" does: created when
// missing, its old content replaced (see close_scratch). It never writes
// through a link or into a file that has another name too or belongs to
// someone else: such a name is taken away and the tool's own file made in
// its place. Records in `made` that this call made the file, and remembers
// it for removal at a signal. False, with `file.error` set, when it cannot
// be opened.
bool open_scratch(OutFile& file, const char* name, MadeScratch& made);

// Writes out the rest, cuts off whatever the old content had beyond the new
// end, and closes; true only when all of it succeeded.
bool close_scratch(OutFile& file);

// The sink of a decomposition stage: details to "w_tmp", approximations to
// "s_tmp". It stops the stage at the first failed write of either file.
StageSink decomposition_sink(ScratchFiles& files);

// The sink of a reconstruction stage: y0 and y1 of each output pair, one
// after the other, to "r_tmp". It stops the stage at the first failed write.
StageSink reconstruction_sink(ScratchFiles& files);

// Reads the whole scratch file `name` back into `values`: exactly
// values.size() values, nothing more. Reads nothing when `values` is empty.
FileFailure read_back(std::string& text, const char* name, std::span<double> values);

// Parses exactly values.size() lines of scratch text, each one number
// followed by "\n" ("inf", "-inf" and "nan" included). False when the text
// holds fewer values, more text, or anything that is not a number.
bool parse_scratch_values(std::string_view text, std::span<double> values);

// Closes every scratch file still open, without looking at the outcome.
void close_open_scratch(ScratchFiles& files);

// Removes the scratch files this call made, "w_tmp", "s_tmp", "r_tmp" in
// this order; a file that is missing or cannot be removed is no error.
void remove_made_scratch(ScratchFiles& files);

}  // namespace dorvenk
