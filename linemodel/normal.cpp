// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/normal.h"

namespace zelt {

long double GaussRandom(long double mean, long double sigma, TUniformRandom& random) {
    long double sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += random.Next();
    return mean + sigma * (sum - 6);
}

} // namespace zelt
