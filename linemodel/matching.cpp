// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"

#include <map>

namespace zelt {

namespace {

// Match flag of TTextBase::FindNearest: the record's wavelength equals the key.
constexpr std::uint8_t kExactMatch = 1;
// Every measured line matches a database line of one species, of which a spectrum shows a few
// hundred; a selected line takes some 400 bytes, so the count bounds the memory too.
constexpr std::int32_t kMaxMeasuredLines = 10000;

} // namespace

// The index of the one level with exactly this energy; raises `missing` when there is none and
// `several` when there is more than one, each followed by `where`, the measurement line and
// the energy looked for.
std::int32_t TAtomicData::FindLevel(double energy, const char* missing, const char* several,
                                    const std::string& where) const {
    std::int32_t found = -1, count = 0;
    for (std::int32_t i = 0; i < Levels.size(); ++i) {
        if (Levels[i].Energy == energy) {
            found = i;
            ++count;
        }
    }
    if (count == 0)
        throw Exception(
            Format("%s %s, is not in the level file \"%s\".", {missing, where, levelsFile_}));
    if (count > 1)
        throw Exception(Format("%s %s, belongs to several levels of the level file \"%s\".",
                               {several, where, levelsFile_}));
    return found;
}

void TAtomicData::ImportLines(const std::string& fileName) {
    ImportFrom(fileName, [&](TTextReader& reader) { reader.Open(fileName, kMeasurementLimit); });
}

void TAtomicData::ImportText(const std::string& name, std::string text) {
    ImportFrom(name, [&](TTextReader& reader) {
        reader.OpenText(name, std::move(text), kMeasurementLimit);
    });
}

void TAtomicData::ImportFrom(const std::string& fileName,
                             const std::function<void(TTextReader& reader)>& open) {
    SelectedLines.clear();
    ImportWarnings.clear();
    if (!LineBase)
        throw Exception("No species is loaded: there is no line table to match \"" + fileName +
                        "\" against.");
    TTextReader reader;
    open(reader);
    // A file that breaks the two-column layout is refused as a whole: a missing intensity would
    // take the next line's wavelength, a third column would be dropped unseen, and a line
    // measured twice would count twice in its fractions.
    const auto refuse = [&](const std::string& problem, int line) {
        SelectedLines.clear();
        ImportWarnings.clear();
        throw EInOutError(Format("%s in file \"%s\", line %d: a measurement line holds a "
                                 "wavelength and an intensity, each line once",
                                 {problem, fileName, line}));
    };
    std::map<double, int> linesRead; // wavelength -> its line in the file
    // Trailing blank lines end the file quietly instead of being read as a line at 0 nm.
    while (!reader.SeekEof()) {
        if (SelectedLines.size() == kMaxMeasuredLines)
            throw EInOutError(Format("Cannot read file \"%s\": more than %d lines, the limit "
                                     "for %s",
                                     {fileName, kMaxMeasuredLines, kMeasurementLimit.What}));
        const int lineNumber = reader.LineNumber();
        const double wavelength = reader.ReadReal();
        if (reader.SeekEoln())
            refuse(Format("Missing intensity after the wavelength %s", {FloatToStr(wavelength)}),
                   lineNumber);
        const double intensity = reader.ReadReal();
        if (!reader.SeekEoln())
            refuse(Format("Third column \"%s\"", {TrimBlanks(reader.ReadField(40))}), lineNumber);
        reader.SkipLine();
        const auto [first, added] = linesRead.emplace(wavelength, lineNumber);
        if (!added)
            refuse(Format("Wavelength %s of line %d listed again",
                          {FloatToStr(wavelength), first->second}),
                   lineNumber);
        std::int32_t index = 0;
        std::uint8_t match = 0;
        TLine line;
        LineBase->FindNearest(0, index, wavelength, match, line.Data);
        if (match != kExactMatch) {
            ShowMessage(Format("Wavelength %.6f was not found. Import was stopped. Check used "
                               "specie or wavelength precision.",
                               {wavelength}));
            return;
        }
        line.Intensity = intensity;
        // A line whose levels cannot be identified is never appended, so no level index of
        // -1 reaches the model.
        const auto where = [&](const char* which, double energy) {
            return Format(
                "File \"%s\", line %d: the line at %s nm, %s level energy %s eV",
                {fileName, lineNumber, FloatToStr(wavelength), which, FloatToStr(energy)});
        };
        line.UpperLevel =
            FindLevel(line.Data.EUpper, "Upper level was not found. Import was stopped.",
                      "Several upper levels with the same energy. Import was stopped.",
                      where("upper", line.Data.EUpper));
        line.LowerLevel =
            FindLevel(line.Data.ELower, "Lower level was not found. Import was stopped.",
                      "Several lower levels with the same energy. Import was stopped.",
                      where("lower", line.Data.ELower));
        if (intensity < 0)
            ImportWarnings.push_back(
                Format("Negative intensity %s at %s nm in file \"%s\", "
                       "line %d: its branching fraction is not physical, "
                       "and fits of this file are flagged.",
                       {FloatToStr(intensity), FloatToStr(wavelength), fileName, lineNumber}));
        SelectedLines.push_back(line);
    }
}

void TAtomicData::DumpLines(const std::string& fileName) const {
    TTextWriter writer;
    writer.Create(fileName);
    const std::int32_t count = LineBase ? LineBase->AtomCount() : 0;
    TAtomRecord record;
    for (const TLevel& level : Levels) {
        for (std::int32_t i = 0; i < count; ++i) {
            LineBase->GetAtom(i, record);
            if (record.EUpper != level.Energy)
                continue;
            writer.WriteLine(WriteReal(level.Energy, 15) + " " +
                             WriteFixed(record.Wavelength, 15, 5) + " " + WriteReal(record.Aki, 8) +
                             " " + WriteFixed(record.EUpper, 15, 2) + " " + record.Text2 + " " +
                             WriteFixed(record.Value4, 2, 0) + " - " +
                             WriteFixed(record.Value5, 2, 0));
        }
    }
    writer.Close();
}

} // namespace zelt
