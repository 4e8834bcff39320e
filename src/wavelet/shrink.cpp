// The engine run: the order of the five phases (filter pair and table,
// decomposition, hard threshold and ratio line, reconstruction, removal of
// the scratch files), the lock on the working directory and the cleanup.
#include "wavelet/shrink.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "text/messages.hpp"
#include "wavelet/scratch.hpp"
#include "wavelet/shrink_internal.hpp"
#include "wavelet/stages.hpp"

namespace dorvenk {
namespace {

// How often a waiting run tries the lock again.
constexpr int LOCK_RETRY_MS = 50;

void unlock_working_directory(int fd) {
  if (fd >= 0) ::close(fd);  // closing the only descriptor drops the lock
}

// What one call holds while its scratch files may exist: the lock on the
// working directory and the files themselves. However the call ends, the
// destructor closes what is still open, removes the scratch files this
// call made and only then drops the lock, so that no other engine's files
// are ever removed.
class EngineRun {
 public:
  explicit EngineRun(LockWaitNotes notes) : lock_(lock_working_directory(notes, LOCK_WAIT_NOTE_SECONDS * 1000)) {}
  ~EngineRun() {
    close_open_scratch(files);
    remove_made_scratch(files);
    unlock_working_directory(lock_);
  }
  EngineRun(const EngineRun&) = delete;
  EngineRun& operator=(const EngineRun&) = delete;

  ScratchFiles files;

 private:
  int lock_;
};

void write_text(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

// The exclusive lock on the working directory that keeps two engines from
// sharing the scratch files. flock() cannot give up after a while, so a run
// that finds the lock taken tries again every LOCK_RETRY_MS instead of
// blocking, which lets it note a long wait.
int lock_working_directory(LockWaitNotes notes, int note_again_ms) {
  int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int waited_ms = 0;
  bool noted_again = false;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      ::close(fd);
      return -1;
    }
    if (waited_ms == 0 && notes.say != nullptr) notes.say(notes.context, 0);
    if (!noted_again && waited_ms >= note_again_ms) {
      noted_again = true;
      if (notes.say != nullptr) notes.say(notes.context, waited_ms / 1000);
    }
    ::poll(nullptr, 0, LOCK_RETRY_MS);
    waited_ms += LOCK_RETRY_MS;
  }
}

FileFailure decompose_level(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                            std::span<const double> q) {
  if (!open_scratch(files.w, W_TMP, files.made_w)) return {W_TMP, files.w.error};
  if (!open_scratch(files.s, S_TMP, files.made_s)) {
    close_out(files.w);
    return {S_TMP, files.s.error};
  }

  // Every coefficient comes from the unchanged x[0..r-1]; nothing is stored
  // back until the files hold them all.
  if (!decompose_stage(x.first(static_cast<std::size_t>(r)), p, q, decomposition_sink(files))) {
    // Stop with the first failure, "w_tmp" before "s_tmp".
    const int w_error = files.w.error;
    const int s_error = files.s.error;
    close_out(files.w);
    close_out(files.s);
    if (w_error != 0) return {W_TMP, w_error};
    return {S_TMP, s_error};
  }
  const bool w_closed = close_scratch(files.w);
  const bool s_closed = close_scratch(files.s);
  if (!w_closed) return {W_TMP, files.w.error};
  if (!s_closed) return {S_TMP, files.s.error};

  r /= 2;
  const auto count = static_cast<std::size_t>(r);
  if (FileFailure f = read_back(files.text, W_TMP, x.subspan(count, count)); f.failed()) return f;
  return read_back(files.text, S_TMP, x.first(count));
}

FileFailure reconstruct_level(ScratchFiles& files, std::span<double> x, int& r, std::span<const double> p,
                              std::span<const double> q) {
  if (!open_scratch(files.r, R_TMP, files.made_r)) return {R_TMP, files.r.error};

  // Every output comes from the unchanged x[0..2r-1]; nothing is stored back
  // until the file holds them all. A failed write stops the stage, and the
  // close reports it.
  const auto count = static_cast<std::size_t>(r);
  reconstruct_stage(x.first(count), x.subspan(count, count), p, q, reconstruction_sink(files));
  if (!close_scratch(files.r)) return {R_TMP, files.r.error};

  r *= 2;
  return read_back(files.text, R_TMP, x.first(2 * count));
}

FileFailure wavelet_shrink(std::span<double> samples, int n, std::span<const double> p, int taps, int levels,
                           double threshold, std::ostream& out, LockWaitNotes notes) {
  n = std::clamp(n, 0, static_cast<int>(samples.size()));
  taps = std::min({taps, static_cast<int>(p.size()), MAX_TAPS}) / 2 * 2;
  if (taps < 0) taps = 0;
  const std::span<double> x = samples.first(static_cast<std::size_t>(n));
  const std::span<const double> filter = p.first(static_cast<std::size_t>(taps));

  // 1. The filter pair and its table.
  double q_store[MAX_TAPS];
  const std::span<double> q(q_store, static_cast<std::size_t>(taps));
  build_filter_pair(filter, q);
  // Both lines of the engine are ASCII: the same bytes in every encoding.
  std::string line;
  const int half = taps / 2;
  for (int k = 0; k < taps; ++k) {
    const auto at = static_cast<std::size_t>(k);
    fill(line, Encoding::shift_jis, text::coefficient_line, k, filter[at], k - half, q[at]);
  }
  write_text(out, line);

  EngineRun run(notes);

  // 2. The decomposition, level by level through "w_tmp" and "s_tmp".
  int r = n;
  for (int stage = 0; stage < levels; ++stage) {
    if (FileFailure f = decompose_level(run.files, x, r, filter, q); f.failed()) return f;
  }

  // 3. The hard threshold over all n values.
  const int zeroed = hard_threshold(x, threshold);
  line.clear();
  fill(line, Encoding::shift_jis, text::ratio_line, zeroed, n);
  write_text(out, line);

  // 4. The reconstruction through "r_tmp".
  for (int stage = 0; stage < levels; ++stage) {
    if (FileFailure f = reconstruct_level(run.files, x, r, filter, q); f.failed()) return f;
  }

  // 5. The scratch files go with `run`.
  return {};
}

}  // namespace dorvenk
