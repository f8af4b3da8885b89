// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the import of a raw spectrum integrates with, once for any number of spectra: the
// species' lines, the lines of the configuration's other species, the spectral response and the
// settings; and the files it writes.

#include "app/configstore.h"
#include "linemodel/atomicdata.h"
#include "spectrum/integration.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zelt {

// The settings of an import: the window's width (nm, 0: measured), a spectral response file
// (empty: none, the intensities not calibrated), blends from one upper level summed, the
// detector's saturation level (raw counts, 0: from the file or a flat top), how far a line's
// peak may lie from its database wavelength (nm), the ranges the user excludes (nm); for a line
// list the tolerance (nm) and whether its intensities are photon counts.
struct TImportSettings {
    double Window = 0;
    std::string Response;
    bool SumBlends = false;
    double Saturation = 0;
    double PeakTolerance = 0.5;
    std::vector<std::pair<double, double>> Exclusions;
    double Tolerance = 0.03;
    bool Photons = false;
};

// The lines of every species section of the configuration but `species`, as the integration
// masks or fits them beside the species' own: "Kr I 811.2904". A species of the same element
// and ion, and a line of the species' own wavelength, are left out; a section whose files
// cannot be read gives none.
std::vector<TOtherLine> OtherSpeciesLines(const TConfigStore& config, const std::string& species,
                                          const std::vector<TSpeciesLine>& own);

// folder/NAME.txt for the file folder/NAME.ext: the measurement file an import writes.
std::string MeasurementFileFor(const std::string& folder, const std::string& file);

// What every spectrum of an import is integrated with.
class TSpectrumImport {
public:
    TSpectrumImport(const TAtomicData& model, const TConfigStore& config,
                    const std::string& species, const TImportSettings& settings);
    TIntegration Integrate(const TRawSpectrum& spectrum) const {
        return IntegrateLines(spectrum, lines_, options_);
    }

private:
    std::vector<TSpeciesLine> lines_;
    std::optional<TResponse> response_;
    TIntegrationOptions options_;
};

} // namespace zelt
