// Number formatting in the tool's fixed output forms.
//
// All conversions are exact (std::to_chars rounds correctly, like the C
// library's printf), so the same double always gives the same bytes.
// Non-finite values are written without a sign on NaN ("NAN" / "nan"),
// because the sign bit of a NaN differs between processors.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvenk {

// Longest text any of the writers below produces for one value.
inline constexpr std::size_t MAX_NUMBER_TEXT = 400;

// "%d", or "%2d" with width 2: right-aligned in at least `width` characters.
void append_int(std::string& out, long long value, int width = 0);

// "%.6lG" (and "%lG"): six significant digits, trailing zeros dropped,
// exponent form with a capital E below 1E-04 and from 1E+06 on.
void append_g6(std::string& out, double value);

// "%.12lf", or "%15.12lf" with width 15: fixed form with twelve decimals.
void append_fixed12(std::string& out, double value, int width = 0);

// The same "%.12lf" text written into [first, last); returns the end.
// `last - first` must be at least MAX_NUMBER_TEXT.
char* write_fixed12(char* first, char* last, double value);

}  // namespace dorvenk
