// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every setting of zeltfit.ini in one table: its section and key, kind, default, the pattern
// its edit box shows it in, the box, and the command-line option that takes its place. The
// window's edits, the values written back at close and zeltfit-cli's options and defaults all
// come from here, so a default or a pattern is written once.
//
// To add a number setting: give TCommandSettings its field, add a row to the table in
// settings.cpp (in the window's fill order), and give the window an edit box of that name; the
// command line takes the option of the row in each command the row names. A number setting of an
// import (not stored) is a row of the import's table (ImportSettings): give TImportSettings its
// field and the page "Spectrum" a spin box of the row's name.

#include "app/configstore.h"
#include "linemodel/escape.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt {

// The values of the "Map", "Fit" and "Absorption" groups and of the species section. The reals
// of the edit boxes are held as their texts convert to extended precision.
struct TCommandSettings {
    long double FromDensity = 1e15L; // m-3
    long double ToDensity = 1e18L;   // m-3
    std::int32_t DensityPoints = 50;
    long double FromTemperature = 1000; // K
    long double ToTemperature = 50000;  // K
    std::int32_t TemperaturePoints = 50;
    long double FitDensity = 1e16L;    // m-3, start value of the fit
    long double FitTemperature = 1000; // K, start value of the fit
    bool FitTemperatureOn = false;
    std::int32_t MaxIterations = 50;
    long double GasTemperature = 300; // K
    long double Path = 1;             // m
    long double AtomicMass = 0;       // atomic mass units
    std::int32_t Boltzmax = 1;
    // A fit with free lower levels: the numbers (from 1) of the levels free, the others tied
    // by Boltzmann balance; empty for every populated level.
    std::vector<std::int32_t> FreeLevels;
    // The escape factor: "mewe", "doppler" or the file of a table (EscapeModelOf), whose table is
    // read at each run.
    std::string Escape = kEscapeMewe;
};

enum class TSettingKind { Real, Integer };

// The commands whose options include a setting (bits).
enum TSettingUse : unsigned { UsedByMap = 1, UsedByFit = 2 };

// One number setting. A row with an empty Section is a key of the species section: it has no
// edit box and no option, and is read as it stands at every map and fit.
struct TSetting {
    std::string_view Section, Key;
    TSettingKind Kind;
    double Default;
    std::string_view Pattern;  // the edit's text: "%3.1e", "%.0f", "%.3f", "%d"
    std::string_view EditName; // the window's edit box
    std::string_view Caption;  // names the box in the reason for a refusal
    std::string_view Option;   // of zeltfit-cli
    std::string_view Help;     // the option's help text
    unsigned Use;              // TSettingUse bits
    long double TCommandSettings::*Real;
    std::int32_t TCommandSettings::*Integer;
    // What the value means for the physics, its unit and its usual range: the edit box's tool
    // tip. Empty for the species keys.
    std::string_view Meaning = {};

    bool InSpeciesSection() const { return Section.empty(); }
};

// The table, edit settings first in the window's fill order, then the species keys.
std::span<const TSetting> Settings();
// The row of an edit box; raises ERangeError for a name that is none.
const TSetting& SettingOfEdit(std::string_view editName);

// The settings of an import: the window's width (nm, 0: measured), a spectral response file
// (empty: none, the intensities not calibrated), blends from one upper level summed, the
// detector's saturation level (raw counts, 0: from the file or a flat top), how far a line's
// peak may lie from its database wavelength (nm), the ranges whose pixels are not used (nm,
// from below to), and for a line list the tolerance (nm) and whether its intensities are photon
// counts.
struct TImportSettings {
    TImportSettings(); // the defaults of ImportSettings()
    double Window;
    std::string Response;
    bool SumBlends = false;
    double Saturation;
    double PeakTolerance;
    std::vector<std::pair<double, double>> Exclusions;
    double Tolerance;
    bool Photons = false;
};

// "811.1-811.4": an excluded range FROM-TO in nm, FROM below TO; nothing for any other text.
std::optional<std::pair<double, double>> ExclusionRange(std::string_view text);
// "811.1-811.4, 842.0-842.6": the ranges of a list separated by commas, semicolons or blanks,
// leaving out the parts that are no range (a range with decimal commas is one such part).
std::vector<std::pair<double, double>> ExclusionRanges(std::string_view text);
// The text of ranges as ExclusionRanges reads them: "811.1-811.4, 842-842.6".
std::string ExclusionText(const std::vector<std::pair<double, double>>& ranges);

enum TImportUse : unsigned { UsedByImport = 1, UsedByImportLines = 2 };

// A number setting of an import: a spin box of the page "Spectrum" and an option of zeltfit-cli
// import or import-lines, both taking the numbers from Least to Most. Not stored in zeltfit.ini:
// every import starts from the defaults.
struct TImportSetting {
    std::string_view EditName; // the window's spin box
    std::string_view Caption;  // its label, and the name in the reason for a refusal
    std::string_view Option;   // of zeltfit-cli
    std::string_view Help;     // the option's help text
    double Default, Least, Most;
    double Step;              // of the spin box
    int Decimals;             // that the spin box shows
    std::string_view Special; // what the spin box and the option's default say for Least, or ""
    unsigned Use;             // TImportUse bits
    double TImportSettings::*Value;

    bool Takes(double value) const { return value >= Least && value <= Most; }
};

// The import's table.
std::span<const TImportSetting> ImportSettings();
// The row of a spin box; raises ERangeError for a name that is none.
const TImportSetting& ImportSettingOfEdit(std::string_view editName);

// A text key of the configuration.
struct TTextSetting {
    const char* Section;
    const char* Key;
    const char* Default;
};
// The database folder; the folder of the measurement file read last, stored after each read.
inline constexpr TTextSetting kFilesDatabase = {"_Files", "Database", ""};
inline constexpr TTextSetting kFilesMeasurements = {"_Files", "Measurements", ""};
// The escape factor of the "Absorption" group; written only where it is not the default or is
// there already (StoreEscape), so that a file written by hand keeps its bytes.
inline constexpr TTextSetting kParametersEscape = {"_Parameters", "Escape", kEscapeMewe};
// Of a species section: its level file and the two names of its line table.
inline constexpr TTextSetting kSpeciesLevels = {"", "Levels", ""};
inline constexpr TTextSetting kSpeciesLines = {"", "Lines", ""};

// The value of a real edit's text, straight in extended precision; a text that is no number
// raises EConvertError "'text' is not a valid floating point value".
long double EditReal(const std::string& text);
// The value of an integer edit's text; raises EConvertError "'text' is not a valid integer
// value".
std::int32_t EditInteger(const std::string& text);

// The rule of the edit boxes and the options: a number of the setting's kind ("." as the
// decimal point, integers decimal or hexadecimal) above 0.
bool HoldsPositiveNumber(TSettingKind kind, std::string_view text);
// True for a real in the form of a number ("1e400") that still does not convert: it lies beyond
// a double's range.
bool BeyondRealRange(std::string_view text);
// Why a text is refused, or empty when it is not:
// Absorption path (m): "-2" is not a number above 0.
std::string RefusalText(const TSetting& setting, std::string_view text);

// Why the configured value of an edit setting is refused as its edit box and its option refuse
// it, naming the key, the section and the file ("Invalid value "-0.05" of Path in section
// [_Parameters] of "…": Absorption path (m) takes a number above 0; correct the file or give
// --path"), or empty when it is not; `instead` names what the caller takes in the value's place
// (the option "--path"). The value is judged as its box shows it (ConfiguredText).
std::string ConfiguredRefusal(const TSetting& setting, const TConfigView& config,
                              const std::string& fileName, std::string_view instead);
// The edit's text of a configured value: 2.54e16 shows as "2.5E+016" ("%3.1e"). A value that is
// not 0 never shows as 0: a path of 1e-12 m shows as "1E-12", not "0.000".
std::string ConfiguredText(const TSetting& setting, const TConfigView& config);
// The text of a value as the edit would show it: the option's default.
std::string SettingText(const TSetting& setting, const TCommandSettings& settings);
// Sets the setting from an edit's text as a command converts it (EditReal, EditInteger).
void SetFromText(TCommandSettings& settings, const TSetting& setting, const std::string& text);
// The value of an edit's text as it is stored, a real in the shortest general form ("0.050"
// is stored as 0.05); none when the text is not a number of the setting's kind.
std::optional<std::string> StoredText(const TSetting& setting, const std::string& text);
// Stores an edit's text under the setting's key as StoredText gives it; false, storing
// nothing, when the text is not a number of the setting's kind.
bool StoreText(TConfigStore& store, const TSetting& setting, const std::string& text);
// The same into a text being edited, so that the keys of a close go in one replacement.
bool StoreText(TIniText& ini, const TSetting& setting, const std::string& text);

// What each choice of the escape factor is, for zeltfit-cli's help and the window's tool tip.
inline constexpr const char* kEscapeHelp =
    "escape factor: mewe, (2 - exp(-tau/1000)) / (1 + tau), Mewe (1967) as in Schulze et al. "
    "(2008), the default; doppler, the exact factor of a homogeneous Doppler source, "
    "1/(tau sqrt(pi)) times the integral of (1 - exp(-tau exp(-x^2))) dx over all x (Irons "
    "1979); or FILE, a table of optical depths tau and escape factors, interpolated in log-log";

// Why a choice of the escape factor cannot be used (a table that cannot be read or breaks a rule
// of EscapeModelOf), or empty when it can.
std::string EscapeRefusal(const std::string& choice);

// Stores the escape factor's choice under kParametersEscape: a default choice only over a key
// that is there (so that choosing mewe again takes effect), any other always.
void StoreEscape(TIniText& ini, const std::string& choice);

// The settings as the window shows them after start-up: each configured value passes through
// its edit box's text form, so 2.54e16 becomes 2.5e16 ("%3.1e") and 12345.6 K becomes 12346 K
// ("%.0f"). The species keys come from the section `species`; an empty escape key is mewe.
TCommandSettings ReadSettings(const TConfigStore& store, const std::string& species);
// Raises, naming the key, the section and the file, when a species key holds what no map or
// fit can use: an m that is missing, not a number or not above 0, a Boltzmax that is not a
// whole number of 32 bits (ReadSpeciesKeys would take the default for either).
void CheckSpeciesKeys(const TConfigView& config, const std::string& species,
                      const std::string& fileName);
// The species keys (m, Boltzmax) of `species` as they stand in the configuration now.
void ReadSpeciesKeys(TCommandSettings& settings, const TConfigView& config,
                     const std::string& species);

} // namespace zelt
