#include "text/isa.hpp"

namespace dorvenk {

const char* isa_name(Isa isa) {
  switch (isa) {
    case Isa::scalar: return "scalar";
    case Isa::sse2: return "sse2";
    case Isa::avx2: return "avx2";
    case Isa::avx512: return "avx512";
  }
  return "scalar";
}

bool isa_supported(Isa isa) {
  __builtin_cpu_init();
  switch (isa) {
    case Isa::scalar:
    case Isa::sse2: return true;
    case Isa::avx2: return __builtin_cpu_supports("avx2");
    case Isa::avx512: return __builtin_cpu_supports("avx512f");
  }
  return false;
}

Isa chosen_isa() {
  static const Isa chosen = isa_supported(Isa::avx512) ? Isa::avx512
                            : isa_supported(Isa::avx2) ? Isa::avx2
                                                       : Isa::sse2;
  return chosen;
}

}  // namespace dorvenk
