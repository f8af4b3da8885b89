// The system's data folders from Qt: its generic data locations are the XDG folders on Linux.

#include "shell/datafolders.h"

#include "common/textfile.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace zelt {

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

} // namespace zelt
