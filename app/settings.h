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

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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
// (empty: none, the intensities not calibrated), blends from one upper level summed, and for a
// line list the tolerance (nm) and whether its intensities are photon counts.
struct TImportSettings {
    TImportSettings(); // the defaults of ImportSettings()
    double Window;
    std::string Response;
    bool SumBlends = false;
    double Tolerance;
    bool Photons = false;
};

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

// The edit's text of a configured value: 2.54e16 shows as "2.5E+016" ("%3.1e").
std::string ConfiguredText(const TSetting& setting, const TConfigView& config);
// The text of a value as the edit would show it: the option's default.
std::string SettingText(const TSetting& setting, const TCommandSettings& settings);
// Sets the setting from an edit's text as a command converts it (EditReal, EditInteger).
void SetFromText(TCommandSettings& settings, const TSetting& setting, const std::string& text);
// Stores an edit's text under the setting's key, a real in the shortest general form; false,
// storing nothing, when the text is not a number of the setting's kind.
bool StoreText(TConfigStore& store, const TSetting& setting, const std::string& text);
// The same into a text being edited, so that the keys of a close go in one replacement.
bool StoreText(TIniText& ini, const TSetting& setting, const std::string& text);

// The settings as the window shows them after start-up: each configured value passes through
// its edit box's text form, so 2.54e16 becomes 2.5e16 ("%3.1e") and 12345.6 K becomes 12346 K
// ("%.0f"). The species keys come from the section `species`.
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
