#include "text/file_source.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/text_file.hpp"

namespace dorvenk {

bool FileSource::open(const std::string& name) {
  close();
  error_ = 0;
  setg(nullptr, nullptr, nullptr);
  // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
  // O_NOCTTY: a terminal device must not become the run's controlling terminal.
  int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error_ = NOT_REGULAR_FILE;
    ::close(fd);
    return false;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void FileSource::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  setg(nullptr, nullptr, nullptr);
}

FileSource::int_type FileSource::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  // After a failed read the input stays ended: the bytes beyond it are unknown.
  if (fd_ < 0 || error_ != 0) return traits_type::eof();
  for (;;) {
    ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got > 0) {
      setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
      return traits_type::to_int_type(buffer_[0]);
    }
    if (got == 0) return traits_type::eof();
    if (errno == EINTR) continue;
    error_ = errno;
    return traits_type::eof();
  }
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace dorvenk
