// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo species argon I and synthetic spectra of it made by the model: the 29 lines of the
// demo measurements at n(1s5) = 5e16 m-3 and T_exc = 1500 K.

#include "spectrum/integration.h"
#include "spectrum/synthetic.h"

#include "tests/linemodel/modelfiles.h"

#include <string>
#include <vector>

namespace zelt::test {

inline constexpr double kLogDensity = 16.698970004336019; // log10 5e16

class ArgonSpectrum {
public:
    ArgonSpectrum() {
        LoadArgon(data);
        data.ImportLines(DemoFile("measurements/argon_5e16.txt"));
        truth = ModelParams(kLogDensity, 1500);
        lines = ModelLines(data, truth, 2e5);
        species = MeasurableLines(data);
    }
    // The photons of the line at `wavelength` over that wavelength: the intensity it should get.
    double TrueIntensity(double wavelength) const {
        for (const TSyntheticLine& line : lines)
            if (line.Wavelength == wavelength)
                return line.Photons / wavelength;
        return 0;
    }
    const TLineIntegral& Line(const TIntegration& integration, double wavelength) const {
        for (const TLineIntegral& line : integration.Lines)
            if (line.Line.Data.Wavelength == wavelength)
                return line;
        throw std::runtime_error("no line " + std::to_string(wavelength));
    }

    TAtomicData data{nullptr};
    TParamVector truth;
    std::vector<TSyntheticLine> lines;
    std::vector<TSpeciesLine> species;
};

} // namespace zelt::test
