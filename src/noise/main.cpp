// dorvenk-noise: prints the noise standard deviation of a data file,
// estimated from its finest wavelet details, for the tool's "yes" answer.
#include <cstdio>

#include "noise/noise_cli.hpp"

int main(int argc, char** argv) { return dorvenk::run_noise(argc, argv, stdout, stderr); }
