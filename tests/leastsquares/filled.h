// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fixed vectors written out in tests: slots 1, 2, ... take the listed values, the rest are 0.

#include "leastsquares/marqdef.h"

#include <initializer_list>

namespace zelt::test {

template <class TVector> TVector Filled(std::initializer_list<long double> values) {
    TVector v;
    int i = 0;
    for (const long double value : values)
        v[++i] = value;
    return v;
}

} // namespace zelt::test
