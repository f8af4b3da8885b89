// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/profile.h"

#include "linemodel/constants.h"

#include <array>
#include <cmath>
#include <tuple>
#include <utility>

namespace zelt {

namespace {

constexpr int kTerms = 32;            // of Weideman's series
constexpr double kStepsPerWidth = 24; // table steps per FWHM
constexpr double kReachWidths = 16;   // the table reaches 16 FWHM from the centre
const double kPiD = static_cast<double>(kPi);

// Weideman's coefficients a_1 ... a_N: the cosine transform of f(t) = exp(-t^2) (L^2 + t^2) at
// t = L tan(theta / 2), theta = k pi / M, k = -M ... M - 1 (M = 2N, f = 0 at k = -M):
// a_n = 1 / (2M) sum_k f(t_k) cos(pi k n / M), with L = sqrt(N / sqrt 2).
struct TWeideman {
    double L;
    std::array<double, kTerms> A;
    TWeideman() : L(std::sqrt(kTerms / std::sqrt(2.0))), A() {
        const int m = 2 * kTerms;
        std::array<double, 2 * 2 * kTerms> f{};
        for (int k = -m + 1; k < m; ++k) {
            const double t = L * std::tan(k * kPiD / m / 2);
            f[static_cast<std::size_t>(k + m)] = std::exp(-t * t) * (L * L + t * t);
        }
        for (int n = 1; n <= kTerms; ++n) {
            double sum = 0;
            for (int k = -m + 1; k < m; ++k)
                sum += f[static_cast<std::size_t>(k + m)] * std::cos(kPiD * k * n / m);
            A[static_cast<std::size_t>(n - 1)] = sum / (2 * m);
        }
    }
};

const TWeideman& Weideman() {
    static const TWeideman coefficients;
    return coefficients;
}

double Sigma(double gaussFwhm) {
    return gaussFwhm / (2 * std::sqrt(2 * std::log(2.0)));
}

} // namespace

std::complex<double> Faddeeva(std::complex<double> z) {
    // w(z) = 2 p(Z) / (L - iz)^2 + 1 / (sqrt(pi) (L - iz)), Z = (L + iz) / (L - iz),
    // p(Z) = sum_n a_n Z^(n - 1); 1 / (L - iz) as its conjugate over its norm, which spares
    // the library's careful complex divisions.
    const TWeideman& w = Weideman();
    const std::complex<double> iz(-z.imag(), z.real());
    const std::complex<double> d = w.L - iz, inverse = std::conj(d) / std::norm(d);
    const std::complex<double> big = (w.L + iz) * inverse;
    std::complex<double> p = 0;
    for (int n = kTerms - 1; n >= 0; --n)
        p = p * big + w.A[static_cast<std::size_t>(n)];
    return (2.0 * p * inverse + 1 / std::sqrt(kPiD)) * inverse;
}

namespace {

// The Voigt profile and its slope at x: with w' = -2 z w + 2i / sqrt(pi), z as below,
// V = Re w / (sigma sqrt(2 pi)) and V' = Re w' / (2 sigma^2 sqrt(pi)).
std::pair<double, double> VoigtAndSlope(double x, double gaussFwhm, double lorentzFwhm) {
    const double sigma = Sigma(gaussFwhm);
    const std::complex<double> z(x / (sigma * std::sqrt(2.0)),
                                 lorentzFwhm / 2 / (sigma * std::sqrt(2.0)));
    const std::complex<double> w = Faddeeva(z);
    const double slope = (-2.0 * z * w).real();
    return {w.real() / (sigma * std::sqrt(2 * kPiD)),
            slope / (2 * sigma * sigma * std::sqrt(kPiD))};
}

} // namespace

double VoigtProfile(double x, double gaussFwhm, double lorentzFwhm) {
    return VoigtAndSlope(x, gaussFwhm, lorentzFwhm).first;
}

double VoigtFwhm(double gaussFwhm, double lorentzFwhm) {
    return 0.5346 * lorentzFwhm +
           std::sqrt(0.2166 * lorentzFwhm * lorentzFwhm + gaussFwhm * gaussFwhm);
}

TLineShape::TLineShape(double gaussFwhm, double lorentzFwhm)
    : gauss_(gaussFwhm), lorentz_(lorentzFwhm) {
    const double width = Fwhm();
    step_ = width / kStepsPerWidth;
    const auto steps = static_cast<std::size_t>(kReachWidths * kStepsPerWidth);
    reach_ = step_ * static_cast<double>(steps);
    value_.resize(steps + 1);
    below_.resize(steps + 1);
    std::vector<double> slope(steps + 1);
    for (std::size_t j = 0; j <= steps; ++j)
        std::tie(value_[j], slope[j]) =
            VoigtAndSlope(static_cast<double>(j) * step_, gauss_, lorentz_);
    // The integral from 0 by the trapezoidal rule with its end correction over each step,
    // h/2 (V_j + V_j+1) + h^2/12 (V'_j - V'_j+1), exact for cubics; scaled so that the half
    // above 0 is 1/2 with the tail beyond the table.
    std::vector<double> inside(steps + 1, 0.0);
    for (std::size_t j = 0; j < steps; ++j)
        inside[j + 1] = inside[j] + step_ / 2 * (value_[j] + value_[j + 1]) +
                        step_ * step_ / 12 * (slope[j] - slope[j + 1]);
    const double scale = (0.5 - Tail(reach_)) / inside.back();
    for (std::size_t j = 0; j <= steps; ++j)
        below_[j] = 0.5 + inside[j] * scale;
}

double TLineShape::Tail(double x) const {
    if (lorentz_ == 0)
        return 0.5 * std::erfc(x / (Sigma(gauss_) * std::sqrt(2.0)));
    const double gamma = lorentz_ / 2, sigma = Sigma(gauss_);
    return (std::atan(gamma / x) + gamma * sigma * sigma / (x * x * x)) / kPiD;
}

double TLineShape::At(double x) const {
    const double t = std::abs(x) / step_;
    if (t >= static_cast<double>(value_.size() - 1))
        return VoigtProfile(x, gauss_, lorentz_);
    const auto j = static_cast<std::size_t>(t);
    const double f = t - static_cast<double>(j);
    return value_[j] + f * (value_[j + 1] - value_[j]);
}

double TLineShape::Below(double x) const {
    const double a = std::abs(x);
    double share = 0;
    if (a >= reach_) {
        share = 1 - Tail(a);
    } else {
        // Cubic Hermite interpolation of the distribution function with the profile as its
        // slope at both ends of the step.
        const double t = a / step_;
        const auto j = static_cast<std::size_t>(t);
        const double f = t - static_cast<double>(j), g = 1 - f;
        share = below_[j] * g * g * (1 + 2 * f) + below_[j + 1] * f * f * (1 + 2 * g) +
                step_ * f * g * (value_[j] * g - value_[j + 1] * f);
    }
    return x < 0 ? 1 - share : share;
}

} // namespace zelt
