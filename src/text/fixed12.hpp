// The "%.12lf" text of a double and its reading back, exactly and fast.
//
// Every value the shrinkage engine stores passes this text, so both
// directions are on the engine's path for every coefficient of every stage.
// Both give the very results of the general conversions (std::to_chars
// fixed with 12 decimals, std::from_chars), to which they hand every value
// outside their fast ranges.
#pragma once

#include <cstddef>

namespace dorvenk {

// Longest "%.12lf" text the fast writer produces: a sign, at most 19 digits
// before the point, the point and 12 decimals.
inline constexpr std::size_t FIXED12_FAST_TEXT = 1 + 19 + 1 + 12;

// Writes the "%.12lf" text of a finite value with |value| < 2^63 at
// `first` (room for FIXED12_FAST_TEXT characters) and returns its end;
// returns nullptr, writing nothing, for any other value.
//
// The text is the decimal expansion of the exact binary value rounded to 12
// decimals, an exact tie to the even last digit, as printf and to_chars
// round: the integer part is exact in a 64-bit integer, the fraction f is
// exact too (value minus its integer part), and f * 10^12 = m * 5^12 *
// 2^(e+12) for f = m * 2^e is computed exactly in 128 bits and rounded once.
char* write_fixed12_fast(char* first, double value);

// Reads one number at `first`, as std::from_chars does (a minus sign,
// digits, a decimal point, an exponent; no plus sign, no leading blanks),
// into `value`; returns the end of the number, or nullptr when there is no
// number there.
//
// Fast when the text is the scratch form: an optional minus sign, digits,
// the point and exactly 12 decimals, followed by a line end, with all its
// digits together an integer m below 2^53. Then m and 10^12 are both exact
// doubles and the one division m / 10^12 is the correctly rounded value of
// the text, as from_chars gives it. Any other text goes to from_chars.
const char* read_fixed12(const char* first, const char* last, double& value);

}  // namespace dorvenk
