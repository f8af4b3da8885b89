// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files written so that they survive. The new content goes to a fresh file beside the target,
// is flushed to the disk and renamed over the target in one step, the way SQLite and git commit
// their files: a full disk, a killed process or a second writer at the same moment leaves the
// old file or the new one, never a part of either.

#include "common/sysfile.h"
#include "common/tempfiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelt {

// What a save does with a symbolic link in the target's place.
enum class TLinkPolicy {
    // The file the link points to is replaced and the link stays: the user's own files.
    Follow,
    // The link itself is replaced and what it points to is never written: files in a folder
    // that others could have put the link into.
    Replace,
};

struct TSaveOptions {
    TLinkPolicy Links = TLinkPolicy::Follow;
    // The new file and its rename reach the disk before the save is done. Off only for scratch
    // files that are worth nothing after a crash.
    bool Sync = true;
};

struct TFileContent;

class TSafeFile {
public:
    TSafeFile() = default;
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;
    // A save not committed is dropped: the target stays as it was.
    ~TSafeFile() { Discard(); }

    // Starts a save of the file: a new temporary file with a name nobody else can have taken
    // is made in the target's folder (after the stale ones of a killed program are removed
    // there, RemoveStaleTemporaryFiles). An existing device or pipe (/dev/stdout) is written
    // into directly, as there is nothing to rename over it. A folder in the target's place, a
    // file the user may not write, a name too long for its folder, or a folder that takes no new
    // file raises EInOutError "Cannot create file "name": reason".
    void Open(const std::string& fileName, TSaveOptions options = {});
    // Appends the bytes; a failed write raises as Commit does.
    void Write(std::string_view bytes);
    // Everything of Commit but the rename: the new file is complete and on the disk beside the
    // target, which is still the old one. Raises as Commit does.
    void Finish();
    // Puts the written file in the target's place, with the mode and owner of the file it
    // replaces (a new file gets mode 0666 less the umask). A failure raises EInOutError
    // "Cannot write file "name": reason" (the system's text, "No space left on device"),
    // removes the temporary file and leaves the target as it was.
    void Commit();
    // Drops a save under way; nothing when none is.
    void Discard() noexcept;

    bool IsOpen() const { return file_.IsOpen(); }
    const std::string& FileName() const { return fileName_; }

private:
    friend void SaveFiles(const std::vector<TFileContent>& files, TSaveOptions options);
    // The steps of Commit after Finish: the rename over the target (false, with errno, when it
    // cannot be done) and the folder's flush to the disk.
    bool Rename();
    void SyncRename();
    void RequireOpen() const;
    void Flush();
    [[noreturn]] void RaiseCreate(int error);
    [[noreturn]] void RaiseWrite(int error);

    std::string fileName_;  // as the caller named it, for the messages
    std::string target_;    // the name that the new file takes
    std::string temporary_; // empty while writing straight into a device or pipe
    TSaveOptions options_;
    bool replaces_ = false; // an existing file is replaced: its mode and owner carry over
    bool finished_ = false; // Finish has run: only the rename is left
    TFileStatus replaced_;
    TFileHandle file_;
    TLiveTemporary live_; // the temporary file, for the handler of an interrupt
    std::string buffer_;
};

// Saves the whole content at once, as TSafeFile does.
void SaveFile(const std::string& fileName, std::string_view content, TSaveOptions options = {});

// One file of SaveFiles.
struct TFileContent {
    std::string FileName;
    std::string Content;
};

// Saves several files as one, such as a measurement file and the table beside it: each is
// written and flushed beside its target first (a name that cannot be made raises before any
// target is touched), then they are renamed into place in turn. When a rename fails, the files
// renamed before it are put back as they were (a file that was not there is removed again) and
// the error is raised, so that either every file is new or none is.
void SaveFiles(const std::vector<TFileContent>& files, TSaveOptions options = {});

} // namespace zelt
