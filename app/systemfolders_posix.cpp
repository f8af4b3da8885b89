// SPDX-License-Identifier: GPL-3.0-or-later
// The system's data folders on Linux and other POSIX systems, by the XDG Base Directory rules:
// the user's folder is $XDG_DATA_HOME (else $HOME/.local/share), the common ones are the
// folders of $XDG_DATA_DIRS (else /usr/local/share and /usr/share). Relative paths in those
// variables are ignored, as the rules ask.

#include "app/datafolders.h"

#include "common/textfile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace zelt {

namespace {

namespace fs = std::filesystem;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The path without "." and ".." steps and without a trailing "/".
std::string Clean(const std::string& path) {
    std::string clean = fs::path(path).lexically_normal().generic_string();
    while (clean.size() > 1 && clean.back() == '/')
        clean.pop_back();
    return clean;
}

std::string GenericDataHome() {
    const std::string home = Environment("XDG_DATA_HOME");
    if (!home.empty() && fs::path(home).is_absolute())
        return Clean(home);
    const std::string user = Environment("HOME");
    return Clean((user.empty() ? std::string("/") : user) + "/.local/share");
}

std::vector<std::string> GenericDataDirs() {
    std::vector<std::string> folders;
    const std::string list = Environment("XDG_DATA_DIRS");
    for (std::size_t begin = 0; begin <= list.size();) {
        std::size_t end = list.find(':', begin);
        if (end == std::string::npos)
            end = list.size();
        const std::string folder = list.substr(begin, end - begin);
        if (fs::path(folder).is_absolute() &&
            std::find(folders.begin(), folders.end(), Clean(folder)) == folders.end())
            folders.push_back(Clean(folder));
        begin = end + 1;
    }
    if (folders.empty())
        folders = {"/usr/local/share", "/usr/share"};
    return folders;
}

// The folder of the running program; empty where the system does not say.
std::string ExecutableFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : Utf8FromPath(program.parent_path());
}

} // namespace

std::string UserDataFolder() {
    return JoinPath(GenericDataHome(), kDataFolderName);
}

std::vector<std::string> CommonDataFolders() {
    std::vector<std::string> folders;
    const std::string program = ExecutableFolder();
    if (!program.empty())
        folders.push_back(JoinPath(program + "/../share", kDataFolderName));
    const std::string user = GenericDataHome();
    for (const std::string& folder : GenericDataDirs())
        if (folder != user)
            folders.push_back(JoinPath(folder, kDataFolderName));
    return folders;
}

} // namespace zelt
