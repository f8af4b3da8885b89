// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/safefile.h"

#include "common/errors.h"
#include "common/paths.h"

#include <cerrno>
#include <random>

namespace zelt {

namespace {

// Bytes collected before they go to the file.
constexpr std::size_t kBufferSize = 1 << 16;
// Fresh names tried before a folder full of our temporary files is given up.
constexpr int kNameAttempts = 100;
// Bytes of the target's name kept in the temporary file's name, so that the temporary name
// stays within the 255 bytes a file name may have.
constexpr std::size_t kNameBytes = 200;
// The error codes of the messages, as the runtime gives them: access denied, file not open.
constexpr int kAccessDenied = 5;
constexpr int kFileNotOpen = 103;

} // namespace

std::string TemporaryName(const std::string& target) {
    // Drawn afresh from the system for each name: a generator's state would be copied into
    // every child process, which would then all try the same names.
    std::random_device device;
    std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) | device();
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix(8, '0');
    for (char& c : suffix) {
        c = kDigits[bits % (sizeof kDigits - 1)];
        bits /= sizeof kDigits - 1;
    }
    const std::size_t start = NameStart(target);
    return target.substr(0, start) + "." + target.substr(start, kNameBytes) + "." + suffix;
}

void TSafeFile::Open(const std::string& fileName, TSaveOptions options) {
    Discard();
    fileName_ = fileName;
    options_ = options;
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
    // A read-only file says: keep me. Renaming over it would only need the folder's consent.
    if (status.Kind == TFileKind::Regular && !IsWritable(fileName))
        RaiseCreate(EACCES);
    target_ = fileName;
    if (follow && !ResolveLinks(fileName, target_))
        RaiseCreate(errno);
    replaces_ = status.Kind == TFileKind::Regular;
    replaced_ = status;
    // A file that replaces another starts private and takes the old file's mode at the end, so
    // a private file's new content is never readable by others on the way.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary_ = TemporaryName(target_);
        if (file_.CreateNew(temporary_, replaces_ ? 0600 : 0666))
            return;
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

void TSafeFile::Commit() {
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
    if (temporary_.empty())
        return;
    if (!RenameOver(temporary_, target_))
        RaiseWrite(errno);
    temporary_.clear();
    // The new file is in place now; a folder that cannot be flushed may lose the rename in a
    // crash, which the user is told about even though the file reads as new.
    if (options_.Sync && !SyncFolder(FolderOfFile(target_)))
        RaiseWrite(errno);
}

void TSafeFile::Discard() noexcept {
    file_.Close();
    if (!temporary_.empty())
        RemoveFile(temporary_);
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

} // namespace zelt
