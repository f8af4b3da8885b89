// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The temporary files of the safe writer (TSafeFile): their names, the removal of those being
// written when the program is interrupted, and of those a killed program left behind.

#include <string>
#include <string_view>

namespace zelt {

// ".name.XXXXXXXX" beside the file `target`: hidden from listings, and with a random part that
// nobody can guess ahead, so that no one can have put a link or a file of their own there.
std::string TemporaryName(const std::string& target);
// Whether the file name `name` (no folder) has the form TemporaryName gives a file `targetName`.
bool IsTemporaryNameOf(std::string_view name, std::string_view targetName);

// A temporary file being written: named to the handler of RemoveTemporaryFilesOnInterrupt from
// construction to destruction (or Release). Up to 64 are named at once; the others are left to
// RemoveStaleTemporaryFiles.
class TLiveTemporary {
public:
    TLiveTemporary() = default;
    explicit TLiveTemporary(const std::string& fileName);
    TLiveTemporary(const TLiveTemporary&) = delete;
    TLiveTemporary& operator=(const TLiveTemporary&) = delete;
    TLiveTemporary(TLiveTemporary&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    TLiveTemporary& operator=(TLiveTemporary&& other) noexcept;
    ~TLiveTemporary() { Release(); }
    // The file is no longer the handler's to remove: it was renamed into place or removed.
    void Release() noexcept;

private:
    int slot_ = -1;
};

// On SIGINT, SIGTERM and SIGHUP (those not ignored): removes every live temporary file, then
// ends the program by the signal as it would have ended without the handler. For programs that
// would end by these signals anyway (zeltfit-cli, the window), not for a host such as Python
// that turns them into exceptions. Nothing on Windows, where the next save removes the files.
void RemoveTemporaryFilesOnInterrupt();

// Removes the temporary files of `target` beside it that a killed program left: regular files
// of the user's, of the form TemporaryName gives, unchanged for a minute and held by no writer
// (each writer keeps a lock on its file). The folder is looked through once per process.
void RemoveStaleTemporaryFiles(const std::string& target);

} // namespace zelt
