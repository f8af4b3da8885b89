// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The relative spectral response of a spectrometer: a two-column file of wavelength and relative
// sensitivity, interpolated linearly between its points.

#include "spectrum/rawspectrum.h"

#include <optional>
#include <string>
#include <vector>

namespace zelt {

// What the sensitivity relates the counts to: photons (a quantum efficiency, or a response
// measured with a photon-counting reference), or energy (a response measured against a lamp of
// known spectral radiance in W m-2 sr-1 nm-1).
enum class TResponseUnit { PerPhoton, PerEnergy };

class TResponse {
public:
    // Reads the file: wavelength and sensitivity columns found as a spectrum's are (the first
    // two when they have no titles), at least two points.
    TResponse(const std::string& fileName, TResponseUnit unit,
              const TSpectrumReadOptions& columns = {});

    // The sensitivity at `wavelength` (nm); nothing outside the file's range.
    std::optional<double> At(double wavelength) const;
    const std::string& FileName() const { return fileName_; }
    TResponseUnit Unit() const { return unit_; }
    // "counts per photon" or "counts per energy".
    const char* UnitText() const;

private:
    std::string fileName_;
    TResponseUnit unit_;
    std::vector<double> wavelengths_, values_;
};

} // namespace zelt
