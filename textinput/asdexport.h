// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exports of the NIST Atomic Spectra Database (ASD) made into the program's level file and line
// table. The ASD's Lines and Levels forms save their tables as comma-separated (CSV) or
// tab-delimited text: a header row of column names, then one row per line or level, each cell
// plain, in double quotes, or written ="..." (the form that keeps a spreadsheet from taking
// 1.0 for 1). A value in brackets ([93143.76]: derived, not observed) or with "?" (an uncertain
// identification) is read as the value; one with "+x" (above a level of unknown energy) is no
// energy.
//
// The program finds the levels of a line by exact equality of the energies, so the two files
// written give every level one energy text, that of the levels export (eV, or cm-1 converted
// with four more decimals). Each line's levels are looked up in the levels export by J and by
// energy, to the digits both exports give it.

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

// 1 eV in cm-1 (CODATA 2018), the conversion the ASD uses between its two energy units.
inline constexpr double kWavenumberPerEV = 8065.543937;

// One level of the levels export that has an energy.
struct TAsdLevel {
    std::string Configuration, Term; // as exported
    std::string JText;               // "3/2"
    double J = 0;
    std::string EnergyText; // eV, with the digits both files are written with
    double Energy = 0;      // eV
    int Row = 0;            // line of the export
};

// One line of the lines export that is kept.
struct TAsdLine {
    std::string WavelengthText; // nm, as exported: observed, else Ritz
    double Wavelength = 0;
    bool Ritz = false;
    double Aki = 0;                   // s-1
    std::string LogGf;                // as exported, or computed from A when the export has none
    std::string Accuracy;             // the ASD's grade: "B+"
    std::string Reference;            // of A (tp_ref)
    std::string LineRef;              // of the wavelength (line_ref)
    std::size_t Lower = 0, Upper = 0; // into TAsdImport::Levels
    std::int32_t Gi = 0, Gk = 0;
    int Row = 0;
};

// A line or level of an export that the files do not get, and why.
struct TAsdLeftOut {
    int Row = 0;
    std::string What;   // "696.5431 nm", or the level's designation
    std::string Reason; // "no A value", "no energy of its upper level"
};

// The two exports read and matched: what the level file and line table are made of.
struct TAsdImport {
    std::string Element, Ion; // "Kr", "I"
    std::string LinesFile, LevelsFile;
    bool Vacuum = false;           // the wavelengths are in vacuum, else in air
    std::vector<TAsdLevel> Levels; // ascending energy
    std::vector<TAsdLine> Lines;   // ascending wavelength
    std::vector<TAsdLeftOut> LinesLeftOut, LevelsLeftOut;
    // Levels below the first excited configuration (the configurations compared without their
    // parent terms, so 3p5(2P*<3/2>)4s and 3p5(2P*<1/2>)4s are one): the Boltzmann default.
    std::int32_t GroundLevels = 0;
    std::string GroundConfiguration, ExcitedConfiguration; // empty when all levels are one
};

// Reads the lines and the levels export (their text, and their names for the messages) of the
// species `element` `ion` ("Kr", "I"). Raises EConvertError (the data's fault, not the file
// system's) naming the file, the line and the column for a column that is missing, a
// wavelength in another unit than nm, an export of another element or ion stage, a number that
// is none, two levels of one energy, and a level a kept line needs that the levels export
// lacks. Lines without an A value or without the energy of either level are left out and
// listed, as are levels without an energy.
TAsdImport ImportAsd(const std::string& element, const std::string& ion,
                     const std::string& linesText, const std::string& linesFile,
                     const std::string& levelsText, const std::string& levelsFile);

// The level file and the line table of the import, in the layouts the program reads, with CR LF
// line ends and their header lines naming the source and the wavelengths' medium.
std::string AsdLevelFileText(const TAsdImport& import);
std::string AsdLineTableText(const TAsdImport& import);

// The ion stage of a Roman numeral ("IV" gives 4), 0 for a text that is none; and back.
int IonStage(const std::string& roman);
std::string RomanNumeral(int stage);

} // namespace zelt
