// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a configuration shared with a second window, or broken before its start.
#include "tests/shell/windowtest.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zelt {
namespace {

using test::WindowTest;

// Two windows on one account: A sets the path, B the gas temperature; A closes, then B. Both
// changes stay.
TEST_F(WindowTest, TwoWindowsKeepEachOthersSettings) {
    folders_.WriteConfig("[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
    Open();
    TMainForm second(dialogs_, folders_.ConfigFile().toStdString());
    Control<QLineEdit>("PathEdit")->setText("0.070");
    second.findChild<QLineEdit*>("TnEdit")->setText("500");
    Window().close();
    second.close();
    const TConfigStore ini(folders_.ConfigFile().toStdString());
    EXPECT_EQ(ini.ReadString("_Parameters", "Path", ""), "0.07");
    EXPECT_EQ(ini.ReadString("_Parameters", "Tn", ""), "500");
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
}

// A configuration that is empty, a link to nothing or a folder: one message names it, and the
// close leaves it as it was.
TEST_F(WindowTest, ABrokenConfigurationIsNamedAndKept) {
    const std::string file = folders_.ConfigFile().toStdString();
    folders_.Write(folders_.ConfigFile(), "");
    Open();
    ASSERT_EQ(dialogs_.Messages.size(), 1);
    EXPECT_EQ(dialogs_.Messages[0].toStdString(),
              "File error: The configuration file \"" + file +
                  "\" is empty: it names no database and no species, and is never written "
                  "(restore it, or remove it to have the template copied at the next start)");
    Control<QLineEdit>("PathEdit")->setText("0.070");
    Window().close();
    EXPECT_EQ(QFile(folders_.ConfigFile()).size(), 0);

    QFile::remove(folders_.ConfigFile());
    ASSERT_TRUE(QFile::link(folders_.Root() + "/gone.ini", folders_.ConfigFile()));
    dialogs_.Messages.clear();
    Open();
    ASSERT_EQ(dialogs_.Messages.size(), 1);
    EXPECT_EQ(dialogs_.Messages[0].toStdString(),
              "File error: The configuration file \"" + file + "\" is a link to \"" +
                  folders_.Root().toStdString() +
                  "/gone.ini\", which does not exist: it is read as empty and never written");
    Window().close();
    EXPECT_FALSE(QFile::exists(folders_.Root() + "/gone.ini"));

    // A folder in its place is named as such, not as the root folder of an empty database.
    QFile::remove(folders_.ConfigFile());
    ASSERT_TRUE(QDir().mkpath(folders_.ConfigFile()));
    dialogs_.Messages.clear();
    Open();
    ASSERT_EQ(dialogs_.Messages.size(), 1);
    EXPECT_EQ(dialogs_.Messages[0].toStdString(),
              "File error: Cannot open file \"" + file +
                  "\": it is a folder: the configuration is read as empty and never written");
    Window().close();
    EXPECT_TRUE(QFileInfo(folders_.ConfigFile()).isDir());
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
}

} // namespace
} // namespace zelt
