// The engine's lock on the working directory: a run that finds it held by
// another says so at once, again after a long wait, and takes the lock
// once it is free.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "test_support.hpp"
#include "wavelet/shrink_internal.hpp"

namespace dorvenk {
namespace {

using LockWait = test_support::InTempDir;

void note_wait(void* context, int seconds_waited) {
  static_cast<std::vector<int>*>(context)->push_back(seconds_waited);
}

TEST_F(LockWait, FreeLockIsTakenWithoutANote) {
  std::vector<int> notes;
  const int fd = lock_working_directory(LockWaitNotes{&notes, note_wait}, 100);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(notes.empty());
  ::close(fd);
}

TEST_F(LockWait, HeldLockIsNotedOnceAndAgainAfterTheLimit) {
  struct Case {
    int held_ms;
    int note_again_ms;
    std::size_t notes;
  };
  // Held shorter than the limit: one note; longer: a second one, never more.
  for (const Case& c : {Case{300, 5000, 1}, Case{1500, 300, 2}}) {
    SCOPED_TRACE(c.held_ms);
    // flock() locks belong to the open file, so a second open of the
    // directory stands for the other run.
    const int other = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.held_ms));
      ::close(other);
    });
    std::vector<int> notes;
    const int fd = lock_working_directory(LockWaitNotes{&notes, note_wait}, c.note_again_ms);
    release.join();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(notes.size(), c.notes);
    EXPECT_EQ(notes[0], 0);
    ::close(fd);
  }
}

TEST_F(LockWait, NoListenerStillWaitsForTheLock) {
  const int other = ::open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::close(other);
  });
  const int fd = lock_working_directory(LockWaitNotes{}, 50);
  release.join();
  ASSERT_GE(fd, 0);
  // The lock is now this run's: another open of the directory cannot take it.
  const int third = ::open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(third, 0);
  EXPECT_NE(::flock(third, LOCK_EX | LOCK_NB), 0);
  ::close(third);
  ::close(fd);
}

}  // namespace
}  // namespace dorvenk
