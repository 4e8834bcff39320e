#include "text/text_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dorvenk {
namespace {

constexpr std::size_t OUT_BUFFER_BYTES = 1 << 16;

}  // namespace

int write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // Nothing taken and no reason given: stop rather than ask again forever.
    if (written == 0) return EIO;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

bool open_out(OutFile& file, const std::string& name, OpenMode mode) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == OpenMode::append ? O_APPEND : O_TRUNC);
  file.fd = ::open(name.c_str(), flags, 0666);
  file.error = file.fd < 0 ? errno : 0;
  file.buffer.clear();
  file.buffer.reserve(OUT_BUFFER_BYTES);
  return file.fd >= 0;
}

void put(OutFile& file, std::string_view text) {
  if (file.buffer.size() + text.size() > OUT_BUFFER_BYTES) flush_out(file);
  file.buffer.append(text);
}

void flush_out(OutFile& file) {
  if (file.fd >= 0 && file.error == 0) file.error = write_all(file.fd, file.buffer.data(), file.buffer.size());
  file.buffer.clear();
}

bool close_out(OutFile& file) {
  flush_out(file);
  if (file.fd >= 0) {
    if (::close(file.fd) != 0 && file.error == 0) file.error = errno;
    file.fd = -1;
  }
  return file.error == 0;
}

bool read_whole_file(const std::string& name, std::string& content, int& error) {
  content.clear();
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return false;
  }
  char chunk[1 << 16];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    content.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

std::string reason(int error) {
  if (error == NOT_REGULAR_FILE) return "not a regular file";
  if (error == SAME_AS_DATA_FILE) return "same file as the data file";
  return std::strerror(error);
}

}  // namespace dorvenk
