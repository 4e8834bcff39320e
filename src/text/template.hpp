// Text templates: one whole text with named placeholders, filled in one call.
//
// A template is UTF-8 text in which each value stands as {name} or
// {name:conversion}. The name only says what the value is; the conversion
// says how it is written, with the tool's exact conversions of
// text/format.hpp:
//
//   {name}          an integer as "%d", or a text byte for byte ("%s")
//   {name:2d}       an integer as "%2d"
//   {name:.6G}      a double as "%.6lG" (the same as "%lG")
//   {name:.12f}     a double as "%.12lf"
//   {name:15.12f}   a double as "%15.12lf"
//
// Templates are parsed while compiling: a malformed placeholder, a call with
// more or fewer values than the template has placeholders, or a value of
// the wrong kind for its conversion (a double for {n}, an integer for
// {x:.6G}) does not compile. No text of the tool holds a literal brace, so
// braces have no escape.
//
// Filling writes the literal parts in the chosen encoding and the values as
// they are (numbers are ASCII; names are bytes the run holds), appending to
// a string whose capacity the caller keeps, so a loop of rows allocates
// nothing per value.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "text/encoding.hpp"
#include "text/format.hpp"

namespace dorvenk {

enum class Conversion : unsigned char {
  plain,          // {name}: "%d" for an integer, "%s" for a text
  int_width2,     // {name:2d}
  g6,             // {name:.6G}
  fixed12,        // {name:.12f}
  fixed12_width15 // {name:15.12f}
};

inline constexpr std::size_t MAX_PLACEHOLDERS = 6;

// Reached only while compiling a malformed template; being no constexpr
// function, a call makes the compiler stop at the template with this name.
inline void malformed_text_template(const char*) {}
// Reached only while compiling a call whose values do not fit the template.
inline void values_do_not_fit_the_text_template() {}

class Template {
 public:
  consteval Template(std::string_view name, std::string_view source) : name_(name), source_(source) {
    std::size_t literal_start = 0;
    for (std::size_t at = 0; at < source.size(); ++at) {
      char c = source[at];
      if (static_cast<unsigned char>(c) >= 0x80) ascii_ = false;
      if (c == '}') malformed_text_template("a '}' outside a placeholder");
      if (c != '{') continue;
      std::size_t close = source.find('}', at);
      if (close == std::string_view::npos) malformed_text_template("a '{' without its '}'");
      if (count_ == MAX_PLACEHOLDERS) malformed_text_template("more than MAX_PLACEHOLDERS placeholders");
      literals_[count_] = source.substr(literal_start, at - literal_start);
      conversions_[count_] = parse_placeholder(source.substr(at + 1, close - at - 1));
      ++count_;
      at = close;
      literal_start = close + 1;
    }
    literals_[count_] = source.substr(literal_start);
  }

  constexpr std::string_view name() const { return name_; }
  // The template as written, placeholders included.
  constexpr std::string_view source() const { return source_; }
  constexpr std::size_t count() const { return count_; }
  constexpr Conversion conversion(std::size_t i) const { return conversions_[i]; }
  // The literal text before placeholder i; literal(count()) is the rest.
  constexpr std::string_view literal(std::size_t i) const { return literals_[i]; }
  // True when every literal byte is ASCII: the text is the same in every encoding.
  constexpr bool ascii() const { return ascii_; }

 private:
  static consteval Conversion parse_placeholder(std::string_view inside) {
    std::size_t colon = inside.find(':');
    std::string_view name = inside.substr(0, colon);
    if (name.empty()) malformed_text_template("a placeholder without a name");
    for (std::size_t i = 0; i < name.size(); ++i) {
      char c = name[i];
      bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
      bool digit = i > 0 && c >= '0' && c <= '9';
      if (!letter && !digit) malformed_text_template("a placeholder name that is no identifier");
    }
    if (colon == std::string_view::npos) return Conversion::plain;
    std::string_view format = inside.substr(colon + 1);
    if (format == "2d") return Conversion::int_width2;
    if (format == ".6G") return Conversion::g6;
    if (format == ".12f") return Conversion::fixed12;
    if (format == "15.12f") return Conversion::fixed12_width15;
    malformed_text_template("a conversion other than 2d, .6G, .12f, 15.12f");
    return Conversion::plain;
  }

  std::string_view name_;
  std::string_view source_;
  std::size_t count_ = 0;
  bool ascii_ = true;
  std::array<Conversion, MAX_PLACEHOLDERS> conversions_{};
  std::array<std::string_view, MAX_PLACEHOLDERS + 1> literals_{};
};

namespace template_detail {

template <typename T>
inline constexpr bool is_integer =
    std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> && !std::is_same_v<T, char8_t>;

template <typename T>
inline constexpr bool is_text = std::is_convertible_v<const T&, std::string_view>;

template <typename T>
constexpr bool fits(Conversion conversion) {
  using U = std::remove_cvref_t<T>;
  switch (conversion) {
    case Conversion::plain:
      return is_integer<U> || is_text<U>;
    case Conversion::int_width2:
      return is_integer<U>;
    case Conversion::g6:
    case Conversion::fixed12:
    case Conversion::fixed12_width15:
      return std::is_same_v<U, double>;
  }
  return false;
}

// These helpers and fill are forced inline: at a call the template is then
// a constant, its literal lengths and conversions fold away, and a row of
// the result file costs what the same appends written out by hand cost.
template <typename T>
[[gnu::always_inline]] inline void append_value(std::string& out, Conversion conversion, const T& value) {
  using U = std::remove_cvref_t<T>;
  if constexpr (is_integer<U>) {
    append_int(out, static_cast<long long>(value), conversion == Conversion::int_width2 ? 2 : 0);
  } else if constexpr (is_text<U>) {
    out.append(std::string_view(value));
  } else {
    if (conversion == Conversion::g6) {
      append_g6(out, value);
    } else {
      append_fixed12(out, value, conversion == Conversion::fixed12_width15 ? 15 : 0);
    }
  }
}

[[gnu::always_inline]] inline void append_literal(std::string& out, const Template& t, std::size_t i,
                                                  Encoding encoding) {
  if (t.ascii()) {
    std::string_view literal = t.literal(i);
    if (literal.size() == 1) {
      out.push_back(literal[0]);  // a row's separators
    } else if (!literal.empty()) {
      out.append(literal);
    }
  } else {
    append_text(out, t.literal(i), encoding);
  }
}

}  // namespace template_detail

// A template checked, while compiling, against the values of one call:
// as many values as placeholders, each of the kind its conversion takes.
template <typename... Args>
class TemplateFor {
 public:
  consteval TemplateFor(const Template& t) : template_(&t) {
    std::size_t i = 0;
    bool fit = t.count() == sizeof...(Args) && (template_detail::fits<Args>(t.conversion(i++)) && ...);
    if (!fit) values_do_not_fit_the_text_template();
  }
  const Template& get() const { return *template_; }

 private:
  const Template* template_;
};

// Appends the template with its values; literal parts in `encoding`.
// Forced inline, like its helpers, so the template is a constant at the call.
template <typename... Args>
[[gnu::always_inline]] inline void fill(std::string& out, Encoding encoding,
                                        TemplateFor<std::type_identity_t<Args>...> checked, const Args&... values) {
  const Template& t = checked.get();
  std::size_t i = 0;
  ((template_detail::append_literal(out, t, i, encoding),
    template_detail::append_value(out, t.conversion(i), values), ++i),
   ...);
  template_detail::append_literal(out, t, i, encoding);
}

}  // namespace dorvenk
