// SPDX-License-Identifier: GPL-3.0-or-later
// The page "Spectrum" (a raw spectrum or a line list imported and used as the intensities of
// the table) and the fit mode "free lower levels", on the bundled argon data.

#include "shell/spectrumpage.h"
#include "tests/shell/windowtest.h"
#include "widgets/spectrumplot.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>

namespace zelt {
namespace {

const QString DemoSpectrum = QStringLiteral(ZELT_SOURCE_DIR "/data/spectra/argon_5e16.csv");

class ImportTest : public test::WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig("[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
        Open();
    }
    TSpectrumPage* Page() { return Control<TSpectrumPage>("SpectrumPage"); }
    QString Notes() { return Control<QPlainTextEdit>("SpectrumNotes")->toPlainText(); }
    QString Cell(const char* table, int row, int column) {
        const QTableWidgetItem* item = Control<QTableWidget>(table)->item(row, column);
        return item == nullptr ? QString() : item->text();
    }
    QStringList Memo() { return Control<QPlainTextEdit>("ReportsMemo")->toPlainText().split('\n'); }
    QString Errors() { return dialogs_.Errors.join("|"); }
};

TEST_F(ImportTest, ASpectrumIsIntegratedShownAndUsedAsTheTable) {
    dialogs_.OpenAnswers.append(DemoSpectrum);
    Control<QPushButton>("OpenSpectrumBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(Control<QTabWidget>("PlotPageControl")->currentWidget(), Page());
    const QStringList notes = Notes().split('\n');
    EXPECT_EQ(notes.value(5), "Intensities: the counts over the wavelength in nm, not calibrated "
                              "(no spectral response was given).");
    EXPECT_EQ(notes.value(6), "29 lines of Ar I: 21 integrated, 6 shared, 2 blend.");
    EXPECT_EQ(Control<TSpectrumPlot>("SpectrumPlot")->MarkCount(), 29);
    EXPECT_EQ(Control<TSpectrumPlot>("SpectrumPlot")->Counts()->dataCount(), 3648);
    EXPECT_EQ(Control<QTableWidget>("SpectrumLines")->rowCount(), 29);
    EXPECT_EQ(Cell("SpectrumLines", 11, 0), "772.4207");
    EXPECT_TRUE(Cell("SpectrumLines", 11, 7).startsWith("blend"))
        << Cell("SpectrumLines", 11, 7).toStdString();
    EXPECT_EQ(Page()->Intensities().size(), 27u);

    // A window width of the user's: the integrals follow.
    const QString integral = Cell("SpectrumLines", 1, 2);
    Control<QDoubleSpinBox>("SpectrumWindowEdit")->setValue(1.2);
    EXPECT_TRUE(Notes().contains("Windows 1.2000 nm wide")) << Notes().toStdString();
    EXPECT_EQ(Cell("SpectrumLines", 1, 1), "695.943 - 697.143");
    EXPECT_NE(Cell("SpectrumLines", 1, 2), integral);
    Control<QDoubleSpinBox>("SpectrumWindowEdit")->setValue(0);

    // The saturation level and the peaks' reach are spin boxes of the import's table, the
    // excluded ranges an edit of their own; the integrals follow each.
    const auto* saturation = Control<QDoubleSpinBox>("SpectrumSaturationEdit");
    EXPECT_EQ(saturation->text(), "from the file");
    EXPECT_EQ(saturation->maximum(), 1e9);
    EXPECT_EQ(Control<QDoubleSpinBox>("SpectrumPeakToleranceEdit")->value(), 0.5);
    auto* exclude = Control<QLineEdit>("SpectrumExcludeEdit");
    exclude->setText("811.1-811.4, 900 811,1-811,4");
    emit exclude->editingFinished();
    EXPECT_EQ(exclude->text(), "811.1-811.4");
    const QList<QTableWidgetItem*> excluded =
        Control<QTableWidget>("SpectrumLines")
            ->findItems("811.1-811.4 nm excluded", Qt::MatchContains);
    // The range lies between 811.5311 and 810.3693, whose windows overlap: both say so.
    QStringList near;
    for (const QTableWidgetItem* item : excluded)
        near.append(Cell("SpectrumLines", item->row(), 0));
    EXPECT_EQ(near, (QStringList{"810.3693", "811.5311"}));
    exclude->clear();
    emit exclude->editingFinished();

    // "Use these intensities": the measurement file and its table, read into the line table.
    const QString measurement = folders_.Measurements() + "/argon_5e16.txt";
    dialogs_.SaveAnswers.append(measurement);
    Control<QPushButton>("UseIntensitiesBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(dialogs_.SaveFolders.last(),
              QStringLiteral(ZELT_SOURCE_DIR "/data/spectra/argon_5e16.txt"));
    EXPECT_TRUE(test::TTestFolders::Read(measurement).startsWith("667.7282 "));
    EXPECT_TRUE(QFileInfo::exists(folders_.Measurements() + "/argon_5e16.lines.tsv"));
    EXPECT_EQ(Grid()->rowCount(), 28);
    EXPECT_EQ(Window().windowTitle(), "Zelt Fit - " + measurement);
    // The fit of the imported intensities, as zeltfit-cli gives it.
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().Fit();
    EXPECT_TRUE(Memo().value(1).contains(" 5.035E+016 2.505E+014 "))
        << Memo().value(1).toStdString();
    EXPECT_TRUE(Memo().value(1).contains("  1524    12 ")) << Memo().value(1).toStdString();
}

TEST_F(ImportTest, ReadIntensitiesOffersTheImportOfWhatIsNoMeasurementFile) {
    // A raw spectrum: the reader's error, then the offer.
    dialogs_.AskAnswers.append(0);
    ReadThroughDialog(DemoSpectrum);
    ASSERT_EQ(dialogs_.Questions.size(), 1);
    EXPECT_EQ(dialogs_.Questions[0],
              "\"argon_5e16.csv\" is not a measurement file of the species' lines; it reads as a "
              "raw spectrum. Import it on the page \"Spectrum\"? "
              "[Import as spectrum|Import as line list]");
    EXPECT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_TRUE(Notes().contains("3648 pixels")) << Notes().toStdString();

    // A list of approximate wavelengths: "not found", then the offer; each row matched.
    const QString list = folders_.WriteMeasurement(
        "mine.txt", "696.54 1000\r\n727.29 400\r\n772.42 300\r\n706.72 500\r\n738.40 900\r\n");
    dialogs_.AskAnswers.append(0);
    ReadThroughDialog(list);
    ASSERT_EQ(dialogs_.Questions.size(), 2);
    EXPECT_TRUE(dialogs_.Questions[1].contains("it reads as a line list."))
        << dialogs_.Questions[1].toStdString();
    EXPECT_TRUE(dialogs_.Questions[1].endsWith("[Import as line list|Import as spectrum]"));
    EXPECT_EQ(Cell("SpectrumLines", 0, 1), "696.54");
    EXPECT_EQ(Cell("SpectrumLines", 0, 2), "696.5431");
    EXPECT_EQ(Cell("SpectrumLines", 0, 3), "0.0031");

    // Written over the list itself it would be lost: refused, the list stays.
    dialogs_.SaveAnswers.append(list);
    Page()->UseClick();
    EXPECT_EQ(dialogs_.Errors.last(), "\"" + list +
                                          "\" is the file imported: its measurement file needs "
                                          "another name or folder.");
    EXPECT_TRUE(test::TTestFolders::Read(list).startsWith("696.54 1000\r\n"));
    const QString measurement = folders_.Measurements() + "/mine_matched.txt";
    dialogs_.SaveAnswers.append(measurement);
    Page()->UseClick();
    EXPECT_EQ(test::TTestFolders::Read(measurement),
              "696.5431 1000\r\n727.2936 400\r\n772.4207 300\r\n706.7218 500\r\n738.398 900\r\n");
    EXPECT_EQ(Row(1).value(0), "696.5431");

    // A file that reads as no table of numbers is offered nothing.
    ReadThroughDialog(folders_.WriteMeasurement("notes.txt", "not a measurement\r\n"));
    EXPECT_EQ(dialogs_.Questions.size(), 2);
}

TEST_F(ImportTest, FreeLowerLevelsShowEveryDensityAndTheTest) {
    ReadThroughDialog(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt"));
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Control<QCheckBox>("FreeLevelsCheckBox")->setChecked(true);
    Window().Fit();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << Errors().toStdString();
    const QStringList memo = Memo();
    ASSERT_EQ(memo.size(), 7);
    EXPECT_EQ(memo[1], "7.166E+016 7.848E+014  4.940E+016 6.795E+014 1.648E+016 3.058E+014 "
                       "2.750E+015 1.500E+014 3.032E+015 1.954E+014  free  free 1.405E-003 "
                       "argon_5e16.txt  fit:OK");
    EXPECT_EQ(memo[2], "Boltzmann chi2 = 1.938E-003 (2 parameters), free chi2 = 1.405E-003 (4 "
                       "parameters, nu = 15), noise relative, u(I) = s I, s = 0.97 % from the "
                       "fit: F = 2.85, p = 0.0896");
    EXPECT_EQ(memo[4], "n_2 3p5(3/2)4s 2[3/2]* J=1: n = 1.648E+016 \u00B1 3.058E+014 m-3, "
                       "n/n_1 = 0.3336 \u00B1 0.0061, Boltzmann T = 1487 \u00B1 46 K");
    EXPECT_EQ(Cell("FreeLevelsTable", 1, 2), "1.648E+016");
    EXPECT_EQ(Cell("FreeLevelsTable", 1, 6), "1487");
    EXPECT_EQ(Control<QLabel>("FreeLevelsComparison")->text(), "argon_5e16.txt: " + memo[2]);
    EXPECT_EQ(Chart()->Fitted()->dataCount(), 29);

    // Without the lines that end on 1s2 its density is not determined.
    QByteArray kept;
    for (const QByteArray& line :
         test::TTestFolders::Read(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt").split('\n'))
        if (!line.isEmpty() && !QByteArrayList{"750.3869", "826.4522", "840.8210", "852.1442",
                                               "922.4499", "935.4220", "978.4503", "1148.8109"}
                                    .contains(line.split(' ').value(0)))
            kept += line + '\n';
    ReadThroughDialog(folders_.WriteMeasurement("no1s2.txt", kept));
    Window().Fit();
    EXPECT_TRUE(Memo().value(7).endsWith("no1s2.txt  fit:n_4 not determined"))
        << Memo().value(7).toStdString();
    EXPECT_EQ(Cell("FreeLevelsTable", 3, 2), "not determined");
    EXPECT_EQ(Cell("FreeLevelsTable", 3, 3), "");
    EXPECT_TRUE(Message().contains("not determined"));
}

// The page "Spectrum" with the demo spectrum on a small and a large screen, and the levels of a
// free fit.
TEST_F(ImportTest, ScreenshotsOfTheSpectrumPage) {
    dialogs_.OpenAnswers.append(DemoSpectrum);
    Control<QPushButton>("OpenSpectrumBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << Errors().toStdString();
    dialogs_.SaveAnswers.append(folders_.Measurements() + "/argon_5e16.txt");
    Control<QPushButton>("UseIntensitiesBtn")->click();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Control<QCheckBox>("FreeLevelsCheckBox")->setChecked(true);
    Window().Fit();
    Control<QTabWidget>("PlotPageControl")->setCurrentWidget(Page());
    Control<QTabWidget>("TablePageControl")->setCurrentIndex(3);
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << Errors().toStdString();
    Window().show();
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    for (const QSize size : {QSize(1024, 700), QSize(1680, 1000)}) {
        Window().resize(size);
        QApplication::processEvents();
        // The whole window on the screen, the status bar too, with both pages shown.
        EXPECT_EQ(Window().size(), size);
        EXPECT_TRUE(Window().grab().save(
            folder +
            QStringLiteral("/zeltfit-%1x%2-spectrum.png").arg(size.width()).arg(size.height())));
    }
    EXPECT_TRUE(Page()->grab().save(folder + "/zeltfit-spectrum-page.png"));
    dialogs_.OpenAnswers.append(folders_.WriteMeasurement(
        "mine.csv", "wavelength;intensity;u\r\n696,54;1000;20\r\n727,29;400;12\r\n"
                    "772,42;300;9\r\n706,72;500;15\r\n738,40;900;20\r\n"));
    Control<QPushButton>("OpenLineListBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << Errors().toStdString();
    EXPECT_TRUE(Page()->grab().save(folder + "/zeltfit-spectrum-page-list.png"));
}

} // namespace
} // namespace zelt
