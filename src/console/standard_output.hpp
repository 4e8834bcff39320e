// The tool's standard output, watched for failed writes.
//
// What the console says goes to standard output through this buffer. A
// write that fails (a full disk, a pipe whose reader has gone: SIGPIPE is
// ignored, so that shows as EPIPE) does not stop the run, whose result
// file and run log are still written; the buffer keeps the first error,
// drops whatever comes after it, and the run ends with status 1 and one
// line on standard error that names standard output and the reason.
#pragma once

#include <streambuf>

namespace dorvenk {

// Capacity of the buffer in front of the descriptor.
inline constexpr int OUTPUT_BUFFER_BYTES = 1 << 13;

class DescriptorOutput : public std::streambuf {
 public:
  explicit DescriptorOutput(int fd);
  DescriptorOutput(const DescriptorOutput&) = delete;
  DescriptorOutput& operator=(const DescriptorOutput&) = delete;

  // The errno of the first failed write; 0 while none failed.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  // Hands the buffered bytes to the descriptor; false once a write failed.
  bool write_out();
  bool write_all(const char* bytes, std::size_t count);

  int fd_;
  int error_ = 0;
  char buffer_[OUTPUT_BUFFER_BYTES];
};

// Flushes `output` and, when a write to it failed, says so on standard
// error; returns `status`, or 1 when the output failed.
int finish_standard_output(DescriptorOutput& output, int status);

}  // namespace dorvenk
