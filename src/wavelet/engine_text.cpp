#include "wavelet/engine_text.hpp"

#include <cstddef>

#include "text/format.hpp"

namespace dorvenk::engine_text {

void append_line(std::string& out, std::string_view line, std::initializer_list<Arg> args) {
  const Arg* arg = args.begin();
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t percent = line.find('%', at);
    if (percent == std::string_view::npos) break;
    out.append(line.substr(at, percent - at));
    std::size_t pos = percent + 1;
    int width = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') width = width * 10 + (line[pos++] - '0');
    const std::string_view rest = line.substr(pos);
    const bool fixed12 = rest.starts_with(".12lf");
    const bool integer = rest.starts_with('d');
    if (arg == args.end() || !(fixed12 ? !arg->is_integer : integer && arg->is_integer)) {
      // Not one of the conversions above, or no value of its kind left: the
      // text as it stands.
      out += '%';
      at = percent + 1;
      continue;
    }
    if (fixed12) {
      append_fixed12(out, arg->number, width);
      at = pos + 5;
    } else {
      append_int(out, arg->integer, width);
      at = pos + 1;
    }
    ++arg;
  }
  out.append(line.substr(at));
}

void append_coefficient_table(std::string& out, std::span<const double> p, std::span<const double> q) {
  const int taps = static_cast<int>(p.size());
  const int half = taps / 2;
  for (int k = 0; k < taps; ++k) {
    const auto at = static_cast<std::size_t>(k);
    append_line(out, coefficient_line, {k, p[at], k - half, q[at]});
  }
}

void append_ratio_line(std::string& out, int zeroed, int n) { append_line(out, ratio_line, {zeroed, n}); }

}  // namespace dorvenk::engine_text
