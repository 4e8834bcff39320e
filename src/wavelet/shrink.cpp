#include "wavelet/shrink.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>

#include "text/format.hpp"

namespace dorvenk {
namespace {

// Pairs (decomposition) or output pairs (reconstruction) computed side by
// side. Their sums are independent of each other, so interleaving them keeps
// the floating-point units busy while every single sum still runs in its own
// fixed order.
constexpr int BLOCK = 8;

// errno reported when a scratch file reads back short or garbled, which the
// system itself does not flag.
constexpr int READ_BACK_ERROR = EIO;

// Output buffer of one scratch file; it reaches the system when full.
constexpr std::size_t SCRATCH_BUFFER_BYTES = 1 << 16;

// Longest line a scratch value takes: the number and its "\n".
constexpr std::size_t LINE_TEXT = MAX_NUMBER_TEXT + 1;

void put_value(OutFile& file, double value) {
  char line[LINE_TEXT];
  char* end = write_fixed12(line, line + MAX_NUMBER_TEXT, value);
  *end++ = '\n';
  put(file, std::string_view(line, static_cast<std::size_t>(end - line)));
}

// Opens a scratch file for writing like "w": created when missing, and its
// old content replaced. The old content is cut off at close rather than at
// open: on ext4, emptying a file that has data makes its close start
// writing the new data to disk, and the next emptying waits for that write,
// which made a full run several times slower than its arithmetic. Cutting
// the file to the length just written never empties it, so nothing waits.
// Records that this call made the file.
bool open_scratch(OutFile& file, const char* name, bool& made) {
  file.buffer.clear();
  file.buffer.reserve(SCRATCH_BUFFER_BYTES);
  file.fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  file.error = file.fd < 0 ? errno : 0;
  if (file.fd < 0) return false;
  made = true;
  return true;
}

// Writes out the rest, drops whatever the old content had beyond the new
// end, and closes; true only when all of it succeeded. A device cannot be
// cut (EINVAL) and has no old content to drop.
bool close_scratch(OutFile& file) {
  flush_out(file);
  if (file.fd >= 0 && file.error == 0) {
    const off_t end = ::lseek(file.fd, 0, SEEK_CUR);
    if (end >= 0 && ::ftruncate(file.fd, end) != 0 && errno != EINVAL) file.error = errno;
  }
  return close_out(file);
}

// Reads the whole scratch file `name` and parses values.size() values.
FileFailure read_back(std::string& text, const char* name, std::span<double> values) {
  // A stage that stored nothing reads nothing back.
  if (values.empty()) return {};
  int error = 0;
  if (!read_whole_file(name, text, error)) return {name, error};
  if (!parse_scratch_values(text, values)) return {name, READ_BACK_ERROR};
  return {};
}

// The exclusive lock on the working directory that keeps two engines from
// sharing the scratch files. -1 when the directory cannot be locked.
int lock_working_directory() {
  int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return -1;
    }
  }
  return fd;
}

void unlock_working_directory(int fd) {
  if (fd >= 0) ::close(fd);  // closing the only descriptor drops the lock
}

// Computes decomposition pairs i0 .. i0+BLOCK-1, none of whose indices
// k + 2i reaches r, and writes them out.
void decompose_block(ScratchFiles& files, const double* x, int i0, const double* p, const double* q, int taps) {
  double a[BLOCK] = {};
  double d[BLOCK] = {};
  const double* base = x + 2 * i0;
  for (int k = 0; k < taps; ++k) {
    const double pk = p[k];
    const double qk = q[k];
    const double* xk = base + k;
    for (int b = 0; b < BLOCK; ++b) {
      const double v = xk[2 * b];
      a[b] += pk * v;
      d[b] += qk * v;
    }
  }
  for (int b = 0; b < BLOCK; ++b) {
    put_value(files.w, d[b]);
    put_value(files.s, a[b]);
  }
}

// Computes one decomposition pair with the periodic index (k + 2i) mod r.
void decompose_pair(ScratchFiles& files, const double* x, int r, int i, const double* p, const double* q,
                    int taps) {
  double a = 0.0;
  double d = 0.0;
  int idx = (2 * i) % r;
  for (int k = 0; k < taps; ++k) {
    const double v = x[idx];
    a += p[k] * v;
    d += q[k] * v;
    if (++idx == r) idx = 0;
  }
  put_value(files.w, d);
  put_value(files.s, a);
}

// Computes reconstruction output pairs j0 .. j0+BLOCK-1 where the offset is a
// multiple of r and j - i never drops below 0, so idx_i = j - i.
void reconstruct_block(OutFile& out, const double* x, int r, int j0, const double* p, const double* q, int half) {
  double y0[BLOCK] = {};
  double y1[BLOCK] = {};
  for (int i = 0; i < half; ++i) {
    const double pe = p[2 * i];
    const double po = p[2 * i + 1];
    const double qe = q[2 * i];
    const double qo = q[2 * i + 1];
    const double* approx = x + (j0 - i);
    const double* detail = approx + r;
    for (int b = 0; b < BLOCK; ++b) {
      const double a = approx[b];
      const double d = detail[b];
      y0[b] += (pe * a + qe * d);
      y1[b] += (po * a + qo * d);
    }
  }
  for (int b = 0; b < BLOCK; ++b) {
    put_value(out, y0[b]);
    put_value(out, y1[b]);
  }
}

// Computes one reconstruction output pair with idx_i = (j - i + c) mod r.
void reconstruct_pair(OutFile& out, const double* x, int r, int c, int j, const double* p, const double* q,
                      int half) {
  double y0 = 0.0;
  double y1 = 0.0;
  int idx = (j + c) % r;  // j - i + c stays positive, so stepping down wraps at 0
  for (int i = 0; i < half; ++i) {
    const double a = x[idx];
    const double d = x[r + idx];
    y0 += (p[2 * i] * a + q[2 * i] * d);
    y1 += (p[2 * i + 1] * a + q[2 * i + 1] * d);
    idx = idx == 0 ? r - 1 : idx - 1;
  }
  put_value(out, y0);
  put_value(out, y1);
}

bool write_failed(const ScratchFiles& files) { return files.w.error != 0 || files.s.error != 0; }

// Stops a decomposition stage: closes what is open and names the first
// failure, "w_tmp" before "s_tmp".
FileFailure abandon_decomposition(ScratchFiles& files) {
  int w_error = files.w.error;
  int s_error = files.s.error;
  close_out(files.w);
  close_out(files.s);
  if (w_error != 0) return {W_TMP, w_error};
  return {S_TMP, s_error};
}

void remove_made_files(const ScratchFiles& files) {
  if (files.made_w) ::unlink(W_TMP);
  if (files.made_s) ::unlink(S_TMP);
  if (files.made_r) ::unlink(R_TMP);
}

}  // namespace

bool parse_scratch_values(std::string_view text, std::span<double> values) {
  const char* pos = text.data();
  const char* end = pos + text.size();
  for (double& value : values) {
    auto [next, ec] = std::from_chars(pos, end, value);
    if (ec != std::errc() || next == end || *next != '\n') return false;
    pos = next + 1;
  }
  return pos == end;
}

void build_filter_pair(std::span<const double> p, int taps, std::span<double> q, std::ostream& out) {
  const int half = taps / 2;
  std::string line;
  for (int k = 0; k < taps; ++k) {
    const double mirrored = p[static_cast<std::size_t>(taps - 1 - k)];
    q[static_cast<std::size_t>(k)] = k % 2 == 0 ? mirrored : -mirrored;
    line.clear();
    line += 'p';
    append_int(line, k, 2);
    line += '=';
    append_fixed12(line, p[static_cast<std::size_t>(k)], 15);
    line += ", q";
    append_int(line, k - half, 2);
    line += '=';
    append_fixed12(line, q[static_cast<std::size_t>(k)], 15);
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
}

FileFailure decompose_stage(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                            std::span<const double> q, int taps) {
  if (!open_scratch(files.w, W_TMP, files.made_w)) return {W_TMP, files.w.error};
  if (!open_scratch(files.s, S_TMP, files.made_s)) {
    close_out(files.w);
    return {S_TMP, files.s.error};
  }

  // Every coefficient comes from the unchanged x[0..r-1]; nothing is stored
  // back until the files hold them all.
  const int pairs = r / 2;
  const double* data = x.data();
  int i = 0;
  // Pairs whose indices k + 2i all stay below r need no wrapping.
  const int last_straight = r >= taps ? (r - taps) / 2 : -1;  // largest i with 2i + taps - 1 < r
  while (i + BLOCK - 1 <= last_straight && i + BLOCK <= pairs) {
    decompose_block(files, data, i, p.data(), q.data(), taps);
    if (write_failed(files)) return abandon_decomposition(files);
    i += BLOCK;
  }
  for (; i < pairs; ++i) {
    decompose_pair(files, data, r, i, p.data(), q.data(), taps);
    if (write_failed(files)) return abandon_decomposition(files);
  }

  const bool w_closed = close_scratch(files.w);
  const bool s_closed = close_scratch(files.s);
  if (!w_closed) return {W_TMP, files.w.error};
  if (!s_closed) return {S_TMP, files.s.error};

  r = pairs;
  const auto count = static_cast<std::size_t>(r);
  if (FileFailure f = read_back(files.text, W_TMP, x.subspan(count, count)); f.failed()) return f;
  return read_back(files.text, S_TMP, x.subspan(0, count));
}

int hard_threshold(std::span<double> x, int n, double threshold) {
  int zeroed = 0;
  for (double& v : x.first(static_cast<std::size_t>(n))) {
    if (!(std::fabs(v) >= threshold)) {
      v = 0.0;
      ++zeroed;
    }
  }
  return zeroed;
}

FileFailure reconstruct_stage(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                              std::span<const double> q, int taps) {
  if (!open_scratch(files.r, R_TMP, files.made_r)) return {R_TMP, files.r.error};

  const int half = taps / 2;
  const int c = half <= r ? r : half;
  const double* data = x.data();
  int j = 0;
  if (c == r) {
    // Up to j = half - 2 the index j - i wraps below 0; from there on it
    // never does, so the outputs go in blocks.
    const int first_straight = std::min(half - 1, r);
    for (; j < first_straight; ++j) {
      reconstruct_pair(files.r, data, r, c, j, p.data(), q.data(), half);
      if (files.r.error != 0) break;
    }
    for (; j + BLOCK <= r && files.r.error == 0; j += BLOCK) {
      reconstruct_block(files.r, data, r, j, p.data(), q.data(), half);
    }
  }
  for (; j < r && files.r.error == 0; ++j) {
    reconstruct_pair(files.r, data, r, c, j, p.data(), q.data(), half);
  }

  if (!close_scratch(files.r)) return {R_TMP, files.r.error};
  r *= 2;
  return read_back(files.text, R_TMP, x.first(static_cast<std::size_t>(r)));
}

FileFailure wavelet_shrink(std::span<double> samples, int n, std::span<const double> p, int taps, int levels,
                           double threshold, std::ostream& out) {
  n = std::clamp(n, 0, static_cast<int>(samples.size()));
  taps = std::min({taps, static_cast<int>(p.size()), MAX_TAPS}) / 2 * 2;
  if (taps < 0) taps = 0;

  double q[MAX_TAPS];
  build_filter_pair(p, taps, q, out);

  const int lock = lock_working_directory();
  ScratchFiles files;
  FileFailure failure;
  int r = n;
  for (int stage = 0; stage < levels && !failure.failed(); ++stage) {
    failure = decompose_stage(files, samples, r, p, q, taps);
  }
  if (!failure.failed()) {
    const int zeroed = hard_threshold(samples, n, threshold);
    std::string line = "ratio >> ";
    append_int(line, zeroed);
    line += '/';
    append_int(line, n);
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    for (int stage = 0; stage < levels && !failure.failed(); ++stage) {
      failure = reconstruct_stage(files, samples, r, p, q, taps);
    }
  }

  if (failure.failed()) {
    // Stop with the failure: take away only what this call wrote.
    remove_made_files(files);
  } else {
    ::unlink(W_TMP);
    ::unlink(S_TMP);
    ::unlink(R_TMP);
  }
  unlock_working_directory(lock);
  return failure;
}

}  // namespace dorvenk
