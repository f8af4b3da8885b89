// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/synthetic.h"

#include "common/format.h"
#include "linemodel/constants.h"
#include "linemodel/normal.h"

#include <boost/math/quadrature/gauss_kronrod.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace zelt {

namespace {

constexpr double kQuadratureWidths = 30; // beyond, the Lorentzian's share with its widening
constexpr double kDriftCentre = 800;     // nm

// The Gaussian's share below x.
double GaussBelow(double x, double sigma) {
    return 0.5 * std::erfc(-x / (sigma * std::sqrt(2.0)));
}

} // namespace

double VoigtShare(double a, double b, double gaussFwhm, double lorentzFwhm) {
    const double sigma = gaussFwhm / (2 * std::sqrt(2 * std::log(2.0)));
    const double gamma = lorentzFwhm / 2, pi = static_cast<double>(kPi);
    if (gamma == 0)
        return GaussBelow(b, sigma) - GaussBelow(a, sigma);
    const double middle = (a + b) / 2;
    if (std::abs(middle) > kQuadratureWidths * (gaussFwhm + lorentzFwhm)) {
        // L(x) = gamma / (pi (x^2 + gamma^2)); the Gaussian adds sigma^2 / 2 L''.
        const auto below = [&](double x) {
            return std::atan(x / gamma) / pi -
                   sigma * sigma * gamma * x /
                       (pi * (x * x + gamma * gamma) * (x * x + gamma * gamma));
        };
        return below(b) - below(a);
    }
    const auto share = [&](double theta) {
        const double t = gamma * std::tan(theta);
        return GaussBelow(b - t, sigma) - GaussBelow(a - t, sigma);
    };
    // Only where the Gaussian's share is above 1e-20, |middle - t| < 10 sigma + (b - a), does the
    // integrand count; there it is integrated in two halves about its middle.
    using TIntegrator = boost::math::quadrature::gauss_kronrod<double, 31>;
    const double reach = 10 * sigma + (b - a);
    const double from = std::atan((middle - reach) / gamma), split = std::atan(middle / gamma),
                 to = std::atan((middle + reach) / gamma);
    return (TIntegrator::integrate(share, from, split, 8, 1e-9) +
            TIntegrator::integrate(share, split, to, 8, 1e-9)) /
           pi;
}

std::vector<double> ExpectedCounts(const std::vector<TSyntheticLine>& lines,
                                   const TSyntheticOptions& options) {
    const auto n = static_cast<std::size_t>(options.Pixels);
    const double step = (options.Last - options.First) / (options.Pixels - 1);
    std::vector<double> counts(n);
    // Gaussian lines reach 10 widths; Voigt lines every pixel.
    const double reach = options.LorentzWidth > 0 ? 1e300 : 10 * options.LineWidth;
    for (std::size_t i = 0; i < n; ++i) {
        const double wavelength = options.First + static_cast<double>(i) * step;
        counts[i] = options.Background + options.Slope * (wavelength - options.First);
        for (const TSyntheticLine& line : lines) {
            const double x = wavelength - line.Wavelength;
            if (std::abs(x) < reach)
                counts[i] += line.Photons * VoigtShare(x - step / 2, x + step / 2,
                                                       options.LineWidth, options.LorentzWidth);
        }
    }
    return counts;
}

TRawSpectrum NoisySpectrum(const std::vector<double>& expected, const TSyntheticOptions& options) {
    TRawSpectrum spectrum;
    spectrum.FileName = "synthetic";
    const std::size_t n = expected.size();
    const double step = (options.Last - options.First) / (options.Pixels - 1);
    spectrum.Wavelengths.resize(n);
    spectrum.Counts.resize(n);
    spectrum.Raw.resize(n);
    TUniformRandom random(options.Seed);
    for (std::size_t i = 0; i < n; ++i) {
        const double wavelength = options.First + static_cast<double>(i) * step;
        const double x = wavelength - kDriftCentre;
        const double noise = std::sqrt(options.ReadNoise * options.ReadNoise +
                                       options.Gain * std::max(expected[i], 0.0));
        double raw =
            options.Dark + expected[i] + static_cast<double>(GaussRandom(0, noise, random));
        if (options.SaturationLevel > 0)
            raw = std::min(raw, options.SaturationLevel);
        spectrum.Wavelengths[i] =
            wavelength + options.Drift[0] + options.Drift[1] * x + options.Drift[2] * x * x;
        spectrum.Raw[i] = raw;
        spectrum.Counts[i] = raw - options.Dark;
    }
    spectrum.Description = Format("synthetic, %d pixels", {options.Pixels});
    return spectrum;
}

TRawSpectrum SyntheticSpectrum(const std::vector<TSyntheticLine>& lines,
                               const TSyntheticOptions& options) {
    return NoisySpectrum(ExpectedCounts(lines, options), options);
}

std::vector<TSyntheticLine> ModelLines(TAtomicData& data, const TParamVector& p, double strongest) {
    std::map<std::int32_t, double> largest;
    std::vector<double> fractions;
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
        fractions.push_back(static_cast<double>(data.ModelBF(p, i)));
        double& top = largest[data.SelectedLines[i].UpperLevel];
        top = std::max(top, fractions.back());
    }
    data.ClearPrecalc();
    std::vector<TSyntheticLine> lines;
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
        const TLine& line = data.SelectedLines[i];
        lines.push_back({line.Data.Wavelength, strongest * fractions[static_cast<std::size_t>(i)] /
                                                   largest[line.UpperLevel]});
    }
    return lines;
}

std::string ExportText(const TRawSpectrum& spectrum, TExportKind kind, double dark,
                       double maximum) {
    const auto comma = [](std::string text) {
        std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    std::string text;
    switch (kind) {
    case TExportKind::Titled:
        text = "5 Pa, 300 W (O2/Ar 80/20, traces of Kr and Xe) - run 3 - 2025-03-04\r\n"
               "Exposure 100 ms x 10 - fibre 2 - sample spectrum\r\n";
        if (maximum > 0)
            text += Format("Maximum counts: %.0f\r\n", {maximum});
        text += "Wave      ;Sample    ;Dark      ;Reference \r\n";
        break;
    case TExportKind::Semicolon:
        text = "Wave;Sample;Dark;Reference\r\n";
        break;
    case TExportKind::Tabbed:
        text = "Data File\r\nIntegration Time (usec): 100000\r\nSpectra Averaged: 10\r\n"
               "Number of Pixels in Processed Spectrum: " +
               std::to_string(spectrum.Pixels()) + "\r\n>>>>>Begin Spectral Data<<<<<\r\n";
        break;
    case TExportKind::Blank:
        break;
    }
    if (kind == TExportKind::Semicolon || kind == TExportKind::Titled)
        text += "[nm];[counts];[counts];[counts]\r\n";
    for (std::size_t i = 0; i < spectrum.Pixels(); ++i) {
        const double wavelength = spectrum.Wavelengths[i], raw = spectrum.Raw[i];
        if (kind == TExportKind::Semicolon || kind == TExportKind::Titled)
            text += comma(Format("%.3f;%.2f;%.2f;%.2f\r\n", {wavelength, raw, dark, 60000.0}));
        else if (kind == TExportKind::Tabbed)
            text += Format("%.3f\t%.2f\r\n", {wavelength, raw - dark});
        else
            text += Format("%.4f %.1f\r\n", {wavelength, raw - dark});
    }
    if (kind == TExportKind::Titled)
        text += "End of spectrum - 3648 pixels\r\n";
    else if (kind == TExportKind::Tabbed)
        text += ">>>>>End Spectral Data<<<<<\r\n";
    else if (kind == TExportKind::Blank)
        text += "\r\nDate and Time:Tue Mar 04 10:15:02 2025\r\nExposure Time (secs):0.1\r\n";
    return text;
}

std::string SemicolonExport(const TRawSpectrum& spectrum, double dark) {
    return ExportText(spectrum, TExportKind::Semicolon, dark);
}

} // namespace zelt
