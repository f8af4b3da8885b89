// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration file zeltfit.ini, read and written one key at a time like the Windows
// profile-file service: every read sees the file as it is on disk now, and every write
// replaces the file at once, changing nothing in it but the one value (TIniText). Sections keep
// their file order, names are compared without regard to case, and values are taken as they stand
// (no lists, no escapes, no quotes). A file that cannot be read, is no single-byte text or is
// read-only, and one that is empty or a link to nothing, is never written (Problem says why); every
// change is one locked read-modify-write that replaces the file whole (TSafeFile), so two windows
// closing at once lose nothing.

#include "app/initext.h"
#include "common/safefile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// A species is every section whose name does not begin with "_".
bool IsSpeciesSection(const std::string& section);

// One reading of the configuration file: its keys typed as the program reads them.
class TConfigView {
public:
    explicit TConfigView(TIniText ini) : ini_(std::move(ini)) {}

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // The value as it stands in the file; none when the key is missing.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const {
        return ini_.Value(section, key);
    }
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
    // Why the file is kept as it was found at the start, for the user to be told once; empty
    // when it may be written.
    const std::string& Problem() const { return problem_; }
    // False when the file is there but read as empty (unreadable, or no single-byte text).
    bool Readable() const { return readable_; }
    // False when there was no file (nor a link to one) at the store's start.
    bool Exists() const { return exists_; }
    // Why the configuration has no section `species`, or empty when it has: the store's problem
    // (an empty file, a dangling link, a folder), a missing file, or "No species section "NAME"
    // in "FILE"".
    std::string SpeciesProblem(const std::string& species) const;

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

    // Changes the file as it is on disk now by `edit`, under the lock, in one replacement; false
    // (nothing written) when the store has a problem. A file that cannot be written, or that has
    // lost the species sections it had at the store's start (another program emptied it), raises
    // EInOutError and stays as it was. The files `alongside` are written with the configuration
    // as one (SaveFiles): all of them and the configuration, or none.
    bool Update(const std::function<void(TIniText&)>& edit,
                const std::vector<TFileContent>& alongside = {});
    // Each write stores one key at once, by Update.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    // Written in the shortest general form: 1E15, 50000, 0.5.
    void WriteFloat(const std::string& section, const std::string& key, double value);

private:
    std::string fileName_;
    bool readable_ = true;
    bool exists_ = true;
    std::string problem_;
    bool hadSpecies_ = false;
};

} // namespace zelt
