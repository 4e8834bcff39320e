#include "console/terminal.hpp"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "console/console.hpp"
#include "text/messages.hpp"
#include "text/printable.hpp"

namespace dorvenk {
namespace {

// `text` in lower case without "-" and "_", so that "Shift_JIS", "shift-jis"
// and "SHIFTJIS" compare equal.
std::string folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '-' || c == '_') continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

// The locale name the C library takes for the character type category.
const char* ctype_locale_name() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

void write_to_terminal(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
}

std::optional<Encoding> encoding_named(std::string_view value) {
  const std::string name = folded(value);
  if (name == "utf8") return Encoding::utf8;
  if (name == "shiftjis" || name == "sjis" || name == "cp932") return Encoding::shift_jis;
  return std::nullopt;
}

bool is_shift_jis_codeset(std::string_view codeset) {
  const std::string name = folded(codeset);
  return name == "shiftjis" || name == "sjis" || name == "cp932" || name == "windows31j" || name == "mskanji" ||
         name == "pck";
}

std::string environment_codeset() {
  // A locale object of its own: the process stays in the "C" locale, so
  // that nothing else (the decimal point of numbers) depends on the user's.
  if (locale_t ctype = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
    std::string codeset = ::nl_langinfo_l(CODESET, ctype);
    ::freelocale(ctype);
    return codeset;
  }
  // language[_territory][.codeset][@modifier]
  std::string_view name = ctype_locale_name();
  std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return {};
  std::string_view codeset = name.substr(dot + 1);
  return std::string(codeset.substr(0, codeset.find('@')));
}

Encoding choose_console_encoding(bool output_is_terminal, std::string_view override_value,
                                 std::string_view codeset) {
  if (std::optional<Encoding> chosen = encoding_named(override_value)) return *chosen;
  if (!output_is_terminal) return Encoding::shift_jis;
  return is_shift_jis_codeset(codeset) ? Encoding::shift_jis : Encoding::utf8;
}

void tell_terminal(const std::string& tty_path, std::string_view text) {
  if (tty_path.empty()) return;
  int fd = ::open(tty_path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  write_to_terminal(fd, text);
  ::close(fd);
}

ConsoleOptions process_console_options() {
  ConsoleOptions options;
  options.tty_path = "/dev/tty";
  const bool output_is_terminal = ::isatty(STDOUT_FILENO) == 1;
  const char* override_value = std::getenv(ENCODING_VARIABLE);
  if (override_value == nullptr) override_value = "";
  options.encoding = choose_console_encoding(output_is_terminal, override_value,
                                             output_is_terminal ? environment_codeset() : std::string());
  if (*override_value != '\0' && !encoding_named(override_value)) {
    std::string warning;
    std::string shown;
    append_printable(shown, override_value, options.encoding);
    fill(warning, options.encoding, text::encoding_ignored, std::string_view(ENCODING_VARIABLE), shown);
    std::cerr << warning << std::flush;
  }
  // Typed answers but no prompts on the terminal: say where the prompts went.
  options.note_redirected_output = ::isatty(STDIN_FILENO) == 1 && !output_is_terminal;
  return options;
}

}  // namespace dorvenk
