// SPDX-License-Identifier: GPL-3.0-or-later
#include "textinput/asdexport.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/sysfile.h"
#include "common/textfile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace zelt {

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// The header and the rows of one export, each row with its line in the file.
struct TAsdTable {
    std::string File;
    int HeaderLine = 0;
    std::vector<std::string> Columns;
    struct TRow {
        int Line = 0;
        std::vector<std::string> Cells;
    };
    std::vector<TRow> Rows;

    std::size_t Find(const std::string& column) const {
        const auto at = std::find(Columns.begin(), Columns.end(), column);
        return at == Columns.end() ? kNone : static_cast<std::size_t>(at - Columns.begin());
    }
    static const std::string& Cell(const TRow& row, std::size_t column) {
        static const std::string empty;
        return column < row.Cells.size() ? row.Cells[column] : empty;
    }
    // "File "lines.csv", line 5, column "Ek(eV)""
    std::string Place(int line, std::size_t column = kNone) const {
        std::string place = "File \"" + File + "\", line " + std::to_string(line);
        if (column != kNone)
            place += ", column " + std::to_string(column + 1) + " \"" + Columns[column] + "\"";
        return place;
    }
    [[noreturn]] void Refuse(int line, std::size_t column, const std::string& what) const {
        throw EConvertError(Place(line, column) + ": " + what);
    }
    // The column, or the refusal that it is missing.
    std::size_t Require(const std::string& column, const std::string& why) const {
        const std::size_t at = Find(column);
        if (at == kNone)
            throw EConvertError(Place(HeaderLine) + ": the column \"" + column + "\" is missing; " +
                                why);
        return at;
    }
};

// The cells of one row: plain, "quoted" (with "" for a quote) or ="quoted", trimmed.
std::vector<std::string> SplitCells(std::string_view line, char delimiter) {
    std::vector<std::string> cells;
    std::size_t i = 0;
    for (;;) {
        std::string cell;
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (line.substr(i, 2) == "=\"")
            ++i;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size(); ++i) {
                if (line[i] != '"') {
                    cell += line[i];
                } else if (i + 1 < line.size() && line[i + 1] == '"') {
                    cell += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
            while (i < line.size() && line[i] != delimiter)
                ++i;
        } else {
            while (i < line.size() && line[i] != delimiter)
                cell += line[i++];
        }
        cells.emplace_back(TrimBlanks(cell));
        if (i >= line.size())
            return cells;
        ++i;
    }
}

// The export's header row (its first line that is not empty) and rows; tab-delimited when the
// header holds a tab, else comma-separated.
TAsdTable ReadTable(const std::string& text, const std::string& file) {
    TAsdTable table;
    table.File = file;
    char delimiter = ',';
    int line = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view row(text.data() + start, end - start);
        start = end + 1;
        ++line;
        if (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);
        if (table.HeaderLine == 0) {
            if (TrimBlanks(row).empty())
                continue;
            delimiter = row.find('\t') != std::string_view::npos ? '\t' : ',';
            table.HeaderLine = line;
            table.Columns = SplitCells(row, delimiter);
            continue;
        }
        std::vector<std::string> cells = SplitCells(row, delimiter);
        if (std::all_of(cells.begin(), cells.end(), [](const auto& c) { return c.empty(); }))
            continue;
        table.Rows.push_back({line, std::move(cells)});
    }
    if (table.HeaderLine == 0)
        throw EConvertError("File \"" + file + "\" is empty: it holds no header row of an export");
    return table;
}

// A number of the export with the text it is written with: the brackets of a derived value and
// the "?" of an uncertain one are dropped; anything else that is not a number ("+x", "") is
// none.
std::optional<std::pair<double, std::string>> AsdNumber(std::string_view cell) {
    std::string_view text = TrimBlanks(cell);
    if (text.size() >= 2 && ((text.front() == '[' && text.back() == ']') ||
                             (text.front() == '(' && text.back() == ')')))
        text = TrimBlanks(text.substr(1, text.size() - 2));
    while (!text.empty() && text.back() == '?')
        text.remove_suffix(1);
    double value = 0;
    if (text.empty() || !TryStrToFloat(text, value) || !std::isfinite(value))
        return std::nullopt;
    return std::make_pair(value, std::string(text));
}

// Digits after the decimal point of a number's text ("93143.7600" has 4).
int Decimals(const std::string& text) {
    const std::size_t point = text.find('.');
    if (point == std::string::npos)
        return 0;
    const std::size_t end = text.find_first_of("eE", point);
    return static_cast<int>((end == std::string::npos ? text.size() : end) - point - 1);
}

// J written "3/2" or "2".
std::optional<double> AsdJ(const std::string& text) {
    const std::size_t slash = text.find('/');
    double numerator = 0, denominator = 1;
    if (slash == std::string::npos
            ? !TryStrToFloat(text, numerator)
            : !TryStrToFloat(text.substr(0, slash), numerator) ||
                  !TryStrToFloat(text.substr(slash + 1), denominator) || denominator == 0)
        return std::nullopt;
    const double j = numerator / denominator;
    if (j < 0 || std::round(2 * j) != 2 * j)
        return std::nullopt;
    return j;
}

// The configuration without its parent terms and couplings: 3s2.3p5.(2P*<3/2>).4s gives
// 3s2.3p5.4s, the electrons alone.
std::string Electrons(const std::string& configuration) {
    std::string electrons;
    int depth = 0;
    for (const char c : configuration) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth == 0 && c != ')' && !(c == '.' && (electrons.empty() || electrons.back() == '.')))
            electrons += c;
    }
    if (!electrons.empty() && electrons.back() == '.')
        electrons.pop_back();
    return electrons;
}

// The configuration without the closed subshells it starts with (3s2.3p5.(2P*<3/2>).4s gives
// 3p5.(2P*<3/2>).4s), short enough for the 23 characters of the level file.
std::string ShortConfiguration(const std::string& configuration) {
    std::string_view rest = configuration;
    for (;;) {
        const std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos)
            break;
        const std::string_view shell = rest.substr(0, dot);
        const auto closed = [&](char l, std::string_view count) {
            return shell.size() > count.size() + 1 && shell[shell.size() - count.size() - 1] == l &&
                   shell.ends_with(count);
        };
        if (!(closed('s', "2") || closed('p', "6") || closed('d', "10") || closed('f', "14")))
            break;
        rest.remove_prefix(dot + 1);
    }
    return std::string(rest);
}

std::string Cut(const std::string& text, std::size_t width) {
    return text.substr(0, width);
}

// Upper bound of the accuracy grade of A in percent (the ASD's "Acc" column), 0 when unknown.
int AccuracyPercent(const std::string& grade) {
    static const std::pair<const char*, int> kGrades[] = {
        {"AAA", 0}, {"AA", 1}, {"A+", 2},  {"A", 3},  {"B+", 7}, {"B", 10},
        {"C+", 18}, {"C", 25}, {"D+", 40}, {"D", 50}, {"E", 100}};
    for (const auto& [name, percent] : kGrades)
        if (grade == name)
            return percent;
    return 0;
}

// The element and stage of the ionisation limit's row ("Ar II (2P*<3/2>)"), for the check that
// the levels are those of the species.
void CheckLimit(const TAsdTable& table, const TAsdTable::TRow& row, std::size_t column,
                const std::string& element, int stage) {
    const std::string& limit = TAsdTable::Cell(row, column);
    const std::size_t blank = limit.find(' ');
    if (blank == std::string::npos)
        return;
    const std::size_t end = limit.find(' ', blank + 1);
    const std::string limitElement = limit.substr(0, blank);
    const int limitStage = IonStage(limit.substr(blank + 1, end - blank - 1));
    if (limitStage == 0)
        return;
    if (limitElement != element || limitStage != stage + 1)
        table.Refuse(row.Line, column,
                     "the ionisation limit \"" + limit + "\" is that of " + limitElement + " " +
                         RomanNumeral(limitStage - 1) + ": the export is not of " + element + " " +
                         RomanNumeral(stage));
}

void ReadLevels(TAsdImport& import, const TAsdTable& table, int stage) {
    const std::string why = "the levels export needs the configuration, term, J and level of "
                            "each level";
    const std::size_t configuration = table.Require("Configuration", why);
    const std::size_t term = table.Require("Term", why);
    const std::size_t j = table.Require("J", why);
    std::size_t energy = table.Find("Level (eV)");
    const bool wavenumbers = energy == kNone;
    if (wavenumbers)
        energy = table.Find("Level (cm-1)");
    if (energy == kNone)
        table.Require("Level (eV)", "the levels export needs the level energies in eV or cm-1 "
                                    "(\"Level (cm-1)\")");
    // A configuration and term are given once for the levels of a term in some of the ASD's
    // layouts: an empty cell repeats the one above.
    std::string lastConfiguration, lastTerm;
    for (const TAsdTable::TRow& row : table.Rows) {
        std::string config = TAsdTable::Cell(row, configuration);
        std::string termText = TAsdTable::Cell(row, term);
        if (termText == "Limit") {
            CheckLimit(table, row, configuration, import.Element, stage);
            continue;
        }
        if (config.empty()) {
            config = lastConfiguration;
            if (termText.empty())
                termText = lastTerm;
        }
        lastConfiguration = config;
        lastTerm = termText;
        TAsdLevel level;
        level.Configuration = config;
        level.Term = termText;
        level.JText = TAsdTable::Cell(row, j);
        level.Row = row.Line;
        const std::string designation = config + " " + termText + " J=" + level.JText;
        const std::optional<double> jValue = AsdJ(level.JText);
        const auto value = AsdNumber(TAsdTable::Cell(row, energy));
        if (!jValue || !value) {
            import.LevelsLeftOut.push_back(
                {row.Line, designation,
                 !jValue ? "no single J" : "no energy (\"" + TAsdTable::Cell(row, energy) + "\")"});
            continue;
        }
        level.J = *jValue;
        if (wavenumbers) {
            const int decimals = Decimals(value->second) + 4;
            level.Energy = value->first / kWavenumberPerEV;
            level.EnergyText = Format("%." + std::to_string(decimals) + "f",
                                      {static_cast<long double>(value->first) / kWavenumberPerEV});
            TryStrToFloat(level.EnergyText, level.Energy);
        } else {
            level.Energy = value->first;
            level.EnergyText = value->second;
        }
        import.Levels.push_back(level);
    }
    std::stable_sort(import.Levels.begin(), import.Levels.end(),
                     [](const TAsdLevel& a, const TAsdLevel& b) { return a.Energy < b.Energy; });
    for (std::size_t i = 1; i < import.Levels.size(); ++i)
        if (import.Levels[i].Energy == import.Levels[i - 1].Energy)
            table.Refuse(std::max(import.Levels[i].Row, import.Levels[i - 1].Row), energy,
                         "two levels have the energy " + import.Levels[i].EnergyText +
                             " eV (lines " + std::to_string(import.Levels[i - 1].Row) + " and " +
                             std::to_string(import.Levels[i].Row) +
                             "); the program tells levels apart by their energies");
    if (import.Levels.empty())
        return;
    const std::string ground = Electrons(import.Levels.front().Configuration);
    import.GroundConfiguration = ground;
    import.GroundLevels = 0;
    for (const TAsdLevel& level : import.Levels) {
        if (Electrons(level.Configuration) != ground) {
            import.ExcitedConfiguration = Electrons(level.Configuration);
            break;
        }
        ++import.GroundLevels;
    }
}

// The wavelength columns of the lines export: observed and Ritz, in air when the export has an
// air column, else in vacuum. Any other unit than nm is refused.
struct TWavelengthColumns {
    std::size_t Observed = kNone, Ritz = kNone;
    bool Vacuum = false;
};

TWavelengthColumns WavelengthColumns(const TAsdTable& table) {
    TWavelengthColumns found[2]; // air, vacuum
    for (std::size_t c = 0; c < table.Columns.size(); ++c) {
        const std::string& name = table.Columns[c];
        const bool observed = name.starts_with("obs_wl_");
        if (!observed && !name.starts_with("ritz_wl_"))
            continue;
        const std::string medium = name.substr(observed ? 7 : 8, 3);
        const std::size_t open = name.find('(');
        const std::string unit = open == std::string::npos || !name.ends_with(")")
                                     ? std::string()
                                     : name.substr(open + 1, name.size() - open - 2);
        if (unit != "nm")
            table.Refuse(table.HeaderLine, c,
                         "the wavelengths are in " +
                             (unit == "A" || unit == "Å" || unit == "\xC5" ? std::string("Å")
                                                                           : "\"" + unit + "\"") +
                             "; export them in nm (the form's \"Wavelength units\")");
        TWavelengthColumns& columns = found[medium == "vac" ? 1 : 0];
        columns.Vacuum = medium == "vac";
        (observed ? columns.Observed : columns.Ritz) = c;
    }
    for (const TWavelengthColumns& columns : found)
        if (columns.Observed != kNone || columns.Ritz != kNone)
            return columns;
    table.Require("obs_wl_air(nm)", "the lines export needs the observed or Ritz wavelengths in nm "
                                    "(\"obs_wl_air(nm)\", \"ritz_wl_air(nm)\" or their \"_vac\" "
                                    "forms)");
    return {};
}

// The level of a line: the level of the export with the line's J (when given) whose energy
// agrees to the digits of both texts, the nearest when several do, those of the line's
// configuration and term first. kNone when there is none.
std::size_t FindLevel(const std::vector<TAsdLevel>& levels, double energy, double unit,
                      std::optional<double> j, const std::string& configuration,
                      const std::string& term) {
    std::size_t best = kNone;
    bool bestNamed = false;
    double bestDistance = 0;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const TAsdLevel& level = levels[i];
        const double distance = std::fabs(level.Energy - energy);
        const double levelUnit = std::pow(10.0, -Decimals(level.EnergyText)) * (1 + 1e-9);
        if ((j && *j != level.J) || distance > std::max(unit, levelUnit) + 1e-12 * level.Energy)
            continue;
        const bool named = level.Configuration == configuration && level.Term == term;
        if (best == kNone || (named && !bestNamed) ||
            (named == bestNamed && distance < bestDistance)) {
            best = i;
            bestNamed = named;
            bestDistance = distance;
        }
    }
    return best;
}

void ReadLines(TAsdImport& import, const TAsdTable& table, int stage) {
    const std::size_t element = table.Find("element");
    const std::size_t spectrum = table.Find("sp_num");
    const TWavelengthColumns wavelength = WavelengthColumns(table);
    import.Vacuum = wavelength.Vacuum;
    const std::size_t aki = table.Require(
        "Aki(s^-1)", "the lines export needs the transition probabilities (\"Transition "
                     "strengths\": A_ki in s^-1)");
    std::size_t lower = table.Find("Ei(eV)"), upper = table.Find("Ek(eV)");
    const bool wavenumbers = lower == kNone && upper == kNone;
    if (wavenumbers) {
        lower = table.Find("Ei(cm-1)");
        upper = table.Find("Ek(cm-1)");
    }
    const std::string why = "the lines export needs the energies of both levels (\"Level "
                            "information: Energies\", in eV or cm-1)";
    if (lower == kNone)
        table.Require(wavenumbers ? "Ei(cm-1)" : "Ei(eV)", why);
    if (upper == kNone)
        table.Require(wavenumbers ? "Ek(cm-1)" : "Ek(eV)", why);
    const std::size_t columns[2][3] = {
        {table.Find("conf_i"), table.Find("term_i"), table.Find("J_i")},
        {table.Find("conf_k"), table.Find("term_k"), table.Find("J_k")}};
    const std::size_t accuracy = table.Find("Acc"), logGf = table.Find("log_gf");
    const std::size_t tpRef = table.Find("tp_ref"), lineRef = table.Find("line_ref");
    const std::string species = import.Element + " " + import.Ion;

    for (const TAsdTable::TRow& row : table.Rows) {
        const std::string& rowElement = TAsdTable::Cell(row, element);
        if (!rowElement.empty() && rowElement != import.Element)
            table.Refuse(row.Line, element,
                         "the line is one of " + rowElement + ", not of " + species);
        const std::string& rowStage = TAsdTable::Cell(row, spectrum);
        std::int32_t stageNumber = 0;
        if (!rowStage.empty() && (!TryStrToInt(rowStage, stageNumber) || stageNumber != stage))
            table.Refuse(row.Line, spectrum,
                         "the line is one of " + import.Element + " " + RomanNumeral(stageNumber) +
                             " (sp_num " + rowStage + "), not of " + species);
        auto observed = AsdNumber(TAsdTable::Cell(row, wavelength.Observed));
        const auto ritz = AsdNumber(TAsdTable::Cell(row, wavelength.Ritz));
        const auto a = AsdNumber(TAsdTable::Cell(row, aki));
        const auto energy = [&](std::size_t column) {
            return AsdNumber(TAsdTable::Cell(row, column));
        };
        const auto eLower = energy(lower), eUpper = energy(upper);
        const auto& shown = observed ? observed : ritz;
        const std::string what = shown ? shown->second + " nm" : "the line";
        std::string reason;
        if (!shown || shown->first <= 0)
            reason = "no wavelength";
        else if (!a || a->first <= 0)
            reason = "no A value";
        else if (!eLower || !eUpper)
            reason = std::string("no energy of its ") + (!eLower ? "lower" : "upper") + " level";
        if (!reason.empty()) {
            import.LinesLeftOut.push_back({row.Line, what, reason});
            continue;
        }
        TAsdLine line;
        line.Row = row.Line;
        line.Ritz = !observed;
        line.WavelengthText = shown->second;
        line.Wavelength = shown->first;
        line.Aki = a->first;
        std::size_t found[2] = {kNone, kNone};
        for (int side = 0; side < 2; ++side) {
            const auto& value = side == 0 ? eLower : eUpper;
            const double scale = wavenumbers ? 1 / kWavenumberPerEV : 1;
            const double unit = std::pow(10.0, -Decimals(value->second)) * scale * (1 + 1e-9);
            const std::string& config = TAsdTable::Cell(row, columns[side][0]);
            const std::string& term = TAsdTable::Cell(row, columns[side][1]);
            const std::string& jText = TAsdTable::Cell(row, columns[side][2]);
            found[side] =
                FindLevel(import.Levels, value->first * scale, unit,
                          columns[side][2] == kNone ? std::nullopt : AsdJ(jText), config, term);
            if (found[side] == kNone)
                table.Refuse(row.Line, side == 0 ? lower : upper,
                             std::string("the ") + (side == 0 ? "lower" : "upper") + " level " +
                                 (config + " " + term + " J=" + jText + " ") + "at " +
                                 value->second + (wavenumbers ? " cm-1" : " eV") + " of the line " +
                                 what + " is not in the levels export \"" + import.LevelsFile +
                                 "\"");
        }
        line.Lower = found[0];
        line.Upper = found[1];
        const TAsdLevel& lowerLevel = import.Levels[line.Lower];
        const TAsdLevel& upperLevel = import.Levels[line.Upper];
        line.Gi = static_cast<std::int32_t>(2 * lowerLevel.J + 1);
        line.Gk = static_cast<std::int32_t>(2 * upperLevel.J + 1);
        if (const auto given = AsdNumber(TAsdTable::Cell(row, logGf))) {
            line.LogGf = given->second;
        } else {
            // g_i f_ik = 1.4992e-14 (lambda_vac / nm)^2 g_k A_ki, A_ki in s-1 (Wiese and Fuhr).
            const long double sigma =
                static_cast<long double>(upperLevel.Energy - lowerLevel.Energy) * kWavenumberPerEV;
            const long double vacuum = 1e7L / sigma;
            line.LogGf = Format("%.2f", {std::log10(1.4992e-14L * vacuum * vacuum * line.Gk *
                                                    static_cast<long double>(line.Aki))});
        }
        line.Accuracy = TAsdTable::Cell(row, accuracy);
        line.Reference = TAsdTable::Cell(row, tpRef);
        line.LineRef = TAsdTable::Cell(row, lineRef);
        import.Lines.push_back(line);
    }
    std::stable_sort(
        import.Lines.begin(), import.Lines.end(),
        [](const TAsdLine& a, const TAsdLine& b) { return a.Wavelength < b.Wavelength; });
}

std::string Species(const TAsdImport& import) {
    return import.Element + " " + import.Ion;
}

std::string Medium(const TAsdImport& import) {
    return import.Vacuum ? "vacuum" : "air";
}

std::string Padded(const std::string& text, std::size_t width) {
    std::string padded = Cut(text, width);
    padded.resize(width, ' ');
    return padded;
}

constexpr const char* kAsdCitation =
    "NIST Atomic Spectra Database (ver. 5), Kramida, Ralchenko, Reader and NIST ASD Team";

} // namespace

int IonStage(const std::string& roman) {
    for (int stage = 1; stage <= 200; ++stage)
        if (RomanNumeral(stage) == roman)
            return stage;
    return 0;
}

std::string RomanNumeral(int stage) {
    static const std::pair<int, const char*> kDigits[] = {{100, "C"}, {90, "XC"}, {50, "L"},
                                                          {40, "XL"}, {10, "X"},  {9, "IX"},
                                                          {5, "V"},   {4, "IV"},  {1, "I"}};
    std::string roman;
    for (const auto& [value, digits] : kDigits)
        for (; stage >= value; stage -= value)
            roman += digits;
    return roman;
}

TAsdImport ImportAsd(const std::string& element, const std::string& ion,
                     const std::string& linesText, const std::string& linesFile,
                     const std::string& levelsText, const std::string& levelsFile) {
    TAsdImport import;
    import.Element = element;
    import.Ion = ion;
    import.LinesFile = linesFile;
    import.LevelsFile = levelsFile;
    const int stage = IonStage(ion);
    ReadLevels(import, ReadTable(levelsText, levelsFile), stage);
    ReadLines(import, ReadTable(linesText, linesFile), stage);
    return import;
}

std::string AsdLevelFileText(const TAsdImport& import) {
    std::string text = Species(import) + " energy levels from the ASD export \"" +
                       import.LevelsFile.substr(NameStart(import.LevelsFile)) + "\"\r\n" +
                       kAsdCitation + "\r\n" +
                       "Configuration          Term         J    Energy (eV)\r\n";
    for (const TAsdLevel& level : import.Levels)
        text += Padded(ShortConfiguration(level.Configuration), 23) + Padded(level.Term, 13) +
                Format("%4s  %s", {FloatToStr(level.J), level.EnergyText}) + "\r\n";
    return text;
}

std::string AsdLineTableText(const TAsdImport& import) {
    std::string text =
        Species(import) + " lines, wavelengths in " + Medium(import) + ", from the ASD exports \"" +
        import.LinesFile.substr(NameStart(import.LinesFile)) + "\" and \"" +
        import.LevelsFile.substr(NameStart(import.LevelsFile)) + "\"\r\n" + kAsdCitation +
        "\r\n"
        "El Ion      wl(nm)   sigma(cm-1)    A(1e8/s) acc% -  log_gf Acc     E_low(eV)     "
        "E_up(eV)   Jl   Ju  gl  gu\r\n"
        "        states: lower-upper configuration            lower-upper term medium line ref "
        "      A ref\r\n" +
        std::string(140, '-') + "\r\n";
    const std::string medium = import.Vacuum ? "vac" : "air";
    for (const TAsdLine& line : import.Lines) {
        const TAsdLevel& lower = import.Levels[line.Lower];
        const TAsdLevel& upper = import.Levels[line.Upper];
        const long double sigma =
            static_cast<long double>(upper.Energy - lower.Energy) * kWavenumberPerEV;
        text += Format("%-2s %-4s%12s %13s %11s %4d 0 %7s %-4s %13s %12s %4s %4s %3d %3d ",
                       {import.Element, import.Ion, line.WavelengthText, Format("%.4f", {sigma}),
                        FloatToStr(static_cast<long double>(line.Aki) / 1e8L),
                        AccuracyPercent(line.Accuracy), line.LogGf, Cut(line.Accuracy, 4),
                        lower.EnergyText, upper.EnergyText, FloatToStr(lower.J),
                        FloatToStr(upper.J), line.Gi, line.Gk}) +
                Padded(ShortConfiguration(lower.Configuration) + "-" +
                           ShortConfiguration(upper.Configuration),
                       40) +
                " " + Padded(lower.Term + "-" + upper.Term, 16) + " " + Padded(medium, 4) + " " +
                Padded(line.LineRef, 14) + " " + Padded(line.Reference, 8) + "\r\n";
    }
    return text;
}

} // namespace zelt
