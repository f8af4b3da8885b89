// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as a species' atomic line table, loaded into a table store
// with both diffraction-order copies, then searched. Whatever the bytes, the load ends calmly;
// every record has a wavelength above 0, finite numbers and texts within their field widths; the
// table is in wavelength order; a search lands inside the table. (An element field of blanks is
// valid: it is tested before it is trimmed.)

#include "fuzz/fuzzsupport.h"
#include "textinput/DataFld.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace {

using namespace zelt;
using namespace zelt::fuzz;

// The store reads the species' table from folder/Fz_I.txt, a link to the input in memory.
struct TTableFile {
    TMemoryFile input{"table"};
    TScratchFolder folder{"atomfile"};
    TTableFile() { std::filesystem::create_symlink(input.Path(), folder.File("Fz_I.txt")); }
};

void CheckAtom(const TAtomRecord& r) {
    Require(r.Wavelength > 0, "an atomic record with a wavelength not above 0");
    Require(r.Order >= 1 && r.Order <= 3, "an atomic record of order " + std::to_string(r.Order));
    for (const auto& [value, field] : {std::pair{r.Wavelength, "Wavelength"},
                                       {r.Value1, "Value1"},
                                       {r.Aki, "Aki"},
                                       {r.Value2, "Value2"},
                                       {r.Value3, "Value3"},
                                       {r.LogGf, "LogGf"},
                                       {r.ELower, "ELower"},
                                       {r.EUpper, "EUpper"},
                                       {r.Value4, "Value4"},
                                       {r.Value5, "Value5"}})
        RequireFinite(value, field);
    RequireField(r.Element, 2, true, "Element");
    RequireField(r.Ion, 4, true, "Ion");
    RequireField(r.Code, 4, true, "Code");
    RequireField(r.Text1, 40, true, "Text1");
    RequireField(r.Text2, 16, true, "Text2");
    RequireField(r.Text3, 4, true, "Text3");
    RequireField(r.Text4, 14, true, "Text4");
    RequireField(r.Text5, 8, false, "Text5");
}

// Every record is valid and the table is in ascending wavelength.
void CheckTable(const TTextBase& base) {
    TAtomRecord record, previous;
    for (std::int32_t i = 0; i < base.AtomCount(); ++i) {
        base.GetAtom(i, record);
        CheckAtom(record);
        Require(i == 0 || previous.Wavelength <= record.Wavelength, "a table out of order");
        previous = record;
    }
}

// The nearest record to `key` exists and is flagged as below, equal to or above it.
void CheckSearch(const TTextBase& base, double key) {
    std::int32_t index = -1;
    std::uint8_t match = 99;
    TAtomRecord found;
    base.FindNearest(0, index, key, match, found);
    Require(index >= 0 && index < base.AtomCount(), "a search outside the table");
    Require(match == (found.Wavelength == key  ? 1
                      : found.Wavelength > key ? 2
                                               : 0),
            "a search with a wrong match flag");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TTableFile file;
    file.input.Fill(data, size);

    TTextBase base(16, 0);
    if (!EndsCalmly([&] { base.Load(file.folder.Folder(), {"Fz"}, {}, {"I"}, {}, true, true); }))
        return 0;
    CheckTable(base);
    if (base.AtomCount() > 0) {
        TAtomRecord first, last;
        base.GetAtom(0, first);
        base.GetAtom(base.AtomCount() - 1, last);
        for (double key : {0.0, first.Wavelength, 500.0, last.Wavelength, 2 * last.Wavelength})
            CheckSearch(base, key);
    }
    return 0;
}
