// dorvenk-coefs: prints the Daubechies scaling filter of a given order, in a
// form that the tool's coefficient prompts read back exactly.
#include <cstdio>

#include "coefs/coefs_cli.hpp"

int main(int argc, char** argv) { return dorvenk::run_coefs(argc, argv, stdout, stderr); }
