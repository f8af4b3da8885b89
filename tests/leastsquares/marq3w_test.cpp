// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/marq3w.h"

#include "common/errors.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace zelt {
namespace {

// The inputs and results of one MarqMinimize call, with the default controls.
struct TFit {
    TMarqControl control;
    std::int32_t limit = 0;
    std::int32_t n = 0, np = 1;
    TDataVector x, y, w;
    TParamVector p;
    long double sumOfSquares = -1;
    TDataVector covariance, fitted;
    std::int32_t code = 99;

    TFit() { MarqDefaults(control, limit); }
    void Point(long double xj, long double yj, long double wj = 1) {
        ++n;
        x[n] = xj;
        y[n] = yj;
        w[n] = wj;
    }
    void Run(const TMarqModel& model, const TMarqDerivatives& derivatives) {
        MarqMinimize(control, limit, 0, n, x, y, w, np, p, sumOfSquares, covariance, fitted, code,
                     model, derivatives);
    }
};

// y = p1 + p2 x
long double Line(std::int32_t, const TParamVector& p, bool&, long double x) {
    return p[1] + p[2] * x;
}
void LineDerivatives(std::int32_t j, const TDataVector& x, std::int32_t, const TParamVector&,
                     TParamVector& dy, bool&) {
    dy[1] = 1;
    dy[2] = x[j];
}

// y = p1 exp(-p2 x)
long double Decay(std::int32_t, const TParamVector& p, bool&, long double x) {
    return p[1] * std::exp(-p[2] * x);
}
void DecayDerivatives(std::int32_t j, const TDataVector& x, std::int32_t np, const TParamVector& p,
                      TParamVector& dy, bool&) {
    const long double e = std::exp(-p[2] * x[j]);
    dy[1] = e;
    if (np >= 2)
        dy[2] = -p[1] * x[j] * e;
}

// Five exact points of y = 3 + 2x.
TFit ExactLine() {
    TFit fit;
    fit.np = 2;
    for (int j = 1; j <= 5; ++j)
        fit.Point(j, 3 + 2 * j);
    return fit;
}

void ExpectNear(long double actual, long double expected, long double tolerance) {
    EXPECT_NEAR(static_cast<double>(actual), static_cast<double>(expected),
                static_cast<double>(tolerance));
}

TEST(MarqMinimizeTest, DefaultControls) {
    TMarqControl control;
    control[7] = 42;
    std::int32_t limit = 0;
    MarqDefaults(control, limit);
    EXPECT_EQ(control[LambdaStart], 1e-4L);
    EXPECT_EQ(control[LambdaMax], 1e14L);
    EXPECT_EQ(control[LambdaDown], 0.01L);
    EXPECT_EQ(control[LambdaUp], 100.0L);
    EXPECT_EQ(control[DiagonalBoost], 1.0L);
    EXPECT_EQ(control[SumSqTarget], 1e-15L);
    EXPECT_EQ(control[7], 42.0L);
    EXPECT_EQ(limit, 50);
}

TEST(MarqMinimizeTest, ExactLinearDataReachesTheSumOfSquaresTarget) {
    TFit fit = ExactLine();
    const TDataVector y = fit.y;
    fit.Run(Line, LineDerivatives);
    EXPECT_EQ(fit.code, 0);
    EXPECT_LE(fit.sumOfSquares, 1e-15L);
    ExpectNear(fit.p[1], 3, 1e-9);
    ExpectNear(fit.p[2], 2, 1e-9);
    for (int j = 1; j <= 5; ++j)
        ExpectNear(fit.fitted[j], y[j], 1e-9);
    // Inverse of the normal matrix [[5, 15], [15, 55]].
    ExpectNear(fit.covariance[1], 1.1L, 1e-15);
    ExpectNear(fit.covariance[2], -0.3L, 1e-15);
    ExpectNear(fit.covariance[3], -0.3L, 1e-15);
    ExpectNear(fit.covariance[4], 0.1L, 1e-15);
    EXPECT_EQ(fit.covariance[5], 0.0L);
    EXPECT_EQ(fit.y, y);
}

TEST(MarqMinimizeTest, StartAtTheMinimumEndsWithUnchangedParameters) {
    TFit fit = ExactLine();
    fit.p[1] = 3;
    fit.p[2] = 2;
    fit.Run(Line, LineDerivatives);
    EXPECT_EQ(fit.code, 5);
    EXPECT_EQ(fit.sumOfSquares, 0.0L);
    EXPECT_EQ(fit.p[1], 3.0L);
    EXPECT_EQ(fit.p[2], 2.0L);
    ExpectNear(fit.covariance[4], 0.1L, 1e-15);
    EXPECT_EQ(fit.fitted[5], 13.0L);

    // No points: every diagonal is guarded to 1, the zero step is accepted.
    TFit empty;
    empty.np = 2;
    empty.p[1] = 1;
    empty.p[2] = 2;
    empty.Run(Line, LineDerivatives);
    EXPECT_EQ(empty.code, 5);
    EXPECT_EQ(empty.sumOfSquares, 0.0L);
    EXPECT_EQ(empty.p[1], 1.0L);
    EXPECT_EQ(empty.p[2], 2.0L);
    EXPECT_EQ(empty.covariance[1], 1.0L);
    EXPECT_EQ(empty.covariance[2], 0.0L);
    EXPECT_EQ(empty.covariance[3], 0.0L);
    EXPECT_EQ(empty.covariance[4], 1.0L);
}

TEST(MarqMinimizeTest, ParameterWithoutInfluenceKeepsItsValue) {
    TFit fit;
    fit.np = 2;
    for (int j = 0; j < 6; ++j)
        fit.Point(j, 2 * std::exp(-static_cast<long double>(j)));
    fit.p[1] = 1;
    fit.p[2] = 0.25L;
    const auto model = [](std::int32_t, const TParamVector& p, bool&, long double x) {
        return p[1] * std::exp(-x);
    };
    const auto derivatives = [](std::int32_t j, const TDataVector& x, std::int32_t,
                                const TParamVector&, TParamVector& dy, bool&) {
        dy[1] = std::exp(-x[j]);
        dy[2] = 0;
    };
    fit.Run(model, derivatives);
    EXPECT_EQ(fit.code, 0);
    ExpectNear(fit.p[1], 2, 1e-12);
    EXPECT_EQ(fit.p[2], 0.25L);
    EXPECT_EQ(fit.covariance[2], 0.0L);
    EXPECT_EQ(fit.covariance[3], 0.0L);
    EXPECT_EQ(fit.covariance[4], 1.0L);
}

TEST(MarqMinimizeTest, FixedSlotsReachEveryCallUnchanged) {
    TFit fit;
    for (int j = 0; j < 8; ++j)
        fit.Point(j, 4 * std::exp(-0.5L * j));
    fit.p[1] = 1;
    fit.p[2] = 0.5L;
    fit.p[15] = 7;
    int calls = 0, wrong = 0;
    const auto model = [&](std::int32_t np, const TParamVector& p, bool& ok, long double x) {
        ++calls;
        if (np != 1 || p[2] != 0.5L || p[15] != 7)
            ++wrong;
        return Decay(np, p, ok, x);
    };
    const auto derivatives = [&](std::int32_t j, const TDataVector& x, std::int32_t np,
                                 const TParamVector& p, TParamVector& dy, bool& ok) {
        if (np != 1 || p[2] != 0.5L || p[15] != 7)
            ++wrong;
        DecayDerivatives(j, x, np, p, dy, ok);
    };
    fit.Run(model, derivatives);
    EXPECT_EQ(fit.code, 0);
    ExpectNear(fit.p[1], 4, 1e-12);
    EXPECT_EQ(fit.p[2], 0.5L);
    EXPECT_EQ(fit.p[15], 7.0L);
    EXPECT_GT(calls, 16);
    EXPECT_EQ(wrong, 0);
}

TEST(MarqMinimizeTest, StopTestsInTheirOrder) {
    // Codes 0 and 1 both hold after the first step: the later test wins.
    TFit both = ExactLine();
    both.control[SumSqTarget] = 1e10L;
    both.control[LambdaMax] = 0;
    TFit limited = both;
    both.Run(Line, LineDerivatives);
    EXPECT_EQ(both.code, 1);
    // The iteration limit is tested last: one accepted step, code 2.
    limited.limit = 1;
    limited.Run(Line, LineDerivatives);
    EXPECT_EQ(limited.code, 2);
    EXPECT_EQ(limited.p, both.p);
    EXPECT_NE(limited.p[1], 0.0L);

    TFit target = ExactLine();
    target.control[SumSqTarget] = 1e10L;
    target.Run(Line, LineDerivatives);
    EXPECT_EQ(target.code, 0);
    EXPECT_EQ(target.p, both.p);

    // An unchanged step ends with code 5 before the other tests.
    TFit atMinimum = ExactLine();
    atMinimum.p[1] = 3;
    atMinimum.p[2] = 2;
    atMinimum.limit = 1;
    atMinimum.Run(Line, LineDerivatives);
    EXPECT_EQ(atMinimum.code, 5);
}

// One point, y = 1, model y = p1 from p1 = 0: a trial with damping l moves p1 to about
// 1 / (1 + l). The model rejects the first `rejectedTrials` trials.
std::vector<long double> TrialParameters(long double lambdaStart, int rejectedTrials) {
    TFit fit;
    fit.Point(0, 1);
    fit.control[LambdaStart] = lambdaStart;
    fit.control[SumSqTarget] = -1;
    fit.limit = 2;
    std::vector<long double> trials;
    int call = 0;
    const auto model = [&](std::int32_t, const TParamVector& p, bool&, long double) {
        ++call;
        if (call >= 2)
            trials.push_back(p[1]);
        return call >= 2 && call <= rejectedTrials + 1 ? 1e6L : p[1];
    };
    const auto derivatives = [](std::int32_t, const TDataVector&, std::int32_t, const TParamVector&,
                                TParamVector& dy, bool&) { dy[1] = 1; };
    fit.Run(model, derivatives);
    EXPECT_EQ(fit.code, 2);
    return trials;
}

TEST(MarqMinimizeTest, DampingScheduleOfRejectedTrials) {
    const std::vector<long double> trials = TrialParameters(1e-4L, 3);
    ASSERT_GE(trials.size(), 5u);
    ExpectNear(trials[0], 1 / (1 + 1e-6L), 1e-18);
    ExpectNear(trials[1], 1 / (1 + 1e-4L), 1e-18);
    // The raised cycle repeats the damping that just failed, then tries the raised one.
    ExpectNear(trials[2], 1 / (1 + 1e-4L), 1e-18);
    ExpectNear(trials[3], 1 / (1 + 1e-2L), 1e-18);
    // After a second-trial success lambda stays 1e-2: the next first trial uses 1e-4.
    const long double p1 = trials[3];
    ExpectNear(trials[4], p1 + (1 - p1) / (1 + 1e-4L), 1e-18);

    // A zero lambda restarts at 1e-19 before it is raised to 1e-17.
    const std::vector<long double> restarted = TrialParameters(0, 3);
    EXPECT_EQ(restarted[0], 1.0L);
    EXPECT_EQ(restarted[1], 1.0L);
    ExpectNear(restarted[3], 1 - 1e-17L, 2e-19L);
    EXPECT_LT(restarted[3], 1.0L);
}

TEST(MarqMinimizeTest, ZeroWeightRemovesAPointButItIsStillFitted) {
    TFit fit = ExactLine();
    fit.Point(6, 100, 0);
    fit.Run(Line, LineDerivatives);
    EXPECT_EQ(fit.code, 0);
    ExpectNear(fit.p[1], 3, 1e-9);
    ExpectNear(fit.p[2], 2, 1e-9);
    ExpectNear(fit.fitted[6], 15, 1e-9);
    ExpectNear(fit.covariance[1], 1.1L, 1e-15);
}

TEST(MarqMinimizeTest, FailingCallbacksEndWithCodesThreeAndFour) {
    TFit start = ExactLine();
    start.covariance[1] = 42;
    start.fitted[1] = 42;
    const auto failAtPoint2 = [](std::int32_t np, const TParamVector& p, bool& ok, long double x) {
        if (x == 2)
            ok = false;
        return Line(np, p, ok, x);
    };
    start.Run(failAtPoint2, LineDerivatives);
    EXPECT_EQ(start.code, 3);
    // The failing point's term is still added, then the pass stops: 5^2 + 7^2.
    EXPECT_EQ(start.sumOfSquares, 74.0L);
    EXPECT_EQ(start.p[1], 0.0L);
    EXPECT_EQ(start.covariance[1], 42.0L);
    EXPECT_EQ(start.fitted[1], 42.0L);

    TFit derivatives = ExactLine();
    derivatives.fitted[1] = 42;
    int passes = 0;
    const auto failSecondPass = [&](std::int32_t j, const TDataVector& x, std::int32_t np,
                                    const TParamVector& p, TParamVector& dy, bool& ok) {
        if (j == 1)
            ++passes;
        LineDerivatives(j, x, np, p, dy, ok);
        if (passes == 2)
            ok = false;
    };
    derivatives.Run(Line, failSecondPass);
    EXPECT_EQ(derivatives.code, 4);
    EXPECT_EQ(passes, 2);
    // The sum of squares of the first accepted step, at the returned parameters.
    long double s = 0;
    for (int j = 1; j <= 5; ++j) {
        const long double r = 3 + 2 * j - (derivatives.p[1] + derivatives.p[2] * j);
        s += r * r;
    }
    EXPECT_EQ(derivatives.sumOfSquares, s);
    EXPECT_LT(s, 1e-6L);
    EXPECT_EQ(derivatives.fitted[1], 42.0L);
}

TEST(MarqMinimizeTest, TrialWhereTheModelFailsIsRejected) {
    // y = p1 fitted to 3, but the model fails above 2.5 and then returns the data value, so
    // the failing trial's partial sum is 0.
    TFit fit;
    fit.Point(1, 3);
    const auto model = [](std::int32_t, const TParamVector& p, bool& ok, long double) {
        if (p[1] > 2.5L) {
            ok = false;
            return 3.0L;
        }
        return p[1];
    };
    const auto derivatives = [](std::int32_t, const TDataVector&, std::int32_t, const TParamVector&,
                                TParamVector& dy, bool&) { dy[1] = 1; };
    fit.Run(model, derivatives);
    // The fit creeps toward the edge of the failing region until the iteration limit.
    EXPECT_EQ(fit.code, 2);
    EXPECT_LE(fit.p[1], 2.5L);
    EXPECT_GT(fit.p[1], 2.4L);
    ExpectNear(fit.sumOfSquares, (3 - fit.p[1]) * (3 - fit.p[1]), 1e-15);
}

TEST(MarqMinimizeTest, TrialWhoseSumIsNotANumberIsRejected) {
    // The model gives no number during the first trial (calls 6 to 10), then the line again.
    TFit fit = ExactLine();
    fit.p[1] = 1;
    int calls = 0;
    const auto model = [&](std::int32_t np, const TParamVector& p, bool& ok, long double x) {
        ++calls;
        if (calls > 5 && calls <= 10)
            return std::numeric_limits<long double>::quiet_NaN();
        return Line(np, p, ok, x);
    };
    fit.Run(model, LineDerivatives);
    EXPECT_EQ(fit.code, 0);
    EXPECT_LE(fit.sumOfSquares, 1e-15L);
    ExpectNear(fit.p[1], 3, 1e-6);
    ExpectNear(fit.p[2], 2, 1e-6);
}

TEST(MarqMinimizeTest, EndlesslyRejectedStepsOverflowLambda) {
    // A drifting model: every evaluation gives a larger sum of squares, so no step is ever
    // accepted and lambda grows by 100 per cycle until it leaves the extended range.
    TFit fit;
    fit.Point(1, 0);
    long double drift = 0;
    const auto model = [&](std::int32_t, const TParamVector&, bool&, long double) {
        return drift += 1;
    };
    const auto derivatives = [](std::int32_t, const TDataVector&, std::int32_t, const TParamVector&,
                                TParamVector& dy, bool&) { dy[1] = 1; };
    try {
        fit.Run(model, derivatives);
        FAIL() << "no overflow";
    } catch (const EOverflow& error) {
        EXPECT_STREQ(error.what(), "Floating point overflow in the damping factor lambda of the "
                                   "minimiser (too many rejected steps)");
    }
    EXPECT_EQ(fit.code, -1);
    // 1e-4 * 100^k passes the extended range (about 1.19e4932) at k = 2469.
    EXPECT_EQ(drift, 1 + 2 * 2469.0L);
}

TEST(MarqMinimizeTest, InvalidArithmeticInTheModelRaises) {
    TFit fit = ExactLine();
    const auto model = [](std::int32_t, const TParamVector& p, bool&, long double x) {
        return std::sqrt(p[1] - 1) * x;
    };
    try {
        fit.Run(model, LineDerivatives);
        FAIL() << "no exception";
    } catch (const EInvalidOp& error) {
        EXPECT_STREQ(error.what(), "Invalid floating point operation in the sum of squares");
    }
    EXPECT_EQ(fit.code, -1);
}

TEST(MarqMinimizeTest, NonFiniteStartWithoutFlagRaises) {
    // A starting value of NaN or infinity that raised no IEEE flag, as some C runtimes' square
    // roots and exponentials return them (a trial's NaN is only rejected, above).
    const auto run = [](long double value) {
        TFit fit = ExactLine();
        fit.Run([value](std::int32_t, const TParamVector&, bool&, long double) { return value; },
                LineDerivatives);
    };
    try {
        run(std::numeric_limits<long double>::quiet_NaN());
        ADD_FAILURE() << "no exception for NaN";
    } catch (const EInvalidOp& error) {
        EXPECT_STREQ(error.what(), "Invalid floating point operation in the sum of squares");
    }
    try {
        run(std::numeric_limits<long double>::infinity());
        ADD_FAILURE() << "no exception for infinity";
    } catch (const EOverflow& error) {
        EXPECT_STREQ(error.what(), "Floating point overflow in the sum of squares");
    }
}

TEST(MarqMinimizeTest, ClassicExponentialDecayToEightDigits) {
    // y = p1 exp(-p2 x) through ten points with fixed noise; the least-squares solution was
    // computed independently by Newton's method in 40-digit arithmetic.
    TFit fit;
    fit.np = 2;
    const long double noise[] = {0.03L,  -0.05L, 0.02L, 0.04L,  -0.01L,
                                 -0.03L, 0.05L,  0.0L,  -0.02L, 0.01L};
    for (int j = 0; j < 10; ++j)
        fit.Point(j, 5 * std::exp(-0.3L * j) + noise[j]);
    fit.p[1] = 1;
    fit.p[2] = 0.1L;
    fit.Run(Decay, DecayDerivatives);
    EXPECT_EQ(fit.code, 5);
    ExpectNear(fit.p[1], 5.0061316875857884L, 5e-8);
    ExpectNear(fit.p[2], 0.29969240376711385L, 3e-9);
    ExpectNear(fit.sumOfSquares, 0.0092468374038882125L, 1e-10);
}

TEST(MarqMinimizeTest, SizesBeyondTheVectorsAreRangeErrors) {
    TFit fit = ExactLine();
    fit.n = 101;
    EXPECT_THROW(fit.Run(Line, LineDerivatives), ERangeError);
    EXPECT_EQ(fit.code, -1);
    fit.n = 5;
    fit.np = 9;
    EXPECT_THROW(fit.Run(Line, LineDerivatives), ERangeError);
    fit.np = 0;
    EXPECT_THROW(fit.Run(Line, LineDerivatives), ERangeError);
}

} // namespace
} // namespace zelt
