#include "shell/datafolders.h"

#include "common/textfile.h"

#include <QCoreApplication>
#include <QStandardPaths>

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

std::string UserDataFolder() {
    const QString location = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (location.isEmpty())
        return {};
    return JoinPath(location.toStdString(), DataFolderName);
}

std::vector<std::string> CommonDataFolders() {
    std::vector<std::string> folders;
    if (QCoreApplication::instance() != nullptr)
        folders.push_back(JoinPath(
            (QCoreApplication::applicationDirPath() + "/../share").toStdString(), DataFolderName));
    // The list begins with the per-user location, which is no common folder.
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& location :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (location != user)
            folders.push_back(JoinPath(location.toStdString(), DataFolderName));
    return folders;
}

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
