// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Normal-distributed random numbers for the noise of test fits and of the demo measurements.

#include <cstdint>
#include <random>

namespace zelt {

// Uniform numbers in [0, 1) from a 64-bit Mersenne twister: the same sequence for the same
// seed on every platform and standard library, so generated files can be reproduced.
class TUniformRandom {
public:
    explicit TUniformRandom(std::uint64_t seed = 0) : engine_(seed) {}
    void Seed(std::uint64_t seed) { engine_.seed(seed); }
    // 53 random bits as a double in [0, 1).
    double Next() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }

private:
    std::mt19937_64 engine_;
};

// mean + sigma * (sum of 12 uniform numbers - 6): approximately normal with the given mean and
// standard deviation (the 12 uniforms have variance 12 * 1/12 = 1).
long double GaussRandom(long double mean, long double sigma, TUniformRandom& random);

} // namespace zelt
