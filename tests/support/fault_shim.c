/*
 * A fault for one file, made real: preloaded into the tool (LD_PRELOAD), it
 * makes the system calls on one named file fail, or go slowly, as a flaky
 * disk, a full disk or a slow share would.
 *
 *   FAULT_FILE    the file: a name is matched against the last component of
 *                 the path given to open() or mkostemp(), so "w_tmp" matches
 *                 "./w_tmp"; a trailing '*' matches every name that begins
 *                 with the rest, so ".dorvenk-*" matches a temporary file
 *                 whatever its random part
 *   FAULT_OP      write | read | open | close | rename | fsync | log
 *                 (log: no file; with FAULT_DELAY_US every call of the
 *                 maths library's natural logarithm sleeps, to hold a run
 *                 inside a computation that does no I/O)
 *                 (rename matches when the new name is FAULT_FILE)
 *   FAULT_ERRNO   the error to report, as a number or EIO, ENOSPC, EFBIG,
 *                 EACCES, EROFS, EDQUOT; EIO by default
 *   FAULT_AFTER   for write and read: bytes that go through before the
 *                 fault (0 by default); the call that crosses the mark is
 *                 cut short at it, the next one fails
 *   FAULT_DELAY_US  instead of failing, sleep this long before every write
 *                 or read of the file (to hold a run inside one phase)
 *   FAULT_MARK    optional path; created (empty) the first time the fault or
 *                 the delay acts, so a test knows the moment has come
 *   FAULT_SKIP_OPENS  the first this many opens of the file are left alone:
 *                 their reads, writes and closes go through and an open
 *                 fault passes them (0 by default); with 1, a file read
 *                 twice fails only at its second reading
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define MAX_FDS 1024

static char watched[MAX_FDS];
static long long passed[MAX_FDS];

static const char* env(const char* name) {
  const char* value = getenv(name);
  return value != NULL && *value != '\0' ? value : NULL;
}

static int fault_errno(void) {
  const char* value = env("FAULT_ERRNO");
  if (value == NULL) return EIO;
  static const struct { const char* name; int number; } names[] = {
      {"EIO", EIO},     {"ENOSPC", ENOSPC}, {"EFBIG", EFBIG},   {"EACCES", EACCES},
      {"EROFS", EROFS}, {"EDQUOT", EDQUOT}, {"EISDIR", EISDIR}, {"EPERM", EPERM}};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    if (strcmp(value, names[i].name) == 0) return names[i].number;
  }
  return atoi(value);
}

static int is_op(const char* op) {
  const char* value = env("FAULT_OP");
  return value != NULL && strcmp(value, op) == 0;
}

static int matches(const char* path) {
  const char* file = env("FAULT_FILE");
  if (file == NULL || path == NULL) return 0;
  const char* last = strrchr(path, '/');
  last = last != NULL ? last + 1 : path;
  const char* want = strrchr(file, '/');
  want = want != NULL ? want + 1 : file;
  size_t length = strlen(want);
  if (length > 0 && want[length - 1] == '*') return strncmp(last, want, length - 1) == 0;
  return strcmp(last, want) == 0;
}

static void mark(void) {
  const char* path = env("FAULT_MARK");
  if (path == NULL) return;
  static int (*real_open)(const char*, int, ...);
  if (real_open == NULL) real_open = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  int fd = real_open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

static void delay(void) {
  const char* value = env("FAULT_DELAY_US");
  if (value == NULL) return;
  long us = atol(value);
  struct timespec pause = {us / 1000000, (us % 1000000) * 1000};
  mark();
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

/* Opens of the file so far, and whether the current one is past the skipped ones. */
static long long opens_seen;

static int counted_open(const char* path) {
  if (!matches(path)) return 0;
  const char* skip = env("FAULT_SKIP_OPENS");
  return ++opens_seen > (skip != NULL ? atoll(skip) : 0);
}

static int track(int fd, int faulty) {
  if (fd >= 0 && fd < MAX_FDS) {
    watched[fd] = (char)faulty;
    passed[fd] = 0;
  }
  return fd;
}

static int open_fault(int faulty) {
  if (is_op("open") && faulty) {
    mark();
    errno = fault_errno();
    return 1;
  }
  return 0;
}

#define REAL(type, name, args) \
  static type(*real) args;     \
  if (real == NULL) real = (type(*) args)dlsym(RTLD_NEXT, name)

int open(const char* path, int flags, ...) {
  REAL(int, "open", (const char*, int, ...));
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  int faulty = counted_open(path);
  if (open_fault(faulty)) return -1;
  return track(real(path, flags, mode), faulty);
}

int open64(const char* path, int flags, ...) {
  REAL(int, "open64", (const char*, int, ...));
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  int faulty = counted_open(path);
  if (open_fault(faulty)) return -1;
  return track(real(path, flags, mode), faulty);
}

int openat(int dir, const char* path, int flags, ...) {
  REAL(int, "openat", (int, const char*, int, ...));
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  int faulty = counted_open(path);
  if (open_fault(faulty)) return -1;
  return track(real(dir, path, flags, mode), faulty);
}

int openat64(int dir, const char* path, int flags, ...) {
  REAL(int, "openat64", (int, const char*, int, ...));
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  int faulty = counted_open(path);
  if (open_fault(faulty)) return -1;
  return track(real(dir, path, flags, mode), faulty);
}

/* Temporary files made from a pattern: their name is known only after. */
int mkostemp(char* pattern, int flags) {
  REAL(int, "mkostemp", (char*, int));
  int faulty = counted_open(pattern);
  if (open_fault(faulty)) return -1;
  return track(real(pattern, flags), faulty);
}

int mkstemp(char* pattern) {
  REAL(int, "mkstemp", (char*));
  int faulty = counted_open(pattern);
  if (open_fault(faulty)) return -1;
  return track(real(pattern), faulty);
}

static int is_watched(int fd) { return fd >= 0 && fd < MAX_FDS && watched[fd]; }

/* How much of `count` may pass for a faulty read or write; -1: fail now. */
static ssize_t allowance(int fd, size_t count) {
  const char* after = env("FAULT_AFTER");
  long long limit = after != NULL ? atoll(after) : 0;
  long long left = limit - passed[fd];
  if (left <= 0) {
    mark();
    errno = fault_errno();
    return -1;
  }
  return (size_t)left < count ? (ssize_t)left : (ssize_t)count;
}

ssize_t write(int fd, const void* data, size_t count) {
  REAL(ssize_t, "write", (int, const void*, size_t));
  if (is_watched(fd)) {
    if (env("FAULT_DELAY_US") != NULL && is_op("write")) {
      delay();
    } else if (is_op("write")) {
      ssize_t allowed = allowance(fd, count);
      if (allowed < 0) return -1;
      ssize_t done = real(fd, data, (size_t)allowed);
      if (done > 0) passed[fd] += done;
      return done;
    }
  }
  return real(fd, data, count);
}

ssize_t read(int fd, void* data, size_t count) {
  REAL(ssize_t, "read", (int, void*, size_t));
  if (is_watched(fd)) {
    if (env("FAULT_DELAY_US") != NULL && is_op("read")) {
      delay();
    } else if (is_op("read")) {
      ssize_t allowed = allowance(fd, count);
      if (allowed < 0) return -1;
      ssize_t done = real(fd, data, (size_t)allowed);
      if (done > 0) passed[fd] += done;
      return done;
    }
  }
  return real(fd, data, count);
}

int close(int fd) {
  REAL(int, "close", (int));
  int fail = is_watched(fd) && is_op("close");
  if (fd >= 0 && fd < MAX_FDS) watched[fd] = 0;
  int result = real(fd);
  if (fail) {
    mark();
    errno = fault_errno();
    return -1;
  }
  return result;
}

int fsync(int fd) {
  REAL(int, "fsync", (int));
  if (is_watched(fd) && is_op("fsync")) {
    mark();
    errno = fault_errno();
    return -1;
  }
  return real(fd);
}

int fdatasync(int fd) {
  REAL(int, "fdatasync", (int));
  if (is_watched(fd) && is_op("fsync")) {
    mark();
    errno = fault_errno();
    return -1;
  }
  return real(fd);
}

int rename(const char* from, const char* to) {
  REAL(int, "rename", (const char*, const char*));
  if (is_op("rename") && matches(to)) {
    mark();
    errno = fault_errno();
    return -1;
  }
  return real(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  REAL(int, "renameat", (int, const char*, int, const char*));
  if (is_op("rename") && matches(to)) {
    mark();
    errno = fault_errno();
    return -1;
  }
  return real(from_dir, from, to_dir, to);
}

/* The natural logarithm, slowed for FAULT_OP=log. */
double log(double x) {
  REAL(double, "log", (double));
  if (is_op("log") && env("FAULT_DELAY_US") != NULL) delay();
  return real(x);
}
