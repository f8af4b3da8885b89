// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A user's own list of measured lines: approximate wavelengths, intensities and, where given,
// their uncertainties, in any delimited form (delimited.h), each matched to the nearest
// database line of the species within a tolerance.

#include "spectrum/delimited.h"
#include "spectrum/measurement.h"
#include "spectrum/rawspectrum.h"
#include "spectrum/specieslines.h"

#include <string>
#include <vector>

namespace zelt {

// The unit of the listed intensities: energies (the program's unit, as in a measurement file)
// or photon counts, which are divided by the wavelength in nm as a spectrum's counts are.
enum class TIntensityUnit { Energy, Photons };

struct TLineListOptions {
    // Columns by title or number from 1; empty: by title, else the first and the second; the
    // uncertainty by title ("u", "uncertainty", "error", "sigma"), else the third of exactly
    // three columns; "none" for no uncertainties.
    std::string WavelengthColumn, IntensityColumn, UncertaintyColumn;
    TWavelengthUnit Unit = TWavelengthUnit::FromFile;
    double Tolerance = 0.03; // nm
    TIntensityUnit Intensities = TIntensityUnit::Energy;
};

struct TLineList {
    struct TMatch {
        int FileLine = 0; // the list's line, from 1
        double Given = 0; // nm, the wavelength as listed
    };
    std::vector<TMeasuredLine> Lines; // in the list's order, wavelengths of the database
    std::vector<TMatch> Matches;      // where each came from
    std::vector<std::string> Notes;   // what was done, one sentence each
};

// Matches every row. A row with no database line within the tolerance, or more than one, a
// line matched twice, a line whose levels are not in the level file and an uncertainty that is
// not positive are refused together: Exception lists each with its file line and the
// candidates (wavelength and distance in nm).
TLineList MatchLineList(const TDelimitedTable& table, const std::vector<TSpeciesLine>& lines,
                        const TLineListOptions& options);

// The table beside the measurement file (LineTableFor): tab-separated with the titles
// "file_line", "given_nm", "wavelength_nm", "intensity" and "u_intensity".
std::string LineListTable(const TLineList& list);

} // namespace zelt
