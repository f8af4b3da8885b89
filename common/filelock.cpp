// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/filelock.h"

#include "common/errors.h"
#include "common/paths.h"

#include <cerrno>
#include <thread>

namespace zelt {

namespace {

// How often a lock held by another process is tried again.
constexpr std::chrono::milliseconds kRetry(10);

#ifndef _WIN32
bool SameFile(const TFileStatus& a, const TFileStatus& b) {
    return a.Device == b.Device && a.Identity == b.Identity;
}
#endif

} // namespace

TFileLock::TFileLock(const std::string& fileName, std::chrono::milliseconds timeout) {
    std::string target;
    if (!ResolveLinks(fileName, target))
        target = fileName;
#ifdef _WIN32
    const std::string lockName = target + ".lock";
#endif
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
#ifdef _WIN32
        const bool folder = false;
        if (!file_.OpenLockFile(lockName))
            throw EInOutError("Cannot create file \"" + lockName + "\": " + ErrorText(errno));
#else
        TFileStatus named;
        if (!FileStatus(target, false, named))
            throw EInOutError("Cannot lock file \"" + target + "\": " + ErrorText(errno));
        const bool folder = named.Kind == TFileKind::Missing;
        const std::string lockName = folder ? FolderOfFile(target) : target;
        if (!file_.OpenLockFile(lockName))
            throw EInOutError("Cannot lock file \"" + target + "\": " + ErrorText(errno));
#endif
        if (file_.TryLock()) {
#ifndef _WIN32
            // The lock counts only on the file that has the name now: a save may have put a new
            // file there, or a first one where there was none, while this one waited.
            TFileStatus locked, now;
            if (!file_.Status(locked) || !FileStatus(target, false, now) ||
                (folder ? now.Kind != TFileKind::Missing : !SameFile(locked, now))) {
                file_.Close();
                continue;
            }
#endif
            return;
        }
        if (errno != EWOULDBLOCK && errno != EAGAIN) {
            // A folder that takes no lock (on NFS only files opened for writing do) is passed
            // over: the first save of the file is not guarded.
            if (folder)
                return;
            throw EInOutError("Cannot lock file \"" + target + "\": " + ErrorText(errno));
        }
        if (std::chrono::steady_clock::now() >= deadline)
            throw EInOutError("Cannot lock file \"" + target + "\": another program holds it");
        file_.Close();
        std::this_thread::sleep_for(kRetry);
    }
}

} // namespace zelt
