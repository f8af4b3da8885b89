// SPDX-License-Identifier: GPL-3.0-or-later
// "Fit all files": the demo spectra and one bad file, fitted as one file at a time would be.

#include "app/tsv.h"
#include "common/codepage.h"
#include "shell/seriespage.h"
#include "shell/seriesrun.h"
#include "tests/shell/windowtest.h"
#include "widgets/imagelayout.h"
#include "widgets/seriesplot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelt {
namespace {

using test::WindowTest;

class SeriesTest : public WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig("[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
        for (const char* name : {"argon_1e16.txt", "argon_2e17.txt", "argon_5e16.txt"})
            folders_.WriteMeasurement(
                name, test::TTestFolders::Read(
                          QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/") + name));
        folders_.WriteMeasurement("argon_3e16.txt", "Wavelength Intensity\r\n");
        // Read up to the wavelength that is not in the database, with a message.
        folders_.WriteMeasurement("argon_4e16.txt", test::FiveLines + "500.1 5\r\n");
        OpenWithTemperatureFitted();
    }
    void OpenWithTemperatureFitted() {
        Open();
        Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    }
    QString Memo() { return Control<QPlainTextEdit>("ReportsMemo")->toPlainText(); }
    const std::vector<TSeriesEntry>& Entries() { return Window().SeriesRun().Entries(); }
};

TEST_F(SeriesTest, EveryFileIsFittedAsAloneAndTheBadOneIsReported) {
    Window().FitAllClick();
    const QString series = Memo();
    ASSERT_EQ(Entries().size(), 5u);
    const QString bad = "Invalid numeric input \"Wavelength\" in file \"" +
                        folders_.Measurements() +
                        "/argon_3e16.txt\", line 1. Line 1 is a header line (\"Wavelength "
                        "Intensity\"): a measurement file holds only numbers, a wavelength and an "
                        "intensity on each line.";
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    const QString guard = ": the data do not move it (the minimiser's guard held it fixed), so "
                          "its uncertainty is the guard's, not the data's.";
    // In the natural order of the names; the five lines of argon_4e16 run away to a density
    // that absorbs nothing, which the likelihood fit over the map's range shows.
    const QString flagged = "argon_4e16.txt, flagged: ";
    const QStringList problems = {
        "argon_3e16.txt, not fitted: " + bad,
        "argon_4e16.txt: Wavelength 500.100000 was not found. Import was stopped. Check used "
        "specie or wavelength precision.",
        flagged + "The fit ran away to n_1 = 1.001E-005 m-3, T_exc = 15844 K, beyond the map's "
                  "range; the likelihood's minimum is n_1 = 1.548E+019 m-3, T_exc = 19354046 K.",
        flagged + "The fit ended at S = 2.447E-001, but the point n_1 = 1.000E+018 m-3, T_exc = "
                  "50000 K of a coarse grid over the map's range has S = 9.790E-002: a local "
                  "minimum; start the fit there.",
        flagged + "log10 n_1" + guard,
        flagged + "The uncertainty of n_1, 2.098E+020 m-3, is not below n_1 = 1.548E+019 m-3 "
                  "itself.",
        flagged + "The uncertainty of T_exc, 2416946819 K, is not below T_exc = 19354046 K itself.",
        flagged + "T_exc" + guard};
    EXPECT_EQ(dialogs_.Messages, QStringList{"5 files, 4 fitted.\n\n" + problems.join('\n')});
    EXPECT_EQ(Control<QPlainTextEdit>("SeriesProblems")->toPlainText(), problems.join('\n'));
    EXPECT_EQ(Control<QLabel>("SeriesSummary")->text(), "5 files, 4 fitted");
    EXPECT_EQ(Control<QTabWidget>("PlotPageControl")->currentWidget()->objectName(), "SeriesPage");
    std::vector<double> xs;
    for (const TSeriesEntry& entry : Entries())
        xs.push_back(entry.X);
    EXPECT_EQ(xs, (std::vector<double>{1e16, 3e16, 4e16, 5e16, 2e17}));
    EXPECT_FALSE(Entries()[1].Fitted);
    EXPECT_TRUE(Entries()[2].Row.Quality.Flagged());
    EXPECT_EQ(Control<QPushButton>("FitBtn")->isEnabled(), true);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The same report from each file that can be read, read by a click in the list (in the
    // natural order of the names, as the series) and fitted by "Fit".
    dialogs_.Messages.clear();
    OpenWithTemperatureFitted();
    auto* files = Control<QListWidget>("FileListBox");
    QStringList listed;
    for (int row = 0; row < files->count(); ++row)
        listed << files->item(row)->text();
    EXPECT_EQ(listed, (QStringList{"argon_1e16.txt", "argon_3e16.txt", "argon_4e16.txt",
                                   "argon_5e16.txt", "argon_2e17.txt"}));
    for (int row : {0, 2, 3, 4}) {
        files->setCurrentRow(row);
        Window().FileListBoxClick();
        Window().Fit();
    }
    EXPECT_EQ(Memo(), series);
    EXPECT_EQ(Memo().count('\n'), 4);

    const QString saved = folders_.Root() + "/series.txt";
    dialogs_.SaveAnswers.append(saved);
    Window().FitAllClick();
    Window().SaveSeriesClick();
    // The numbers of zeltfit-cli batch fit --format tsv for the same files and settings, then
    // where x came from, the judgement and the conditions.
    QStringList rows = QString::fromLatin1(test::TTestFolders::Read(saved)).split("\r\n");
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[6], "");
    for (QString& row : rows)
        row = row.section('\t', 0, 9);
    EXPECT_EQ(rows.mid(0, 6).join('\n').toStdString(),
              "File\tx\tn_1/m-3\tu(n_1)/m-3\tT/K\tu(T)/K\tRSS\tProcedure\tx from\tx text\n"
              "argon_1e16.txt\t1.0000000000000000e+16\t1.0154099926829810e+16\t"
              "2.9565884884703988e+14\t1.4801399981448728e+03\t8.2826784501388616e+01\t"
              "1.3419742599756030e-04\tfit:itercount reached\tfile names\targon\n"
              "argon_3e16.txt\t3.0000000000000000e+16\t\t\t\t\t\t" +
                  TsvField("not fitted: " + bad.toStdString()) +
                  "\tfile names\targon\n"
                  "argon_4e16.txt\t4.0000000000000000e+16\t1.0005802451829170e-05\t"
                  "6.5794808849610308e-06\t1.5844467352629636e+04\t2.8557751923276575e-01\t"
                  "2.4466355847342211e-01\tfit:diverged\tfile names\targon\n"
                  "argon_5e16.txt\t5.0000000000000000e+16\t4.9657113527333008e+16\t"
                  "6.6527488296599525e+14\t1.4848295098776355e+03\t2.9492760619573922e+01\t"
                  "2.1985822230541219e-04\tfit:itercount reached\tfile names\targon\n"
                  "argon_2e17.txt\t2.0000000000000000e+17\t2.0178081059273670e+17\t"
                  "1.7383563521565698e+15\t1.5067171352818680e+03\t1.1638341697130507e+01\t"
                  "1.6716866846141134e-04\tfit:OK\tfile names\targon");
    // The flagged point is drawn hollow, outside the axis ranges of the sound ones.
    const TSeriesPlot* plot = Control<TSeriesPlot>("SeriesPlot");
    EXPECT_EQ(plot->Densities()->dataCount(), 3);
    EXPECT_EQ(plot->FlaggedDensities()->dataCount(), 1);
    EXPECT_GT(plot->yAxis2->range().lower, 1000);
    EXPECT_LT(plot->yAxis2->range().upper, 2000);
    // Each n_1 point a little left of its abscissa, each T_exc point as far right.
    const double apart = plot->xAxis->range().size() / 150;
    EXPECT_DOUBLE_EQ(plot->Densities()->data()->at(0)->key, 1e16 - apart);
    EXPECT_DOUBLE_EQ(plot->Temperatures()->data()->at(0)->key, 1e16 + apart);
    // The points and their error bars are the numbers to quote, the likelihood fit's.
    ASSERT_TRUE(Entries()[0].Row.Quoted);
    EXPECT_EQ(plot->Densities()->data()->at(0)->value,
              static_cast<double>(Entries()[0].Row.Quoted->Densities[0]));

    // A logarithmic n_1 axis over the sound points (1.0e16 to 2.0e17), ending on its ticks.
    Control<QCheckBox>("LogDensityCheckBox")->setChecked(true);
    EXPECT_EQ(plot->yAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(plot->yAxis->range().lower, 5e15);
    EXPECT_EQ(plot->yAxis->range().upper, 5e17);
    EXPECT_EQ(plot->Densities()->dataCount(), 3);
}

// A flagged T_exc near the sound ones (1103 K among 1500 K) is drawn hollow inside the range and
// listed in the legend; one far off (15844 K) stays out of the range. The log n_1 axis has a
// tick at or below its lowest point and at or above its highest, at 1, 2 or 5 times powers of
// ten, and no two labels touch.
TEST(SeriesPlot, FlaggedPointsShowAndLogTicksCoverThePoints) {
    TSeriesPlot plot;
    plot.resize(560, 260);
    TSeriesPlot::TSeries series;
    series.FromX = 1;
    series.ToX = 5;
    const double densities[] = {1.2e16, 1.9e16, 2.3e16, 5e16, 2e17};
    for (int i = 0; i < 5; ++i)
        series.Points.append(
            {i + 1.0, densities[i], densities[i] / 50, true, 1500.0 + i, 20, false, i, false, {}});
    series.Points[1].Flagged = true;
    series.Points[1].Temperature = 1103;
    series.Points[2].Flagged = true;
    series.Points[2].Temperature = 15844;
    plot.show();
    plot.Show(series);
    plot.SetLogarithmicDensity(true);
    plot.replot();

    EXPECT_EQ(plot.FlaggedTemperatures()->dataCount(), 2);
    EXPECT_TRUE(plot.yAxis2->range().contains(1103));
    EXPECT_FALSE(plot.yAxis2->range().contains(15844));
    EXPECT_LT(plot.yAxis2->range().upper, 2000);
    EXPECT_NE(plot.legend->itemWithPlottable(plot.FlaggedTemperatures()), nullptr);
    EXPECT_TRUE(plot.FlaggedTemperatures()->visible());
    EXPECT_TRUE(plot.axisRect()->rect().contains(
        QPoint(static_cast<int>(plot.xAxis->coordToPixel(2)),
               static_cast<int>(plot.yAxis2->coordToPixel(1103)))));

    const QVector<double> ticks = plot.yAxis->tickVector();
    ASSERT_GE(ticks.size(), 2);
    double lowest = 1e30, highest = 0;
    for (double tick : ticks)
        if (plot.yAxis->range().contains(tick)) {
            lowest = std::min(lowest, tick);
            highest = std::max(highest, tick);
            const double mantissa = tick / std::pow(10.0, std::floor(std::log10(tick) + 1e-9));
            EXPECT_TRUE(std::abs(mantissa - 1) < 1e-6 || std::abs(mantissa - 2) < 1e-6 ||
                        std::abs(mantissa - 5) < 1e-6)
                << tick;
        }
    EXPECT_LE(lowest, 1.2e16 * (1 - 1.0 / 50));
    EXPECT_GE(highest, 2e17);
    EXPECT_TRUE(TickLabelsApart(*plot.yAxis));
}

// With "Free levels" ticked every file is fitted with free lower levels: the page plots each
// level's density, and the saved series carries the free fits' columns. A file excluded by a
// right click on its points is drawn apart, listed and saved as excluded.
TEST_F(SeriesTest, FreeLevelsPlotEveryLevelAndAnExcludedFileIsSavedAsSuch) {
    Control<QCheckBox>("FreeLevelsCheckBox")->setChecked(true);
    Window().FitAllClick();
    ASSERT_EQ(Entries().size(), 5u);
    const TSeriesEntry& argon = Entries()[3];
    ASSERT_EQ(argon.File, "argon_5e16.txt");
    ASSERT_TRUE(argon.Free && argon.Fitted);
    ASSERT_EQ(argon.Free->Free.Levels.size(), 4u);
    EXPECT_TRUE(Memo().contains("argon_5e16.txt  fit:OK\nBoltzmann chi2 = 1.938E-003 (2 "
                                "parameters), free chi2 = 1.405E-003 (4 parameters, nu = 15)"));
    auto* plot = Control<TSeriesPlot>("SeriesPlot");
    EXPECT_FALSE(plot->Densities()->visible());
    ASSERT_NE(plot->LevelDensities(3), nullptr);
    EXPECT_EQ(plot->LevelDensities(4), nullptr);
    // The five lines of argon_4e16 too give n_2 (from 1e16, 4e16, 5e16 and 2e17 m-3).
    EXPECT_EQ(plot->LevelDensities(1)->dataCount(), 4);
    EXPECT_EQ(plot->LevelDensities(1)->data()->at(2)->value,
              static_cast<double>(argon.Free->Free.Levels[1].Density));
    EXPECT_EQ(plot->Temperatures()->name(), "T_exc (Boltzmann fit)");

    auto* page = Control<TSeriesPage>("SeriesPage");
    QTest::mousePress(plot, Qt::RightButton, Qt::NoModifier,
                      QPoint(static_cast<int>(plot->xAxis->coordToPixel(5e16)), 100));
    QMenu menu;
    page->AddEntryActions(menu);
    QAction* exclude = nullptr;
    for (QAction* action : menu.actions())
        if (action->text() == "Exclude this file (argon_5e16.txt)")
            exclude = action;
    ASSERT_NE(exclude, nullptr);
    exclude->trigger();
    EXPECT_TRUE(Entries()[3].Excluded);
    EXPECT_EQ(plot->Excluded()->dataCount(), 1);
    EXPECT_EQ(plot->LevelDensities(1)->dataCount(), 3);
    EXPECT_TRUE(Control<QPlainTextEdit>("SeriesProblems")
                    ->toPlainText()
                    .endsWith("argon_4e16.txt, free fit: n_4 not determined\n"
                              "argon_5e16.txt, excluded"));

    const QString saved = folders_.Root() + "/series.txt";
    dialogs_.SaveAnswers.append(saved);
    Window().SaveSeriesClick();
    const QStringList rows = QString::fromLatin1(test::TTestFolders::Read(saved)).split("\r\n");
    ASSERT_EQ(rows.size(), 7);
    const QStringList header = rows[0].split('\t'), row = rows[4].split('\t');
    ASSERT_EQ(header.size(), row.size());
    EXPECT_EQ(row[7], "excluded: " + QString::fromStdString(argon.Row.Values.Procedure));
    const int free = static_cast<int>(header.indexOf("free n_2/m-3"));
    ASSERT_GT(free, 0);
    EXPECT_EQ(header.mid(free - 2).join(' '),
              "free n_1/m-3 free u(n_1)/m-3 free n_2/m-3 free u(n_2)/m-3 free n_3/m-3 free "
              "u(n_3)/m-3 free n_4/m-3 free u(n_4)/m-3 free RSS F LR p");
    EXPECT_EQ(row[free].toStdString(),
              TsvNumber(static_cast<double>(argon.Free->Free.Levels[1].Density)));

    QMenu again;
    page->AddEntryActions(again);
    ASSERT_EQ(again.actions().back()->text(), "Include every file again");
    again.actions().back()->trigger();
    EXPECT_FALSE(Entries()[3].Excluded);
    EXPECT_EQ(plot->Excluded()->dataCount(), 0);
}

// The window is drawn once at the end, not per file: "Fit all files" takes at most twice the
// time of the application's series alone (what zeltfit-cli batch runs), with the same report.
TEST_F(SeriesTest, FitAllFilesTakesAtMostTwiceTheBatchAndGivesItsReport) {
    const QByteArray demo = test::TTestFolders::Read(
        QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_2e17.txt"));
    for (int i = 10; i < 210; ++i)
        folders_.WriteMeasurement(QStringLiteral("argon_%1e17.txt").arg(i), demo);
    OpenWithTemperatureFitted();
    std::vector<std::string> files;
    for (const QString& name : QDir(folders_.Measurements()).entryList(QDir::Files))
        files.push_back((folders_.Measurements() + "/" + name).toStdString());

    TZeltApp app(folders_.ConfigFile().toStdString());
    app.SetStoreMeasurementFolder(false);
    ASSERT_TRUE(app.ChangeSpecies("Ar I").Done);
    TCommandSettings settings = app.ConfiguredSettings();
    settings.FitTemperatureOn = true;
    QString report;
    TSeriesHooks hooks;
    hooks.Done = [&](const TSeries&, const TSeriesFile& file) {
        for (const std::string& line : file.Fit.Report)
            report += QString::fromStdString(Cp1252ToUtf8(line)) + "\n";
    };
    // The faster of two runs each, the two taking turns: other programs on the machine slow
    // one run or another, not both.
    qint64 batch = std::numeric_limits<qint64>::max(), window = batch;
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer clock;
        clock.start();
        const TSeries series =
            app.RunSeries(files, TSeriesCommand::Fit, settings, ReportFinalResults, {}, hooks);
        batch = std::min(batch, clock.nsecsElapsed());
        ASSERT_EQ(series.Entries.size(), 205u);
        clock.restart();
        Window().FitAllClick();
        window = std::min(window, clock.nsecsElapsed());
        ASSERT_EQ(Entries().size(), 205u);
    }
    RecordProperty("window_ms", static_cast<int>(window / 1000000));
    RecordProperty("batch_ms", static_cast<int>(batch / 1000000));
    EXPECT_LE(window, 2 * batch) << window / 1e6 << " ms against " << batch / 1e6 << " ms";
    EXPECT_EQ(Memo() + "\n", report);
    EXPECT_TRUE(Window().windowTitle().endsWith("/argon_209e17.txt"));
}

TEST_F(SeriesTest, EscapeStopsAfterTheCurrentFileWithEveryCommandDisabledMeanwhile) {
    bool disabledMeanwhile = false;
    QObject::connect(&Window().Messages(), &TMessageArea::Shown, [&](const QString& message) {
        if (!message.startsWith("Fit 2/5: argon_3e16.txt"))
            return;
        disabledMeanwhile = !Control<QPushButton>("FitBtn")->isEnabled() &&
                            !Control<QPushButton>("FitAllBtn")->isEnabled() &&
                            !Control<QListWidget>("FileListBox")->isEnabled() &&
                            QApplication::overrideCursor() != nullptr;
        // Taken between two files: the second is completed.
        QCoreApplication::postEvent(
            &Window(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    Window().FitAllClick();
    EXPECT_TRUE(disabledMeanwhile);
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_FALSE(Entries()[1].Fitted); // argon_3e16.txt, second in the natural order
    EXPECT_EQ(Memo().count("fit:"), 1);
    EXPECT_EQ(Control<QLabel>("SeriesSummary")->text(), "Stopped after 2 of 5 files, 1 fitted");
    EXPECT_EQ(Message(), "Stopped after 2 of 5 files, 1 fitted: see the page \"Series\".");
    EXPECT_TRUE(Control<QPushButton>("FitAllBtn")->isEnabled());
    ASSERT_EQ(dialogs_.Messages.size(), 1); // the file that could not be read
    EXPECT_TRUE(dialogs_.Messages[0].startsWith(
        "Stopped after 2 of 5 files, 1 fitted.\n\nargon_3e16.txt, not fitted: "))
        << dialogs_.Messages[0].toStdString();
}

TEST_F(SeriesTest, ClosingTheWindowWaitsForTheCurrentFile) {
    Window().show();
    QObject::connect(&Window().Messages(), &TMessageArea::Shown, [&](const QString& message) {
        if (message.startsWith("Fit 1/5"))
            Window().close();
    });
    Window().FitAllClick();
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_FALSE(Window().isVisible());
}

} // namespace
} // namespace zelt
