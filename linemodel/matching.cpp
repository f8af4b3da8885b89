// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"

#include <algorithm>
#include <map>

namespace zelt {

namespace {

// Match flag of TTextBase::FindNearest: the record's wavelength equals the key.
constexpr std::uint8_t kExactMatch = 1;
// Characters of a skipped text that its note quotes, and those looked at to find them after the
// blanks before them.
constexpr std::size_t kShownSkippedText = 40;
constexpr std::size_t kKeptSkippedText = 4 * kShownSkippedText;

// The text after the intensities of a measurement file, for the note that it was skipped.
class TSkippedText {
public:
    void Add(std::string_view rest, int line) {
        rest = TrimBlanks(rest);
        if (rest.empty())
            return;
        if (lines_++ == 0) {
            first_ = std::string(rest);
            firstLine_ = line;
        }
    }

    void Report(std::vector<std::string>& notes, const std::string& fileName) const {
        if (lines_ == 0)
            return;
        // A carriage return without a line feed ends no line: the first record's line runs on
        // over every record after it, to the next line feed or the end of the file.
        if (first_.find('\r') != std::string::npos) {
            notes.push_back(Format("File \"%s\" ends its lines with a carriage return alone "
                                   "(CR without LF), so line %d runs on to the next line feed "
                                   "and only its first record is read: save the file with "
                                   "CR LF or LF line ends.",
                                   {fileName, firstLine_}));
            return;
        }
        const bool cut = first_.size() > kShownSkippedText;
        notes.push_back(Format("Skipped the text after the intensity on %d %s of file \"%s\", "
                               "first on line %d: \"%s%s\".",
                               {lines_, lines_ == 1 ? "line" : "lines", fileName, firstLine_,
                                first_.substr(0, kShownSkippedText), cut ? "..." : ""}));
    }

private:
    int lines_ = 0;
    int firstLine_ = 0;
    std::string first_;
};

// Raises for a file of nothing but characters the reader passes over as blanks (codes up to 32)
// that is not an empty text either: NUL bytes (a file a crash left unwritten) or other control
// characters would otherwise read as a measurement without lines.
void RequireText(const std::string& fileName) {
    const std::string bytes = ReadFileBytes(fileName, kMeasurementLimit);
    const bool passedOver = std::all_of(bytes.begin(), bytes.end(),
                                        [](char c) { return static_cast<unsigned char>(c) <= 32; });
    if (passedOver && bytes.find_first_not_of(" \t\r\n\f\v") != std::string::npos)
        throw EInOutError(Format("Cannot read file \"%s\": it holds no text, only NUL bytes or "
                                 "other control characters (%d bytes)",
                                 {fileName, static_cast<long long>(bytes.size())}));
}

} // namespace

void CheckMeasuredLineCount(const std::string& fileName, std::size_t count) {
    if (count > static_cast<std::size_t>(kMaxMeasuredLines))
        throw EInOutError(Format("Cannot read file \"%s\": more than %d lines, the limit for %s",
                                 {fileName, kMaxMeasuredLines, kMeasurementLimit.What}));
}

// The index of the one level with exactly this energy; raises `missing` when there is none and
// `several` when there is more than one, each followed by where(), the measurement line and
// the energy looked for (made only then: formatting its numbers costs more than the search).
std::int32_t TAtomicData::FindLevel(double energy, const char* missing, const char* several,
                                    const std::function<std::string()>& where) const {
    std::int32_t found = -1, count = 0;
    for (std::int32_t i = 0; i < Levels.size(); ++i) {
        if (Levels[i].Energy == energy) {
            found = i;
            ++count;
        }
    }
    if (count == 0)
        throw Exception(
            Format("%s %s, is not in the level file \"%s\".", {missing, where(), levelsFile_}));
    if (count > 1)
        throw Exception(Format("%s %s, belongs to several levels of the level file \"%s\".",
                               {several, where(), levelsFile_}));
    return found;
}

void TAtomicData::ImportLines(const std::string& fileName) {
    ImportFrom(fileName, [&](TTextReader& reader) { reader.Open(fileName, kMeasurementLimit); });
    if (SelectedLines.empty())
        RequireText(fileName);
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
    // A line that breaks the layout so that its numbers would be misread is refused, and with it
    // the file: a missing intensity would take the next line's wavelength, and a line measured
    // twice would count twice in its fractions.
    const auto refuse = [&](const std::string& problem, int line) {
        SelectedLines.clear();
        ImportWarnings.clear();
        throw EInOutError(Format("%s in file \"%s\", line %d: a measurement line holds a "
                                 "wavelength and an intensity, each line once",
                                 {problem, fileName, line}));
    };
    TSkippedText skipped;
    std::map<double, int> linesRead; // wavelength -> its line in the file
    // Trailing blank lines end the file quietly instead of being read as a line at 0 nm.
    while (!reader.SeekEof()) {
        CheckMeasuredLineCount(fileName, static_cast<std::size_t>(SelectedLines.size()) + 1);
        const int lineNumber = reader.LineNumber();
        const double wavelength = reader.ReadReal();
        if (reader.SeekEoln())
            refuse(Format("Missing intensity after the wavelength %s", {FloatToStr(wavelength)}),
                   lineNumber);
        const double intensity = reader.ReadReal();
        // The rest of the line is no part of the measurement (a comment, an uncertainty): it is
        // skipped, and the user is told so once.
        skipped.Add(reader.SkipLine(kKeptSkippedText), lineNumber);
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
            skipped.Report(ImportWarnings, fileName);
            return;
        }
        line.Intensity = intensity;
        // A line whose levels cannot be identified is never appended, so no level index of
        // -1 reaches the model.
        const auto where = [&](const char* which, double energy) {
            return [&, which, energy] {
                return Format(
                    "File \"%s\", line %d: the line at %s nm, %s level energy %s eV",
                    {fileName, lineNumber, FloatToStr(wavelength), which, FloatToStr(energy)});
            };
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
    reader.RequireUnchanged();
    skipped.Report(ImportWarnings, fileName);
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
