// SPDX-License-Identifier: GPL-3.0-or-later
// The message strip and its log, the position in the folder after every read, the refusals of
// an intensity that is no number, and the fold's shortcut.

#include "shell/regionoverlay.h"
#include "tests/shell/windowtest.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace zelt {
namespace {

class MessagesTest : public test::WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig("[_Iteration]\r\nFromDensity=1E16\r\nToDensity=1E17\r\n"
                             "DensityPoints=8\r\nFromTemperature=1000\r\nToTemperature=2000\r\n"
                             "TemperaturePoints=8\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
        folders_.WriteMeasurement("a.txt", test::FiveLines);
        folders_.WriteMeasurement("b.txt", test::FiveLines);
        Open();
        Window().resize(1024, 700);
        Window().show();
        QApplication::setActiveWindow(&Window());
    }
    void TearDown() override {
        EXPECT_TRUE(test::TQtWarnings::Collected().isEmpty())
            << test::TQtWarnings::Collected().join("\n").toStdString();
    }
    void Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &dropped);
    }
    static QString Demo(const char* name) {
        return QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/") + name;
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
    // Whether panel 0 shows its text: no message of the status bar lies over it.
    bool PositionShown() {
        return Control<QLabel>("PositionPanel")->isVisible() &&
               Window().statusBar()->currentMessage().isEmpty();
    }
    test::TQtWarnings warnings_;
};

// A message of an earlier command never stands over panel 0 nor beside a later read.
TEST_F(MessagesTest, EveryReadShowsThePositionAndClearsTheMessagesBefore) {
    const QString raw = folders_.WriteMeasurement("c.txt", "Wavelength Intensity\r\n1 2\r\n");
    ReadThroughDialog(folders_.Measurements() + "/a.txt");
    EXPECT_EQ(Position(), "  File 1/3 in folder");
    ReadThroughDialog(raw);
    EXPECT_EQ(Message(),
              "Line 1 is a header line (\"Wavelength Intensity\"): a measurement file holds only "
              "numbers, a wavelength and an intensity on each line.");
    EXPECT_EQ(Window().Messages().LogRow(Window().Messages().LogCount() - 1).value(2), "c.txt");
    EXPECT_TRUE(PositionShown());

    Drop(folders_.Measurements() + "/b.txt");
    EXPECT_EQ(Message(), "");
    EXPECT_EQ(Position(), "  File 2/3 in folder");
    EXPECT_TRUE(PositionShown());

    Window().Messages().Show(TMessageArea::TKind::Note, "Map cancelled: the previous map stays.");
    Window().NextFileClick();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/c.txt");
    EXPECT_EQ(Position(), "  File 2/3 in folder"); // the failed read keeps the last position
    Window().NextFileClick();
    EXPECT_EQ(Window().CurrentFile(), folders_.Measurements() + "/a.txt");
    EXPECT_EQ(Message(), "");
    EXPECT_EQ(Position(), "  File 1/3 in folder");
    EXPECT_TRUE(PositionShown());
}

// A fit's "To quote" line stands in the strip with its file and time, and in the log; the log
// opens from the strip and keeps every message of the session; the next command clears the
// strip, not the log.
TEST_F(MessagesTest, TheFitsLineToQuoteStandsInTheStripAndTheLog) {
    ReadThroughDialog(Demo("argon_5e16.txt"));
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    ASSERT_TRUE(Window().Fit().has_value()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_TRUE(Message().startsWith("To quote: n_1 = ")) << Message().toStdString();
    EXPECT_TRUE(Window().Messages().toolTip().startsWith("argon_5e16.txt: To quote: n_1 = "));
    const int logged = Window().Messages().LogCount();
    const QStringList row = Window().Messages().LogRow(logged - 1);
    EXPECT_TRUE(QTime::fromString(row[0], "HH:mm:ss").isValid()) << row[0].toStdString();
    EXPECT_EQ(row.mid(1), (QStringList{Message(), "argon_5e16.txt"}));

    auto* log = Control<QDockWidget>("MessageLog");
    EXPECT_FALSE(log->isVisible());
    Control<QToolButton>("MessageLogBtn")->click();
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(Control<QToolButton>("MessageLogBtn")->text(),
              QStringLiteral("Messages (%1)").arg(logged));

    Window().RecalculateBF();
    EXPECT_EQ(Message(), "");
    EXPECT_EQ(Window().Messages().LogCount(), logged);
    // On the small screen the strip lies inside the window, across its width.
    auto* strip = Control<QWidget>("MessageArea");
    const QRect at(strip->mapTo(&Window(), QPoint()), strip->size());
    EXPECT_TRUE(Window().rect().contains(at));
    EXPECT_GE(strip->width(), 1000);
}

// Enter, Tab, a click on another cell and a click on a command each keep the user in a cell whose
// text is no number, and each says why, naming the line edited.
TEST_F(MessagesTest, EveryRefusalOfAnIntensitySaysWhy) {
    ReadThroughDialog(folders_.Measurements() + "/a.txt");
    QLineEdit* editor = EditIntensity(2, "1,5");
    ASSERT_NE(editor, nullptr);
    const QString why = "Intensity of 727.2936: \"1,5\" is not a number.";
    const auto refused = [&](const char* how) {
        QApplication::processEvents();
        EXPECT_EQ(Message(), why) << how;
        EXPECT_EQ(Window().Messages().Kind(), TMessageArea::TKind::Refusal) << how;
        EXPECT_TRUE(Grid()->Editing()) << how;
        Window().Messages().Clear();
    };
    QTest::keyClick(editor, Qt::Key_Return);
    refused("Enter");
    QTest::keyClick(editor, Qt::Key_Tab);
    refused("Tab");
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      Grid()->visualRect(Grid()->model()->index(4, 1)).center());
    refused("click on a cell");
    for (const char* button : {"MapBtn", "FitBtn"}) {
        QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton);
        refused(button);
    }
    EXPECT_EQ(Control<QPlainTextEdit>("ReportsMemo")->toPlainText(), "");

    // The complaint names the line of the cell being edited, wherever the current cell went.
    {
        const QSignalBlocker blocker(Grid()->selectionModel());
        Grid()->selectionModel()->setCurrentIndex(Grid()->model()->index(4, 1),
                                                  QItemSelectionModel::NoUpdate);
    }
    EXPECT_EQ(Grid()->EditComplaint(), why);
    // The cell being edited is framed.
    const QImage picture = editor->grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, picture.height() / 2), QColor(0, 80, 200));
}

// Ctrl+L stays the fold's shortcut whatever its text, as its tool tip says.
TEST_F(MessagesTest, CtrlLFoldsTheSettings) {
    auto* fold = Control<QToolButton>("LowerFoldBtn");
    EXPECT_EQ(fold->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_TRUE(fold->toolTip().endsWith("(Ctrl+L)"));
    fold->click();
    EXPECT_EQ(fold->text(), "▴ Settings");
    EXPECT_TRUE(Control<QWidget>("MapBtn")->visibleRegion().isEmpty());
    EXPECT_EQ(fold->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    fold->click();
    EXPECT_EQ(fold->text(), "▾ Settings");
    EXPECT_EQ(fold->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_FALSE(Control<QWidget>("MapBtn")->visibleRegion().isEmpty());
}

// Another file read takes the fit's ellipse and the region's extent away; the map and its
// outline stay, named by the map's caption.
TEST_F(MessagesTest, AReadTakesTheOldFitsPicturesAway) {
    ReadThroughDialog(Demo("argon_5e16.txt"));
    Window().Iterate();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    ASSERT_TRUE(Window().Fit().has_value()) << dialogs_.Errors.join("|").toStdString();
    auto* overlay = Control<TRegionOverlay>("RegionOverlay");
    EXPECT_NE(overlay->EllipseCurve(), nullptr);
    EXPECT_NE(overlay->FitPointCurve(), nullptr);
    EXPECT_NE(overlay->StatusText(), "");
    const std::size_t outlines = overlay->OutlineCurves().size();

    ReadThroughDialog(Demo("argon_2e17.txt"));
    EXPECT_EQ(overlay->EllipseCurve(), nullptr);
    EXPECT_EQ(overlay->FitPointCurve(), nullptr);
    EXPECT_EQ(overlay->StatusText(), "");
    EXPECT_EQ(overlay->OutlineCurves().size(), outlines);
    EXPECT_EQ(Message(), "");
    // A level chosen again shows no extent of the other file's map either.
    Control<QComboBox>("RegionLevelBox")->setCurrentIndex(2);
    EXPECT_EQ(overlay->StatusText(), "");
}

} // namespace
} // namespace zelt
