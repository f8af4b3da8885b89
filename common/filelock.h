// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A lock that lets one process at a time read, change and write back a file.

#include "common/sysfile.h"

#include <chrono>
#include <string>

namespace zelt {

// An exclusive advisory lock of a file among the processes that take it, held from
// construction to destruction. It lies on the file "<name>.lock" beside the file (through its
// links, so every name of the file shares it), since the file itself is replaced by each save
// and could not carry a lock across. A lock held elsewhere is waited for up to `timeout`;
// then, or when the lock file cannot be made, EInOutError is raised.
class TFileLock {
public:
    explicit TFileLock(const std::string& fileName,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
    const std::string& LockFileName() const { return lockName_; }

private:
    std::string lockName_;
    TFileHandle file_;
};

} // namespace zelt
