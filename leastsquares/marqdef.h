// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared types of the least-squares engine: fixed vectors of 80-bit reals indexed from 1, every
// index bounds-tested, and the callbacks of a model that the minimiser and its guard call.

#include "common/checked.h"

#include <array>
#include <cstdint>
#include <functional>

namespace zelt {

// A fixed vector of N extended reals, indexed 1 .. N; an index outside raises ERangeError.
// A new vector is all zeros.
template <int N> class TFixedVector {
public:
    static constexpr int Size = N;

    long double& operator[](std::integral auto index) { return values_[checked(index)]; }
    const long double& operator[](std::integral auto index) const {
        return values_[checked(index)];
    }

    bool operator==(const TFixedVector&) const = default;

private:
    static std::size_t checked(std::integral auto index) {
        const auto i = static_cast<long long>(index);
        if (i < 1 || i > N)
            RaiseIndexError(i, 1, N);
        return static_cast<std::size_t>(i - 1);
    }

    std::array<long double, N> values_{};
};

// Parameters of a model, right-hand sides and solutions of the linear solver.
using TParamVector = TFixedVector<15>;
// A symmetric matrix of order up to 8 as its lower triangle row by row: element (r, c),
// 1 <= c <= r, at r(r-1)/2 + c.
using TPackedMatrix = TFixedVector<37>;
// One value per data point, or an NP x NP matrix row by row.
using TDataVector = TFixedVector<100>;

// The model value f(x; P) for the first np parameters of p (slots above np carry the caller's
// fixed values). A model that cannot compute a value sets ok to false; it never sets it true.
using TMarqModel =
    std::function<long double(std::int32_t np, const TParamVector& p, bool& ok, long double x)>;

// The derivatives of the model at point j (1 .. N) of x: dy(i) = df(x(j); P)/dP(i) for
// i = 1 .. np. A failure sets ok to false.
using TMarqDerivatives = std::function<void(std::int32_t j, const TDataVector& x, std::int32_t np,
                                            const TParamVector& p, TParamVector& dy, bool& ok)>;

} // namespace zelt
