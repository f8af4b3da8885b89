#include "shell/configstore.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"

// Values are single-byte texts taken as bytes: no code-page conversion in the INI reader.
// Debian's header keeps the template definitions behind SI_IMPLEMENTATION; this is the one
// translation unit that instantiates them.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelt {

namespace {

// Lines that belong to no section are made comments, so that the parser skips them: key lines
// before the first section, and lines that open a section without naming one on the line ("[Fe"
// without its bracket, "[]"), whose keys then stay in the section before. CSimpleIniA would put
// the first into a section without a name, listed with the species and written back ahead of
// everything; it would name the section after "[Fe" by all the text up to the next key's "=", a
// name spanning lines that grows with every write; and it would write the keys after "[]" ahead
// of the first section.
std::string WithoutStrayLines(std::string text) {
    bool inSection = false;
    // A UTF-8 signature is no part of the first line.
    std::size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        const std::size_t first = text.find_first_not_of(" \t", start);
        if (first < end && text[first] != ';' && text[first] != '#') {
            const bool opens = text[first] == '[';
            const std::size_t close = text.find(']', first);
            if (opens && close < end && text.find_first_not_of(" \t", first + 1) < close) {
                inSection = true;
            } else if (opens || !inSection) {
                text.insert(first, 1, ';');
                ++end;
            }
        }
        start = end + 1;
    }
    return text;
}

// CSimpleIniA compares section and key names without regard to case.
void Load(const std::string& fileName, CSimpleIniA& ini) {
    ini.SetUnicode(false);
    ini.SetMultiLine(false);
    ini.SetQuotes(false);
    ini.SetSpaces(false); // "key=value", as the profile-file service writes it
    std::ifstream in(PathFromUtf8(fileName), std::ios::binary);
    if (!in)
        return; // a missing file reads as empty: every key takes its default
    std::ostringstream content;
    content << in.rdbuf();
    ini.LoadData(WithoutStrayLines(content.str()));
}

// The profile files of the program end their lines with CR LF on every system.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

void Save(const std::string& fileName, const CSimpleIniA& ini) {
    std::string content;
    if (ini.Save(content) < 0)
        throw EInOutError("Cannot write the configuration file \"" + fileName + "\"");
    const std::string temporary = fileName + ".tmp";
    TextWriter writer;
    writer.Create(temporary);
    writer.Write(WithCrLf(content));
    writer.Close();
    std::error_code error;
    std::filesystem::rename(PathFromUtf8(temporary), PathFromUtf8(fileName), error);
    if (error) {
        std::filesystem::remove(PathFromUtf8(temporary), error);
        throw EInOutError("Cannot replace the configuration file \"" + fileName + "\"");
    }
}

} // namespace

TConfigStore::TConfigStore(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TConfigStore::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) const {
    CSimpleIniA ini;
    Load(fileName_, ini);
    return ini.GetValue(section.c_str(), key.c_str(), def.c_str());
}

std::int32_t TConfigStore::ReadInteger(const std::string& section, const std::string& key,
                                       std::int32_t def) const {
    std::int32_t value = def;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

double TConfigStore::ReadFloat(const std::string& section, const std::string& key,
                               double def) const {
    double value = def;
    return TryStrToFloat(ReadString(section, key, ""), value) ? value : def;
}

std::vector<std::string> TConfigStore::ReadSections() const {
    CSimpleIniA ini;
    Load(fileName_, ini);
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> names;
    for (const auto& section : sections)
        names.emplace_back(section.pItem);
    return names;
}

void TConfigStore::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
    CSimpleIniA ini;
    Load(fileName_, ini);
    ini.SetValue(section.c_str(), key.c_str(), value.c_str());
    Save(fileName_, ini);
}

void TConfigStore::WriteInteger(const std::string& section, const std::string& key,
                                std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TConfigStore::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FloatToStr(value));
}

} // namespace zelt
