// Whole-text file output with every failure kept, and whole-file input.
//
// Writes are buffered and handed to the system in large pieces; the first
// failure of an open, write or close is kept with its errno, so the caller
// can say which file failed and why instead of reporting success.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvenk {

// Hands all `size` bytes to `fd`, writing again after a short or an
// interrupted write. 0 when every byte went out, else the errno of the write
// that failed (EIO when the system took nothing and gave no reason).
int write_all(int fd, const char* data, std::size_t size);

struct OutFile {
  int fd = -1;
  int error = 0;  // errno of the first failure, 0 while all went well
  std::string buffer;
};

enum class OpenMode { truncate, append };

// Opens `name` for writing ("w": created or emptied; "a": created when
// missing, every write at the current end). False, with `file.error` set,
// when it cannot be opened.
bool open_out(OutFile& file, const std::string& name, OpenMode mode);

// Appends text; it reaches the file when the buffer fills or at close.
void put(OutFile& file, std::string_view text);

// Hands the whole buffer to the system in as few writes as it takes.
void flush_out(OutFile& file);

// Flushes and closes; true only when every open, write and close succeeded.
bool close_out(OutFile& file);

// Reads the whole file into `content`; false with `error` set on failure.
bool read_whole_file(const std::string& name, std::string& content, int& error);

// Failures that are no error of the system, kept where an errno would be
// (negative, so that they never meet one).
inline constexpr int NOT_REGULAR_FILE = -1;   // a FIFO, device or directory
inline constexpr int SAME_AS_DATA_FILE = -2;  // writing it would write the data file

// The system's words for an errno value, or the words for the codes above.
std::string reason(int error);

}  // namespace dorvenk

namespace dorvenk {

// A file that could not be opened, written, read or closed, and why.
struct FileFailure {
  std::string file;  // empty when nothing failed
  int error = 0;     // errno
  bool failed() const { return !file.empty(); }
};

}  // namespace dorvenk
