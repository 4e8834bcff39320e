// A file that appears whole or not at all.
//
// The text goes to a temporary file beside the final name, ".dorvenk-XXXXXX"
// in the same directory, and that file is renamed onto the final name only
// once every byte is written, on disk and closed. At every moment the name
// holds either the earlier file or the complete new one, also when the run
// fails, the disk fills or a signal ends it, and runs that write the same
// name at once each replace the file whole: the last rename wins.
//
// A name that is a symbolic link receives the file at the link's target, and
// the link stays a link. A name that is not a regular file (a device such
// as /dev/null, or a link to one) is written directly, as it is.
#pragma once

#include <sys/types.h>

#include <string>

#include "text/text_file.hpp"

namespace dorvenk {

// The process's file creation mask. Reading it means setting it and putting
// it back, so it is read once, on the first call: call it at start, before
// any other thread exists.
mode_t creation_mask();

struct WholeFile {
  OutFile out;            // the text goes here (put, flush_out)
  std::string target;     // the name renamed onto; empty when written directly
  std::string temporary;  // the temporary file while it exists
  int slot = -1;          // its slot among the files removed at a signal

  WholeFile() = default;
  ~WholeFile();  // removes the temporary file when it was not put in place
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;
};

// Opens `name` for a whole new content. False, with `file.out.error` set,
// when it cannot be written: among others when the existing file may not be
// written (EACCES, as opening it would say) or its directory does not let a
// file be made beside it.
bool open_whole(WholeFile& file, const std::string& name);

// Writes out the rest, syncs and closes the temporary file and renames it
// onto the target; true only when all of it succeeded. On any failure the
// temporary file is removed and the name keeps what it held.
bool commit_whole(WholeFile& file);

// Closes and removes the temporary file without putting it in place.
void discard_whole(WholeFile& file);

}  // namespace dorvenk
