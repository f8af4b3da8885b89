// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the import of a raw spectrum integrates with, once for any number of spectra: the
// species' lines, the lines of the configuration's other species, the spectral response and the
// settings; the integration of many spectra on every core; and the files an import writes.

#include "app/configstore.h"
#include "app/settings.h"
#include "spectrum/integration.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

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
    // Reads and integrates every file, shared among ThreadCount(threads) threads, and hands
    // `integrated` each file's integration, or the error that ended it, in the files' order on
    // the calling thread, so that the files it writes and what it reports are the same on any
    // number of threads.
    void
    IntegrateFiles(const std::vector<std::string>& files, std::int32_t threads,
                   const std::function<void(const std::string& file, const TIntegration&,
                                            const std::exception_ptr& error)>& integrated) const;

private:
    std::vector<TSpeciesLine> lines_;
    std::optional<TResponse> response_;
    TIntegrationOptions options_;
};

} // namespace zelt
