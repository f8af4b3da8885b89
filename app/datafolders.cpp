// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/datafolders.h"

#include "common/textfile.h"

#include <filesystem>

namespace zelt {

namespace {

namespace fs = std::filesystem;

bool AllPresent(const std::string& folder, const std::vector<std::string>& files) {
    std::error_code error;
    for (const std::string& file : files)
        if (!fs::is_regular_file(PathFromUtf8(JoinPath(folder, file)), error))
            return false;
    return true;
}

} // namespace

std::string UserConfigFile() {
    return JoinPath(UserDataFolder(), "zeltfit.ini");
}

std::vector<std::string> NecessaryFiles() {
    return {"zeltfit.ini"};
}

bool CheckNecessaryFiles(const std::string& userFolder,
                         const std::vector<std::string>& commonFolders) {
    const std::vector<std::string> files = NecessaryFiles();
    if (userFolder.empty())
        return false;
    if (AllPresent(userFolder, files))
        return true;
    const std::string* source = nullptr;
    for (const std::string& folder : commonFolders)
        if (AllPresent(folder, files)) {
            source = &folder;
            break;
        }
    if (source == nullptr)
        return false;
    std::error_code error;
    fs::create_directories(PathFromUtf8(userFolder), error);
    for (const std::string& file : files)
        fs::copy_file(PathFromUtf8(JoinPath(*source, file)),
                      PathFromUtf8(JoinPath(userFolder, file)), fs::copy_options::skip_existing,
                      error);
    return true;
}

bool CheckNecessaryFiles() {
    return CheckNecessaryFiles(UserDataFolder(), CommonDataFolders());
}

} // namespace zelt
