// SPDX-License-Identifier: GPL-3.0-or-later
// Time of one complete fit of two parameters to 100 points with a fixed ripple as noise,
// analytic derivatives, default controls, no log. The rational model shows the engine's own
// cost; the decay model adds about 4000 evaluations of the 80-bit exponential.
#include "leastsquares/marq3w.h"

#include <benchmark/benchmark.h>
#include <cmath>

namespace {

using namespace zelt;

void FitBenchmark(benchmark::State& state, long double (*truth)(long double),
                  const TMarqModel& model, const TMarqDerivatives& derivatives) {
    TMarqControl control;
    std::int32_t limit = 0;
    MarqDefaults(control, limit);
    TDataVector x, y, w;
    for (int j = 1; j <= 100; ++j) {
        x[j] = 0.1L * (j - 1);
        y[j] = truth(x[j]) + 0.02L * std::sin(7.0L * j);
        w[j] = 1;
    }
    std::int32_t code = 0;
    for (auto _ : state) {
        TParamVector p;
        p[1] = 1;
        p[2] = 0.1L;
        long double s = 0;
        TDataVector covariance, fitted;
        MarqMinimize(control, limit, 0, 100, x, y, w, 2, p, s, covariance, fitted, code, model,
                     derivatives);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(s);
    }
    state.counters["returnCode"] = code;
}

// y = a / (1 + b x)
void BM_MarqRationalFit(benchmark::State& state) {
    FitBenchmark(
        state, [](long double x) { return 5 / (1 + 0.3L * x); },
        [](std::int32_t, const TParamVector& p, bool&, long double x) {
            return p[1] / (1 + p[2] * x);
        },
        [](std::int32_t j, const TDataVector& x, std::int32_t, const TParamVector& p,
           TParamVector& dy, bool&) {
            const long double q = 1 / (1 + p[2] * x[j]);
            dy[1] = q;
            dy[2] = -p[1] * x[j] * q * q;
        });
}
BENCHMARK(BM_MarqRationalFit)->Unit(benchmark::kMicrosecond);

// y = a exp(-b x)
void BM_MarqDecayFit(benchmark::State& state) {
    FitBenchmark(
        state, [](long double x) { return 5 * std::exp(-0.3L * x); },
        [](std::int32_t, const TParamVector& p, bool&, long double x) {
            return p[1] * std::exp(-p[2] * x);
        },
        [](std::int32_t j, const TDataVector& x, std::int32_t, const TParamVector& p,
           TParamVector& dy, bool&) {
            const long double e = std::exp(-p[2] * x[j]);
            dy[1] = e;
            dy[2] = -p[1] * x[j] * e;
        });
}
BENCHMARK(BM_MarqDecayFit)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
