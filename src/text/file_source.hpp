// Reading a data file through its file descriptor, for the scanner.
//
// A std::filebuf throws out of the reader when the system reports a read
// error; this source keeps the errno of the first failed read instead and
// from then on reports the end of the input, so the reader stops where the
// bytes stop and its caller can say which file failed and why.
//
// Only a regular file is opened: a FIFO would block the open or the reads
// for ever, and a device such as /dev/zero never ends. The open itself does
// not block (O_NONBLOCK, cleared once the file is known to be regular).
#pragma once

#include <array>
#include <streambuf>
#include <string>

namespace dorvenk {

class FileSource final : public std::streambuf {
 public:
  FileSource() = default;
  ~FileSource() override { close(); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens `name` for reading when it is a regular file (symbolic links are
  // followed). False when it does not open or is not a regular file; the
  // reason is in error() (NOT_REGULAR_FILE for the latter).
  bool open(const std::string& name);
  bool is_open() const { return fd_ >= 0; }
  // Closes the file; the error seen, if any, stays.
  void close();
  // errno of the failed open or of the first failed read; 0 while all went well.
  int error() const { return error_; }
  int fd() const { return fd_; }

 protected:
  int_type underflow() override;

 private:
  static constexpr std::size_t BUFFER_BYTES = 1 << 16;
  int fd_ = -1;
  int error_ = 0;
  std::array<char, BUFFER_BYTES> buffer_{};
};

// True when both names lead, symbolic links followed, to one and the same
// file (the same device and inode): writing one would write the other.
// False when either does not exist.
bool same_file(const std::string& a, const std::string& b);

}  // namespace dorvenk
