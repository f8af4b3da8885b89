// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Measurement files made by the import: one line per measured line, its database wavelength and
// its intensity in the program's unit, as the measurement reader reads them back.

#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

struct TMeasuredLine {
    double Wavelength = 0;  // nm, the database line's exact value
    double Intensity = 0;   // the program's unit: energy per time, relative
    double Uncertainty = 0; // standard uncertainty of the intensity; 0 when none is known
};

// The file's bytes: "wavelength intensity" and CR LF per line, each number in the shortest form
// that reads back as the same double. A number that is not finite raises EInvalidOp.
std::string MeasurementText(const std::vector<TMeasuredLine>& lines);
void WriteMeasurement(const std::string& fileName, const std::vector<TMeasuredLine>& lines);

// The table the import writes beside a measurement file, "name.lines.tsv" beside "name.txt":
// tab-separated with a title row, its columns "wavelength_nm", "intensity" and "u_intensity"
// carry the intensities' standard uncertainties, which the strict two columns cannot.
std::string LineTableFor(const std::string& measurementFile);

// Sets IntensityUncertainty of every selected line from the rows of its measurement: each line
// takes the uncertainty of the row of the same wavelength and the same intensity (both as
// written; of two rows of a wavelength the later). Where a line has no such row with an
// uncertainty above 0, every uncertainty stays 0 and the result is false.
bool SetUncertainties(TAtomicData& data, const std::vector<TMeasuredLine>& rows);
// The same from the table beside the measurement file (LineTableFor); false without one.
bool ReadUncertainties(TAtomicData& data, const std::string& measurementFile);

} // namespace zelt
