// Shared pieces of the fuzz drivers: the fuzzer's bytes as a stream buffer
// whose read position can be asked, and a check that aborts loudly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <streambuf>

namespace dorvenk::fuzz {

// Reads straight from the fuzzer's buffer without copying it.
class ByteSource : public std::streambuf {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) {
    char* first = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(first, first, first + size);
  }
  // Bytes taken from the buffer so far.
  std::size_t taken() const { return static_cast<std::size_t>(gptr() - eback()); }
};

// A violated invariant is a finding: say which and abort, so that the
// fuzzer keeps the input.
[[noreturn]] inline void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant violated: %s\n", file, line, what);
  std::abort();
}

}  // namespace dorvenk::fuzz

#define FUZZ_CHECK(condition) \
  do { \
    if (!(condition)) ::dorvenk::fuzz::fail(#condition, __FILE__, __LINE__); \
  } while (0)
