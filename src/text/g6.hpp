// The "%.6lG" text of a double, exactly and fast, for the magnitudes the
// result file's columns mostly hold.
#pragma once

namespace dorvenk {

// Room the fast writer needs: a sign, "0.0000" and six digits, or six
// digits, a point, "E", a sign and three exponent digits.
inline constexpr int G6_FAST_TEXT = 24;

// Writes the "%.6G" text of a value with 2^-40 <= |value| < 2^100 at
// `first` and returns its end; returns nullptr, writing nothing, for any
// other value (zeros, infinities and NaN included).
//
// The six digits are the exact binary value rounded once, an exact tie to
// the even digit, as printf and to_chars round: with value = m * 2^e and
// the decimal exponent X, the quotient m * 2^e * 10^(5-X) is formed as a
// fraction of two 128-bit integers and rounded by its remainder.
char* write_g6_fast(char* first, double value);

}  // namespace dorvenk
