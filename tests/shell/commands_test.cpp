// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/region.h"
#include "shell/messagearea.h"
#include "shell/regionoverlay.h"
#include "tests/shell/windowtest.h"
#include "widgets/contourplot.h"

#include "app/commands.h"
#include "app/configstore.h"
#include "app/tables.h"
#include "common/codepage.h"
#include "common/format.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPolygonF>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

namespace zelt {
namespace {

using test::WindowTest;

const QByteArray Settings = "[_Iteration]\r\nFromDensity=1E15\r\nToDensity=1E17\r\n"
                            "DensityPoints=2\r\nFromTemperature=1000\r\nToTemperature=3000\r\n"
                            "TemperaturePoints=2\r\n[_Fit]\r\nFromDensity=1E16\r\n"
                            "FromTemperature=1000\r\nCount=50\r\n[_Parameters]\r\nTn=400\r\n"
                            "Path=0.05\r\n";

class CommandsTest : public WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig(Settings);
        Open();
        ReadThroughDialog(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt"));
        ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    }
    QStringList MemoLines() {
        return Control<QPlainTextEdit>("ReportsMemo")->toPlainText().split('\n');
    }
    TContourPlot* Plot() { return Control<TContourPlot>("ContourPlot"); }
    TRegionOverlay* Overlay() { return Control<TRegionOverlay>("RegionOverlay"); }
    // The map's grid: density and temperature ranges, `points` points along each.
    void SetGrid(const char* fromDensity, const char* toDensity, const char* fromTemperature,
                 const char* toTemperature, const char* points) {
        Control<QLineEdit>("FromDensityEdit")->setText(fromDensity);
        Control<QLineEdit>("ToDensityEdit")->setText(toDensity);
        Control<QLineEdit>("PointsDensityEdit")->setText(points);
        Control<QLineEdit>("FromTempEdit")->setText(fromTemperature);
        Control<QLineEdit>("ToTempEdit")->setText(toTemperature);
        Control<QLineEdit>("PointsTempEdit")->setText(points);
    }
    static QPolygonF Polygon(const QCPCurve* curve) {
        QPolygonF polygon;
        for (const QCPCurveData& point : *curve->data())
            polygon << QPointF(point.key, point.value);
        return polygon;
    }
    double Z(double x, double y) { return Window().ContourPlotEstimateZVal(x, y); }
};

TEST_F(CommandsTest, MapFillsMemoPlotAndTable) {
    EXPECT_EQ(Z(15, 1000), -1); // no map yet
    Control<QPushButton>("MapBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const QStringList memo = MemoLines();
    ASSERT_EQ(memo.size(), 2);
    EXPECT_TRUE(memo[0].startsWith("n_tot/m-3 ±u(n_tot)    n_1/m-3   ±u(n_1)"))
        << memo[0].toStdString();
    EXPECT_TRUE(memo[1].endsWith(" argon_5e16.txt  map")) << memo[1].toStdString();

    const auto shown = Window().App().ShownMap().Grid();
    const auto& map = *shown;
    ASSERT_EQ(map.size(), 2);
    ASSERT_EQ(map[0].size(), 2);
    double low = map[0][0], high = map[0][0];
    for (const auto& row : map)
        for (double v : row) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    EXPECT_EQ(Plot()->LowIso(), low);
    EXPECT_EQ(Plot()->HighIso(), high);
    EXPECT_EQ(Plot()->ScaleRange().lower, low);
    EXPECT_EQ(Plot()->ScaleRange().upper, high);
    // The scale shows exactly the range the colours span.
    EXPECT_EQ(Plot()->ColourScale()->axis()->range(), QCPRange(low, high));
    EXPECT_EQ(Plot()->ColourRange(), QCPRange(low, high));

    // Grid columns at log10 density 15 and 16, rows at 1000 K and 2000 K.
    EXPECT_EQ(Z(15, 1000), map[0][0]);
    EXPECT_EQ(Z(15.5, 1000), map[0][0]);
    EXPECT_EQ(Z(16.4, 2000), map[1][1]);
    EXPECT_EQ(Z(16.5, 1000), -1);
    EXPECT_EQ(Z(14.4, 1000), -1);
    EXPECT_EQ(Z(15, 2600), -1);

    // The table and chart show the fractions at the best grid point.
    const auto lines = Window().App().Lines().Lines;
    for (int r = 1; r <= lines.size(); ++r)
        EXPECT_EQ(Grid()->CellText(4, r).toStdString(), Format("%.4f", {lines[r - 1].BFFit}));
    EXPECT_NE(Grid()->CellText(4, 2), "0.0000");
    EXPECT_DOUBLE_EQ(Chart()->Fitted()->data()->at(0)->value, lines[0].BFFit);
    EXPECT_EQ(Control<QLabel>("MousePanel")->text(), "");
}

TEST_F(CommandsTest, MapOfRangesRunningDownwardsOrOfEqualEnds) {
    // One range running downwards: cells from index 0 up.
    Control<QLineEdit>("FromTempEdit")->setText("3000");
    Control<QLineEdit>("ToTempEdit")->setText("1000");
    Window().Iterate();
    const auto shown = Window().App().ShownMap().Grid();
    const auto& map = *shown;
    EXPECT_EQ(Z(15, 3000), map[0][0]);
    EXPECT_EQ(Z(16, 2000), map[1][1]);
    EXPECT_EQ(Window().Messages().Kind(), TMessageArea::TKind::Result) << Message().toStdString();

    // Both: a grey map, and the message strip says why.
    Control<QLineEdit>("FromDensityEdit")->setText("1.0E+017");
    Control<QLineEdit>("ToDensityEdit")->setText("1.0E+015");
    Window().Iterate();
    EXPECT_EQ(map[0].size(), 2);
    EXPECT_EQ(Z(17, 3000), -1);
    EXPECT_EQ(Z(16, 2000), -1);
    EXPECT_FALSE(Plot()->ColourScale()->visible());
    EXPECT_EQ(Message(),
              "Both ranges run downwards (From above To): the map shows no residual and stays "
              "grey; swap From and To to see it.");

    // Equal ends: nothing drawn, the axis labels distinct, the result in the report.
    Control<QLineEdit>("FromTempEdit")->setText("2000");
    Control<QLineEdit>("ToTempEdit")->setText("2000");
    Window().Iterate();
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(Window().App().ShownMap().Range().TemperatureStep, 0);
    EXPECT_EQ(Z(16, 2000), -1);
    EXPECT_FALSE(Plot()->ColourScale()->visible());
    EXPECT_EQ(Plot()->yAxis->range(), QCPRange(1999, 2001));
    EXPECT_EQ(Message(),
              "The temperature range has equal ends: the map has no area to draw; its result is "
              "in the report.");
    EXPECT_TRUE(MemoLines().last().endsWith(" argon_5e16.txt  map"));
}

TEST_F(CommandsTest, FitShowsResultLineAndFittedFractions) {
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Control<QPushButton>("FitBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    const QStringList memo = MemoLines();
    ASSERT_EQ(memo.size(), 2);
    // The true values of this demo file: n_1 = 5e16 m-3, T_exc = 1500 K.
    EXPECT_TRUE(memo[1].contains("  4.966E+016 6.653E+014 ")) << memo[1].toStdString();
    EXPECT_TRUE(memo[1].contains("  1485    29 ")) << memo[1].toStdString();
    EXPECT_TRUE(memo[1].endsWith(" argon_5e16.txt  fit:itercount reached"))
        << memo[1].toStdString();
    EXPECT_EQ(EditText("FitDensityEdit"), "1.0E+016");
    EXPECT_EQ(EditText("FitTempEdit"), "1000");
    const auto lines = Window().App().Lines().Lines;
    EXPECT_EQ(Grid()->CellText(4, 1).toStdString(), Format("%.4f", {lines[0].BFFit}));

    // One fitted slot keeps the temperature; its uncertainty is 0.
    Control<QCheckBox>("FitTempCheckBox")->setChecked(false);
    Window().Fit();
    const QStringList more = MemoLines();
    ASSERT_EQ(more.size(), 3);
    EXPECT_TRUE(more[2].contains("  1000     0 ")) << more[2].toStdString();

    // "fit iteration" shows the log file instead of the result line.
    Control<QComboBox>("ReportComboBox")->setCurrentIndex(1);
    Window().Fit();
    const QByteArray log = test::TTestFolders::Read(QString::fromStdString(FitLogPath()));
    const QString firstLogLine = QString::fromLatin1(log.left(log.indexOf('\r')));
    ASSERT_FALSE(firstLogLine.isEmpty());
    EXPECT_EQ(MemoLines().value(3), firstLogLine);
    EXPECT_GT(MemoLines().size(), 10);
}

TEST_F(CommandsTest, RegionOutlineEnclosesTheBestPointAndAFitShowsItsEllipse) {
    SetGrid("4.5E+016", "5.6E+016", "1300", "1700", "40"); // around n_1 = 5e16 m-3, 1500 K
    EXPECT_EQ(Control<QComboBox>("RegionLevelBox")->currentText(), "Region 68.3 %");
    Window().Iterate();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    ASSERT_EQ(Overlay()->OutlineCurves().size(), 1u);
    const QPolygonF outline = Polygon(Overlay()->OutlineCurves()[0]);

    // The best grid point, as the map's result line reports it.
    const TResidualGrid& grid = *Window().App().ShownMap().Grid();
    int bestRow = 0, bestColumn = 0;
    for (int r = 0; r < grid.size(); ++r)
        for (int c = 0; c < grid[r].size(); ++c)
            if (grid[r][c] < grid[bestRow][bestColumn]) {
                bestRow = r;
                bestColumn = c;
            }
    const TMapRange& range = Window().App().ShownMap().Range();
    const QPointF best(GridValues(range.FromLogDensity, range.LogDensityStep, 40)[bestColumn],
                       GridValues(range.FromTemperature, range.TemperatureStep, 40)[bestRow]);
    EXPECT_TRUE(outline.containsPoint(best, Qt::OddEvenFill)) << best.x() << " " << best.y();
    EXPECT_TRUE(MemoLines().last().contains(Format(" %5.0f ", {best.y()}).c_str()));
    // The region of the same map made by the application layer: the likelihood's chi^2 over
    // this grid.
    TCommandSettings settings = Window().App().ConfiguredSettings();
    settings.FromDensity = 4.5e16L;
    settings.ToDensity = 5.6e16L;
    settings.FromTemperature = 1300;
    settings.ToTemperature = 1700;
    settings.DensityPoints = settings.TemperaturePoints = 40;
    const TMapOutcome again = Window().App().Map(settings, ReportFinalResults);
    ASSERT_EQ(again.Regions.size(), kRegionLevels.size());
    const TMapRegion& region = again.Regions[0];
    EXPECT_EQ(region.DegreesOfFreedom, 17);
    const std::string status = RegionText(region, TRegionDetail::Extent);
    EXPECT_EQ(Overlay()->StatusText().toStdString(), status);
    EXPECT_TRUE(status.starts_with("Region 68.3 %: log10 n_1 [m-3] from ")) << status;
    EXPECT_EQ(Control<QLabel>("RegionPanel")->toolTip().toStdString(), RegionText(region));

    // A fit of both: its result inside the map's region, and the ellipse around it.
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().Fit();
    ASSERT_NE(Overlay()->EllipseCurve(), nullptr);
    EXPECT_EQ(Overlay()->EllipseCurve()->dataCount(), 121);
    const QCPCurveData fitted = *Overlay()->FitPointCurve()->data()->begin();
    EXPECT_NEAR(fitted.key, std::log10(4.966e16), 5e-4); // the result line's 4.966E+016 m-3
    EXPECT_NEAR(fitted.value, 1485, 0.5);
    EXPECT_TRUE(outline.containsPoint(QPointF(fitted.key, fitted.value), Qt::OddEvenFill));
    EXPECT_TRUE(Polygon(Overlay()->EllipseCurve())
                    .containsPoint(QPointF(fitted.key, fitted.value), Qt::OddEvenFill));
    EXPECT_EQ(Overlay()->StatusText().toStdString(), status); // the map's region stays

    // A wider level draws a wider outline; "none" takes everything away.
    Control<QComboBox>("RegionLevelBox")->setCurrentIndex(3);
    ASSERT_EQ(Overlay()->OutlineCurves().size(), 1u);
    EXPECT_GT(Polygon(Overlay()->OutlineCurves()[0]).boundingRect().width(),
              outline.boundingRect().width());
    EXPECT_TRUE(Overlay()->StatusText().startsWith("Region 99.7 %: log10 n_1 [m-3] from "));
    Control<QComboBox>("RegionLevelBox")->setCurrentIndex(0);
    EXPECT_TRUE(Overlay()->OutlineCurves().empty());
    EXPECT_EQ(Overlay()->EllipseCurve(), nullptr);
    EXPECT_EQ(Overlay()->StatusText(), "");
}

TEST_F(CommandsTest, ErrorsResetTheCursorAndKeepTheWindow) {
    Window().Iterate();
    const double low = Plot()->LowIso();
    const QString fitText = Grid()->CellText(4, 1);

    // A text that is no number is refused before the fit starts: no box, nothing run.
    Control<QLineEdit>("MaxIterEdit")->setText("abc");
    EXPECT_FALSE(Window().Fit().has_value());
    EXPECT_TRUE(dialogs_.Errors.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Control<QLineEdit>("MaxIterEdit")->setText("50");
    Control<QLineEdit>("PointsDensityEdit")->setText("100000");
    Control<QLineEdit>("PointsTempEdit")->setText("100000");
    Window().Iterate();
    ASSERT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_TRUE(dialogs_.Errors[0].startsWith(
        "A map of 100000 x 100000 points is too large for the memory: it needs 298.0 GB, and "))
        << dialogs_.Errors[0].toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Plot()->LowIso(), low);
    EXPECT_EQ(Grid()->CellText(4, 1), fitText);
    EXPECT_EQ(MemoLines().size(), 2);
}

TEST_F(CommandsTest, SavedReportAndTableByteForByte) {
    const QString report = folders_.Root() + "/report.txt";
    dialogs_.SaveAnswers.append(report);
    Window().SaveButtonClick();
    EXPECT_EQ(test::TTestFolders::Read(report), "");

    Window().Iterate();
    dialogs_.SaveAnswers.append(report);
    Window().SaveButtonClick();
    const QStringList memo = MemoLines();
    QByteArray expected;
    for (const QString& line : memo)
        expected += QByteArray::fromStdString(Utf8ToCp1252(line.toStdString())) + "\r\n";
    EXPECT_EQ(test::TTestFolders::Read(report), expected);
    EXPECT_TRUE(expected.startsWith("n_tot/m-3 \xB1u(n_tot)"));
    EXPECT_EQ(dialogs_.SaveFolders.value(0),
              Window().OpenDialogFolder() + "/argon_5e16_report.txt");

    const QString table = folders_.Root() + "/table.txt";
    Grid()->SetCellText(1, 1, "6.2100"); // as typed into the cell
    Window().CommitIntensity(1, "6.2100");
    dialogs_.SaveAnswers.append(table);
    Window().Button1Click();
    const QList<QByteArray> rows = test::TTestFolders::Read(table).split('\n');
    ASSERT_EQ(rows.size(), 31); // title row, 29 lines, nothing after the last CR LF
    EXPECT_EQ(rows[0], "\tWavelength\tIntensity\tBF free\tBF meas\tBF fit\tUpper energy\t"
                       "Upper state\tLower energy\tLower state\r");
    EXPECT_TRUE(rows[1].startsWith("\t667.7282\t6.2100\t")) << rows[1].toStdString();
    for (int r = 0; r < 30; ++r)
        EXPECT_EQ(rows[r].count('\t'), 9) << r;
    EXPECT_EQ(rows[30], "");
}

// The message strip says what to quote of a sound fit and why a flagged one cannot be trusted;
// "Save results…" keeps both rows with their conditions, "Save table (TSV)…" the table for
// pandas.
TEST_F(CommandsTest, MessagesAndSavedResultsTellASoundFitFromAFlaggedOne) {
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().Fit();
    const QString quote =
        "To quote: n_1 = 4.970E+016 \u00B1 7.075E+014 m-3, T_exc = 1470 \u00B1 33 K "
        "(likelihood of the intensities, nu = 17; noise relative, u(I) = s I, "
        "s = 1.07 % from the fit)";
    EXPECT_EQ(Message(), quote);
    EXPECT_EQ(Window().Messages().Kind(), TMessageArea::TKind::Result);
    EXPECT_EQ(Control<QPlainTextEdit>("ReportsMemo")->toolTip(), quote);
    Control<QLineEdit>("PathEdit")->setText("1e-12");
    Control<QCheckBox>("FitTempCheckBox")->setChecked(false);
    Window().Fit();
    const QString flagged = Message();
    EXPECT_TRUE(flagged.startsWith("fit:n_1 not determined. log10 n_1: the data do not move it"))
        << flagged.toStdString();
    EXPECT_EQ(Window().Messages().Kind(), TMessageArea::TKind::Warning);
    EXPECT_EQ(Control<QPlainTextEdit>("ReportsMemo")->toolTip(), flagged);
    // Both in the log, with the file they concern.
    const TMessageArea& log = Window().Messages();
    ASSERT_EQ(log.LogCount(), 2);
    EXPECT_EQ(log.LogRow(0).mid(1), (QStringList{quote, "argon_5e16.txt"}));
    EXPECT_EQ(log.LogRow(1).mid(1), (QStringList{flagged, "argon_5e16.txt"}));
    const QString results = folders_.Root() + "/results.tsv";
    dialogs_.SaveAnswers.append(results);
    Window().SaveResultsClick();
    const QList<QByteArray> rows = test::TTestFolders::Read(results).split('\n');
    ASSERT_EQ(rows.size(), 4) << rows.join('\n').toStdString();
    EXPECT_TRUE(rows[0].startsWith("n_tot/m-3\tu(n_tot)/m-3\tn_1/m-3\t"));
    EXPECT_TRUE(rows[1].contains("\targon_5e16.txt\tfit:itercount reached\t"));
    EXPECT_TRUE(rows[2].contains("\targon_5e16.txt\tfit:n_1 not determined\t"));
    EXPECT_TRUE(rows[2].contains("\tn_1 not determined\tAr I\t"));
    EXPECT_TRUE(rows[2].contains("\t9.9999999999999998e-13\t")); // the path, m

    const QString table = folders_.Root() + "/table.tsv";
    dialogs_.SaveAnswers.append(table);
    Window().SaveTableTsvClick();
    const QList<QByteArray> lines = test::TTestFolders::Read(table).split('\n');
    EXPECT_EQ(lines[0], "Wavelength/nm\tIntensity\tBF free\tBF meas\tBF fit\tUpper energy/eV\t"
                        "Upper state\tLower energy/eV\tLower state\r");
    EXPECT_TRUE(lines[1].startsWith("667.7282\t6.211\t")) << lines[1].toStdString();
    EXPECT_EQ(Message(), "Saved the table.");
}

// A message longer than the strip is cut to its width, the file's name first, marked by an
// ellipsis; its tool tip holds all of it.
TEST(MessageAreaTest, ALongMessageIsCutToTheStrip) {
    QMainWindow window;
    auto* area = new TMessageArea(window);
    window.setCentralWidget(area);
    window.resize(300, 60);
    window.show();
    QApplication::processEvents();
    const QString reason = "Intensity of 696.5431 nm is negative (-2.5): the background was "
                           "subtracted beyond the line; its fraction is negative.";
    area->Show(TMessageArea::TKind::Warning, reason, "/data/ar_2kW.txt");
    const QString cut = area->ShownText();
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)) && cut.startsWith("ar_2kW.txt: Intensity of"))
        << cut.toStdString();
    EXPECT_LE(area->fontMetrics().horizontalAdvance(cut), area->width());
    EXPECT_EQ(area->toolTip(), "ar_2kW.txt: " + reason);
    EXPECT_EQ(area->Text(), reason);
    area->Show(TMessageArea::TKind::Progress, "Map: 3 of 10 rows (30 %)");
    area->Clear();
    EXPECT_EQ(area->Text(), "");
    EXPECT_EQ(area->LogCount(), 1); // progress is not logged
}

TEST_F(CommandsTest, MapAndFitRefuseWithFewerThanTwoLines) {
    Window().Iterate();
    const QStringList memo = MemoLines();
    const double low = Plot()->LowIso(), z = Z(15, 1000);
    ReadThroughDialog(folders_.WriteMeasurement("one.txt", "696.5431 1000\r\n"));
    Control<QPushButton>("MapBtn")->click();
    Control<QPushButton>("FitBtn")->click();
    EXPECT_EQ(dialogs_.Errors, QStringList(2, "Not enough lines for Zelt method."));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(MemoLines(), memo);
    EXPECT_EQ(Plot()->LowIso(), low);
    EXPECT_EQ(Z(15, 1000), z); // the map stays
    EXPECT_NE(Z(15, 1000), 0);
    EXPECT_EQ(Row(1)[4], "");
}

TEST_F(CommandsTest, SavedMapAndReadOutAreThoseOfThePlotAfterAFit) {
    const QString file = folders_.Root() + "/map.txt";
    dialogs_.SaveAnswers.append(file);
    Window().SaveMapClick(); // no map yet: nothing to save, no dialog
    EXPECT_TRUE(dialogs_.SaveFolders.isEmpty());

    Window().Iterate();
    const TShownMap& shown = Window().App().ShownMap();
    const QByteArray map = QByteArray::fromStdString(MapText(*shown.Grid(), shown.Range()));
    const double best = (*shown.Grid())[0][0];
    Window().Fit();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(Z(15, 1000), best); // the plot goes on showing the map
    Window().SaveMapClick();
    EXPECT_EQ(test::TTestFolders::Read(file), map);
    EXPECT_TRUE(map.startsWith("T/K \\ log10 n_1\t15\t16\r\n1000\t")) << map.toStdString();

    // The status bar: the coordinates as ever, the residual of the cell under the mouse beside.
    Window().resize(1024, 700);
    Window().show();
    Plot()->replot();
    const QPointF at(Plot()->xAxis->coordToPixel(15.2), Plot()->yAxis->coordToPixel(1100));
    QMouseEvent move(QEvent::MouseMove, at, Plot()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(Plot(), &move);
    EXPECT_TRUE(Control<QLabel>("MousePanel")->text().startsWith("log n_1   15.2"));
    EXPECT_EQ(Control<QLabel>("MapValuePanel")->text().toStdString(), Format("RSS %.3e", {best}));
    EXPECT_TRUE(Plot()->HasBestPoint());
}

TEST_F(CommandsTest, ARefusedEditSaysWhyWhenACommandIsClicked) {
    Window().show();
    QApplication::setActiveWindow(&Window());
    auto* path = Control<TNumberEdit>("PathEdit");
    path->setFocus(Qt::OtherFocusReason);
    path->setText("-2");
    // Press and release apart, as a hand does: the refused box takes the focus back between.
    auto* map = Control<QPushButton>("MapBtn");
    QTest::mousePress(map, Qt::LeftButton);
    QApplication::processEvents();
    QTest::mouseRelease(map, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), path);
    EXPECT_EQ(path->text(), "-2");
    const QString why = "Absorption path (m): \"-2\" is not a number above 0.";
    EXPECT_EQ(Message(), why);
    EXPECT_EQ(path->toolTip(), why);
    EXPECT_TRUE(path->Marked());
    EXPECT_EQ(MemoLines(), QStringList{""});

    auto* points = Control<TNumberEdit>("PointsTempEdit");
    path->setText("0.05");
    EXPECT_FALSE(path->Marked());
    EXPECT_EQ(Message(), "");
    points->setText("2.5");
    EXPECT_EQ(points->Complaint(),
              "Map temperature points: \"2.5\" is not a whole number above 0.");
}

// The escape factor of the Absorption group: its tool tip names each model's formula and source,
// a fit with doppler says so after its result line and quotes n_1 with mewe beside it, a table that
// cannot be used is refused with the reason and the choice before stays, and zeltfit.ini gets the
// key only for another model.
TEST_F(CommandsTest, TheEscapeFactorIsChosenInTheAbsorptionGroup) {
    auto* box = Control<QComboBox>("EscapeBox");
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->currentText(), "mewe");
    EXPECT_TRUE(box->toolTip().contains("(2 - exp(-tau/1000)) / (1 + tau), Mewe (1967)"));
    EXPECT_TRUE(box->toolTip().contains("(Irons 1979)"));
    const auto choose = [&box](int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    };

    choose(1);
    Window().Fit();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(MemoLines().last(),
              "Escape factor: doppler, exact for a homogeneous Doppler source (Irons 1979)");
    EXPECT_EQ(Control<QPlainTextEdit>("ReportsMemo")->toolTip().toStdString(),
              "To quote: n_1 = 1.239E+017 \u00B1 7.505E+015 m-3 (likelihood of the intensities, "
              "nu = 18; noise relative, u(I) = s I, s = 4.77 % from the fit); escape factor "
              "doppler, n_1 (mewe) = 4.763E+016 m-3");

    const QString rising =
        test::TTestFolders::Write(folders_.Root() + "/rising.txt", "1 0.5\n10 0.6\n");
    dialogs_.OpenAnswers.append(rising);
    choose(2);
    ASSERT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_TRUE(dialogs_.Errors[0].contains("the escape factor 0.6 rises above 0.5 of line 1"))
        << dialogs_.Errors[0].toStdString();
    EXPECT_EQ(box->currentText(), "doppler");

    const QString table = test::TTestFolders::Write(folders_.Root() + "/slab.txt",
                                                    "# tau Lambda\n1e-3 1\n1e4 1e-4\n");
    dialogs_.OpenAnswers.append(table);
    choose(2);
    EXPECT_EQ(box->currentText(), "slab.txt");
    EXPECT_EQ(box->count(), 4);
    Window().close();
    EXPECT_EQ(TConfigStore(folders_.ConfigFile().toStdString())
                  .ReadString("_Parameters", "Escape", "missing"),
              table.toStdString());

    // Opened again, the table is the choice; mewe chosen again is written over it.
    Open();
    box = Control<QComboBox>("EscapeBox");
    EXPECT_EQ(box->currentText(), "slab.txt");
    choose(0);
    Window().close();
    EXPECT_EQ(TConfigStore(folders_.ConfigFile().toStdString())
                  .ReadString("_Parameters", "Escape", "missing"),
              "mewe");
}

// On a 1024 x 700 screen and on a large one, every control is inside the window and at least as
// large as it needs to be; at 1680 pixels a fit's result line fits the report without scrolling.
TEST_F(CommandsTest, WindowFitsSmallAndLargeScreens) {
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().Fit();
    Window().show();
    EXPECT_LE(Window().minimumSizeHint().width(), 1024);
    // 700 pixels less a title bar and a taskbar's edge: the status bar stays on the screen.
    EXPECT_LE(Window().minimumSizeHint().height(), 656);
    for (const QSize size : {QSize(1024, 700), QSize(1680, 1000)}) {
        Window().resize(size);
        QApplication::processEvents();
        ASSERT_EQ(Window().size(), size);
        const QRect window = Window().rect();
        for (QWidget* control : Window().findChildren<QWidget*>()) {
            const bool checked =
                qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
                qobject_cast<QComboBox*>(control) || qobject_cast<QLabel*>(control) ||
                qobject_cast<QGroupBox*>(control) || qobject_cast<QAbstractItemView*>(control);
            // The fixed panes of the line table are parts of it, not controls.
            if (!checked || !control->isVisible() ||
                control->testAttribute(Qt::WA_TransparentForMouseEvents))
                continue;
            const QRect at(control->mapTo(&Window(), QPoint(0, 0)), control->size());
            const QString name = control->objectName() + " " + control->metaObject()->className();
            EXPECT_TRUE(window.contains(at)) << name.toStdString() << " at " << size.width();
            const QSize least = control->minimumSizeHint();
            EXPECT_GE(control->width(), least.width()) << name.toStdString() << " " << size.width();
            EXPECT_GE(control->height(), least.height())
                << name.toStdString() << " " << size.width();
        }
    }
    auto* memo = Control<QPlainTextEdit>("ReportsMemo");
    const QString result = MemoLines().value(1);
    EXPECT_TRUE(result.endsWith("argon_5e16.txt  fit:itercount reached"));
    EXPECT_GE(memo->viewport()->width(), QFontMetrics(memo->font()).horizontalAdvance(result));
    EXPECT_EQ(memo->horizontalScrollBar()->maximum(), 0);
}

} // namespace
} // namespace zelt
