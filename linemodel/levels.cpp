// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"
#include "linemodel/commatext.h"

#include <cfloat>
#include <cmath>

namespace zelt {

namespace {

constexpr int kConfigurationWidth = 23;
constexpr int kTermWidth = 13;
constexpr int kLevelHeaderLines = 3;
// Sizes of the atomic and molecular tables that the line table store starts with.
constexpr std::int32_t kAtomCapacity = 1000;
constexpr std::int32_t kMolCapacity = 500;
// Level files of real species hold a few thousand levels, well under a megabyte.
constexpr TReadLimit kLevelFileLimit{16 * kMegabyte, "a level file"};

// The statistical weight g = 2J + 1 of a level read from `line` of the file. A J beyond half the
// range of a double has no weight that a double can hold.
double StatisticalWeight(double j, const std::string& fileName, int line) {
    const long double g = 2.0L * j + 1;
    if (std::fabs(g) > static_cast<long double>(DBL_MAX))
        throw EOverflow(Format("Floating point overflow in the statistical weight of J = %s in "
                               "file \"%s\", line %d",
                               {FloatToStr(j), fileName, line}));
    return static_cast<double>(g);
}

} // namespace

TAtomicData::TAtomicData(TShowMessage showMessage) : showMessage_(std::move(showMessage)) {}

TAtomicData::TAtomicData(const TAtomicData& model, TShowMessage showMessage) : TAtomicData(model) {
    showMessage_ = std::move(showMessage);
}

void TAtomicData::ShowMessage(const std::string& text) const {
    if (showMessage_)
        showMessage_(text);
}

void TAtomicData::ChangeSpecies(const std::string& levelsFile, const std::string& folder,
                                const std::string& source) {
    SelectedLines.clear();
    ClearPrecalc();
    ResultHeaderCount = 0;
    LoadLevels(levelsFile);
    LoadLineBase(folder, source);
}

void TAtomicData::LoadLevels(const std::string& fileName) {
    TTextReader reader;
    reader.Open(fileName, kLevelFileLimit);
    for (int i = 0; i < kLevelHeaderLines; ++i)
        reader.SkipLine();
    Levels.clear();
    levelsFile_ = fileName;
    while (!reader.Eof()) {
        TLevel level;
        level.Configuration = std::string(TrimBlanks(reader.ReadField(kConfigurationWidth)));
        level.Term = std::string(TrimBlanks(reader.ReadField(kTermWidth)));
        // Blank lines and white space at the end of the file are no level. The test comes after
        // the fixed-width fields, so leading blanks of a configuration keep their columns.
        if (level.Configuration.empty() && level.Term.empty() && reader.SeekEof())
            break;
        level.J = reader.ReadReal();
        const int line = reader.LineNumber();
        level.Energy = reader.ReadReal();
        reader.SkipLine();
        level.G = StatisticalWeight(level.J, fileName, line);
        if (!Levels.empty() && Levels.back().Energy >= level.Energy) {
            ShowMessage(Format("Energy values %.7f %.7f are not unique or not ascending. "
                               "Stopping here.",
                               {Levels.back().Energy, level.Energy}));
            break;
        }
        Levels.push_back(level);
    }
    reader.RequireUnchanged();
}

void TAtomicData::LoadLineBase(const std::string& folder, const std::string& source) {
    const std::vector<std::string> items = SplitCommaText(source);
    if (items.size() != 2)
        throw Exception("Wrong source in ini file. ");
    // The store passes over a table it cannot open, which for one species is no table at all.
    const std::string tableFile = folder + "/" + items[0] + "_" + items[1] + ".txt";
    try {
        TTextReader probe;
        probe.Open(tableFile);
    } catch (const EInOutError& e) {
        throw EInOutError(e.message() + " (the line table of Lines=" + source + ")", e.errorCode());
    }
    // Made current only once loaded, so that a table that fails leaves the previous one.
    auto table = std::make_unique<TTextBase>(kAtomCapacity, kMolCapacity);
    table->Load(folder, {items[0]}, {}, {items[1]}, {}, false, false);
    LineBase = std::move(table);
}

void TAtomicData::ListLevels(std::vector<std::string>& list) const {
    list.clear();
    list.push_back(Format("%4s   %-22s %-6s %11s %11s %11s",
                          {"i", "Configuration", "Term", "Energy", "J", "g"}));
    for (int i = 0; i < Levels.size(); ++i) {
        const TLevel& level = Levels[i];
        list.push_back(
            Format("%4d   %-22s %-6s %11.8f %11.1f %11.0f",
                   {i, level.Configuration, level.Term, level.Energy, level.J, level.G}));
    }
}

void TAtomicData::ListLines(bool all, std::vector<std::string>& list) const {
    list.clear();
    list.push_back(
        Format("%-7s %10s  %10s  %7s %5s %5s", {"Elem", "wl (nm)", "Aki", "log_gf", "gi", "gk"}));
    if (!LineBase)
        return;
    TAtomRecord record;
    for (std::int32_t i = 0; i < LineBase->AtomCount(); ++i) {
        LineBase->GetAtom(i, record);
        if (!all && record.Aki <= 0)
            continue;
        list.push_back(Format("%3s%-4s %10.5f  %10.4e  %7.4f %5d %5d",
                              {record.Element, record.Ion, record.Wavelength, record.Aki,
                               record.LogGf, record.Gi, record.Gk}));
    }
}

} // namespace zelt
