// The file prompt run in process: names whose result file cannot exist are
// refused there, before anything is read.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "console/dialogue.hpp"
#include "test_support.hpp"

namespace dorvenk {
namespace {

using DataFilePrompt = test_support::InTempDir;

TEST_F(DataFilePrompt, ResultNameLongerThanTheSystemTakesIsRefusedThere) {
  // Twenty directories of 200 bytes: a data file name of 4094 bytes still
  // opens, but its result name, three bytes longer, passes PATH_MAX.
  std::string directory;
  for (int i = 0; i < 20; ++i) directory += std::string(200, 'd') + "/";
  std::filesystem::create_directories(directory);
  const std::string refused = directory + std::string(70, 'x');
  const std::string taken = directory + std::string(60, 'y');
  ASSERT_EQ((refused + ".txt").size(), 4094u);
  test_support::write_file(refused + ".txt", "1 2\n");
  test_support::write_file(taken + ".txt", "3 4\n");

  std::istringstream in(refused + "\n" + taken + "\n");
  std::ostringstream out;
  Console console{make_scanner(in.rdbuf()), out, Encoding::utf8, {}};
  DataFileChoice choice;
  ask_data_file(console, choice);
  flush_console(console);
  ASSERT_EQ(choice.status, AnswerStatus::ok);
  EXPECT_EQ(choice.data_file_name, taken + ".txt");
  EXPECT_EQ(choice.result_file_name, taken + "-dN.txt");
  EXPECT_TRUE(choice.data.is_open());
  EXPECT_NE(out.str().find("\afile error! [" + refused + "-dN.txt: File name too long]\n"), std::string::npos);
}

}  // namespace
}  // namespace dorvenk
