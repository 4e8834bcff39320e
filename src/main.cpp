#include <unistd.h>

#include <iostream>
#include <ostream>

#include "console/console.hpp"
#include "console/standard_output.hpp"
#include "text/run_files.hpp"
#include "text/whole_file.hpp"

int main() {
  // First of all: from here on a signal takes away what the run made.
  dorvenk::install_ending_handlers();
  // Read while the process has one thread: reading the mask sets it for a
  // moment.
  dorvenk::creation_mask();
  dorvenk::DescriptorOutput output(STDOUT_FILENO);
  std::ostream out(&output);
  const int status = dorvenk::run_console(std::cin, out, dorvenk::process_console_options());
  return dorvenk::finish_standard_output(output, status);
}
