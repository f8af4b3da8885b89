// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Raw spectra: the wavelength and the counts of every pixel, as a spectrometer's program writes
// them in a delimited text file (delimited.h). The semicolon-separated "Wave;Sample;Dark;
// Reference" exports, the tab-separated exports with ">>>>>Begin Processed Spectral Data<<<<<"
// and the two-column .asc files are such files; their columns are found by their titles.

#include "spectrum/delimited.h"

#include <string>
#include <vector>

namespace zelt {

// The unit of the wavelengths in a file; FromFile reads it from the column title or the header
// ("nm", "Å" or "Angstrom", "µm" or "micron"), nm when none is named.
enum class TWavelengthUnit { FromFile, Nanometre, Angstrom, Micrometre };

// What to read: columns by title or number from 1 (empty: found by title, else the first column
// for the wavelength and the second for the counts); the dark column is subtracted, "none"
// leaves it.
struct TSpectrumReadOptions {
    std::string WavelengthColumn, CountsColumn, DarkColumn;
    TWavelengthUnit Unit = TWavelengthUnit::FromFile;
};

struct TRawSpectrum {
    std::string FileName;
    std::vector<double> Wavelengths; // nm, strictly ascending
    std::vector<double> Counts;      // counts of each pixel, the dark subtracted
    std::vector<double> Raw;         // the counts as the file gives them, before the dark
    std::string Description;         // how the file was read, in one line
    // The raw counts at which the detector saturates, as the file's header states it
    // ("Maximum counts: 65535", "Saturation level = 16383"); 0 when it does not.
    double StatedMaximum = 0;
    std::size_t Pixels() const { return Wavelengths.size(); }
};

// The fewest pixels a spectrum is read with.
inline constexpr std::size_t kMinPixels = 8;

// The spectrum of a table: wavelengths converted to nm and put in ascending order. A wavelength
// that is not positive, repeated or out of order, or fewer than `minRows` rows raise
// EInOutError naming the file (and the line).
TRawSpectrum SpectrumFromTable(const TDelimitedTable& table, const TSpectrumReadOptions& options,
                               std::size_t minRows = kMinPixels);
TRawSpectrum ReadSpectrum(const std::string& fileName, const TSpectrumReadOptions& options);

// The factor that turns the wavelengths of `column` into nm (1000 for µm, 0.1 for Å) and the
// unit's name; FromFile reads the unit from the column's title, its unit line or a header line
// about wavelengths.
double WavelengthFactor(const TDelimitedTable& table, std::size_t column, TWavelengthUnit unit,
                        std::string& name);

} // namespace zelt
