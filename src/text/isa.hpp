// The instruction sets the vector loops are written for, and the one a run
// uses: the widest the processor supports. The noise estimator and the
// wavelet stages share this choice so one run never mixes versions by chance.
#pragma once

namespace dorvenk {

enum class Isa { scalar, sse2, avx2, avx512 };

inline constexpr Isa ALL_ISAS[] = {Isa::scalar, Isa::sse2, Isa::avx2, Isa::avx512};

// "scalar", "sse2", "avx2", "avx512".
const char* isa_name(Isa isa);

// Whether this processor runs the version (scalar and sse2 always do).
bool isa_supported(Isa isa);

// The widest supported version, chosen once per process.
Isa chosen_isa();

}  // namespace dorvenk
