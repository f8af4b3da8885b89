#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"

namespace zelt {

namespace {

// Match flag of TTextBase::FindNearest: the record's wavelength equals the key.
constexpr std::uint8_t kExactMatch = 1;
// Every measured line matches a database line of one species, of which a spectrum shows a few
// hundred; a selected line takes some 400 bytes, so the count bounds the memory too.
constexpr TReadLimit kMeasurementLimit{16 * kMegabyte, "a measurement file"};
constexpr std::int32_t kMaxMeasuredLines = 10000;

} // namespace

// The index of the one level with exactly this energy; raises `missing` when there is none and
// `several` when there is more than one.
std::int32_t TAtomicData::FindLevel(double energy, const char* missing, const char* several) const {
    std::int32_t found = -1, count = 0;
    for (std::int32_t i = 0; i < Levels.size(); ++i) {
        if (Levels[i].Energy == energy) {
            found = i;
            ++count;
        }
    }
    if (count == 0)
        throw Exception(missing);
    if (count > 1)
        throw Exception(several);
    return found;
}

void TAtomicData::ImportLines(const std::string& fileName) {
    SelectedLines.clear();
    if (!LineBase)
        throw Exception("No species is loaded: there is no line table to match \"" + fileName +
                        "\" against.");
    TextReader reader;
    reader.Open(fileName, kMeasurementLimit);
    // Trailing blank lines end the file quietly instead of being read as a line at 0 nm.
    while (!reader.SeekEof()) {
        if (SelectedLines.size() == kMaxMeasuredLines)
            throw EInOutError(Format("Cannot read file \"%s\": more than %d lines, the limit "
                                     "for %s",
                                     {fileName, kMaxMeasuredLines, kMeasurementLimit.What}));
        const double wavelength = reader.ReadReal();
        const double intensity = reader.ReadReal();
        reader.SkipLine();
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
        line.UpperLevel =
            FindLevel(line.Data.EUpper, "Upper level was not found. Import was stopped.",
                      "Several upper levels with the same energy. Import was stopped.");
        line.LowerLevel =
            FindLevel(line.Data.ELower, "Lower level was not found. Import was stopped.",
                      "Several lower levels with the same energy. Import was stopped.");
        SelectedLines.push_back(line);
    }
}

void TAtomicData::DumpLines(const std::string& fileName) const {
    TextWriter writer;
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
