// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/demodata.h"

#include "common/format.h"
#include "common/textfile.h"
#include "linemodel/constants.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

namespace zelt {

TParamVector DemoParams(double density, double temperature) {
    TParamVector p;
    Slot(p, LogDensity) = std::log10(static_cast<long double>(density));
    Slot(p, Temperature) = temperature;
    Slot(p, GasTemperature) = kDemoGasTemperature;
    Slot(p, PathLength) = kDemoPathLength;
    Slot(p, AtomMass) = kDemoMass * kAtomicMassUnit;
    Slot(p, BoltzmannLevels) = kDemoLevels;
    return p;
}

void SelectDemoLines(TAtomicData& data, const std::string& scratchFile, int populated) {
    TTextWriter writer;
    writer.Create(scratchFile);
    TAtomRecord record;
    for (std::int32_t i = 0; i < data.LineBase->AtomCount(); ++i) {
        data.LineBase->GetAtom(i, record);
        for (std::int32_t level = 0; level < std::min(populated, data.Levels.size()); ++level)
            if (record.ELower == data.Levels[level].Energy)
                writer.WriteLine(Format("%.10f 1", {record.Wavelength}));
    }
    writer.Close();
    data.ImportLines(scratchFile);
    std::filesystem::remove(PathFromUtf8(scratchFile));
}

std::vector<double> DemoIntensities(TAtomicData& data, const TParamVector& p) {
    const std::int32_t count = data.SelectedLines.size();
    std::vector<double> rates;
    std::map<std::int32_t, double> largest;
    data.ClearPrecalc();
    for (std::int32_t i = 0; i < count; ++i) {
        const TLine& line = data.SelectedLines[i];
        rates.push_back(static_cast<double>(data.ModelBF(p, i)) / line.Data.Wavelength);
        double& top = largest[line.UpperLevel];
        top = std::max(top, rates.back());
    }
    data.ClearPrecalc();
    std::vector<double> intensities;
    for (std::int32_t i = 0; i < count; ++i)
        intensities.push_back(kDemoLargestIntensity * rates[static_cast<std::size_t>(i)] /
                              largest[data.SelectedLines[i].UpperLevel]);
    return intensities;
}

std::vector<double> NoisyIntensities(const std::vector<double>& exact, double noise,
                                     TUniformRandom& random) {
    std::vector<double> noisy;
    for (const double intensity : exact)
        noisy.push_back(static_cast<double>(intensity * (1 + GaussRandom(0, noise, random))));
    return noisy;
}

} // namespace zelt
