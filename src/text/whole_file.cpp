#include "text/whole_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "text/run_files.hpp"

namespace dorvenk {
namespace {

// Links followed from the name to its target at most, as the system's own
// limit for one path (more: ELOOP, as open() would say).
constexpr int MAX_LINKS = 40;
// Longest link content read.
constexpr std::size_t LINK_TEXT_BYTES = 4096;
// Times the name is looked at again when it changed kind under the tool
// (a device became a regular file between the look and the open).
constexpr int MAX_ATTEMPTS = 3;

constexpr const char* TEMPORARY_PATTERN = ".dorvenk-XXXXXX";

// The directory part of `path` with its final "/", or "" for a bare name.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links from `name` as open() would, to the name the
// content must finally be given: `target`. It may not exist yet (a link
// to a file still to be made). False with `error` set when a link cannot be
// read or the chain is too long.
bool resolve_links(const std::string& name, std::string& target, int& error) {
  target = name;
  std::string link(LINK_TEXT_BYTES, '\0');
  for (int hops = 0; hops <= MAX_LINKS; ++hops) {
    struct stat info;
    if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    if (hops == MAX_LINKS) break;
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0) {
      error = errno;
      return false;
    }
    if (static_cast<std::size_t>(length) >= link.size()) {
      error = ENAMETOOLONG;
      return false;
    }
    const std::string content = link.substr(0, static_cast<std::size_t>(length));
    // A relative link is relative to the directory that holds it.
    target = !content.empty() && content.front() == '/' ? content : directory_of(target) + content;
  }
  error = ELOOP;
  return false;
}

void reset(OutFile& out) {
  out.fd = -1;
  out.error = 0;
  out.buffer.clear();
  out.buffer.reserve(1 << 16);
}

// Makes the temporary file beside `target` and remembers it for removal at
// a signal, as one step: no signal can end the run between the two.
bool make_temporary(WholeFile& file) {
  file.temporary = directory_of(file.target) + TEMPORARY_PATTERN;
  EndingSignalsBlocked blocked;
  file.out.fd = ::mkostemp(file.temporary.data(), O_CLOEXEC);
  if (file.out.fd < 0) {
    file.out.error = errno;
    file.temporary.clear();
    return false;
  }
  file.slot = remember_file(file.temporary.c_str());
  return true;
}

// Gives the temporary file what a file of that name would have: the mode
// and, where the run may set it, the group of the file it replaces, or the
// mode a new file gets. Neither failure stops the run: a file system that
// keeps no modes refuses, and the file keeps the stricter 0600 it was made
// with; a group the run is not a member of stays the run's own.
void set_mode(int fd, bool replaces, const struct stat& old) {
  // The group first: changing it may clear set-group-ID bits that the mode
  // then puts back.
  if (replaces && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // The run's group stays.
  }
  const mode_t mode = replaces ? old.st_mode & 07777 : 0666 & ~creation_mask();
  if (::fchmod(fd, mode) != 0) {
    // 0600 stays.
  }
}

}  // namespace

mode_t creation_mask() {
  static const mode_t mask = [] {
    const mode_t old = ::umask(022);
    ::umask(old);
    return old;
  }();
  return mask;
}

WholeFile::~WholeFile() { discard_whole(*this); }

bool open_whole(WholeFile& file, const std::string& name) {
  discard_whole(file);
  reset(file.out);
  file.target.clear();
  for (int attempt = 0; attempt < MAX_ATTEMPTS; ++attempt) {
    std::string target;
    if (!resolve_links(name, target, file.out.error)) return false;
    struct stat info;
    const bool exists = ::lstat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) {
      file.out.error = errno;
      return false;
    }

    if (exists && !S_ISREG(info.st_mode)) {
      // A device, a directory, a pipe: written directly, as it is, never
      // created or emptied. A directory fails here with EISDIR.
      file.out.fd = ::open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (file.out.fd < 0) {
        file.out.error = errno;
        return false;
      }
      struct stat opened;
      if (::fstat(file.out.fd, &opened) == 0 && !S_ISREG(opened.st_mode)) return true;
      // A regular file took its place since: it gets a whole new content.
      ::close(file.out.fd);
      file.out.fd = -1;
      continue;
    }

    // A regular file the run may not write stays as it is, as opening it
    // for writing would refuse (a write-protected result is kept).
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
      file.out.error = errno;
      return false;
    }
    file.target = target;
    if (!make_temporary(file)) return false;
    set_mode(file.out.fd, exists, info);
    return true;
  }
  file.out.error = EAGAIN;
  return false;
}

bool commit_whole(WholeFile& file) {
  flush_out(file.out);
  if (file.temporary.empty()) return close_out(file.out);  // written directly

  // The content reaches the disk before the name points at it, so that a
  // crash of the system right after the rename cannot leave an empty or
  // partial file under the name.
  if (file.out.error == 0 && ::fdatasync(file.out.fd) != 0) file.out.error = errno;
  if (!close_out(file.out)) {
    discard_whole(file);
    return false;
  }
  EndingSignalsBlocked blocked;
  if (::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
    file.out.error = errno;
    ::unlink(file.temporary.c_str());
  }
  forget_file(file.slot);
  file.slot = -1;
  file.temporary.clear();
  return file.out.error == 0;
}

void discard_whole(WholeFile& file) {
  if (file.out.fd >= 0) {
    file.out.buffer.clear();
    ::close(file.out.fd);
    file.out.fd = -1;
  }
  if (file.temporary.empty()) return;
  EndingSignalsBlocked blocked;
  ::unlink(file.temporary.c_str());
  forget_file(file.slot);
  file.slot = -1;
  file.temporary.clear();
}

}  // namespace dorvenk
