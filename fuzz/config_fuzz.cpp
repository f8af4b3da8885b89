// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as the configuration file. Every section and every key the
// program reads is read, as text and as the program's type; then the measurement folder is
// written, as the window stores it after each file read. Whatever the bytes, the reads end
// calmly with finite numbers, the written key reads back as written, and nothing else the
// program reads has changed.
//
// The keys are read from one view of the file each time, as the store reads every single key;
// the bytes themselves go straight into the first view. A write replaces the file by a rename,
// which needs a real folder: the file lies in a folder of /dev/shm, in memory.

#include "app/configstore.h"
#include "app/listing.h"
#include "app/settings.h"
#include "common/textfile.h"
#include "fuzz/fuzzsupport.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace zelt;
using namespace zelt::fuzz;

enum class TKind { Text, Integer, Float };

struct TKey {
    std::string section; // empty: every species section
    std::string key;
    TKind kind;
};

// Every key the program reads, with its type (the settings table and the text keys), but for
// the measurement folder, which the target writes.
const std::vector<TKey>& Keys() {
    static const std::vector<TKey> keys = [] {
        std::vector<TKey> list;
        for (const TTextSetting& text : {kFilesDatabase, kSpeciesLevels, kSpeciesLines})
            list.push_back({text.Section, text.Key, TKind::Text});
        for (const TSetting& setting : Settings())
            list.push_back({std::string(setting.Section), std::string(setting.Key),
                            setting.Kind == TSettingKind::Integer ? TKind::Integer : TKind::Float});
        return list;
    }();
    return keys;
}

// Stands for a missing key: no value line of a file can hold a line feed.
const std::string kMissing = "\n";

// What the program sees of a configuration: the sections in order, and every key it reads, the
// texts (kMissing where there is none) and the numbers.
struct TView {
    std::vector<std::string> sections;
    std::string measurements; // _Files/Measurements
    std::vector<std::string> texts;
    std::vector<double> numbers;
    bool operator==(const TView&) const = default;
};

// Reads the key as the program does: a text, an integer or a float.
void ReadKey(const TConfigView& store, const std::string& section, const TKey& key, TView& view) {
    if (key.kind == TKind::Text) {
        view.texts.push_back(store.ReadString(section, key.key, kMissing));
    } else if (key.kind == TKind::Integer) {
        view.numbers.push_back(store.ReadInteger(section, key.key, -7));
    } else {
        const double value = store.ReadFloat(section, key.key, -7.5);
        RequireFinite(value, key.key.c_str());
        view.numbers.push_back(value);
    }
}

TView Read(const TConfigView& store) {
    TView view;
    view.sections = store.ReadSections();
    view.measurements = store.ReadString("_Files", "Measurements", kMissing);
    for (const TKey& key : Keys()) {
        if (!key.section.empty()) {
            ReadKey(store, key.section, key, view);
            continue;
        }
        for (const std::string& section : view.sections)
            if (IsSpeciesSection(section))
                ReadKey(store, section, key, view);
    }
    return view;
}

// A value an INI line can hold, taken from the input: its last line, up to a NUL, without the
// blanks and tabs around it (a value line ends at CR or LF, and its surrounding blanks belong to
// no value).
std::string ValueFrom(std::string_view bytes) {
    const std::size_t start = bytes.find_last_of("\r\n");
    std::string_view value = start == std::string_view::npos ? bytes : bytes.substr(start + 1);
    value = value.substr(0, value.find('\0'));
    const std::size_t first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return std::string(value.substr(first, value.find_last_not_of(" \t") - first + 1));
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The view after the measurement folder was written: the value, and a section "_Files" at the
// end where there was none.
TView Expected(TView view, const std::string& value) {
    if (std::none_of(view.sections.begin(), view.sections.end(),
                     [](const std::string& s) { return SameName(s, "_Files"); }))
        view.sections.push_back("_Files");
    view.measurements = value;
    return view;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts)
        joined += "[" + text + "]";
    return joined;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TScratchFolder folder("config");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string file = folder.File("zeltfit.ini");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    TView before;
    if (!EndsCalmly([&] { before = Read(TConfigView(TIniText(std::string(bytes)))); }))
        return 0;
    TConfigStore store(file);
    const std::string value = ValueFrom(bytes);
    if (!store.Problem().empty()) {
        // A file the store refuses (no single-byte text) is never written.
        EndsCalmly([&] { store.WriteString("_Files", "Measurements", value); });
        Require(ReadFileBytes(file) == bytes, "a refused configuration file was written");
        return 0;
    }
    if (!EndsCalmly([&] { store.WriteString("_Files", "Measurements", value); }))
        return 0;
    TView after;
    Require(EndsCalmly([&] { after = Read(store.View()); }),
            "a file the store wrote cannot be read");
    Require(store.ReadString("_Files", "Measurements", kMissing) == after.measurements,
            "a single key and the view of the whole file differ");
    const TView expected = Expected(before, value);
    Require(after.sections == expected.sections, "the sections " + Joined(expected.sections) +
                                                     " read as " + Joined(after.sections) +
                                                     " after the write");
    Require(after.measurements == value, "the measurement folder \"" + value +
                                             "\" reads back as \"" + after.measurements + "\"");
    Require(after == expected, "another key changed with the write");
    return 0;
}
