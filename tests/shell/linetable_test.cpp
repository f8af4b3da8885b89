// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/shell/windowtest.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

namespace zelt {
namespace {

using test::WindowTest;

const QColor White(255, 255, 255), LightBlue(198, 226, 255);

class LineTableTest : public WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig();
        Open();
        ASSERT_TRUE(dialogs_.Messages.isEmpty());
    }
    // Editing prints nothing on standard error (an editor's commit sent to views that do not
    // own it did, once per fixed pane).
    void TearDown() override {
        EXPECT_TRUE(test::TQtWarnings::Collected().isEmpty())
            << test::TQtWarnings::Collected().join("\n").toStdString();
    }
    test::TQtWarnings warnings_;
};

TEST_F(LineTableTest, ReadFileShowsRowsBandsAndFractions) {
    ReadThroughDialog(folders_.WriteMeasurement("five.txt", test::FiveLines));
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    ASSERT_EQ(Grid()->rowCount(), 6);
    EXPECT_EQ(Row(1).join("|"), "696.5431|1000|0.3211|0.5713|0.0000|13.327856930|"
                                "3p5(1/2)4p - 2[1/2]_1|11.548354330|3p5(3/2)4s - 2[3/2]*_2");
    EXPECT_EQ(Row(5)[0], "738.398");
    EXPECT_EQ(Row(5)[1], "900");
    EXPECT_EQ(Row(4)[5], "13.302227360");
    EXPECT_EQ(Grid()->RowColours(),
              (QVector<QColor>{QColor(20, 20, 20), White, White, White, LightBlue, LightBlue}));

    // Fractions of one upper level add up to 1 and the chart holds one bar per line, coloured
    // by upper level, in wavelength order.
    const auto& lines = Window().App().Lines().Lines;
    EXPECT_NEAR(lines[0].BFMeasured + lines[1].BFMeasured + lines[2].BFMeasured, 1.0, 1e-12);
    const auto& bars = Chart()->Measured()->Bars();
    ASSERT_EQ(bars.size(), 5);
    EXPECT_DOUBLE_EQ(bars[0].Key, 696.5431);
    EXPECT_DOUBLE_EQ(bars[1].Key, 706.7218);
    EXPECT_EQ(bars[0].Colour, BarColour(lines[0].UpperLevel));
    EXPECT_EQ(bars[1].Colour, BarColour(lines[3].UpperLevel));
    EXPECT_NE(bars[0].Colour, bars[1].Colour);
    EXPECT_EQ(Chart()->Fitted()->dataCount(), 0); // nothing fitted yet
    EXPECT_EQ(Chart()->Free()->dataCount(), 5);
    EXPECT_DOUBLE_EQ(Chart()->Free()->data()->at(0)->value, lines[0].BFTheory);

    // Columns fit their widest text plus 10 pixels.
    const QFontMetrics metrics(Grid()->font());
    EXPECT_EQ(Grid()->columnWidth(6), metrics.horizontalAdvance("3p5(1/2)4p - 2[1/2]_1") + 10);
}

TEST_F(LineTableTest, BarPaletteByUpperLevel) {
    EXPECT_EQ(BarColour(0), QColor(255, 0, 0));
    EXPECT_EQ(BarColour(1), QColor(0, 128, 0));
    EXPECT_EQ(BarColour(4), QColor(255, 255, 255)); // shown by its outline
    EXPECT_EQ(BarColour(17), QColor(0, 128, 0));
    EXPECT_EQ(BarColour(15), QColor(0, 0, 0));
    EXPECT_EQ(BarColour(13), QColor(192, 192, 192));
}

TEST_F(LineTableTest, FewerThanTwoLinesShowNoFractions) {
    ReadThroughDialog(folders_.WriteMeasurement("one.txt", "696.5431 1000\r\n"));
    EXPECT_TRUE(dialogs_.Errors.isEmpty());
    ASSERT_EQ(Grid()->rowCount(), 2);
    EXPECT_EQ(Row(1).mid(0, 5).join("|"), "696.5431|1000|||");
    EXPECT_TRUE(Chart()->Measured()->Bars().isEmpty());

    Control<QPushButton>("Button4")->click();
    ASSERT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_EQ(dialogs_.Errors[0], "Not enough lines for Zelt method.");
    EXPECT_EQ(Row(1)[2], "");

    // A commit with one line stores the intensity, recomputes nothing and reports nothing.
    EXPECT_TRUE(Window().CommitIntensity(1, "250"));
    EXPECT_EQ(Window().App().Lines().Lines[0].Intensity, 250);
    EXPECT_EQ(dialogs_.Errors.size(), 1);
}

TEST_F(LineTableTest, EditedIntensityRecomputesTheFractions) {
    ReadThroughDialog(folders_.WriteMeasurement("five.txt", test::FiveLines));
    const QString before = Row(1)[3];

    EXPECT_FALSE(Window().CommitIntensity(2, "1,5"));
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 400);
    EXPECT_EQ(Row(1)[3], before);

    EXPECT_TRUE(Window().CommitIntensity(2, "1000"));
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 1000);
    EXPECT_EQ(Row(1)[3],
              "0.4207"); // 696.5431*1000 / (696.5431*1000 + 727.2936*1000 + 772.4207*300)
    EXPECT_TRUE(dialogs_.Errors.isEmpty());
}

TEST_F(LineTableTest, EditorKeepsTheUserInACellThatIsNoNumber) {
    ReadThroughDialog(folders_.WriteMeasurement("five.txt", test::FiveLines));
    Window().show();
    QApplication::setActiveWindow(&Window());
    TLineTable* grid = Grid();
    EXPECT_EQ(grid->item(1, 0)->flags() & Qt::ItemIsEditable, Qt::ItemFlags());
    EXPECT_EQ(grid->item(0, 1)->flags() & Qt::ItemIsEditable, Qt::ItemFlags());
    grid->setCurrentCell(2, 1);
    grid->editItem(grid->item(2, 1));
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);

    editor->setText("1,5");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(grid->Editing());
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 400);

    editor->setText("1000");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(grid->Editing());
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 1000);
    EXPECT_EQ(Row(2)[1], "1000");
    EXPECT_EQ(Row(1)[3], "0.4207");
}

TEST_F(LineTableTest, AClickElsewhereKeepsAnEditThatIsNoNumber) {
    ReadThroughDialog(folders_.WriteMeasurement("five.txt", test::FiveLines));
    Window().show();
    QApplication::setActiveWindow(&Window());
    TLineTable* grid = Grid();
    const QString before = Row(1)[3];
    const auto click = [grid](int row, int column) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->visualRect(grid->model()->index(row, column)).center());
        QApplication::processEvents();
    };
    grid->setCurrentCell(2, 1);
    grid->editItem(grid->item(2, 1));
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText("1,5");

    // Another intensity cell, a fraction cell, an arrow key: the user stays in the cell.
    for (int row : {4, 3}) {
        click(row, row == 4 ? 1 : 3);
        EXPECT_TRUE(grid->Editing()) << row;
        EXPECT_EQ(grid->currentRow(), 2);
        EXPECT_EQ(QApplication::focusWidget(), editor);
        EXPECT_EQ(editor->text(), "1,5");
    }
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_TRUE(grid->Editing());
    EXPECT_EQ(grid->currentRow(), 2);
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 400);
    EXPECT_EQ(Row(1)[3], before);

    // A number lets the click through: committed, and the other cell selected.
    editor->setText("1000");
    click(4, 1);
    EXPECT_FALSE(grid->Editing());
    EXPECT_EQ(grid->currentRow(), 4);
    EXPECT_EQ(Window().App().Lines().Lines[1].Intensity, 1000);
    EXPECT_EQ(Row(1)[3], "0.4207");
}

// A 29-line file scrolled to its end and right edge: the title row and the wavelength column
// stay where they were.
TEST_F(LineTableTest, TitleRowAndWavelengthColumnStayInPlace) {
    ReadThroughDialog(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt"));
    Window().resize(1024, 700);
    Window().show();
    TLineTable* grid = Grid();
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    QApplication::processEvents();
    ASSERT_GT(grid->rowAt(40), 5);
    ASSERT_GT(grid->columnAt(10), 0);

    const QImage image = grid->grab().toImage();
    const QPoint title(grid->viewport()->x() + grid->columnWidth(0) + 5, grid->viewport()->y() + 5);
    EXPECT_EQ(image.pixelColor(title), QColor(20, 20, 20));
    // What covers the scrolled cells: row 0 above them, column 0 of the same row beside them.
    const QPoint inTitle(grid->columnWidth(0) + 5, 5), inColumn(5, 40);
    bool titleShown = false, columnShown = false;
    for (const QTableView* pane : grid->findChildren<QTableView*>()) {
        const QModelIndex title = pane->indexAt(inTitle), wavelength = pane->indexAt(inColumn);
        if (pane->isVisible() && pane->geometry().contains(grid->viewport()->pos() + inTitle))
            titleShown =
                titleShown || (title.row() == 0 && title.column() == grid->columnAt(inTitle.x()));
        if (pane->isVisible() && pane->geometry().contains(grid->viewport()->pos() + inColumn))
            columnShown =
                columnShown || (wavelength.column() == 0 && wavelength.row() == grid->rowAt(40));
    }
    EXPECT_TRUE(titleShown);
    EXPECT_TRUE(columnShown);

    // A click there is a click on a fixed cell: the selection stays.
    grid->setCurrentCell(3, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, inTitle);
    EXPECT_EQ(grid->currentRow(), 3);
}

TEST_F(LineTableTest, EditBoxesAcceptOnlyPositiveNumbers) {
    auto* path = Control<TNumberEdit>("PathEdit");
    for (const char* text : {"0", "-2", "abc", "1,5", ""}) {
        path->setText(text);
        EXPECT_FALSE(path->HoldsPositiveNumber()) << text;
    }
    path->setText("2e-3");
    EXPECT_TRUE(path->HoldsPositiveNumber());
    auto* points = Control<TNumberEdit>("PointsDensityEdit");
    points->setText("1.5");
    EXPECT_FALSE(points->HoldsPositiveNumber());
    points->setText("12");
    EXPECT_TRUE(points->HoldsPositiveNumber());

    // Leaving the box with a refused text brings the focus back, the text unchanged.
    Window().show();
    QApplication::setActiveWindow(&Window());
    path->setText("-2");
    path->setFocus(Qt::OtherFocusReason);
    Control<QLineEdit>("TnEdit")->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), path);
    EXPECT_EQ(path->text(), "-2");
}

} // namespace
} // namespace zelt
