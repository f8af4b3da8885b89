// SPDX-License-Identifier: GPL-3.0-or-later
// The system's data folders from the Windows shell, for a Windows build without Qt: the
// per-user and the all-users application-data folders (CSIDL_APPDATA and
// CSIDL_COMMON_APPDATA), after the share folder beside the executable's folder as elsewhere.

#include "app/datafolders.h"

#include "common/textfile.h"

#include <windows.h>

#include <shlobj.h>

#include <filesystem>

namespace zelt {

namespace {

// A known folder as the system names it, without creating it; empty when there is none.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)))
        folder = Utf8FromPath(path);
    CoTaskMemFree(path);
    return folder;
}

std::filesystem::path ExecutableFolder() {
    std::wstring name(MAX_PATH, L'\0');
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()))) ==
           name.size())
        name.resize(name.size() * 2);
    name.resize(length);
    return std::filesystem::path(name).parent_path();
}

} // namespace

std::string UserDataFolder() {
    const std::string location = KnownFolder(FOLDERID_RoamingAppData);
    return location.empty() ? std::string() : JoinPath(location, kDataFolderName);
}

std::vector<std::string> CommonDataFolders() {
    std::vector<std::string> folders = {
        JoinPath(Utf8FromPath(ExecutableFolder()) + "/../share", kDataFolderName)};
    const std::string common = KnownFolder(FOLDERID_ProgramData);
    if (!common.empty())
        folders.push_back(JoinPath(common, kDataFolderName));
    return folders;
}

} // namespace zelt
