// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"

#include <algorithm>
#include <array>
#include <regex>

namespace zelt {

namespace {

using S = TCommandSettings;
constexpr TSettingKind kReal = TSettingKind::Real, kInteger = TSettingKind::Integer;
constexpr unsigned kBoth = UsedByMap | UsedByFit;

const std::array<TSetting, 13> kTable = {{
    {"_Iteration", "FromDensity", kReal, 1e15, "%3.1e", "FromDensityEdit", "Map density from (m-3)",
     "--from-density", "first density n_1 of the grid (m-3)", UsedByMap, &S::FromDensity, nullptr,
     "Lowest density n_1 of the reference level on the map, in m-3, the first grid point; plasmas "
     "and discharges lie between about 1e14 and 1e21 m-3"},
    {"_Iteration", "ToDensity", kReal, 1e18, "%3.1e", "ToDensityEdit", "Map density to (m-3)",
     "--to-density", "last density n_1 of the range (m-3)", UsedByMap, &S::ToDensity, nullptr,
     "Upper end of the map's density range n_1, in m-3, itself no grid point; a decade or more "
     "above \"From\""},
    {"_Iteration", "DensityPoints", kInteger, 50, "%d", "PointsDensityEdit", "Map density points",
     "--density-points", "density points", UsedByMap, nullptr, &S::DensityPoints,
     "Grid points along n_1, evenly spaced in log10 n_1; 20 to 200 (the map costs points x points "
     "model evaluations)"},
    {"_Iteration", "FromTemperature", kReal, 1000, "%.0f", "FromTempEdit",
     "Map temperature from (K)", "--from-temperature", "first temperature T_exc (K)", UsedByMap,
     &S::FromTemperature, nullptr,
     "Lowest excitation temperature T_exc on the map, in K, which sets the Boltzmann populations "
     "of the lower levels relative to n_1; typically 500 to 20000 K"},
    {"_Iteration", "ToTemperature", kReal, 50000, "%.0f", "ToTempEdit", "Map temperature to (K)",
     "--to-temperature", "last temperature of the range (K)", UsedByMap, &S::ToTemperature, nullptr,
     "Upper end of the map's T_exc range, in K, itself no grid point"},
    {"_Iteration", "TemperaturePoints", kInteger, 50, "%d", "PointsTempEdit",
     "Map temperature points", "--temperature-points", "temperature points", UsedByMap, nullptr,
     &S::TemperaturePoints, "Grid points along T_exc, evenly spaced; 20 to 200"},
    {"_Fit", "FromDensity", kReal, 1e16, "%3.1e", "FitDensityEdit", "Fit density n_1 (m-3)",
     "--density", "start density n_1 (m-3)", UsedByFit, &S::FitDensity, nullptr,
     "Start value of the fitted density n_1 of the reference level, in m-3; the map's best point "
     "is a good one"},
    {"_Fit", "FromTemperature", kReal, 1000, "%.0f", "FitTempEdit", "Fit T_exc (K)",
     "--temperature", "start temperature T_exc (K)", UsedByFit, &S::FitTemperature, nullptr,
     "T_exc in K: the start value when \"Fit T_exc\" is ticked, else held fixed; it sets the "
     "Boltzmann populations of the lower levels"},
    {"_Fit", "Count", kInteger, 50, "%d", "MaxIterEdit", "Max iteration number", "--max-iterations",
     "maximum number of iterations", UsedByFit, nullptr, &S::MaxIterations,
     "Most Levenberg-Marquardt iterations of a fit; 20 to 100 suffice for one that converges, and "
     "the result line says when the limit was reached"},
    {"_Parameters", "Tn", kReal, 300, "%.0f", "TnEdit", "Gas temperature (K)", "--gas-temperature",
     "gas temperature (K)", kBoth, &S::GasTemperature, nullptr,
     "Kinetic temperature of the absorbing atoms, in K, which sets the Doppler width and so the "
     "optical depth at line centre; about 300 to 2000 K in a glow discharge"},
    {"_Parameters", "Path", kReal, 1, "%.3f", "PathEdit", "Absorption path (m)", "--path",
     "absorption path (m)", kBoth, &S::Path, nullptr,
     "Length of the absorbing column along the line of sight, in m; the optical depth grows with "
     "it; typically 0.001 to 1 m"},
    {"", "m", kReal, 0, "", "", "", "", "the atomic mass in u, a number above 0", 0, &S::AtomicMass,
     nullptr},
    {"", "Boltzmax", kInteger, 1, "", "", "", "",
     "a whole number, the levels with a Boltzmann population", 0, nullptr, &S::Boltzmax},
}};

// The window's width (0: 4 measured line widths), how far a peak may lie from its line (the
// scale's offsets are measured within it: a few tenths of a nm on a drifting scale, never more
// than the spacing of a species' lines), the saturation level (0: as the file states it, else a
// flat top; the largest count of an 18-bit detector summed over thousands of scans stays below
// 1e9) and the tolerance of a line list, in nm.
const std::array<TImportSetting, 4> kImportTable = {{
    {"SpectrumWindowEdit", "Window (nm)", "--width",
     "full width of each window (nm); 0: measured, 4 line widths", 0, 0, 20, 0.05, 3, "measured",
     UsedByImport, &TImportSettings::Window},
    {"SpectrumPeakToleranceEdit", "Peaks within (nm)", "--peak-tolerance",
     "how far a line's peak may lie from its database wavelength (nm)", 0.5, 0.01, 5, 0.05, 2, "",
     UsedByImport, &TImportSettings::PeakTolerance},
    {"SpectrumSaturationEdit", "Saturation (counts)", "--saturation",
     "the detector's saturation level (raw counts); 0: as the file states it, else a flat top", 0,
     0, 1e9, 1000, 0, "from the file", UsedByImport, &TImportSettings::Saturation},
    {"SpectrumToleranceEdit", "Tolerance (nm)", "--tolerance", "largest distance of a match (nm)",
     0.03, 0.001, 1, 0.005, 3, "", UsedByImportLines, &TImportSettings::Tolerance},
}};

std::string Text(std::string_view text) {
    return std::string(text);
}

// A real in the edit's pattern, unless the pattern shows a value that is not 0 as 0 ("%.3f" of a
// path of 1e-12 m is "0.000"): then in the shortest form ("1E-12"), as a command would otherwise
// take the value for 0.
std::string RealText(const TSetting& setting, long double value) {
    const std::string text = Format(setting.Pattern, {value});
    double shown = 0;
    if (value != 0 && TryStrToFloat(text, shown) && shown == 0)
        return FloatToStr(value);
    return text;
}

} // namespace

TImportSettings::TImportSettings() {
    for (const TImportSetting& setting : kImportTable)
        this->*setting.Value = setting.Default;
}

std::optional<std::pair<double, double>> ExclusionRange(std::string_view text) {
    // From 1: a leading minus belongs to the first number.
    const std::size_t dash = text.find('-', 1);
    double from = 0, to = 0;
    if (dash == std::string_view::npos || !TryStrToFloat(text.substr(0, dash), from) ||
        !TryStrToFloat(text.substr(dash + 1), to) || !(from < to))
        return std::nullopt;
    return std::pair{from, to};
}

std::vector<std::pair<double, double>> ExclusionRanges(std::string_view text) {
    std::vector<std::pair<double, double>> ranges;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find_first_of("; \t", begin);
        if (end == std::string_view::npos)
            end = text.size();
        // A part's commas separate ranges only when every piece is one: "811,1-811,4" (decimal
        // commas) is no list of 811 and 1 to 811.
        std::vector<std::pair<double, double>> pieces;
        bool all = true;
        for (std::size_t from = begin; from < end && all;) {
            std::size_t to = std::min(text.find(',', from), end);
            if (to > from) {
                const auto range = ExclusionRange(text.substr(from, to - from));
                all = range.has_value();
                if (all)
                    pieces.push_back(*range);
            }
            from = to + 1;
        }
        if (all)
            ranges.insert(ranges.end(), pieces.begin(), pieces.end());
        begin = end + 1;
    }
    return ranges;
}

std::string ExclusionText(const std::vector<std::pair<double, double>>& ranges) {
    std::string text;
    for (const auto& [from, to] : ranges)
        text += (text.empty() ? "" : ", ") + FloatToStr(from) + "-" + FloatToStr(to);
    return text;
}

std::span<const TImportSetting> ImportSettings() {
    return kImportTable;
}

const TImportSetting& ImportSettingOfEdit(std::string_view editName) {
    for (const TImportSetting& setting : kImportTable)
        if (setting.EditName == editName)
            return setting;
    throw ERangeError("No import setting of the spin box \"" + Text(editName) + "\"");
}

std::span<const TSetting> Settings() {
    return kTable;
}

const TSetting& SettingOfEdit(std::string_view editName) {
    for (const TSetting& setting : kTable)
        if (!editName.empty() && setting.EditName == editName)
            return setting;
    throw ERangeError("No setting of the edit box \"" + Text(editName) + "\"");
}

long double EditReal(const std::string& text) {
    long double value = 0;
    if (!TryStrToExtended(text, value))
        throw EConvertError(Format("'%s' is not a valid floating point value", {text}));
    return value;
}

std::int32_t EditInteger(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(Format("'%s' is not a valid integer value", {text}));
    return value;
}

bool HoldsPositiveNumber(TSettingKind kind, std::string_view text) {
    if (kind == TSettingKind::Integer) {
        std::int32_t number = 0;
        return TryStrToInt(text, number) && number > 0;
    }
    double number = 0;
    return TryStrToFloat(text, number) && number > 0;
}

bool BeyondRealRange(std::string_view text) {
    static const std::regex realForm(
        R"([ \t]*[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*)");
    double number = 0;
    return std::regex_match(text.begin(), text.end(), realForm) && !TryStrToFloat(text, number);
}

std::string RefusalText(const TSetting& setting, std::string_view text) {
    if (HoldsPositiveNumber(setting.Kind, text))
        return {};
    if (setting.Kind == TSettingKind::Real && BeyondRealRange(text))
        return Format("%s: \"%s\" is beyond the range of a real number.", {setting.Caption, text});
    const char* what =
        setting.Kind == TSettingKind::Integer ? "a whole number above 0" : "a number above 0";
    return Format("%s: \"%s\" is not %s.", {setting.Caption, text, what});
}

std::string ConfiguredRefusal(const TSetting& setting, const TConfigView& config,
                              const std::string& fileName, std::string_view instead) {
    if (RefusalText(setting, ConfiguredText(setting, config)).empty())
        return {};
    const std::string section = Text(setting.Section), key = Text(setting.Key);
    return Format(
        "Invalid value \"%s\" of %s in section [%s] of \"%s\": %s takes %s; correct "
        "the file or give %s",
        {config.ReadString(section, key, ""), key, section, fileName, setting.Caption,
         setting.Kind == TSettingKind::Integer ? "a whole number above 0" : "a number above 0",
         instead});
}

std::string ConfiguredText(const TSetting& setting, const TConfigView& config) {
    const std::string section = Text(setting.Section), key = Text(setting.Key);
    if (setting.Kind == TSettingKind::Integer)
        return Format("%d", {config.ReadInteger(section, key, static_cast<int>(setting.Default))});
    return RealText(setting, config.ReadFloat(section, key, setting.Default));
}

std::string SettingText(const TSetting& setting, const TCommandSettings& settings) {
    if (setting.Kind == TSettingKind::Integer)
        return Format("%d", {settings.*setting.Integer});
    return RealText(setting, settings.*setting.Real);
}

void SetFromText(TCommandSettings& settings, const TSetting& setting, const std::string& text) {
    if (setting.Kind == TSettingKind::Integer)
        settings.*setting.Integer = EditInteger(text);
    else
        settings.*setting.Real = EditReal(text);
}

std::optional<std::string> StoredText(const TSetting& setting, const std::string& text) {
    if (setting.Kind == TSettingKind::Integer) {
        std::int32_t value = 0;
        if (!TryStrToInt(text, value))
            return std::nullopt;
        return std::to_string(value);
    }
    double value = 0;
    if (!TryStrToFloat(text, value))
        return std::nullopt;
    return FloatToStr(value);
}

bool StoreText(TIniText& ini, const TSetting& setting, const std::string& text) {
    const std::optional<std::string> stored = StoredText(setting, text);
    if (stored)
        ini.SetValue(Text(setting.Section), Text(setting.Key), *stored);
    return stored.has_value();
}

bool StoreText(TConfigStore& store, const TSetting& setting, const std::string& text) {
    bool stored = true;
    store.Update([&](TIniText& ini) { stored = StoreText(ini, setting, text); });
    return stored;
}

std::string EscapeRefusal(const std::string& choice) {
    try {
        EscapeModelOf(choice);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

void StoreEscape(TIniText& ini, const std::string& choice) {
    if (!IsDefaultEscape(choice) || ini.Value(kParametersEscape.Section, kParametersEscape.Key))
        ini.SetValue(kParametersEscape.Section, kParametersEscape.Key, choice);
}

void ReadSpeciesKeys(TCommandSettings& settings, const TConfigView& config,
                     const std::string& species) {
    for (const TSetting& setting : kTable) {
        if (!setting.InSpeciesSection())
            continue;
        const std::string key = Text(setting.Key);
        if (setting.Kind == TSettingKind::Integer)
            settings.*setting.Integer =
                config.ReadInteger(species, key, static_cast<int>(setting.Default));
        else
            settings.*setting.Real = config.ReadFloat(species, key, setting.Default);
    }
}

void CheckSpeciesKeys(const TConfigView& config, const std::string& species,
                      const std::string& fileName) {
    // A value cannot hold a line end, so this default tells a missing key from an empty one.
    const std::string missing = "\n";
    for (const TSetting& setting : kTable) {
        if (!setting.InSpeciesSection())
            continue;
        const std::string key = Text(setting.Key);
        const std::string value = config.ReadString(species, key, missing);
        bool valid = false;
        if (setting.Kind == TSettingKind::Integer) {
            std::int32_t number = 0;
            valid = value == missing || TryStrToInt(value, number);
        } else {
            double number = 0;
            valid = TryStrToFloat(value, number) && number > 0;
        }
        if (valid)
            continue;
        const std::string where = Format("%s in section [%s] of \"%s\"", {key, species, fileName});
        throw Exception(value == missing ? Format("No key %s: expected %s", {where, setting.Help})
                                         : Format("Invalid value \"%s\" of %s: expected %s",
                                                  {value, where, setting.Help}));
    }
}

TCommandSettings ReadSettings(const TConfigStore& store, const std::string& species) {
    const TConfigView config = store.View();
    TCommandSettings settings;
    for (const TSetting& setting : kTable) {
        if (setting.InSpeciesSection())
            continue;
        const std::string text = ConfiguredText(setting, config);
        if (setting.Kind == TSettingKind::Integer) {
            settings.*setting.Integer = EditInteger(text);
            continue;
        }
        // A value next to the largest double may round to a text beyond it: it stays as read.
        long double value =
            config.ReadFloat(Text(setting.Section), Text(setting.Key), setting.Default);
        TryStrToExtended(text, value);
        settings.*setting.Real = value;
    }
    const std::string escape = config.ReadString(kParametersEscape.Section, kParametersEscape.Key,
                                                 kParametersEscape.Default);
    if (!escape.empty())
        settings.Escape = escape;
    ReadSpeciesKeys(settings, config, species);
    return settings;
}

} // namespace zelt
