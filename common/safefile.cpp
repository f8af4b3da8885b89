// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/safefile.h"

#include "common/errors.h"
#include "common/paths.h"

#include <algorithm>
#include <cerrno>
#include <memory>

namespace zelt {

namespace {

// Bytes collected before they go to the file.
constexpr std::size_t kBufferSize = 1 << 16;
// Fresh names tried before a folder full of our temporary files is given up.
constexpr int kNameAttempts = 100;
// The error codes of the messages, as the runtime gives them: access denied, file not open.
constexpr int kAccessDenied = 5;
constexpr int kFileNotOpen = 103;

} // namespace

void TSafeFile::Open(const std::string& fileName, TSaveOptions options) {
    Discard();
    fileName_ = fileName;
    options_ = options;
    target_.clear();
    replaces_ = false;
    const bool follow = options.Links == TLinkPolicy::Follow;
    TFileStatus status;
    if (!FileStatus(fileName, follow, status))
        RaiseCreate(errno);
    if (status.Kind == TFileKind::Folder)
        throw EInOutError("Cannot create file \"" + fileName + "\": it is a folder", kAccessDenied);
    if (status.Kind == TFileKind::Other) {
        if (!file_.OpenDevice(fileName, follow))
            RaiseCreate(errno);
        return;
    }
    if (NameTooLong(fileName))
        RaiseCreate(errno);
    // A read-only file says: keep me. Renaming over it would only need the folder's consent.
    // (The reason is the system's: a file system mounted read-only is no missing permission.)
    if (status.Kind == TFileKind::Regular && !IsWritable(fileName))
        RaiseCreate(errno);
    target_ = fileName;
    if (follow && !ResolveLinks(fileName, target_))
        RaiseCreate(errno);
    replaces_ = status.Kind == TFileKind::Regular;
    replaced_ = status;
    RemoveStaleTemporaryFiles(target_);
    // A file that replaces another starts private and takes the old file's mode at the end, so
    // a private file's new content is never readable by others on the way.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary_ = TemporaryName(target_);
        // Named to the interrupt's handler before it is made, so that no moment is left between.
        live_ = TLiveTemporary(temporary_);
        if (file_.CreateNew(temporary_, replaces_ ? 0600 : 0666)) {
            // Held to the end, so that no other program takes the file for one left behind.
            file_.TryLock();
            return;
        }
        live_.Release();
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    temporary_.clear();
    RaiseCreate(error);
}

void TSafeFile::RequireOpen() const {
    if (!IsOpen())
        throw EInOutError("File \"" + fileName_ + "\" is not open for writing", kFileNotOpen);
}

void TSafeFile::Flush() {
    if (!file_.WriteAll(buffer_.data(), buffer_.size()))
        RaiseWrite(errno);
    buffer_.clear();
}

void TSafeFile::Write(std::string_view bytes) {
    RequireOpen();
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferSize)
        Flush();
}

void TSafeFile::Finish() {
    RequireOpen();
    Flush();
    if (!temporary_.empty()) {
        if (replaces_ && !file_.Adopt(replaced_))
            RaiseWrite(errno);
        if (options_.Sync && !file_.Sync())
            RaiseWrite(errno);
    }
    if (const int error = file_.Close())
        RaiseWrite(error);
    finished_ = true;
}

bool TSafeFile::Rename() {
    if (temporary_.empty())
        return true;
    if (!RenameOver(temporary_, target_))
        return false;
    temporary_.clear();
    live_.Release();
    return true;
}

void TSafeFile::SyncRename() {
    // The new file is in place now; a folder that cannot be flushed may lose the rename in a
    // crash, which the user is told about even though the file reads as new. (A device or pipe
    // has no target: nothing was renamed.)
    if (!target_.empty() && options_.Sync && !SyncFolder(FolderOfFile(target_)))
        RaiseWrite(errno);
}

void TSafeFile::Commit() {
    if (!finished_)
        Finish();
    finished_ = false;
    if (!Rename())
        RaiseWrite(errno);
    SyncRename();
}

void TSafeFile::Discard() noexcept {
    finished_ = false;
    file_.Close();
    if (!temporary_.empty())
        RemoveFile(temporary_);
    live_.Release();
    temporary_.clear();
    buffer_.clear();
}

void TSafeFile::RaiseCreate(int error) {
    Discard();
    throw EInOutError("Cannot create file \"" + fileName_ + "\": " + ErrorText(error),
                      kAccessDenied);
}

void TSafeFile::RaiseWrite(int error) {
    Discard();
    throw EInOutError("Cannot write file \"" + fileName_ + "\": " + ErrorText(error),
                      kAccessDenied);
}

void SaveFile(const std::string& fileName, std::string_view content, TSaveOptions options) {
    TSafeFile file;
    file.Open(fileName, options);
    file.Write(content);
    file.Commit();
}

void SaveFiles(const std::vector<TFileContent>& files, TSaveOptions options) {
    // Every file complete beside its target before any target is touched: a name that cannot be
    // made or a full disk leaves every target as it was.
    std::vector<std::unique_ptr<TSafeFile>> saves;
    for (const TFileContent& file : files) {
        saves.push_back(std::make_unique<TSafeFile>());
        saves.back()->Open(file.FileName, options);
        saves.back()->Write(file.Content);
        saves.back()->Finish();
    }
    // Each file that replaces another keeps the old one under a second name until all are in
    // place. Where the file system has no such names (no hard links), or where the second name
    // could not be removed again (a file of another user's in a folder with the sticky bit),
    // the file goes last, where no failure after it needs its old content back.
    struct TPlacing {
        TSafeFile* File;
        std::string Backup;
        TLiveTemporary Live;
    };
    std::vector<TPlacing> order;
    for (const auto& save : saves) {
        TPlacing placing{save.get(), {}, {}};
        if (save->replaces_ && !save->temporary_.empty() && save->replaced_.User == CurrentUser()) {
            placing.Backup = TemporaryName(save->target_);
            if (MakeLink(save->target_, placing.Backup))
                placing.Live = TLiveTemporary(placing.Backup);
            else
                placing.Backup.clear();
        }
        order.push_back(std::move(placing));
    }
    std::stable_partition(order.begin(), order.end(), [](const TPlacing& placing) {
        return !placing.File->replaces_ || !placing.Backup.empty();
    });
    const auto removeBackups = [&] {
        for (TPlacing& placing : order)
            if (!placing.Backup.empty())
                RemoveFile(placing.Backup);
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i].File->Rename())
            continue;
        const int error = errno;
        for (std::size_t j = i; j-- > 0;) {
            TSafeFile& placed = *order[j].File;
            if (!order[j].Backup.empty() && RenameOver(order[j].Backup, placed.target_))
                order[j].Backup.clear();
            else if (!placed.replaces_)
                RemoveFile(placed.target_);
        }
        removeBackups();
        order[i].File->RaiseWrite(error);
    }
    removeBackups();
    for (const auto& save : saves)
        save->SyncRename();
}

} // namespace zelt
