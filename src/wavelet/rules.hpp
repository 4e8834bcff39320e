// The rules of the shrinkage that depend only on numbers: the thresholds
// and the largest number of levels for a series of n values.
#pragma once

namespace dorvenk {

// sqrt(2 ln n) * sigma, in the fixed order of steps.
double threshold_from_noise_sd(int n, double sigma);

// sqrt(2 ln n / n) * sd, in the fixed order of steps.
double threshold_from_data_sd(int n, double sd);

// The largest number of levels accepted for n values: halvings of n while
// the halved length stays even (n = 1 gives 1, n = 0 gives 0).
int level_limit(int n);

}  // namespace dorvenk
