// The two lines the shrinkage engine prints, as whole templates in the
// printf notation the tool's other texts are described in, and the small
// formatter that fills them in. They are kept here, apart from the
// arithmetic, so that they can join the tool's other texts in one place.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace dorvenk::engine_text {

// One line of the coefficient table per tap k: k, p[k], the label k - N of
// q[k], and q[k].
inline constexpr std::string_view coefficient_line = "p%2d=%15.12lf, q%2d=%15.12lf\n";

// How many of the n values the hard threshold zeroed, and n.
inline constexpr std::string_view ratio_line = "ratio >> %d/%d\n";

// A value for one conversion of a template: an integer for "%d" and "%2d",
// a double for "%.12lf" and "%15.12lf".
struct Arg {
  bool is_integer;
  long long integer = 0;
  double number = 0.0;
  Arg(int value) : is_integer(true), integer(value) {}
  Arg(double value) : is_integer(false), number(value) {}
};

// Appends `line` with its conversions ("%d", "%<width>d", "%.12lf" and
// "%<width>.12lf") replaced by `args` in turn, each written by the exact
// formatters of text/format.hpp.
void append_line(std::string& out, std::string_view line, std::initializer_list<Arg> args);

// The coefficient table of p[0..2N-1] and q[0..2N-1], one line per k.
void append_coefficient_table(std::string& out, std::span<const double> p, std::span<const double> q);

// The line with the count of zeroed values.
void append_ratio_line(std::string& out, int zeroed, int n);

}  // namespace dorvenk::engine_text
