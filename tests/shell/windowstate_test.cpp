// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/shell/windowtest.h"
#include "widgets/contourplot.h"

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

namespace zelt {
namespace {

// What a command click does while a text it would not take waits in a cell or an edit box.
class WindowStateTest : public test::WindowTest {
protected:
    void SetUp() override {
        // A user whose locale writes decimal commas.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        folders_.WriteConfig();
        folders_.WriteMeasurement("other.txt", "696.5431 10\r\n727.2936 20\r\n");
        Open();
        ReadThroughDialog(folders_.WriteMeasurement("five.txt", test::FiveLines));
        Window().show();
        QApplication::setActiveWindow(&Window());
    }
    QString Memo() { return Control<QPlainTextEdit>("ReportsMemo")->toPlainText(); }
    QString Status() { return Message(); }
    void Click(const char* button) {
        QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton);
        QApplication::processEvents();
    }
    QLineEdit* EditIntensity(int row, const QString& text) {
        Grid()->setCurrentCell(row, 1);
        Grid()->editItem(Grid()->item(row, 1));
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        EXPECT_NE(editor, nullptr);
        if (editor != nullptr)
            editor->setText(text);
        return editor;
    }
};

TEST_F(WindowStateTest, ARefusedIntensityStopsCommandsAndFileReads) {
    QLineEdit* editor = EditIntensity(2, "1,5");
    ASSERT_NE(editor, nullptr);
    const QString why = "Intensity of 727.2936: \"1,5\" is not a number.";
    for (const char* button : {"MapBtn", "FitBtn", "Button4", "FitAllBtn", "NextBtn"}) {
        Click(button);
        EXPECT_EQ(Status(), why) << button;
        EXPECT_EQ(QApplication::focusWidget(), editor) << button;
    }
    auto* files = Control<QListWidget>("FileListBox");
    ASSERT_EQ(ListItems("FileListBox"), (QStringList{"five.txt", "other.txt"}));
    QTest::mouseClick(files->viewport(), Qt::LeftButton, Qt::NoModifier,
                      files->visualItemRect(files->item(1)).center());
    QApplication::processEvents();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/five.txt");
    EXPECT_EQ(files->currentRow(), 0);
    EXPECT_EQ(editor->text(), "1,5");
    EXPECT_EQ(Memo(), "");
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 400);

    // An accepted text still in the cell is committed before the command runs.
    editor->setText("1000");
    Window().RecalculateBF();
    EXPECT_FALSE(Grid()->Editing());
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 1000);
    EXPECT_EQ(Row(1)[3], "0.4207");
}

TEST_F(WindowStateTest, ARefusedEditBoxStopsTheCommand) {
    auto* path = Control<TNumberEdit>("PathEdit");
    for (const char* text : {"abc", "-0.05", "1e400"}) {
        path->setText(text);
        for (const char* button : {"MapBtn", "FitBtn"}) {
            Control<QPushButton>(button)->setFocus();
            Click(button);
            EXPECT_EQ(QApplication::focusWidget(), path) << text << button;
            EXPECT_TRUE(path->Marked()) << text;
            EXPECT_EQ(Status(), path->Complaint()) << text;
        }
    }
    EXPECT_EQ(Status(), "Absorption path (m): \"1e400\" is beyond the range of a real number.");
    EXPECT_EQ(Memo(), "");
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
}

// A click on a cell that cannot be edited, in another row, leaves nothing for typing to change.
TEST_F(WindowStateTest, TypingGoesOnlyIntoTheSelectedCell) {
    TLineTable* grid = Grid();
    grid->setFocus();
    grid->setCurrentCell(2, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid->visualRect(grid->model()->index(4, 3)).center());
    QTest::keyClicks(grid, "7");
    QApplication::processEvents();
    EXPECT_FALSE(grid->Editing());
    EXPECT_EQ(Row(2)[1], "400");
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 400);
    EXPECT_EQ(Row(4)[1], "500");
}

// Fitted fractions only while they belong to the table; a map names the file it was made of.
TEST_F(WindowStateTest, NoStalePictures) {
    Control<QLineEdit>("PointsDensityEdit")->setText("3");
    Control<QLineEdit>("PointsTempEdit")->setText("3");
    ASSERT_TRUE(Window().Fit().has_value()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(Chart()->Fitted()->dataCount(), 5);
    EXPECT_TRUE(Window().CommitIntensity(2, "1000"));
    EXPECT_EQ(Chart()->Fitted()->dataCount(), 0);
    EXPECT_EQ(Row(1)[4], "0.0000");

    auto* plot = Control<TContourPlot>("ContourPlot");
    EXPECT_EQ(plot->Caption(), "");
    Control<QLineEdit>("FromTempEdit")->setText("1000");
    Control<QLineEdit>("ToTempEdit")->setText("1500");
    Window().Iterate();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    plot->replot();
    EXPECT_TRUE(plot->yAxis->tickVectorLabels().contains("1200")) << "no group separator";
    EXPECT_FALSE(plot->xAxis->tickVectorLabels().join("").contains(','));
    EXPECT_TRUE(
        QRegularExpression("^five\\.txt, \\d\\d:\\d\\d:\\d\\d$").match(plot->Caption()).hasMatch())
        << plot->Caption().toStdString();
    ReadThroughDialog(folders_.Measurements() + "/other.txt");
    EXPECT_TRUE(plot->Caption().startsWith("five.txt, "));
    EXPECT_EQ(Chart()->Fitted()->dataCount(), 0);
}

TEST_F(WindowStateTest, ClosingAsksAboutAnUnsavedReport) {
    using TChoice = TDialogs::TUnsavedChoice;
    ASSERT_TRUE(Window().Fit().has_value());
    dialogs_.UnsavedAnswers = {TChoice::Cancel, TChoice::Save};
    Window().close();
    EXPECT_TRUE(Window().isVisible());
    ASSERT_EQ(dialogs_.Unsaved, QStringList{"The report has not been saved. Save before closing?"});

    const QString file = folders_.Root() + "/report.txt";
    dialogs_.SaveAnswers.append(file);
    Window().close();
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(QString::fromLatin1(test::TTestFolders::Read(file)).count("\r\n"),
              Memo().count('\n') + 1);
    EXPECT_EQ(dialogs_.Unsaved.size(), 2);
}

TEST_F(WindowStateTest, SaveFoldersLevelAndTickRememberedBesideTheConfiguration) {
    Control<QLineEdit>("PointsDensityEdit")->setText("3");
    Control<QLineEdit>("PointsTempEdit")->setText("3");
    Window().Iterate();
    dialogs_.SaveAnswers.append(folders_.Root() + "/m.txt");
    Window().SaveMapClick();
    Window().SaveMapClick();
    Window().Button1Click();
    EXPECT_EQ(dialogs_.SaveFolders, (QStringList{folders_.Measurements() + "/five_map.txt",
                                                 folders_.Root() + "/five_map.txt",
                                                 folders_.Measurements() + "/five_table.txt"}));
    Control<QComboBox>("RegionLevelBox")->setCurrentIndex(2);
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().show();
    Control<QToolButton>("LowerFoldBtn")->click();
    Window().close();
    EXPECT_FALSE(test::TTestFolders::Read(folders_.ConfigFile()).contains("Window"));

    Open();
    EXPECT_EQ(Control<QComboBox>("RegionLevelBox")->currentIndex(), 2);
    EXPECT_TRUE(Control<QCheckBox>("FitTempCheckBox")->isChecked());
    // The lower area folded away as it was left, the toggle saying so.
    Window().show();
    QApplication::processEvents();
    EXPECT_EQ(Control<QToolButton>("LowerFoldBtn")->text(), "▴ Settings");
    Control<QToolButton>("LowerFoldBtn")->click();
    EXPECT_GT(Control<QWidget>("ReportsMemo")->height(), 50);
}

TEST_F(WindowStateTest, ToolTipsShortcutsAndEnterInAGroup) {
    EXPECT_EQ(Control<QPushButton>("MapBtn")->toolTip(),
              "Computes the residual map over the density and temperature grid (Ctrl+M)");
    EXPECT_EQ(Control<QPushButton>("SaveButton")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(Control<QLineEdit>("PathEdit")->toolTip(),
              "Length of the absorbing column along the line of sight, in m; the optical depth "
              "grows with it; typically 0.001 to 1 m. A number above 0.");
    // Every edit box says what its value means, not its caption again.
    for (TNumberEdit* edit : Window().findChildren<TNumberEdit*>())
        EXPECT_FALSE(edit->toolTip().startsWith(
            QString::fromStdString(std::string(edit->Setting().Caption))))
            << edit->objectName().toStdString();
    auto* points = Control<QLineEdit>("PointsTempEdit");
    Control<QLineEdit>("PointsDensityEdit")->setText("3");
    points->setText("3");
    points->setFocus();
    QTest::keyClick(points, Qt::Key_Return);
    EXPECT_TRUE(Memo().startsWith("n_tot/m-3")) << Memo().toStdString();
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
}

} // namespace
} // namespace zelt
