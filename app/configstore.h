#pragma once
// The configuration file zeltfit.ini, read and written one key at a time like the Windows
// profile-file service: every read sees the file as it is on disk now, and every write
// replaces the file at once, changing nothing in it but the one value (TIniText). Sections keep
// their file order, names are compared without regard to case, and values are taken as they stand
// (no lists, no escapes, no quotes).

#include "app/initext.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

// One reading of the configuration file: its keys typed as the program reads them.
class TConfigView {
public:
    explicit TConfigView(TIniText ini) : ini_(std::move(ini)) {}

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // Decimal, or hexadecimal after "0x"; a text that is not an integer gives `def`.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t def) const;
    // "." as decimal separator; an empty or unparseable text gives `def`.
    double ReadFloat(const std::string& section, const std::string& key, double def) const;
    // The section names in file order.
    std::vector<std::string> ReadSections() const;

private:
    TIniText ini_;
};

class TConfigStore {
public:
    explicit TConfigStore(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    // The file as it is on disk now; a missing file reads as empty, so every key takes its
    // default.
    TConfigView View() const;
    // One key each, as TConfigView reads it, from the file as it is on disk now.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t def) const;
    double ReadFloat(const std::string& section, const std::string& key, double def) const;
    std::vector<std::string> ReadSections() const;

    // Each write stores the key at once: the file is written beside itself and then renamed
    // over the old one, so a crash never leaves a half-written configuration. A file that
    // cannot be written raises EInOutError.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    // Written in the shortest general form: 1E15, 50000, 0.5.
    void WriteFloat(const std::string& section, const std::string& key, double value);

private:
    std::string fileName_;
};

} // namespace zelt
