// dorvenk_coefs_gen: writes the C++ source of the compiled-in Daubechies
// coefficient table, computed in MPFR/MPC at COEFS_PRECISION_BITS.
//
//   dorvenk_coefs_gen FILE   writes FILE (normally src/coefs/daubechies_table.cpp)
//   dorvenk_coefs_gen        writes standard output
//
// The same precision gives the same text on every machine; the tests check
// that the table in the source tree is exactly this program's output.
#include <cstdio>
#include <string>

#include "coefs/daubechies_mp.hpp"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fputs("Usage: dorvenk_coefs_gen [FILE]\n", stderr);
    return 2;
  }
  std::string text;
  if (!dorvenk::daubechies_table_source(dorvenk::COEFS_PRECISION_BITS, text)) {
    std::fputs("dorvenk_coefs_gen: the roots did not converge; the working precision is too low\n", stderr);
    return 1;
  }
  std::FILE* out = argc == 2 ? std::fopen(argv[1], "w") : stdout;
  if (out == nullptr) {
    std::fprintf(stderr, "dorvenk_coefs_gen: cannot open %s for writing\n", argv[1]);
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = argc == 2 ? std::fclose(out) == 0 : std::fflush(out) == 0;
  if (!written || !closed) {
    std::fputs("dorvenk_coefs_gen: cannot write the table\n", stderr);
    return 1;
  }
  return 0;
}
