// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window's lists and zeltfit-cli offer: the species sections of the configuration and
// the measurement files of a folder.

#include "app/configstore.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zelt {

// The species sections in file order.
std::vector<std::string> SpeciesSections(const TConfigStore& store);

// The fewest rows of a table that is taken for a raw spectrum (ImportKindOf, IsSpectrumExport).
inline constexpr std::size_t kMinSpectrumPixels = 64;

// Whether a file is a spectrometer's raw export rather than a measurement file: the first 64 KiB
// of it read as a table (spectrum/delimited.h) of at least kMinSpectrumPixels rows whose first
// column runs in one direction in steps within a factor of 2 of their median, as the pixels of
// a detector do. A measurement's wavelengths are the database's, at irregular steps.
bool IsSpectrumExport(const std::string& file);

// The names of the measurement files of a folder as the file list shows them: the regular
// files whose names end in ".txt" in any case, without the hidden ones (a name beginning with
// "."), and without the raw spectra (IsSpectrumExport), which the page "Spectrum" imports, in
// the natural order of the names (NaturalLess; names equal so without regard to case, then by
// their bytes). A folder that cannot be read has none.
std::vector<std::string> MeasurementNames(const std::string& folder);

// The folder of a file as the file list and the configuration hold it: the absolute path
// without the file's name and without the delimiter before it (a root keeps its delimiter).
std::string FolderOf(const std::string& file);
// The file's name without its folder, as the result lines name it.
std::string FileNameOf(const std::string& file);

// Files (paths) in the natural order of their names (NaturalLess): ar_9kW before ar_10kW.
void SortNaturally(std::vector<std::string>& files);

// The files of a batch in the natural order of their names: each path that is a folder gives
// its measurement files, any other path stands for itself.
std::vector<std::string> BatchFiles(const std::vector<std::string>& paths);

// The extensions of the files spectrometer programs export, which the import's dialogs offer
// and a folder given to zeltfit-cli import stands for: .txt, .csv, .asc, .dat, .tsv, .trt.
extern const std::vector<std::string> kSpectrumExtensions;

// The spectra of an import in the natural order of their names: each path that is a folder
// gives its regular files with those extensions in any case (not the hidden ones, nor the
// tables an import writes, NAME.lines.tsv), any other path stands for itself.
std::vector<std::string> SpectrumFiles(const std::vector<std::string>& paths);

} // namespace zelt
