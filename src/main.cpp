#include <iostream>

#include "console/console.hpp"
#include "text/whole_file.hpp"

int main() {
  // Read while the process has one thread: reading the mask sets it for a
  // moment.
  dorvenk::creation_mask();
  return dorvenk::run_console(std::cin, std::cout, dorvenk::process_console_options());
}
