// Fuzzes the whole tool: the fuzzer's bytes are its standard input, in a
// working directory of its own that holds one small data file, "wave.txt".
// The tool runs in this process through the same run_console the program's
// main calls, with its output thrown away and no key wait.
//
// The tool reads "<word>.txt" and writes "<word>-dN.txt" beside it, the run
// log and its scratch files in the working directory. So that no input can
// reach a file outside that directory, inputs holding the byte '/' are
// skipped. Every run starts from the same directory: whatever the previous
// run left beside the data file is removed first.
//
// Checked after every run: the exit status is 0 or 1, and the data file is
// byte for byte what it was (a run reads it, never writes it).
//
// Give the fuzzer absolute paths (corpus, -artifact_prefix): the driver
// changes the working directory.

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>

#include "console/console.hpp"
#include "fuzz_input.hpp"

namespace {

constexpr const char* DATA_FILE_NAME = "wave.txt";
// Sixteen values: enough for four levels and the estimator, small enough
// that a whole run, order 100 included, stays quick.
constexpr const char* DATA_FILE_TEXT =
    "0.12 0.95 1.31 0.87\n"
    "0.02 -0.91 -1.27 -0.8\n"
    "0.1 1.02 1.4 7.5e-1\n"
    "-0.05 -1 -1.22 -.88\n";
constexpr std::size_t MAX_INPUT_BYTES = 64 * 1024;

// Output nobody reads; the stream stays good, as the console's does.
class Discard : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

std::string work_dir;

void remove_work_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(work_dir, ignored);
}

void write_data_file() {
  std::ofstream data(DATA_FILE_NAME, std::ios::binary | std::ios::trunc);
  data << DATA_FILE_TEXT;
  FUZZ_CHECK(data.good());
}

// Creates the working directory once and moves into it.
void enter_work_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string path = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/dorvenk-fuzz-XXXXXX";
  FUZZ_CHECK(::mkdtemp(path.data()) != nullptr);
  work_dir = path;
  FUZZ_CHECK(::chdir(work_dir.c_str()) == 0);
  std::atexit(remove_work_dir);
  write_data_file();
}

// Removes everything a run left beside the data file.
void clean_work_dir() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
    if (entry.path().filename() == DATA_FILE_NAME) continue;
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
  FUZZ_CHECK(!error);
}

bool data_file_intact() {
  std::ifstream data(DATA_FILE_NAME, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(data)), std::istreambuf_iterator<char>());
  return data.is_open() && content == DATA_FILE_TEXT;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool entered = (enter_work_dir(), true);
  (void)entered;
  if (size > MAX_INPUT_BYTES || std::memchr(data, '/', size) != nullptr) return 0;

  clean_work_dir();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  Discard discard;
  std::ostream out(&discard);
  int status = dorvenk::run_console(in, out, dorvenk::ConsoleOptions{});

  FUZZ_CHECK(status == 0 || status == 1);
  // A run must never write to the data file it reads.
  FUZZ_CHECK(data_file_intact());
  return 0;
}
