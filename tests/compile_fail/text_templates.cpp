// Calls and templates that must not compile, one per CASE; CASE 0 is the
// same code done right, which must compile, so a failure of the others
// comes from the check and not from a mistake in this file.
#include <string>

#include "text/messages.hpp"

namespace dorvenk {

void fill_texts(std::string& out) {
  std::string name = "wave.txt";
  std::string reason = "No space left on device";
#if CASE == 0
  fill(out, Encoding::utf8, text::file_error, name, reason);
  fill(out, Encoding::utf8, text::count_line, 7);
  fill(out, Encoding::utf8, text::threshold_line, 0.5);
  fill(out, Encoding::utf8, text::coefficient_prompt, 3);
  static constexpr Template fine{"fine", "[{a}|{b:2d}|{c:.6G}|{d:.12f}|{e:15.12f}]"};
  fill(out, Encoding::utf8, fine, name, 1, 0.5, 0.5, 0.5);
#elif CASE == 1
  // One value too few.
  fill(out, Encoding::utf8, text::file_error, name);
#elif CASE == 2
  // One value too many.
  fill(out, Encoding::utf8, text::count_line, 7, 8);
#elif CASE == 3
  // A double where the template takes an integer or a text.
  fill(out, Encoding::utf8, text::count_line, 7.0);
#elif CASE == 4
  // An integer where the template takes a double.
  fill(out, Encoding::utf8, text::threshold_line, 1);
#elif CASE == 5
  // A text where the template takes an integer of two places.
  fill(out, Encoding::utf8, text::coefficient_prompt, name);
#elif CASE == 6
  // A placeholder that is never closed.
  static constexpr Template broken{"broken", "value={v\n"};
#elif CASE == 7
  // A conversion the tool does not have.
  static constexpr Template broken{"broken", "value={v:.3f}\n"};
#elif CASE == 8
  // A placeholder without a name.
  static constexpr Template broken{"broken", "value={}\n"};
#endif
}

}  // namespace dorvenk
