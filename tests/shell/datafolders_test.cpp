// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/datafolders.h"
#include "shell/main.h"
#include "tests/shell/guitest.h"

#include <QCoreApplication>
#include <QDir>

namespace zelt {
namespace {

using test::TRecordingDialogs;
using test::TTestFolders;

TEST(DataFolders, FoldersOfThisSystem) {
    EXPECT_EQ(UserDataFolder(),
              qEnvironmentVariable("XDG_DATA_HOME").toStdString() + "/Zelt fit 1.0");
    EXPECT_EQ(UserConfigFile(), UserDataFolder() + "/zeltfit.ini");
    const std::vector<std::string> common = CommonDataFolders();
    ASSERT_GE(common.size(), 2u);
    EXPECT_EQ(common[0],
              (QCoreApplication::applicationDirPath() + "/../share/Zelt fit 1.0").toStdString());
    EXPECT_EQ(common[1], qEnvironmentVariable("XDG_DATA_DIRS").toStdString() + "/Zelt fit 1.0");
}

TEST(DataFolders, FirstRunCopiesTheTemplateOnce) {
    TTestFolders folders;
    const QString user = folders.Root() + "/home/share/Zelt fit 1.0";
    const QString common = folders.Root() + "/common";
    QDir().mkpath(common);
    TTestFolders::Write(common + "/zeltfit.ini", "[_Files]\r\nDatabase=x\r\n");
    const std::vector<std::string> commons = {(folders.Root() + "/empty").toStdString(),
                                              common.toStdString()};

    EXPECT_TRUE(CheckNecessaryFiles(user.toStdString(), commons));
    EXPECT_EQ(TTestFolders::Read(user + "/zeltfit.ini"), "[_Files]\r\nDatabase=x\r\n");

    // The user's own copy is never overwritten, and the common folder is then not needed.
    TTestFolders::Write(user + "/zeltfit.ini", "[Fe]\r\n");
    EXPECT_TRUE(CheckNecessaryFiles(user.toStdString(), commons));
    EXPECT_TRUE(CheckNecessaryFiles(user.toStdString(), {}));
    EXPECT_EQ(TTestFolders::Read(user + "/zeltfit.ini"), "[Fe]\r\n");
}

TEST(DataFolders, MissingFilesEndTheStartWithTheMessage) {
    TTestFolders folders;
    TRecordingDialogs dialogs;
    const std::string user = (folders.Root() + "/user-new").toStdString();
    EXPECT_FALSE(
        PassNecessaryFilesCheck(dialogs, user, {(folders.Root() + "/none").toStdString()}));
    ASSERT_EQ(dialogs.Messages.size(), 1);
    EXPECT_EQ(dialogs.Messages[0].toStdString(),
              "Necessary program files are missing. \\nProgram will be terminated.");
    EXPECT_FALSE(QDir(QString::fromStdString(user)).exists());

    // No user data location at all.
    EXPECT_FALSE(PassNecessaryFilesCheck(dialogs, "", {folders.Root().toStdString()}));
    EXPECT_EQ(dialogs.Messages.size(), 2);
}

TEST(DataFolders, BuildTreeHoldsTheConfiguredTemplate) {
    const QString share = QStringLiteral(ZELT_BINARY_DIR "/share/Zelt fit 1.0");
    const QByteArray ini = TTestFolders::Read(share + "/zeltfit.ini");
    EXPECT_TRUE(ini.contains("Database=" + share.toUtf8() + "\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Measurements=" + share.toUtf8() + "/measurements\n"));
    EXPECT_FALSE(ini.contains("@ZELT"));
    EXPECT_TRUE(QFile::exists(share + "/Ar_levels.txt"));
    EXPECT_TRUE(QFile::exists(share + "/Ar_I.txt"));
}

} // namespace
} // namespace zelt
