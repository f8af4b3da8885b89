// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's file descriptors for the readers, the safe writer and the configuration lock: the
// one place that knows what POSIX and Windows do differently. Names are UTF-8 texts; failures
// return false or -1 and leave the reason in errno.

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

// The text of a system error number, as strerror gives it ("No space left on device").
std::string ErrorText(int error);

// What a name of the file system stands for.
enum class TFileKind { Missing, Regular, Folder, Link, Other };

// The kind, mode bits, owner, size and identity of a file.
struct TFileStatus {
    TFileKind Kind = TFileKind::Missing;
    std::uint32_t Mode = 0; // the permission bits, with set-id and sticky bits
    std::uint32_t User = 0, Group = 0;
    std::uint64_t Size = 0;
    std::int64_t Modified = 0;              // the last change of its content, ns since 1970
    std::uint64_t Device = 0, Identity = 0; // the file system and the file in it (the inode)
};

// The status of the named entry; a link is followed unless `followLinks` is false (the kind is
// Link only then). A missing entry is a status of kind Missing; a look-up that fails for
// another reason returns false.
bool FileStatus(const std::string& fileName, bool followLinks, TFileStatus& status);

// The user the program runs as (0 on Windows, where files have no owner number).
std::uint32_t CurrentUser();
// Makes a folder with these mode bits (reduced by the umask); false when it exists already.
bool MakeFolder(const std::string& folder, std::uint32_t mode);

// An open file descriptor, closed when the object goes.
class TFileHandle {
public:
    TFileHandle() = default;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    TFileHandle(TFileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    ~TFileHandle() { Close(); }

    bool IsOpen() const { return fd_ >= 0; }
    int Get() const { return fd_; }
    // Closes the descriptor and returns 0, or the errno of a failed close (NFS reports failed
    // writes only there).
    int Close();

    // An existing file for reading. A FIFO is opened without waiting for a writer, so the caller
    // can refuse it instead of hanging.
    bool OpenForReading(const std::string& fileName);
    // A new file that must not exist yet, not even as a dangling link: a name nobody else can
    // have prepared. `mode` is reduced by the umask as usual.
    bool CreateNew(const std::string& fileName, std::uint32_t mode);
    // An existing device or pipe for writing, following links or not; a FIFO without a reader
    // fails at once (ENXIO) rather than waiting for one.
    bool OpenDevice(const std::string& fileName, bool followLinks);
    // A file to take an advisory lock on (TryLock): on Windows a lock file, created when
    // missing; elsewhere an existing file, opened for writing as NFS locks only such files, or
    // a folder.
    bool OpenLockFile(const std::string& fileName);

    bool Status(TFileStatus& status) const;
    // Reads at most `size` bytes; the number read, 0 at the end, -1 on failure.
    long long Read(char* buffer, std::size_t size) const;
    bool WriteAll(const char* data, std::size_t size) const;
    // Flushes the file's data to the disk.
    bool Sync() const;
    // Gives the file these mode bits and owner. Without the right to give it away, the file
    // keeps at least the owner's group where the user is a member of it; that part of the owner
    // is best effort, the mode is not.
    bool Adopt(const TFileStatus& owner) const;
    // An exclusive advisory lock of the whole file; false when another process holds it.
    bool TryLock() const;

private:
    int fd_ = -1;
};

// Whether the user may write to the existing file (the effective user, as open would decide);
// errno says why not (EACCES, or EROFS on a file system mounted read-only).
bool IsWritable(const std::string& fileName);

// The names of the entries of a folder, "." and ".." left out; false when it cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>& names);

// Whether the last part of the name is longer than its folder's file system takes (errno is then
// ENAMETOOLONG), so that a save can refuse it before it writes anything.
bool NameTooLong(const std::string& fileName);
// A second name `link` for the existing file `fileName` (a hard link); false where the file
// system has none.
bool MakeLink(const std::string& fileName, const std::string& link);

// Renames `from` over `to` in one step: the name `to` always names the old or the new file.
bool RenameOver(const std::string& from, const std::string& to);
// Removes a file; failures are ignored (it is only ever a temporary file of our own).
void RemoveFile(const std::string& fileName);
// Flushes the entries of a folder to the disk, so a rename in it survives a crash. Systems that
// cannot do this for a folder count as done.
bool SyncFolder(const std::string& folder);
// The final name of an existing file with every link resolved, or for a name that is a
// dangling link the name it points to at last; a plain missing name stays as it is.
bool ResolveLinks(const std::string& fileName, std::string& resolved);

} // namespace zelt
