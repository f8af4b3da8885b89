// SPDX-License-Identifier: GPL-3.0-or-later
// Saving a plot's image: its size and resolution asked first and remembered, the file written
// at that size.

#include "shell/imagesizedialog.h"
#include "tests/shell/windowtest.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

namespace zelt {
namespace {

using test::WindowTest;
using TPreset = TImageChoice::TPreset;

// Opens the context menu of `plot` and picks `action` from it; the texts of the menu's entries.
QStringList PickFromMenu(QWidget& plot, const QString& action) {
    QStringList entries;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* entry : menu->actions())
            entries.append(entry->text());
        menu->close();
        for (QAction* entry : menu->actions())
            if (entry->text() == action)
                entry->trigger();
    });
    emit plot.customContextMenuRequested(QPoint(20, 20));
    return entries;
}

TEST_F(WindowTest, SaveImageAsksItsSizeAndResolution) {
    folders_.WriteConfig();
    Open();
    ReadThroughDialog(folders_.WriteMeasurement("argon.txt", test::FiveLines));
    Window().resize(1024, 700);
    Window().show();
    QApplication::processEvents();
    TZeltChart& chart = *Chart();
    const QSize onScreen = chart.size();

    // One journal column: 85 mm at 300 dpi, the screen's aspect ratio kept between 0.75 and
    // 0.8 (the chart is wider than that), marked with 300 dpi.
    dialogs_.ImageAnswers.append({TPreset::OneColumn, {}, true, 300});
    const QString png = folders_.Root() + "/chart.png";
    dialogs_.SaveAnswers.append(png);
    EXPECT_EQ(PickFromMenu(chart, QStringLiteral("Save image…")),
              QStringList({"Save image…", "Copy image"}));
    EXPECT_EQ(dialogs_.ImageScreens, QList<QSize>({onScreen}));
    EXPECT_EQ(dialogs_.ImageChoicesShown.at(0).Preset, TPreset::Screen);
    const QImage column(png);
    EXPECT_EQ(column.width(), 1004);
    const double aspect =
        std::clamp(static_cast<double>(onScreen.height()) / onScreen.width(), 0.75, 0.8);
    EXPECT_LT(static_cast<double>(onScreen.height()) / onScreen.width(), 0.75);
    EXPECT_EQ(column.height(), std::lround(85.0 * aspect / 25.4 * 300));
    EXPECT_EQ(column.dotsPerMeterX(), 11811);
    EXPECT_EQ(column.dotsPerMeterY(), 11811);

    // 800 x 600 pixels at 150 dpi: a PDF page of 384 x 288 points, and an SVG.
    dialogs_.ImageAnswers.append({TPreset::Custom, {800, 600}, false, 150});
    dialogs_.SaveAnswers.append(folders_.Root() + "/chart.pdf");
    PickFromMenu(chart, QStringLiteral("Save image…"));
    EXPECT_EQ(dialogs_.ImageChoicesShown.at(1).Preset, TPreset::OneColumn);
    const QByteArray pdf = test::TTestFolders::Read(folders_.Root() + "/chart.pdf");
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(QString::fromLatin1(pdf).contains(
        QRegularExpression(R"(/MediaBox \[0 0 384(\.0+)? 288(\.0+)?\])")));
    dialogs_.ImageAnswers.append({TPreset::Custom, {800, 600}, false, 150});
    dialogs_.SaveAnswers.append(folders_.Root() + "/chart.svg");
    PickFromMenu(chart, QStringLiteral("Save image…"));
    EXPECT_TRUE(test::TTestFolders::Read(folders_.Root() + "/chart.svg").contains("<svg"));
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();

    // The next session starts from the last choice; a cancelled size asks for no file.
    Window().close();
    Open();
    const qsizetype saveQuestions = dialogs_.SaveFolders.size();
    PickFromMenu(*Chart(), QStringLiteral("Save image…"));
    const TImageChoice last = dialogs_.ImageChoicesShown.last();
    EXPECT_EQ(last.Preset, TPreset::Custom);
    EXPECT_EQ(last.Size, QSizeF(800, 600));
    EXPECT_FALSE(last.Millimetres);
    EXPECT_EQ(last.DotsPerInch, 150);
    EXPECT_EQ(dialogs_.SaveFolders.size(), saveQuestions);
}

// The dialog shows what a preset makes; an edit of its size makes it the user's own.
TEST(ImageSizeDialog, PresetsAndEdits) {
    TImageSizeDialog dialog({}, QSize(400, 300));
    auto* preset = dialog.findChild<QComboBox*>();
    const QList<QDoubleSpinBox*> boxes = dialog.findChildren<QDoubleSpinBox*>();
    ASSERT_EQ(boxes.size(), 2);
    QLabel* result = nullptr;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->text().contains("pixels"))
            result = label;
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->text(), "400 × 300 pixels, 105.8 × 79.4 mm");
    dialog.findChild<QSpinBox*>()->setValue(300);
    EXPECT_EQ(dialog.Choice().Preset, TPreset::Screen);
    EXPECT_EQ(result->text(), "1250 × 938 pixels, 105.8 × 79.4 mm");

    preset->setCurrentIndex(static_cast<int>(TPreset::TwoColumns));
    EXPECT_EQ(boxes[0]->value(), 170);
    EXPECT_EQ(result->text(), "2008 × 1506 pixels, 170.0 × 127.5 mm");
    boxes[1]->setValue(100);
    EXPECT_EQ(dialog.Choice().Preset, TPreset::Custom);
    EXPECT_EQ(result->text(), "2008 × 1181 pixels, 170.0 × 100.0 mm");
}

} // namespace
} // namespace zelt
