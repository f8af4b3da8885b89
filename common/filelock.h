// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A lock that lets one process at a time read, change and write back a file.

#include "common/sysfile.h"

#include <chrono>
#include <string>

namespace zelt {

// An exclusive advisory lock of a file among the processes that take it, held from
// construction to destruction, through the file's links so that every name of it shares it.
//
// The lock lies on the file itself, so that no lock file is left that another user could own.
// Each save replaces the file by a new one, so a lock taken on a file that a save has since
// replaced is taken again on the new one; while the file is missing, its folder is locked
// instead (where the file system allows, else nothing). On Windows, where a file held open
// cannot be renamed over, the lock lies on the file "<name>.lock" beside it.
//
// A lock held elsewhere is waited for up to `timeout`; then, or when the file cannot be opened
// for it, EInOutError is raised.
class TFileLock {
public:
    explicit TFileLock(const std::string& fileName,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    TFileHandle file_;
};

} // namespace zelt
