#include "app/configstore.h"

#include "app/initext.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelt {

namespace {

// Values are single-byte texts taken as bytes: no code-page conversion. A missing file reads
// as empty, so every key takes its default.
TIniText Load(const std::string& fileName) {
    std::ifstream in(PathFromUtf8(fileName), std::ios::binary);
    if (!in)
        return TIniText();
    std::ostringstream content;
    content << in.rdbuf();
    return TIniText(content.str());
}

void Save(const std::string& fileName, const TIniText& ini) {
    const std::string temporary = fileName + ".tmp";
    TextWriter writer;
    writer.Create(temporary);
    writer.Write(ini.Text());
    writer.Close();
    std::error_code error;
    std::filesystem::rename(PathFromUtf8(temporary), PathFromUtf8(fileName), error);
    if (error) {
        std::filesystem::remove(PathFromUtf8(temporary), error);
        throw EInOutError("Cannot replace the configuration file \"" + fileName + "\"");
    }
}

} // namespace

std::string TConfigView::ReadString(const std::string& section, const std::string& key,
                                    const std::string& def) const {
    return ini_.Value(section, key).value_or(def);
}

std::int32_t TConfigView::ReadInteger(const std::string& section, const std::string& key,
                                      std::int32_t def) const {
    std::int32_t value = def;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

double TConfigView::ReadFloat(const std::string& section, const std::string& key,
                              double def) const {
    double value = def;
    return TryStrToFloat(ReadString(section, key, ""), value) ? value : def;
}

std::vector<std::string> TConfigView::ReadSections() const {
    return ini_.Sections();
}

TConfigStore::TConfigStore(std::string fileName) : fileName_(std::move(fileName)) {}

TConfigView TConfigStore::View() const {
    return TConfigView(Load(fileName_));
}

std::string TConfigStore::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) const {
    return View().ReadString(section, key, def);
}

std::int32_t TConfigStore::ReadInteger(const std::string& section, const std::string& key,
                                       std::int32_t def) const {
    return View().ReadInteger(section, key, def);
}

double TConfigStore::ReadFloat(const std::string& section, const std::string& key,
                               double def) const {
    return View().ReadFloat(section, key, def);
}

std::vector<std::string> TConfigStore::ReadSections() const {
    return View().ReadSections();
}

void TConfigStore::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
    TIniText ini = Load(fileName_);
    ini.SetValue(section, key, value);
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
