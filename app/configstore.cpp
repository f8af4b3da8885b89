// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/configstore.h"

#include "app/initext.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/filelock.h"
#include "common/format.h"
#include "common/safefile.h"
#include "common/textfile.h"

#include <algorithm>
#include <cerrno>

namespace zelt {

namespace {

// A configuration is a few kilobytes; the bound keeps a device or a huge file from filling the
// memory.
constexpr TReadLimit kConfigurationLimit{16 * kMegabyte, "a configuration file"};

// The bytes of the file; a missing file reads as empty, so every key takes its default.
std::string ReadConfiguration(const std::string& fileName) {
    TFileStatus status;
    if (FileStatus(fileName, true, status) && status.Kind == TFileKind::Missing)
        return {};
    return ReadFileBytes(fileName, kConfigurationLimit);
}

bool HasSpecies(const TIniText& ini) {
    const std::vector<std::string> sections = ini.Sections();
    return std::any_of(sections.begin(), sections.end(), IsSpeciesSection);
}

// Why the file must not be replaced by what the program makes of it; empty when it may be.
// `readable` is false when the file is read as empty for it.
std::string ProblemOf(const std::string& fileName, bool& readable) {
    readable = false;
    const std::string named = "The configuration file \"" + fileName + "\" ";
    TFileStatus status, link;
    std::string target;
    // Written through, the link would make the file it names anew, without the user's species.
    if (FileStatus(fileName, true, status) && status.Kind == TFileKind::Missing &&
        FileStatus(fileName, false, link) && link.Kind == TFileKind::Link &&
        ResolveLinks(fileName, target))
        return named + "is a link to \"" + target +
               "\", which does not exist: it is read as empty and never written";
    try {
        const std::string bytes = ReadConfiguration(fileName);
        if (bytes.empty() && status.Kind == TFileKind::Regular) {
            readable = true;
            return named + "is empty: it names no database and no species, and is never "
                           "written (restore it, or remove it to have the template copied at "
                           "the next start)";
        }
        // UTF-16 (with its byte-order mark) or any NUL byte: the text is not in the single-byte
        // code page the file is read in, and a rewrite would mix two encodings.
        if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
            bytes.find('\0') != std::string::npos)
            return named +
                   "is no single-byte text (UTF-16?): it is read as empty and never written";
        readable = true;
        if (status.Kind == TFileKind::Regular && !IsWritable(fileName))
            return named + "is " + (errno == EROFS ? "on a read-only file system" : "read-only") +
                   ": changed settings are not saved";
    } catch (const EInOutError& error) {
        return error.message() + ": the configuration is read as empty and never written";
    }
    return {};
}

// Values are single-byte texts taken as bytes: no code-page conversion. A file that cannot be
// read gives every key its default; the store's problem says why.
TIniText Load(const std::string& fileName) {
    try {
        return TIniText(ReadConfiguration(fileName));
    } catch (const EInOutError&) {
        return TIniText();
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

bool IsSpeciesSection(const std::string& section) {
    return section.empty() || section.front() != '_';
}

TConfigStore::TConfigStore(std::string fileName)
    : fileName_(std::move(fileName)), problem_(ProblemOf(fileName_, readable_)) {
    TFileStatus status, link;
    exists_ = !FileStatus(fileName_, true, status) || status.Kind != TFileKind::Missing ||
              (FileStatus(fileName_, false, link) && link.Kind == TFileKind::Link);
    hadSpecies_ = readable_ && HasSpecies(Load(fileName_));
}

std::string TConfigStore::SpeciesProblem(const std::string& species) const {
    const std::vector<std::string> sections = ReadSections();
    if (IsSpeciesSection(species) &&
        std::find(sections.begin(), sections.end(), species) != sections.end())
        return {};
    if (!problem_.empty())
        return problem_;
    if (!exists_)
        return "The configuration file \"" + fileName_ + "\" does not exist";
    return "No species section \"" + species + "\" in \"" + fileName_ + "\"";
}

TConfigView TConfigStore::View() const {
    return TConfigView(readable_ ? Load(fileName_) : TIniText());
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

bool TConfigStore::Update(const std::function<void(TIniText&)>& edit,
                          const std::vector<TFileContent>& alongside) {
    if (!problem_.empty())
        return false;
    // Under the lock, so that a second window closing at the same moment reads this one's file
    // and not the one before it.
    const TFileLock lock(fileName_);
    TIniText ini(ReadConfiguration(fileName_));
    if (hadSpecies_ && !HasSpecies(ini))
        throw EInOutError("The configuration file \"" + fileName_ +
                          "\" has lost its species sections since the program read it: it is left "
                          "as it is");
    const std::string before = ini.Text();
    edit(ini);
    std::vector<TFileContent> files = alongside;
    if (ini.Text() != before)
        files.push_back({fileName_, ini.Text()});
    SaveFiles(files);
    return true;
}

void TConfigStore::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
    Update([&](TIniText& ini) { ini.SetValue(section, key, value); });
}

void TConfigStore::WriteInteger(const std::string& section, const std::string& key,
                                std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TConfigStore::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FloatToStr(value));
}

} // namespace zelt
