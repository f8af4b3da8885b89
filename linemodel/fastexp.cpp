#include "linemodel/fastexp.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zelt {

namespace {

constexpr int kTableBits = 6;
constexpr int kTableSize = 1 << kTableBits;
// 64 / ln 2, and ln 2 / 64 split into a 40-bit head (so k * head is exact for |k| < 2^24)
// and the rest.
constexpr long double kInverseStep = 0xb8aa3b295c17f0bcp-57L;
constexpr long double kStepHead = 762123384786.0L / 70368744177664.0L;
constexpr long double kStepTail = -0xc21950d871319ff0p-112L;
constexpr long double kFastRange = 11000;

// 2^(j/64), j = 0 .. 63.
const std::array<long double, kTableSize> kPowers = [] {
    std::array<long double, kTableSize> powers{};
    for (int j = 0; j < kTableSize; ++j)
        powers[static_cast<std::size_t>(j)] = std::exp2(static_cast<long double>(j) / kTableSize);
    return powers;
}();

static_assert(std::numeric_limits<long double>::digits == 64, "x87 80-bit long double expected");

// 2^m for |m| < 16000, built from its bits: the 64-bit mantissa 1.0 and the biased exponent.
long double PowerOfTwo(long m) {
    const std::uint64_t mantissa = std::uint64_t{1} << 63;
    const auto exponent = static_cast<std::uint16_t>(m + 16383);
    long double result = 0;
    std::memcpy(&result, &mantissa, sizeof mantissa);
    std::memcpy(reinterpret_cast<char*>(&result) + sizeof mantissa, &exponent, sizeof exponent);
    return result;
}

} // namespace

// x = (64 m + j) ln2/64 + r with |r| <= ln2/128, so exp(x) = 2^m 2^(j/64) e^r; the Taylor
// polynomial of e^r to r^6 leaves a relative error below r^7/7! = 3e-20, a quarter of an ulp.
long double ExpExtended(long double x) {
    if (!(std::fabs(x) < kFastRange))
        return std::exp(x);
    const long k = std::lrint(x * kInverseStep);
    const long double r = (x - k * kStepHead) - k * kStepTail;
    const long double p =
        1 + r * (1 + r * (0.5L +
                          r * (1.0L / 6 + r * (1.0L / 24 + r * (1.0L / 120 + r * (1.0L / 720))))));
    return kPowers[static_cast<std::size_t>(k & (kTableSize - 1))] * p *
           PowerOfTwo(k >> kTableBits);
}

} // namespace zelt
