// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/tempfolder.h"

#include "common/errors.h"
#include "common/sysfile.h"
#include "common/textfile.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace zelt {

#ifdef _WIN32

std::string UserTemporaryFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error)
        throw EInOutError("There is no temporary folder: " + error.message());
    return Utf8FromPath(folder);
}

#else

namespace {

bool IsFolder(const std::string& name, TFileStatus& status) {
    return !name.empty() && FileStatus(name, true, status) && status.Kind == TFileKind::Folder;
}

// The user's alone: owned by the user, and nobody else may add or rename entries in it.
bool IsPrivate(const TFileStatus& status) {
    return status.Kind == TFileKind::Folder && status.User == CurrentUser() &&
           (status.Mode & 022) == 0;
}

} // namespace

std::string UserTemporaryFolder() {
    std::string base = "/tmp";
    TFileStatus status;
    for (const char* variable : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && IsFolder(value, status)) {
            base = value;
            break;
        }
    }
    if (!IsFolder(base, status))
        throw EInOutError("There is no temporary folder: \"" + base + "\" is missing");
    if (IsPrivate(status))
        return base;
    const std::string own = JoinPath(base, "zeltfit-" + std::to_string(CurrentUser()));
    if (!MakeFolder(own, 0700) && errno != EEXIST)
        throw EInOutError("Cannot create folder \"" + own + "\": " + ErrorText(errno));
    if (!FileStatus(own, false, status))
        throw EInOutError("Cannot open folder \"" + own + "\": " + ErrorText(errno));
    if (!IsPrivate(status))
        throw EInOutError("The temporary folder \"" + own +
                          "\" is not the user's own: another user may write to it");
    return own;
}

#endif

} // namespace zelt
