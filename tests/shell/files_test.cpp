// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/shell/windowtest.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMimeData>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

namespace zelt {
namespace {

using test::WindowTest;

class FilesTest : public WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig();
        for (const char* name : {"a.txt", "B.txt", "c.txt"})
            folders_.WriteMeasurement(name, test::FiveLines);
        folders_.WriteMeasurement("notes.dat", "x");
        Open();
    }
    QListWidget* FileList() { return Control<QListWidget>("FileListBox"); }
};

TEST_F(FilesTest, DialogReadSetsCaptionListPositionAndFolder) {
    EXPECT_EQ(FileList()->count(), 3); // the measurement folder at start, nothing selected
    EXPECT_EQ(FileList()->currentRow(), -1);
    Control<QTabWidget>("TablePageControl")->setCurrentIndex(2);

    const QString file = folders_.Measurements() + "/B.txt";
    ReadThroughDialog(file);
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(dialogs_.OpenFolders.value(0), folders_.Measurements());
    EXPECT_EQ(dialogs_.OpenPresets.value(0), "");
    EXPECT_EQ(Window().windowTitle(), "Zelt Fit - " + file);
    EXPECT_EQ(Control<QTabWidget>("TablePageControl")->currentIndex(), 0);
    EXPECT_EQ(ListItems("FileListBox"), (QStringList{"a.txt", "B.txt", "c.txt"}));
    EXPECT_EQ(FileList()->currentRow(), 1);
    EXPECT_EQ(Position(), "  File 2/3 in folder");
    EXPECT_EQ(Window().CurrentFile(), file);

    // The next dialog starts with the file read last; a cancel only refreshes the position.
    window_->ReadBtnClick(TMainForm::TSender::ReadBtn);
    EXPECT_EQ(dialogs_.OpenPresets.value(1), file);
    EXPECT_EQ(Grid()->rowCount(), 6);
    EXPECT_EQ(Position(), "  File 2/3 in folder");

    EXPECT_EQ(
        TConfigStore(folders_.ConfigFile().toStdString()).ReadString("_Files", "Measurements", ""),
        folders_.Measurements().toStdString());
}

TEST_F(FilesTest, NextFileWrapsAroundAndStartsAtTheFirst) {
    Window().NextFileClick();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/a.txt");
    EXPECT_EQ(Position(), "  File 1/3 in folder");
    Window().NextFileClick();
    Window().NextFileClick();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/c.txt");
    EXPECT_EQ(Position(), "  File 3/3 in folder");
    Window().NextFileClick();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/a.txt");
    EXPECT_EQ(Position(), "  File 1/3 in folder");
    EXPECT_EQ(Grid()->rowCount(), 6);
    EXPECT_TRUE(dialogs_.OpenFolders.isEmpty());
}

TEST_F(FilesTest, ClickKeysAndEnterInTheFileListRead) {
    Window().show();
    const auto click = [this](int row) {
        QTest::mouseClick(FileList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          FileList()->visualItemRect(FileList()->item(row)).center());
    };
    click(2);
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/c.txt");
    EXPECT_EQ(Position(), "  File 3/3 in folder");
    EXPECT_EQ(Grid()->rowCount(), 6);

    // A click on the selected file reads it again: an edited intensity is back to the file's.
    Window().CommitIntensity(1, "5");
    click(2);
    EXPECT_EQ(Window().App().Lines().Lines[0].Intensity, 1000);

    QTest::keyClick(FileList(), Qt::Key_Up);
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/B.txt");
    Window().CommitIntensity(1, "5");
    QTest::keyClick(FileList(), Qt::Key_Return);
    EXPECT_NE(Window().App().Lines().Lines[0].Intensity, 5);
    EXPECT_EQ(Window().App().Lines().Lines.size(), 5);

    // A selection the program sets reads nothing.
    FileList()->setCurrentRow(0);
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/B.txt");
    EXPECT_TRUE(dialogs_.OpenFolders.isEmpty());
}

TEST_F(FilesTest, SingleFileFolderShowsNoPosition) {
    QDir(folders_.Root()).mkpath("single");
    const QString only =
        test::TTestFolders::Write(folders_.Root() + "/single/only.txt", test::FiveLines);
    ReadThroughDialog(only);
    EXPECT_EQ(Position(), "");
    EXPECT_EQ(FileList()->count(), 1);
}

TEST_F(FilesTest, ReadErrorsKeepCaptionListAndPosition) {
    Window().NextFileClick();
    const QString caption = Window().windowTitle();
    const QString bad = folders_.WriteMeasurement("zz.txt", "Wavelength Intensity\r\n");
    ReadThroughDialog(bad);
    ASSERT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_EQ(Grid()->rowCount(), 1);
    EXPECT_EQ(Window().windowTitle(), caption);
    EXPECT_EQ(FileList()->count(), 3);
    EXPECT_EQ(Position(), "  File 1/3 in folder");

    ReadThroughDialog(folders_.Measurements() + "/missing.txt");
    EXPECT_EQ(dialogs_.Errors.size(), 2);

    // A wavelength not in the database stops the import with a message; the lines before it
    // are shown.
    ReadThroughDialog(folders_.WriteMeasurement("part.txt", "696.5431 1000\r\n727.2936 400\r\n"
                                                            "500.1 5\r\n772.4207 300\r\n"));
    EXPECT_EQ(dialogs_.Errors.size(), 2);
    ASSERT_EQ(dialogs_.Messages.size(), 1);
    EXPECT_EQ(Grid()->rowCount(), 3);
    EXPECT_NE(Row(2)[3], "");
}

// A file dropped on the window is read and its folder listed; a folder dropped is listed.
TEST_F(FilesTest, DroppedFilesAreReadAndDroppedFoldersListed) {
    const auto drop = [this](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &dropped);
    };
    QDir(folders_.Root()).mkpath("other");
    const QString other = folders_.Root() + "/other";
    test::TTestFolders::Write(other + "/x.txt", test::FiveLines);
    test::TTestFolders::Write(other + "/y.txt", test::FiveLines);
    drop(other + "/y.txt");
    EXPECT_EQ(Window().windowTitle(), "Zelt Fit - " + other + "/y.txt");
    EXPECT_EQ(Grid()->rowCount(), 6);
    EXPECT_EQ(ListItems("FileListBox"), (QStringList{"x.txt", "y.txt"}));
    EXPECT_EQ(Position(), "  File 2/2 in folder");

    drop(folders_.Measurements());
    EXPECT_EQ(ListItems("FileListBox"), (QStringList{"a.txt", "B.txt", "c.txt"}));
    EXPECT_EQ(FileList()->currentRow(), -1);
    Window().NextFileClick();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/a.txt");
}

// A read refused for a habit of another program says which one in the status bar, beside the
// reader's own error.
TEST_F(FilesTest, AFileThatFailsToReadSaysWhy) {
    const std::pair<QByteArray, QString> cases[] = {
        {"\xEF\xBB\xBF" + test::FiveLines,
         "The file begins with a UTF-8 byte order mark: save it as plain text without one."},
        {"696.5431 1000\r\n727,2936 400\r\n",
         "Line 2 has a decimal comma (\"727,2936\"): numbers take '.' as the decimal separator."},
        {"Wavelength Intensity\r\n" + test::FiveLines,
         "Line 1 is a header line (\"Wavelength Intensity\"): a measurement file holds only "
         "numbers, a wavelength and an intensity on each line."}};
    for (const auto& [content, cause] : cases) {
        ReadThroughDialog(folders_.WriteMeasurement("bad.txt", content));
        EXPECT_EQ(dialogs_.Errors.size(), 1u);
        EXPECT_EQ(Message(), cause);
        dialogs_.Errors.clear();
    }
}

} // namespace
} // namespace zelt
