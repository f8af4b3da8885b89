// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/shell/windowtest.h"

#include "common/version.h"

#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QTabWidget>

namespace zelt {
namespace {

using test::WindowTest;

QStringList EditTexts(auto control) {
    QStringList texts;
    for (const char* name :
         {"FromDensityEdit", "ToDensityEdit", "PointsDensityEdit", "FromTempEdit", "ToTempEdit",
          "PointsTempEdit", "FitDensityEdit", "FitTempEdit", "MaxIterEdit", "TnEdit", "PathEdit"})
        texts.append(control(name));
    return texts;
}

TEST_F(WindowTest, TemplateStartLoadsTheFirstSpecies) {
    folders_.WriteConfig("[_Extra]\r\nx=1\r\n[Fe]\r\nLevels=none.txt\r\nLines=Fe,I\r\n");
    Open();
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_TRUE(dialogs_.Messages.isEmpty()) << dialogs_.Messages.join("|").toStdString();
    EXPECT_EQ(Window().windowTitle(), "Zelt Fit");

    auto* species = Control<QComboBox>("ElementListBox");
    ASSERT_EQ(species->count(), 2);
    EXPECT_EQ(species->itemText(0), "Ar I");
    EXPECT_EQ(species->itemText(1), "Fe");
    EXPECT_EQ(species->currentText(), "Ar I");

    const QStringList levels = ListItems("LevelsBox");
    ASSERT_EQ(levels.size(), 15);
    EXPECT_EQ(levels[0],
              "   i   Configuration          Term        Energy           J           g");
    EXPECT_EQ(levels[1],
              "   0   3p5(3/2)4s             2[3/2]* 11.54835433         2.0           5");
    const QStringList lines = ListItems("LinesBox");
    ASSERT_EQ(lines.size(), 30); // the header and the 29 lines of Ar_I.txt
    EXPECT_TRUE(lines[1].startsWith(" ArI     667.72820")) << lines[1].toStdString();

    EXPECT_EQ(Control<QTabWidget>("TablePageControl")->currentIndex(), 0);
    EXPECT_EQ(Control<QTabWidget>("PlotPageControl")->currentIndex(), 0);
    EXPECT_EQ(Grid()->rowCount(), 1);
    EXPECT_EQ(Row(0).join(","), "Wavelength,Intensity,BF free,BF meas,BF fit,Upper energy,"
                                "Upper state,Lower energy,Lower state");
    EXPECT_EQ(Grid()->RowColours().value(0), QColor(20, 20, 20));
    EXPECT_EQ(Window().OpenDialogFolder(), folders_.Measurements());
    EXPECT_TRUE(Window().App().ShownMap().Empty());
}

TEST_F(WindowTest, MissingConfigurationGivesDefaultsAndOneFileError) {
    Open();
    EXPECT_EQ(EditTexts([this](const char* name) { return EditText(name); }).join(" "),
              "1.0E+015 1.0E+018 50 1000 50000 50 1.0E+016 1000 50 300 1.000");
    EXPECT_EQ(Control<QComboBox>("ElementListBox")->count(), 0);
    ASSERT_EQ(dialogs_.Messages.size(), 1);
    EXPECT_TRUE(dialogs_.Messages[0].startsWith("File error: "))
        << dialogs_.Messages[0].toStdString();
    EXPECT_TRUE(dialogs_.Errors.isEmpty());
    EXPECT_TRUE(ListItems("LevelsBox").isEmpty());
    EXPECT_EQ(Window().OpenDialogFolder(), QDir::homePath());
}

TEST_F(WindowTest, ConfiguredValuesInTheirEditFormats) {
    folders_.WriteConfig("[_Iteration]\r\nFromDensity=2.54e16\r\nToDensity=abc\r\n"
                         "DensityPoints=0x20\r\nToTemperature=12345.6\r\nTemperaturePoints=x\r\n"
                         "[_Parameters]\r\nPath=0.25\r\nTn=\r\n");
    Open();
    EXPECT_EQ(EditTexts([this](const char* name) { return EditText(name); }).join(" "),
              "2.5E+016 1.0E+018 32 1000 12346 50 1.0E+016 1000 50 300 0.250");
}

TEST_F(WindowTest, ClosingWritesTheSettingsBack) {
    folders_.WriteConfig("[_Iteration]\r\nFromDensity=2.54e16\r\nToTemperature=12345.6\r\n"
                         "[_Parameters]\r\nPath=0.5\r\n");
    Open();
    Control<QLineEdit>("MaxIterEdit")->setText("70");
    Window().close();
    const TConfigStore ini(folders_.ConfigFile().toStdString());
    const auto value = [&ini](const char* section, const char* key) {
        return ini.ReadString(section, key, "missing");
    };
    EXPECT_EQ(value("_Iteration", "FromDensity"), "2.5E16");
    EXPECT_EQ(value("_Iteration", "ToDensity"), "1E18");
    EXPECT_EQ(value("_Iteration", "DensityPoints"), "50");
    EXPECT_EQ(value("_Iteration", "FromTemperature"), "1000");
    EXPECT_EQ(value("_Iteration", "ToTemperature"), "12346");
    EXPECT_EQ(value("_Iteration", "TemperaturePoints"), "50");
    EXPECT_EQ(value("_Fit", "FromDensity"), "1E16");
    EXPECT_EQ(value("_Fit", "FromTemperature"), "1000");
    EXPECT_EQ(value("_Fit", "Count"), "70");
    EXPECT_EQ(value("_Parameters", "Tn"), "300");
    EXPECT_EQ(value("_Parameters", "Path"), "0.5");
    EXPECT_EQ(value("_Parameters", "Escape"), "missing"); // the default model writes no key
    EXPECT_EQ(value("_Files", "Measurements"), folders_.Measurements().toStdString());
}

TEST_F(WindowTest, ClosingStopsAtTheFirstTextThatIsNoNumber) {
    folders_.WriteConfig();
    Open();
    Control<QLineEdit>("FromDensityEdit")->setText("5E15");
    Control<QLineEdit>("PointsDensityEdit")->setText("1.5");
    Control<QLineEdit>("FromTempEdit")->setText("777");
    Window().close();
    const TConfigStore ini(folders_.ConfigFile().toStdString());
    EXPECT_EQ(ini.ReadString("_Iteration", "FromDensity", ""), "5E15");
    EXPECT_EQ(ini.ReadString("_Iteration", "ToDensity", ""), "1E18");
    EXPECT_EQ(ini.ReadString("_Iteration", "DensityPoints", "missing"), "missing");
    EXPECT_EQ(ini.ReadString("_Iteration", "FromTemperature", "missing"), "missing");
    EXPECT_TRUE(dialogs_.Errors.isEmpty());
}

TEST_F(WindowTest, SpeciesChangeFailures) {
    folders_.WriteConfig("[No levels]\r\nLines=Ar,I\r\n[One source]\r\nLevels=Ar_levels.txt\r\n"
                         "Lines=Ar\r\n[Missing table]\r\nLevels=Ar_levels.txt\r\nLines=Ar,II\r\n");
    Open();
    ASSERT_TRUE(dialogs_.Messages.isEmpty());
    const QStringList argonLines = ListItems("LinesBox");
    auto* species = Control<QComboBox>("ElementListBox");

    species->setCurrentIndex(1);
    ASSERT_EQ(dialogs_.Messages.size(), 1);
    EXPECT_TRUE(dialogs_.Messages[0].startsWith("File error: "));
    EXPECT_EQ(species->currentText(), "No levels");
    EXPECT_EQ(ListItems("LinesBox"), argonLines);

    species->setCurrentIndex(2);
    ASSERT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_EQ(dialogs_.Errors[0], "Wrong source in ini file. ");

    // A line table file that is not there is a file error naming the Lines key; the database
    // lines shown stay those of the table in use.
    species->setCurrentIndex(3);
    ASSERT_EQ(dialogs_.Messages.size(), 2);
    EXPECT_TRUE(dialogs_.Messages[1].startsWith("File error: Cannot open file "));
    EXPECT_TRUE(dialogs_.Messages[1].endsWith("(the line table of Lines=Ar,II)"))
        << dialogs_.Messages[1].toStdString();
    EXPECT_EQ(dialogs_.Errors.size(), 1);
    EXPECT_EQ(ListItems("LinesBox"), argonLines);
}

TEST_F(WindowTest, SpeciesChangeAfterAReadClearsTheTable) {
    folders_.WriteConfig(
        "[Argon again]\r\nLevels=Ar_levels.txt\r\nLines=Ar,I\r\nm=39.948\r\nBoltzmax=4\r\n");
    Open();
    const QString five = folders_.WriteMeasurement("five.txt", test::FiveLines);
    ReadThroughDialog(five);
    ASSERT_EQ(Grid()->rowCount(), 6);
    ASSERT_TRUE(Window().Fit());
    Control<QComboBox>("ElementListBox")->setCurrentIndex(1);
    EXPECT_EQ(Grid()->rowCount(), 1);
    EXPECT_TRUE(Chart()->Measured()->Bars().isEmpty());
    // The first result line of the new species comes with its column header again.
    ReadThroughDialog(five);
    ASSERT_TRUE(Window().Fit());
    EXPECT_EQ(Control<QPlainTextEdit>("ReportsMemo")->toPlainText().count("n_tot/m-3"), 2);
}

TEST_F(WindowTest, AboutBoxGivesTheVersionTheLicenceAndTheCitation) {
    Open();
    Control<QPushButton>("AboutBtn")->click();
    auto* box = Control<QMessageBox>("AboutBox");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), "About Zelt Fit");
    EXPECT_EQ(box->text(), QStringLiteral("Zelt Fit ") + kProgramVersion);
    const QString text = box->informativeText();
    EXPECT_TRUE(text.contains("Licence GPL-3.0-or-later")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("To cite: Zelt Fit ") + kProgramVersion));
    EXPECT_TRUE(text.endsWith("J. Phys. D: Appl. Phys. 41 (2008) 065206.")) << text.toStdString();
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(box->grab().save(folder + "/zeltfit-about.png"));
    box->close();
}

} // namespace
} // namespace zelt
