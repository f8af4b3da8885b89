// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/synthetic.h"

#include "common/format.h"
#include "linemodel/normal.h"
#include "spectrum/profile.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace zelt {

TRawSpectrum SyntheticSpectrum(const std::vector<TSyntheticLine>& lines,
                               const TSyntheticOptions& options) {
    TRawSpectrum spectrum;
    spectrum.FileName = "synthetic";
    const auto n = static_cast<std::size_t>(options.Pixels);
    const double step = (options.Last - options.First) / (options.Pixels - 1);
    spectrum.Wavelengths.resize(n);
    spectrum.Counts.resize(n);
    spectrum.Raw.resize(n);
    // A line reaches 1e4 widths of Lorentz wings at most: 3e-5 of it lies beyond.
    const double reach =
        options.LorentzFraction > 0 ? 1e4 * options.LineWidth : 10 * options.LineWidth;
    TUniformRandom random(options.Seed);
    for (std::size_t i = 0; i < n; ++i) {
        const double wavelength = options.First + static_cast<double>(i) * step;
        double counts = options.Background + options.Slope * (wavelength - options.First);
        for (const TSyntheticLine& line : lines) {
            const double x = wavelength - line.Wavelength;
            if (std::abs(x) < reach)
                counts +=
                    line.Photons * PixelShare(x, options.LineWidth, options.LorentzFraction, step);
        }
        const double noise =
            std::sqrt(options.ReadNoise * options.ReadNoise + options.Gain * std::max(counts, 0.0));
        double raw = options.Dark + counts + static_cast<double>(GaussRandom(0, noise, random));
        if (options.SaturationLevel > 0)
            raw = std::min(raw, options.SaturationLevel);
        spectrum.Wavelengths[i] = wavelength;
        spectrum.Raw[i] = raw;
        spectrum.Counts[i] = raw - options.Dark;
    }
    spectrum.Description = Format("synthetic, %d pixels", {options.Pixels});
    return spectrum;
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

std::string SemicolonExport(const TRawSpectrum& spectrum, double dark) {
    const auto comma = [](std::string text) {
        std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    std::string text = "Wave;Sample;Dark;Reference\r\n[nm];[counts];[counts];[counts]\r\n";
    for (std::size_t i = 0; i < spectrum.Pixels(); ++i)
        text += comma(Format("%.3f;%.2f;%.2f;%.2f\r\n",
                             {spectrum.Wavelengths[i], spectrum.Raw[i], dark, 60000.0}));
    return text;
}

} // namespace zelt
