// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/filelock.h"

#include "common/errors.h"

#include <cerrno>
#include <thread>

namespace zelt {

namespace {

// How often a lock held by another process is tried again.
constexpr std::chrono::milliseconds kRetry(10);

} // namespace

TFileLock::TFileLock(const std::string& fileName, std::chrono::milliseconds timeout) {
    std::string target;
    if (!ResolveLinks(fileName, target))
        target = fileName;
    lockName_ = target + ".lock";
    if (!file_.OpenLockFile(lockName_))
        throw EInOutError("Cannot create file \"" + lockName_ + "\": " + ErrorText(errno));
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!file_.TryLock()) {
        if (errno != EWOULDBLOCK && errno != EAGAIN)
            throw EInOutError("Cannot lock file \"" + lockName_ + "\": " + ErrorText(errno));
        if (std::chrono::steady_clock::now() >= deadline)
            throw EInOutError("Cannot lock file \"" + lockName_ + "\": another program holds it");
        std::this_thread::sleep_for(kRetry);
    }
}

} // namespace zelt
