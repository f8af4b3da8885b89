// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/marqguard.h"

#include "common/errors.h"
#include "common/fpcheck.h"

#include <cmath>

namespace zelt {

std::vector<bool> MarqFrozenParameters(std::int32_t n, const TDataVector& x, const TDataVector& w,
                                       std::int32_t np, const TParamVector& p,
                                       const TMarqDerivatives& derivatives) {
    TParamVector diagonal, dy;
    bool ok = true;
    for (std::int32_t j = 1; j <= n; ++j) {
        derivatives(j, x, np, p, dy, ok);
        if (!ok)
            throw EInvalidOp("The derivatives of the model failed at the fitted parameters");
        for (std::int32_t i = 1; i <= np; ++i)
            diagonal[i] += dy[i] * dy[i] * w[j];
    }
    FpCheck("the normal matrix at the fitted parameters");
    std::vector<bool> frozen;
    for (std::int32_t i = 1; i <= np; ++i)
        frozen.push_back(std::islessequal(diagonal[i], kMarqDiagonalGuard));
    return frozen;
}

} // namespace zelt
