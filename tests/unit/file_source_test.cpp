// Reading a data file through its descriptor, and telling two names of one file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "data/samples.hpp"
#include "test_support.hpp"
#include "text/file_source.hpp"
#include "text/text_file.hpp"

namespace dorvenk {
namespace {

namespace fs = std::filesystem;
using FileSourceTest = test_support::InTempDir;

TEST_F(FileSourceTest, OnlyARegularFileOpensAndNothingBlocks) {
  test_support::write_file("data.txt", "1 2 3\n");
  fs::create_symlink("data.txt", "link.txt");
  fs::create_directory("dir.txt");
  ASSERT_EQ(::mkfifo("fifo.txt", 0600), 0);  // no writer: a blocking open would wait for ever
  fs::create_symlink("/dev/zero", "zero.txt");
  fs::create_symlink("/dev/null", "null.txt");
  const struct {
    const char* name;
    bool opens;
    int error;
  } cases[] = {
      {"data.txt", true, 0},
      {"link.txt", true, 0},
      {"dir.txt", false, NOT_REGULAR_FILE},
      {"fifo.txt", false, NOT_REGULAR_FILE},
      {"zero.txt", false, NOT_REGULAR_FILE},
      {"null.txt", false, NOT_REGULAR_FILE},
      {"missing.txt", false, ENOENT},
  };
  for (const auto& c : cases) {
    FileSource source;
    EXPECT_EQ(source.open(c.name), c.opens) << c.name;
    EXPECT_EQ(source.is_open(), c.opens) << c.name;
    EXPECT_EQ(source.error(), c.error) << c.name;
  }
  // The regular file is read in blocking mode once it is known to be one.
  FileSource source;
  ASSERT_TRUE(source.open("data.txt"));
  int flags = ::fcntl(source.fd(), F_GETFL);
  EXPECT_EQ(flags & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(source.fd(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(FileSourceTest, GivesTheSameValuesAsTheTextAcrossItsBuffers) {
  // Longer than the source's buffer, with numbers cut at every refill.
  std::string text;
  test_support::Random random{7};
  for (int i = 0; i < 20000; ++i) {
    text += std::to_string(random.next_gaussian()) + (i % 7 == 0 ? "\r\n" : " ");
  }
  test_support::write_file("data.txt", text);
  std::vector<double> from_file(MAX_DATA), from_text(MAX_DATA);
  FileSource source;
  ASSERT_TRUE(source.open("data.txt"));
  ReadResult read = read_samples(&source, from_file);
  EXPECT_EQ(source.error(), 0);
  std::istringstream stream(text);
  ReadResult expected = read_samples(stream.rdbuf(), from_text);
  ASSERT_EQ(read.status, ReadStatus::ok);
  ASSERT_EQ(read.n, 20000);
  ASSERT_EQ(expected.n, 20000);
  EXPECT_EQ(digest_series(from_file, read.n), digest_series(from_text, expected.n));
}

TEST_F(FileSourceTest, SameFileThroughLinksOnly) {
  test_support::write_file("w.txt", "1\n");
  test_support::write_file("other.txt", "1\n");  // equal bytes, another file
  fs::create_symlink("w.txt", "sym-dN.txt");
  fs::create_hard_link("w.txt", "hard-dN.txt");
  fs::create_directory("sub");
  fs::create_symlink("../w.txt", "sub/up.txt");
  fs::create_symlink("missing.txt", "dangling.txt");
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"sym-dN.txt", "w.txt", true},   {"hard-dN.txt", "w.txt", true}, {"sub/up.txt", "w.txt", true},
      {"./w.txt", "w.txt", true},      {"other.txt", "w.txt", false},  {"w-dN.txt", "w.txt", false},
      {"dangling.txt", "w.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(same_file(c.a, c.b), c.same) << c.a << " " << c.b;
    EXPECT_EQ(same_file(c.b, c.a), c.same) << c.b << " " << c.a;
  }
}

}  // namespace
}  // namespace dorvenk
