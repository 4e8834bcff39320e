#include <iostream>

#include "console/console.hpp"

int main() { return dorvenk::run_console(std::cin, std::cout, dorvenk::process_console_options()); }
