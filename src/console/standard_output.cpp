#include "console/standard_output.hpp"

#include <unistd.h>

#include <cstring>
#include <string>

#include "text/messages.hpp"
#include "text/text_file.hpp"

namespace dorvenk {

DescriptorOutput::DescriptorOutput(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }

bool DescriptorOutput::write_all(const char* bytes, std::size_t count) {
  if (error_ == 0) error_ = ::dorvenk::write_all(fd_, bytes, count);
  return error_ == 0;
}

bool DescriptorOutput::write_out() {
  const auto count = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_, buffer_ + sizeof buffer_);
  // After a failure the rest is dropped: the run goes on without output.
  if (error_ != 0) return false;
  return write_all(buffer_, count);
}

DescriptorOutput::int_type DescriptorOutput::overflow(int_type c) {
  write_out();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  // Never eof: the stream stays good, so the console's transcript goes on
  // being composed and the run is not cut short by its output.
  return traits_type::not_eof(c);
}

std::streamsize DescriptorOutput::xsputn(const char* text, std::streamsize count) {
  const auto room = static_cast<std::streamsize>(epptr() - pptr());
  if (count <= room) {
    std::memcpy(pptr(), text, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
  }
  write_out();
  if (count < static_cast<std::streamsize>(sizeof buffer_)) {
    std::memcpy(pptr(), text, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
  } else if (error_ == 0) {
    write_all(text, static_cast<std::size_t>(count));
  }
  return count;
}

int DescriptorOutput::sync() {
  write_out();
  return 0;
}

int finish_standard_output(DescriptorOutput& output, int status) {
  output.pubsync();
  if (output.error() == 0) return status;
  std::string line;
  fill(line, Encoding::utf8, text::output_failed, reason(output.error()));
  // Nowhere is left to report a failure of this write.
  write_all(STDERR_FILENO, line.data(), line.size());
  return 1;
}

}  // namespace dorvenk
