#include "text/command_line.hpp"

#include "text/printable.hpp"

namespace dorvenk {

std::string printable(std::string_view text) {
  std::string shown;
  append_printable(shown, text, Encoding::utf8);
  return shown;
}

void write_usage_error(std::FILE* err, std::string_view command, std::string_view problem, const char* argument,
                       std::string_view usage) {
  std::string message = "\a";
  message.append(command).append(": ").append(problem);
  if (argument != nullptr) message.append(" \"").append(printable(argument)).append("\"");
  message.append("\n").append(usage);
  std::fputs(message.c_str(), err);
}

void write_failure(std::FILE* err, std::string_view command, std::string_view what) {
  std::string message = "\a";
  message.append(command).append(": ").append(what).append("\n");
  std::fputs(message.c_str(), err);
}

bool finish_output(std::FILE* out, std::FILE* err, std::string_view command, bool written) {
  if (std::fflush(out) != 0 || !written || std::ferror(out)) {
    write_failure(err, command, "cannot write to standard output");
    return false;
  }
  return true;
}

}  // namespace dorvenk
