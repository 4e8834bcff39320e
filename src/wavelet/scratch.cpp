#include "wavelet/scratch.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/fixed12.hpp"
#include "text/format.hpp"
#include "text/run_files.hpp"

namespace dorvenk {
namespace {

// errno reported when a scratch file reads back short or garbled, which the
// system itself does not flag.
constexpr int READ_BACK_ERROR = EIO;

// Output buffer of one scratch file; it reaches the system when full.
constexpr std::size_t SCRATCH_BUFFER_BYTES = 1 << 16;

// Longest line a scratch value takes: the number and its "\n".
constexpr std::size_t LINE_TEXT = MAX_NUMBER_TEXT + 1;

void put_value(OutFile& file, double value) {
  char line[LINE_TEXT];
  char* end = write_fixed12(line, line + MAX_NUMBER_TEXT, value);
  *end++ = '\n';
  put(file, std::string_view(line, static_cast<std::size_t>(end - line)));
}

bool take_decomposition(void* context, const double* details, const double* approximations, int count) {
  auto& files = *static_cast<ScratchFiles*>(context);
  for (int b = 0; b < count; ++b) {
    put_value(files.w, details[b]);
    put_value(files.s, approximations[b]);
  }
  return files.w.error == 0 && files.s.error == 0;
}

bool take_reconstruction(void* context, const double* y0, const double* y1, int count) {
  auto& files = *static_cast<ScratchFiles*>(context);
  for (int b = 0; b < count; ++b) {
    put_value(files.r, y0[b]);
    put_value(files.r, y1[b]);
  }
  return files.r.error == 0;
}

// Opens the name for writing as the tool's own regular file; -1 with errno
// set when it cannot.
//
// A name that is a symbolic link (ELOOP under O_NOFOLLOW), a file with more
// than one name (a hard link to a user's file), someone else's file, or no
// regular file at all (a pipe, which O_NONBLOCK keeps from blocking the
// open: ENXIO without a reader) must not have its content overwritten: the
// name is taken away and a new file made with O_EXCL, so that no link can
// slip in between. O_NONBLOCK does nothing to a regular file.
int open_own_file(const char* name) {
  int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (fd >= 0) {
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == ::geteuid()) {
      return fd;
    }
    ::close(fd);
  } else if (errno != ELOOP && errno != ENXIO) {
    return -1;
  }
  if (::unlink(name) != 0 && errno != ENOENT) return -1;
  return ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
}

}  // namespace

// Opens a scratch file for writing like "w": created when missing, and its
// old content replaced. The old content is cut off at close rather than at
// open: on ext4, emptying a file that has data makes its close start
// writing the new data to disk, and the next emptying waits for that write,
// which made a full run several times slower than its arithmetic. Cutting
// the file to the length just written never empties it, so nothing waits.
// Records that this call made the file; making it and remembering it for
// removal at a signal are one step, with the ending signals blocked.
bool open_scratch(OutFile& file, const char* name, MadeScratch& made) {
  file.buffer.clear();
  file.buffer.reserve(SCRATCH_BUFFER_BYTES);
  EndingSignalsBlocked blocked;
  file.fd = open_own_file(name);
  file.error = file.fd < 0 ? errno : 0;
  if (file.fd < 0) return false;
  made.made = true;
  if (made.slot < 0) made.slot = remember_file(name);
  return true;
}

// Writes out the rest, drops whatever the old content had beyond the new
// end, and closes; true only when all of it succeeded. A device cannot be
// cut (EINVAL) and has no old content to drop.
bool close_scratch(OutFile& file) {
  flush_out(file);
  if (file.fd >= 0 && file.error == 0) {
    const off_t end = ::lseek(file.fd, 0, SEEK_CUR);
    if (end >= 0 && ::ftruncate(file.fd, end) != 0 && errno != EINVAL) file.error = errno;
  }
  return close_out(file);
}

StageSink decomposition_sink(ScratchFiles& files) { return StageSink{&files, take_decomposition}; }

StageSink reconstruction_sink(ScratchFiles& files) { return StageSink{&files, take_reconstruction}; }

FileFailure read_back(std::string& text, const char* name, std::span<double> values) {
  // A stage that stored nothing reads nothing back.
  if (values.empty()) return {};
  int error = 0;
  if (!read_whole_file(name, text, error)) return {name, error};
  if (!parse_scratch_values(text, values)) return {name, READ_BACK_ERROR};
  return {};
}

bool parse_scratch_values(std::string_view text, std::span<double> values) {
  const char* pos = text.data();
  const char* end = pos + text.size();
  for (double& value : values) {
    const char* next = read_fixed12(pos, end, value);
    if (next == nullptr || next == end || *next != '\n') return false;
    pos = next + 1;
  }
  return pos == end;
}

void close_open_scratch(ScratchFiles& files) {
  for (OutFile* file : {&files.w, &files.s, &files.r}) {
    if (file->fd >= 0) close_out(*file);
  }
}

void remove_made_scratch(ScratchFiles& files) {
  const struct {
    MadeScratch& made;
    const char* name;
  } all[] = {{files.made_w, W_TMP}, {files.made_s, S_TMP}, {files.made_r, R_TMP}};
  for (const auto& file : all) {
    if (!file.made.made) continue;
    ::unlink(file.name);
    forget_file(file.made.slot);
    file.made = MadeScratch{};
  }
}

}  // namespace dorvenk
