// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry of the window program: the necessary-files check, then the main window.

#include "app/datafolders.h"
#include "common/tempfiles.h"
#include "shell/dialogs.h"
#include "shell/main.h"

#include <QApplication>

#include <clocale>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Qt takes the user's locale for the C library too; numbers are read and written with "."
    // whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Zelt Fit"));

    zelt::RemoveTemporaryFilesOnInterrupt();
    zelt::TBoxDialogs dialogs;
    if (!zelt::PassNecessaryFilesCheck(dialogs, zelt::UserDataFolder(), zelt::CommonDataFolders()))
        return 0;

    zelt::TMainForm window(dialogs, zelt::UserConfigFile());
    dialogs.SetParent(&window);
    window.showMaximized();
    return QApplication::exec();
}
