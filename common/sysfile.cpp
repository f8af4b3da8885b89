// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/sysfile.h"

#include "common/paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zelt {

namespace {

// Links are followed at most this often, as the kernel does (its ELOOP limit).
constexpr int kMaxLinks = 40;

#ifdef _WIN32
std::wstring Native(const std::string& name) {
    return PathFromUtf8(name).wstring();
}

// The errno closest to the system error of a Windows call.
int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

TFileKind KindOfMode(unsigned mode) {
    if ((mode & _S_IFMT) == _S_IFREG)
        return TFileKind::Regular;
    return (mode & _S_IFMT) == _S_IFDIR ? TFileKind::Folder : TFileKind::Other;
}

void Fill(const struct _stat64& st, TFileStatus& status) {
    status.Kind = KindOfMode(st.st_mode);
    status.Mode = st.st_mode & 0777;
    status.Size = static_cast<std::uint64_t>(st.st_size);
    status.Modified = static_cast<std::int64_t>(st.st_mtime) * 1000000000;
    status.Device = static_cast<std::uint64_t>(st.st_dev);
    status.Identity = static_cast<std::uint64_t>(st.st_ino);
}
// One write(2)-like call: the bytes written, or -1 with errno set.
long long WriteSome(int fd, const char* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

#else
void Fill(const struct stat& st, TFileStatus& status) {
    if (S_ISREG(st.st_mode))
        status.Kind = TFileKind::Regular;
    else if (S_ISDIR(st.st_mode))
        status.Kind = TFileKind::Folder;
    else if (S_ISLNK(st.st_mode))
        status.Kind = TFileKind::Link;
    else
        status.Kind = TFileKind::Other;
    status.Mode = st.st_mode & 07777;
    status.User = st.st_uid;
    status.Group = st.st_gid;
    status.Size = static_cast<std::uint64_t>(st.st_size);
    status.Modified =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    status.Device = static_cast<std::uint64_t>(st.st_dev);
    status.Identity = static_cast<std::uint64_t>(st.st_ino);
}

// open(2), again when a signal interrupted it.
int OpenRetried(const std::string& name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// One write(2), again when a signal interrupted it: the bytes written, or -1 with errno set.
long long WriteSome(int fd, const char* data, std::size_t size) {
    ssize_t written;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    return written;
}

bool FsyncRetried(int fd) {
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

#endif

} // namespace

std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

bool TFileHandle::WriteAll(const char* data, std::size_t size) const {
    while (size > 0) {
        const long long written = WriteSome(fd_, data, size);
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(PathFromUtf8(folder), error), end;
         !error && entry != end; entry.increment(error))
        names.push_back(Utf8FromPath(entry->path().filename()));
    return !error;
}

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

#ifdef _WIN32

bool FileStatus(const std::string& fileName, bool, TFileStatus& status) {
    status = {};
    struct _stat64 st;
    if (_wstat64(Native(fileName).c_str(), &st) != 0)
        return errno == ENOENT;
    Fill(st, status);
    return true;
}

std::uint32_t CurrentUser() {
    return 0;
}

bool IsWritable(const std::string& fileName) {
    return _waccess(Native(fileName).c_str(), 2) == 0;
}

bool MakeFolder(const std::string& folder, std::uint32_t) {
    return _wmkdir(Native(folder).c_str()) == 0;
}

int TFileHandle::Close() {
    if (fd_ < 0)
        return 0;
    const int result = _close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

bool TFileHandle::OpenForReading(const std::string& fileName) {
    Close();
    fd_ = _wopen(Native(fileName).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    return fd_ >= 0;
}

bool TFileHandle::CreateNew(const std::string& fileName, std::uint32_t) {
    Close();
    fd_ = _wopen(Native(fileName).c_str(),
                 _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    return fd_ >= 0;
}

bool TFileHandle::OpenDevice(const std::string& fileName, bool) {
    Close();
    fd_ = _wopen(Native(fileName).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    return fd_ >= 0;
}

bool TFileHandle::OpenLockFile(const std::string& fileName) {
    Close();
    fd_ = _wopen(Native(fileName).c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
    return fd_ >= 0;
}

bool TFileHandle::Status(TFileStatus& status) const {
    status = {};
    struct _stat64 st;
    if (_fstat64(fd_, &st) != 0)
        return false;
    Fill(st, status);
    return true;
}

long long TFileHandle::Read(char* buffer, std::size_t size) const {
    return _read(fd_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

bool TFileHandle::Sync() const {
    return _commit(fd_) == 0;
}

bool TFileHandle::Adopt(const TFileStatus&) const {
    return true;
}

bool TFileHandle::TryLock() const {
    OVERLAPPED whole = {};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &whole))
        return true;
    errno = EWOULDBLOCK;
    return false;
}

bool NameTooLong(const std::string& fileName) {
    // NTFS and FAT take 255 UTF-16 units in a name.
    if (Native(fileName.substr(NameStart(fileName))).size() <= 255)
        return false;
    errno = ENAMETOOLONG;
    return true;
}

bool MakeLink(const std::string& fileName, const std::string& link) {
    if (CreateHardLinkW(Native(link).c_str(), Native(fileName).c_str(), nullptr))
        return true;
    errno = ErrnoOf(GetLastError());
    return false;
}

bool RenameOver(const std::string& from, const std::string& to) {
    if (MoveFileExW(Native(from).c_str(), Native(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = ErrnoOf(GetLastError());
    return false;
}

void RemoveFile(const std::string& fileName) {
    _wunlink(Native(fileName).c_str());
}

bool SyncFolder(const std::string&) {
    return true;
}

bool ResolveLinks(const std::string& fileName, std::string& resolved) {
    resolved = fileName;
    return true;
}

#else

bool FileStatus(const std::string& fileName, bool followLinks, TFileStatus& status) {
    status = {};
    struct stat st;
    const int result = followLinks ? ::stat(fileName.c_str(), &st) : ::lstat(fileName.c_str(), &st);
    if (result != 0)
        return errno == ENOENT;
    Fill(st, status);
    return true;
}

std::uint32_t CurrentUser() {
    return ::geteuid();
}

bool IsWritable(const std::string& fileName) {
    return ::faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) == 0;
}

bool MakeFolder(const std::string& folder, std::uint32_t mode) {
    return ::mkdir(folder.c_str(), static_cast<mode_t>(mode)) == 0;
}

int TFileHandle::Close() {
    if (fd_ < 0)
        return 0;
    // The descriptor is gone even when close fails (Linux, also on EINTR): it is never retried.
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

bool TFileHandle::OpenForReading(const std::string& fileName) {
    Close();
    fd_ = OpenRetried(fileName, O_RDONLY | O_NONBLOCK);
    return fd_ >= 0;
}

bool TFileHandle::CreateNew(const std::string& fileName, std::uint32_t mode) {
    Close();
    fd_ = OpenRetried(fileName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    return fd_ >= 0;
}

bool TFileHandle::OpenDevice(const std::string& fileName, bool followLinks) {
    Close();
    fd_ = OpenRetried(fileName, O_WRONLY | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    if (fd_ < 0)
        return false;
    // Only the open must not wait; the writes may, as on any pipe.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        Close();
        errno = error;
        return false;
    }
    return true;
}

bool TFileHandle::OpenLockFile(const std::string& fileName) {
    Close();
    fd_ = OpenRetried(fileName, O_RDWR | O_NOFOLLOW | O_NONBLOCK);
    if (fd_ < 0 && errno == EISDIR)
        fd_ = OpenRetried(fileName, O_RDONLY | O_DIRECTORY);
    return fd_ >= 0;
}

bool TFileHandle::Status(TFileStatus& status) const {
    status = {};
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        return false;
    Fill(st, status);
    return true;
}

long long TFileHandle::Read(char* buffer, std::size_t size) const {
    ssize_t got;
    do {
        got = ::read(fd_, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool TFileHandle::Sync() const {
    return FsyncRetried(fd_);
}

bool TFileHandle::Adopt(const TFileStatus& owner) const {
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        return false;
    // The owner first: a change of owner clears the set-id bits that the mode then restores.
    if (st.st_uid != owner.User || st.st_gid != owner.Group) {
        if (::fchown(fd_, owner.User, owner.Group) != 0 &&
            ::fchown(fd_, static_cast<uid_t>(-1), owner.Group) != 0) {
            // Not ours to give away, nor a group of ours: the file is the user's now.
        }
    }
    return ::fchmod(fd_, static_cast<mode_t>(owner.Mode)) == 0;
}

bool TFileHandle::TryLock() const {
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool NameTooLong(const std::string& fileName) {
    const long longest = ::pathconf(FolderOfFile(fileName).c_str(), _PC_NAME_MAX);
    const std::size_t length = fileName.size() - NameStart(fileName);
    if (length <= static_cast<std::size_t>(longest > 0 ? longest : NAME_MAX))
        return false;
    errno = ENAMETOOLONG;
    return true;
}

bool MakeLink(const std::string& fileName, const std::string& link) {
    return ::link(fileName.c_str(), link.c_str()) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& fileName) {
    ::unlink(fileName.c_str());
}

bool SyncFolder(const std::string& folder) {
    const int fd = OpenRetried(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = FsyncRetried(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    // Some file systems cannot flush a folder; they have nothing to say about the rename then.
    return synced || error == EINVAL || error == EROFS;
}

bool ResolveLinks(const std::string& fileName, std::string& resolved) {
    TFileStatus status;
    if (!FileStatus(fileName, true, status))
        return false;
    if (status.Kind != TFileKind::Missing) {
        char* real = ::realpath(fileName.c_str(), nullptr);
        if (real == nullptr)
            return false;
        resolved = real;
        std::free(real);
        return true;
    }
    // A dangling link: the name it points to, through any further links, is created.
    std::string current = fileName;
    for (int i = 0; i < kMaxLinks; ++i) {
        if (!FileStatus(current, false, status))
            return false;
        if (status.Kind != TFileKind::Link) {
            resolved = current;
            return true;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0)
            return false;
        target.resize(static_cast<std::size_t>(length));
        current = target.front() == '/' ? target : FolderOfFile(current) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

#endif

} // namespace zelt
