// SPDX-License-Identifier: GPL-3.0-or-later
// "Add species…": the dialog previews what an import of ASD exports keeps and leaves out, and the
// species it adds appears in the element list, loaded. Renders the dialog over the window on a
// small and a large screen into build/screenshots.

#include "shell/addspeciesdialog.h"
#include "tests/shell/windowtest.h"
#include "tests/textinput/asdfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QTimer>

namespace zelt {
namespace {

using test::TTestFolders;
using test::WindowTest;

class AddSpeciesWindowTest : public WindowTest {
protected:
    void SetUp() override {
        database_ = folders_.Root() + "/db";
        QDir().mkpath(database_);
        TTestFolders::Write(folders_.ConfigFile(), "[_Files]\r\nDatabase=" + database_.toUtf8() +
                                                       "\r\n[_Parameters]\r\nTn=400\r\n");
        lines_ = TTestFolders::Write(folders_.Root() + "/kr-lines.csv",
                                     QByteArray::fromStdString(test::kKrLines));
        levels_ = TTestFolders::Write(folders_.Root() + "/kr-levels.csv",
                                      QByteArray::fromStdString(test::kKrExcitedLevels));
    }
    // Runs `fill` on the dialog once it is shown by "Add species…".
    void WithDialog(const std::function<void(TAddSpeciesDialog&)>& fill) {
        QTimer::singleShot(0, [fill] {
            auto* dialog = qobject_cast<TAddSpeciesDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        Control<QPushButton>("AddSpeciesBtn")->click();
    }
    static void Fill(TAddSpeciesDialog& dialog, const QString& lines, const QString& levels) {
        dialog.findChild<QLineEdit*>("SpeciesNameEdit")->setText("Kr I");
        dialog.findChild<QLineEdit*>("LinesExportEdit")->setText(lines);
        dialog.findChild<QLineEdit*>("LevelsExportEdit")->setText(levels);
    }
    void Screenshot(TAddSpeciesDialog& dialog, QSize screen) {
        Window().resize(screen);
        dialog.resize(std::min(960, screen.width() * 9 / 10),
                      std::min(680, screen.height() * 9 / 10));
        QApplication::processEvents();
        QPixmap image = Window().grab();
        QPainter painter(&image);
        painter.drawPixmap((image.width() - dialog.width()) / 2,
                           (image.height() - dialog.height()) / 2, dialog.grab());
        painter.end();
        const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        EXPECT_TRUE(image.save(folder + QStringLiteral("/zeltfit-add-species-%1x%2.png")
                                            .arg(screen.width())
                                            .arg(screen.height())));
    }

    QString database_, lines_, levels_;
};

TEST_F(AddSpeciesWindowTest, PreviewThenTheSpeciesIsInTheList) {
    Open();
    Window().show();
    WithDialog([&](TAddSpeciesDialog& dialog) {
        Fill(dialog, lines_, levels_);
        const QString notes = dialog.findChild<QLabel*>("SpeciesPreviewNotes")->text();
        EXPECT_TRUE(notes.startsWith("Lines: 6 kept, 2 left out (1 with no A value, 1 with no "
                                     "energy of its upper level); wavelengths in air.\nLevels: "
                                     "5 kept;"))
            << notes.toStdString();
        auto* lines = dialog.findChild<QTableWidget*>("SpeciesPreviewLines");
        ASSERT_EQ(lines->rowCount(), 8);
        EXPECT_EQ(lines->item(1, 5)->text(), "kept (Ritz wavelength)");
        EXPECT_EQ(lines->item(6, 5)->text(), "left out: no A value");
        for (const QSize size : {QSize(1024, 700), QSize(1680, 1000)})
            Screenshot(dialog, size);
        EXPECT_TRUE(QDir(database_).isEmpty());
        dialog.findChild<QPushButton*>("AddSpeciesButton")->click();
    });
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(Control<QComboBox>("ElementListBox")->currentText(), "Kr I");
    const QStringList levels = ListItems("LevelsBox");
    ASSERT_EQ(levels.size(), 6);
    EXPECT_EQ(levels[2],
              "   1   4p5.(2P*<3/2>).5s      2[3/2]* 10.03242500         1.0           3");
}

TEST_F(AddSpeciesWindowTest, ARefusalIsShownAndNothingIsWritten) {
    const QString bad = TTestFolders::Write(
        folders_.Root() + "/bad.csv",
        QByteArray::fromStdString(test::kKrLines).replace("Aki(s^-1)", "gA(s^-1)"));
    Open();
    const QByteArray ini = TTestFolders::Read(folders_.ConfigFile());
    WithDialog([&](TAddSpeciesDialog& dialog) {
        Fill(dialog, bad, levels_);
        EXPECT_EQ(
            dialog.findChild<QLabel*>("SpeciesPreviewNotes")->text(),
            "File \"" + bad +
                "\", line 1: the column \"Aki(s^-1)\" is missing; the lines "
                "export needs the transition probabilities (\"Transition strengths\": A_ki in "
                "s^-1)");
        EXPECT_FALSE(dialog.findChild<QPushButton*>("AddSpeciesButton")->isEnabled());
    });
    EXPECT_EQ(Control<QComboBox>("ElementListBox")->count(), 0);
    EXPECT_TRUE(QDir(database_).isEmpty());
    EXPECT_EQ(TTestFolders::Read(folders_.ConfigFile()), ini);
}

} // namespace
} // namespace zelt
