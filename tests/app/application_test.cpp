// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of the application type without a window: what each returns for the window and
// zeltfit-cli to show, on the bundled argon database and demo spectra.

#include "app/application.h"
#include "app/boltzmannplot.h"
#include "app/commands.h"
#include "app/datafolders.h"
#include "app/escapespread.h"
#include "app/listing.h"
#include "app/tables.h"
#include "app/tsv.h"
#include "common/format.h"
#include "linemodel/atomicdata.h"
#include "tests/common/tempfolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <utility>

namespace zelt {
namespace {

namespace fs = std::filesystem;

const std::string kData = ZELT_SOURCE_DIR "/data";
const std::string kDemo = kData + "/measurements/argon_5e16.txt";

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Write("zeltfit.ini", "[_Files]\r\nDatabase=" + kData +
                                         "\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n[_Extra]\r\n"
                                         "[Ar I]\r\nLevels=Ar_levels.txt\r\nLines=Ar,I\r\n"
                                         "m=39.948\r\nBoltzmax=4\r\n[Cu I]\r\nLines=Cu\r\n");
        ASSERT_TRUE(app_.ChangeSpecies("Ar I").Done);
        settings_ = app_.ConfiguredSettings();
        settings_.DensityPoints = settings_.TemperaturePoints = 2;
    }

    test::TempFolder folder_;
    TZeltApp app_{folder_.File("zeltfit.ini")};
    TCommandSettings settings_;
};

TEST_F(ApplicationTest, ReadMapAndFitReturnWhatTheWindowShows) {
    EXPECT_EQ(app_.SpeciesList(), (std::vector<std::string>{"Ar I", "Cu I"}));
    const TOutcome read = app_.ReadMeasurement(kDemo);
    EXPECT_TRUE(read.Done && read.Messages.empty() && read.Report.empty());
    EXPECT_EQ(TConfigStore(folder_.File("zeltfit.ini")).ReadString("_Files", "Measurements", ""),
              FolderOf(kDemo));
    EXPECT_TRUE(app_.ShownMap().Empty());

    const TMapOutcome map = app_.Map(settings_, ReportFinalResults);
    ASSERT_TRUE(map.Done) << map.Error;
    ASSERT_EQ(map.Report.size(), 2u);
    EXPECT_TRUE(map.Report[1].ends_with(" argon_5e16.txt  map")) << map.Report[1];
    EXPECT_EQ(app_.ShownMap().Text(), MapText(*map.Grid, map.Range));
    const double best = app_.ShownMap().ValueAt(15, 1000);
    EXPECT_EQ(best, (*map.Grid)[0][0]);
    ASSERT_EQ(map.Regions.size(), kRegionLevels.size());
    EXPECT_EQ(RegionText(map.Regions[1]), RegionText(RegionAt(map, kRegionLevels[1])));
    EXPECT_TRUE(map.Lines.Fitted && map.Lines.Fractions);

    settings_.FitTemperatureOn = true;
    const TFitOutcome fit = app_.Fit(settings_, ReportFinalResults, folder_.File("fit.log"));
    ASSERT_TRUE(fit.Done) << fit.Error;
    // The column header came with the map's line.
    ASSERT_EQ(fit.Report.size(), 1u);
    EXPECT_TRUE(fit.Report[0].ends_with(" argon_5e16.txt  fit:itercount reached"));
    EXPECT_NE(fit.Report[0].find("  4.966E+016 6.653E+014 "), std::string::npos);
    EXPECT_EQ(fit.Result.ReturnCode,
              static_cast<std::int32_t>(Slot(fit.Result.Params, ResultCode)));
    // The map on screen stays the map's; the fit's region is its ellipse at each level.
    EXPECT_EQ(app_.ShownMap().ValueAt(15, 1000), best);
    EXPECT_EQ(fit.Ellipses.size(), kRegionLevels.size());
    const TOutline ellipse = EllipseAt(fit, kRegionLevels[1]);
    ASSERT_EQ(ellipse.size(), fit.Ellipses[1].size());
    EXPECT_EQ(ellipse[7].X, fit.Ellipses[1][7].X);
    EXPECT_EQ(ellipse[7].Y, fit.Ellipses[1][7].Y);
    EXPECT_EQ(fit.Row->Values.Procedure, "fit:itercount reached");

    // An edited intensity: the fit no longer belongs to the lines; a line that is not there is
    // refused and changes nothing.
    const TLinesOutcome edited = app_.SetIntensity(1, 400);
    ASSERT_TRUE(edited.Done) << edited.Error;
    EXPECT_EQ(edited.Lines.Lines[1].Intensity, 400);
    EXPECT_FALSE(edited.Lines.Fitted);
    EXPECT_EQ(edited.Lines.Lines[0].BFFit, 0);
    EXPECT_FALSE(app_.SetIntensity(29, 1).Done);
    EXPECT_EQ(app_.Lines().Lines[1].Intensity, 400);
}

// The map's region is that of the likelihood fit: on the demo spectrum the joint region of n_1
// and T_exc holds the fit's profile interval of n_1, and a map at one temperature (only n_1 a
// parameter) reaches as far as the profile interval of the fit of n_1 at that temperature, to
// a grid step.
TEST_F(ApplicationTest, TheMapsRegionIsTheLikelihoodFitsInterval) {
    ASSERT_TRUE(app_.ReadMeasurement(kDemo).Done);
    settings_.FromDensity = 4.5e16L;
    settings_.ToDensity = 5.6e16L;
    settings_.DensityPoints = 80;
    settings_.FromTemperature = 1300;
    settings_.ToTemperature = 1700;
    settings_.TemperaturePoints = 40;
    const auto interval = [&](const TFitOutcome& fit) {
        const TLikelihoodFit& l = *fit.Row->Likelihood;
        return std::pair(std::log10(static_cast<double>(*l.DensityLow)),
                         std::log10(static_cast<double>(*l.DensityHigh)));
    };
    settings_.FitTemperatureOn = true;
    const TFitOutcome both = app_.Fit(settings_, ReportFinalResults, folder_.File("fit.log"));
    ASSERT_TRUE(both.Done) << both.Error;
    const auto [low, high] = interval(both);
    const TMapOutcome map = app_.Map(settings_, ReportFinalResults);
    ASSERT_TRUE(map.Done) << map.Error;
    const TMapRegion& region = map.Regions[0];
    ASSERT_TRUE(region.Exists);
    EXPECT_EQ(region.DegreesOfFreedom, 17); // 29 lines of 10 upper levels, 2 parameters
    EXPECT_FALSE(region.CutByGrid);
    const double step = map.Range.LogDensityStep;
    EXPECT_LE(region.FromLogDensity, low + step);
    EXPECT_GE(region.ToLogDensity, high - step);
    EXPECT_EQ(RegionText(region), RegionText(RegionAt(map, 0.683)));

    // T_exc held at 1500 K: one temperature on the map, one parameter.
    settings_.FitTemperatureOn = false;
    settings_.FitTemperature = settings_.FromTemperature = 1500;
    settings_.TemperaturePoints = 1;
    const TFitOutcome density = app_.Fit(settings_, ReportFinalResults, folder_.File("fit.log"));
    ASSERT_TRUE(density.Done) << density.Error;
    const auto [from, to] = interval(density);
    const TMapOutcome row = app_.Map(settings_, ReportFinalResults);
    ASSERT_TRUE(row.Done) << row.Error;
    const TMapRegion& alone = row.Regions[0];
    ASSERT_TRUE(alone.Exists);
    EXPECT_EQ(alone.DegreesOfFreedom, 18);
    EXPECT_GE(alone.FromLogDensity, from);
    EXPECT_LE(alone.FromLogDensity, from + step);
    EXPECT_LE(alone.ToLogDensity, to);
    EXPECT_GE(alone.ToLogDensity, to - step);
}

// Every fit's row carries n_1 under both built-in escape factors; a fit with another than mewe
// names it, and the other's n_1, in its report and its line to quote. The rerun leaves the model
// as the fit left it, and runs the fit it is given.
TEST_F(ApplicationTest, FitsCarryTheSpreadOfTheEscapeFactors) {
    ASSERT_TRUE(app_.ReadMeasurement(kDemo).Done);
    settings_.FitTemperatureOn = true;
    const TFitOutcome mewe = app_.Fit(settings_, ReportFinalResults, folder_.File("fit.log"));
    ASSERT_TRUE(mewe.Done && mewe.Row) << mewe.Error;
    EXPECT_EQ(mewe.Report.size(), 2u); // header and result line
    EXPECT_EQ(*mewe.Row->Spread.Mewe, mewe.Row->Values.Densities[0]);
    ASSERT_TRUE(mewe.Row->Spread.Doppler);
    EXPECT_NEAR(*mewe.Row->Spread.Doppler / *mewe.Row->Spread.Mewe, 2.357, 0.001);
    EXPECT_EQ(QualityText(*mewe.Row).find("escape"), std::string::npos);

    settings_.Escape = "Doppler";
    const TFitOutcome doppler = app_.Fit(settings_, ReportFinalResults, folder_.File("fit.log"));
    ASSERT_TRUE(doppler.Done && doppler.Row) << doppler.Error;
    ASSERT_EQ(doppler.Report.size(), 2u);
    EXPECT_EQ(doppler.Report[1],
              "Escape factor: doppler, exact for a homogeneous Doppler source (Irons 1979)");
    EXPECT_EQ(doppler.Row->Provenance.Settings.Escape, "doppler");
    EXPECT_EQ(*doppler.Row->Spread.Doppler, doppler.Row->Values.Densities[0]);
    EXPECT_EQ(*doppler.Row->Spread.Mewe, *mewe.Row->Spread.Mewe);
    const std::string quote = QualityText(*doppler.Row);
    EXPECT_TRUE(quote.starts_with("To quote: n_1 = ")) << quote;
    EXPECT_TRUE(quote.ends_with(
        Format("; escape factor doppler, n_1 (mewe) = %.3e m-3", {*mewe.Row->Spread.Mewe})))
        << quote;
    const std::string table = ResultsTableText(app_.Results(), "\n");
    // The escape factor's columns end the conditions; the likelihood fit's follow them.
    EXPECT_NE(table.find("\tVersion\tEscape factor\tn_1 (mewe)/m-3\tn_1 (doppler)/m-3\t"
                         "Quoted n_1/m-3\t"),
              std::string::npos);

    // The spread of the same fit in a model of its own, with the fit it is given.
    TAtomicData model([](const std::string&) {});
    LoadSpecies(model, TConfigStore(folder_.File("zeltfit.ini")), "Ar I");
    model.ImportLines(kDemo);
    model.CalcBranchingFractions();
    const TCommandSettings& ran = doppler.Row->Provenance.Settings;
    ASSERT_FALSE(QuietFit(model, ran).Quality.Flagged());
    const TAtomicData fitted(model, [](const std::string&) {});
    std::vector<std::string> escapes;
    const TEscapeSpread spread = EscapeSpread(
        model, ran, *doppler.Row, [&](TAtomicData& data, const TCommandSettings& settings) {
            escapes.push_back(settings.Escape);
            return QuietFit(data, settings);
        });
    EXPECT_EQ(escapes, std::vector<std::string>{"mewe"});
    EXPECT_EQ(spread.Mewe, doppler.Row->Spread.Mewe);
    EXPECT_EQ(model.Escape, fitted.Escape);
    for (std::int32_t i = 0; i < model.SelectedLines.size(); ++i)
        EXPECT_EQ(model.SelectedLines[i].BFFit, fitted.SelectedLines[i].BFFit);
    for (std::int32_t j = 0; j < model.Levels.size(); ++j)
        EXPECT_EQ(model.Levels[j].Population, fitted.Levels[j].Population);
}

// Lines in memory are refused as a file of them would be: a value that is not a number by its
// line, and more lines than a measurement may hold before any is read.
TEST_F(ApplicationTest, LinesInMemoryRefusedAsInAFile) {
    std::vector<TMeasuredLine> lines = {{696.5431, 1, 0}, {706.7218, 2, 0}, {714.7042, 3, 0}};
    ASSERT_TRUE(app_.ReadMeasurement("arrays.txt", lines).Done);
    lines[2].Intensity = std::numeric_limits<double>::quiet_NaN();
    const TLinesOutcome nan = app_.ReadMeasurement("arrays.txt", lines);
    EXPECT_EQ(nan.Kind, TErrorKind::File);
    EXPECT_EQ(nan.Error, "Invalid numeric input \"nan\" in file \"arrays.txt\", line 3.");
    lines[2].Intensity = 3;
    lines[1].Uncertainty = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(app_.ReadMeasurement("arrays.txt", lines).Error,
              "Invalid numeric input \"-inf\" in file \"arrays.txt\", line 2.");
    lines.resize(kMaxMeasuredLines + 1, lines[0]);
    EXPECT_EQ(app_.ReadMeasurement("arrays.txt", lines).Error,
              "Cannot read file \"arrays.txt\": more than 10000 lines, the limit for a "
              "measurement file.");
}

TEST_F(ApplicationTest, FailuresAreOutcomesWithTheReportsTexts) {
    // The size guard, before anything is allocated; the same text in zeltfit-cli.
    ASSERT_TRUE(app_.ReadMeasurement(kDemo).Done);
    settings_.DensityPoints = settings_.TemperaturePoints = 100000;
    for (const TOutcome& outcome :
         {static_cast<TOutcome>(app_.Map(settings_, ReportFinalResults)),
          static_cast<TOutcome>(app_.Fit(settings_, ReportFinalResults, folder_.File("f.log")))}) {
        EXPECT_FALSE(outcome.Done);
        EXPECT_EQ(outcome.Kind, TErrorKind::Input);
        EXPECT_TRUE(outcome.Error.starts_with("A map of 100000 x 100000 points is too large for "
                                              "the memory: it needs 298.0 GB, and "))
            << outcome.Error;
        EXPECT_TRUE(outcome.Report.empty());
    }

    const std::string missing = folder_.File("none.txt");
    const TOutcome unread = app_.ReadMeasurement(missing);
    EXPECT_FALSE(unread.Done);
    EXPECT_EQ(unread.Kind, TErrorKind::File);
    EXPECT_EQ(unread.Error, "Cannot open file \"" + missing + "\": file not found.");
    EXPECT_EQ(unread.Cause, "");
#ifndef _WIN32
    // Looking for the cause of a failed read opens no device: /dev/zero has no line end.
    const TOutcome device = app_.ReadMeasurement("/dev/zero");
    EXPECT_EQ(device.Error, "Cannot open file \"/dev/zero\": it is not a regular file.");
    EXPECT_EQ(device.Cause, "");
#endif
    // A binary file is said to be one; a long header line is quoted in part.
    const char zip[] = "PK\x03\x04\x14\0\x08\0garbage\xFF\xFE\n";
    const TOutcome binary =
        app_.ReadMeasurement(folder_.Write("binary.txt", std::string(zip, sizeof zip - 1)));
    EXPECT_EQ(binary.Cause, "Line 1 holds bytes that are no text: the file is no text file, and "
                            "a measurement file holds only numbers, a wavelength and an intensity "
                            "on each line.");
    const TOutcome header = app_.ReadMeasurement(folder_.Write(
        "header.txt", "Wavelength (nm) Intensity (counts) Uncertainty Comment\n696.5431 5\n"));
    EXPECT_EQ(header.Cause,
              "Line 1 is a header line (\"Wavelength (nm) Intensity (counts) Uncer\u2026\"): "
              "a measurement file holds only numbers, a wavelength and an intensity on each "
              "line.");

    // An orderly stop: the message, and the lines before it stay.
    const TLinesOutcome part =
        app_.ReadMeasurement(folder_.Write("part.txt", "696.5431 500\n500.1 3\n"));
    EXPECT_TRUE(part.Done);
    EXPECT_EQ(part.Messages, std::vector<std::string>{"Wavelength 500.100000 was not found. "
                                                      "Import was stopped. Check used specie or "
                                                      "wavelength precision."});
    EXPECT_EQ(part.Lines.Lines.size(), 1);
    EXPECT_EQ(app_.RecalculateBF().Error, "Not enough lines for Zelt method.");
    settings_.DensityPoints = settings_.TemperaturePoints = 2;
    EXPECT_EQ(app_.Map(settings_, ReportFinalResults).Error, "Not enough lines for Zelt method.");

    const TOutcome species = app_.ChangeSpecies("Cu I");
    EXPECT_FALSE(species.Done);
    EXPECT_EQ(species.Kind, TErrorKind::File);
    EXPECT_EQ(species.Error, "");
    ASSERT_EQ(species.Messages.size(), 1u);
    EXPECT_TRUE(species.Messages[0].starts_with("File error: ")) << species.Messages[0];
    EXPECT_EQ(app_.Species(), "Cu I");
}

// Spectra imported on two threads fail each as it would alone, with the error's text and kind
// made on the calling thread; a response that cannot be read fails every file.
TEST_F(ApplicationTest, SpectraOnThreadsFailAsOneSpectrumDoes) {
    const std::string missing = folder_.File("none.csv");
    const std::vector<std::string> files = {missing, folder_.Write("notes.txt", "no spectrum\n"),
                                            kData + "/spectra/argon_5e16.csv"};
    const std::string out = folder_.File("out");
    fs::create_directories(out);
    TImportSettings settings;
    std::vector<TImportOutcome> outcomes;
    const auto collect = [&](const std::string&, const TImportOutcome& o) {
        outcomes.push_back(o);
    };
    app_.ImportSpectra(files, out, settings, 2, collect);
    ASSERT_EQ(outcomes.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        const TImportOutcome alone = app_.ImportSpectrum(files[i], out, settings);
        EXPECT_FALSE(outcomes[i].Done);
        EXPECT_EQ(outcomes[i].Error, alone.Error);
        EXPECT_EQ(outcomes[i].Kind, alone.Kind);
    }
    EXPECT_EQ(outcomes[0].Kind, TErrorKind::File);
    EXPECT_EQ(outcomes[0].Error, "Cannot open file \"" + missing + "\": file not found.");
    EXPECT_TRUE(outcomes[2].Done) << outcomes[2].Error;

    outcomes.clear();
    settings.Response = folder_.File("response.txt");
    app_.ImportSpectra(files, out, settings, 2, collect);
    ASSERT_EQ(outcomes.size(), 3u);
    for (const TImportOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.Kind, TErrorKind::File);
        EXPECT_EQ(outcome.Error, app_.ImportSpectrum(files[2], out, settings).Error);
    }
}

TEST_F(ApplicationTest, SeriesFitsEachFileAsAloneAndStopsWhenAsked) {
    const std::vector<std::string> files = {kData + "/measurements/argon_1e16.txt",
                                            folder_.Write("argon_3e16.txt", "Wavelength 1\n"),
                                            kDemo};
    settings_.FitTemperatureOn = true;
    std::vector<std::string> started;
    TSeriesHooks hooks;
    hooks.Starting = [&](const TSeries& series) {
        started.push_back(FileNameOf(series.Files[series.Entries.size()]));
    };
    TReportList report;
    hooks.Done = [&](const TSeries&, const TSeriesFile& file) {
        report.insert(report.end(), file.Fit.Report.begin(), file.Fit.Report.end());
    };
    const TSeries series = app_.RunSeries(files, TSeriesCommand::Fit, settings_, ReportFinalResults,
                                          folder_.File("fit.log"), hooks);
    EXPECT_EQ(started,
              (std::vector<std::string>{"argon_1e16.txt", "argon_3e16.txt", "argon_5e16.txt"}));
    EXPECT_EQ(series.Axis.X, (std::vector<double>{1e16, 3e16, 5e16}));
    ASSERT_EQ(series.Entries.size(), 3u);
    EXPECT_FALSE(series.Stopped);
    EXPECT_FALSE(series.Entries[1].Fitted);
    EXPECT_EQ(series.Entries[1].Problem,
              "Invalid numeric input \"Wavelength\" in file \"" + files[1] +
                  "\", line 1. Line 1 is a header line (\"Wavelength 1\"): a measurement file "
                  "holds only numbers, a wavelength and an intensity on each line.");
    EXPECT_TRUE(series.Entries[2].Fitted);

    // The result lines of each file read and fitted alone (after the series' column header).
    TReportList alone;
    for (const std::size_t i : {0, 2}) {
        ASSERT_TRUE(app_.ReadMeasurement(files[i]).Done);
        const TFitOutcome fit = app_.Fit(settings_, ReportFinalResults, folder_.File("fit.log"));
        alone.insert(alone.end(), fit.Report.begin(), fit.Report.end());
    }
    ASSERT_EQ(report.size(), 3u);
    EXPECT_EQ(TReportList(report.begin() + 1, report.end()), alone);

    int asked = 0;
    hooks = {};
    hooks.StopRequested = [&] { return ++asked == 1; };
    const TSeries stopped = app_.RunSeries(files, TSeriesCommand::Map, settings_,
                                           ReportFinalResults, folder_.File("fit.log"), hooks);
    EXPECT_TRUE(stopped.Stopped);
    EXPECT_EQ(stopped.Entries.size(), 1u);
}

// What a front end sees of every file of a series: its outcomes, its entry and the line table
// of the model it was done in; and the log after the series.
struct TSeriesView {
    std::vector<std::string> Seen;
    std::size_t Entries = 0;
    std::string Log;
};

// The series of `files` on `threads` threads; a positive `stopAfter` stops it after that file,
// asked for or, with `raise`, by a hook that raises there.
TSeriesView RunAndView(TZeltApp& app, const std::vector<std::string>& files, TSeriesCommand command,
                       const TCommandSettings& settings, TReportKind report, const std::string& log,
                       std::int32_t threads, std::size_t stopAfter = 0, bool raise = false) {
    TSeriesView view;
    TSeriesHooks hooks;
    hooks.Done = [&](const TSeries& series, const TSeriesFile& file) {
        const TLinesOutcome& outcome =
            command == TSeriesCommand::Map   ? static_cast<const TLinesOutcome&>(file.Map)
            : command == TSeriesCommand::Fit ? static_cast<const TLinesOutcome&>(file.Fit)
                                             : file.Free;
        std::string text = file.Path + "|" + file.Read.Error + "|" + outcome.Error;
        for (const std::vector<std::string>* lines :
             {&file.Read.Messages, &file.Read.Warnings, &outcome.Messages, &outcome.Report})
            for (const std::string& line : *lines)
                text += "|" + line;
        const TSeriesEntry& entry = series.Entries.back();
        text += "|" + entry.Problem + "|" + std::to_string(entry.X) + "|" + entry.Row.FileName;
        if (file.Read.Done)
            text += TableText(LineTable(outcome.Done ? outcome.Lines : file.Read.Lines), "\n");
        view.Seen.push_back(text);
        if (raise && view.Seen.size() == stopAfter)
            throw std::runtime_error("hook failed");
    };
    hooks.StopRequested = [&] { return !raise && view.Seen.size() == stopAfter; };
    try {
        view.Entries =
            app.RunSeries(files, command, settings, report, log, hooks, threads).Entries.size();
    } catch (const std::runtime_error&) {
        EXPECT_TRUE(raise);
    }
    std::ifstream stream(log, std::ios::binary);
    view.Log.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    return view;
}

// Shared among threads, a series shows each file as one thread does, in the same order: the
// column header once, bad files and orderly stops where they come, the log of the last fit,
// and no file after a stop.
TEST_F(ApplicationTest, SeriesOnSeveralThreadsIsTheSeriesOfOneThread) {
    std::vector<std::string> files;
    for (int copy = 0; copy < 4; ++copy)
        for (const std::string name : {"argon_1e16", "argon_2e17", "argon_5e16"}) {
            files.push_back(folder_.File(name + "_" + std::to_string(copy) + ".txt"));
            fs::copy_file(kData + "/measurements/" + name + ".txt", files.back());
        }
    files.push_back(folder_.Write("argon_3e16_1.txt", "Wavelength 1\n"));
    files.push_back(folder_.Write("argon_4e16_2.txt", "696.5431 500\n500.1 3\n"));
    settings_.FitTemperatureOn = true;
    const std::string log = folder_.File("fit.log");
    for (const TReportKind report : {ReportFinalResults, ReportFitIteration}) {
        const TSeriesView one =
            RunAndView(app_, files, TSeriesCommand::Fit, settings_, report, log, 1);
        ASSERT_EQ(one.Seen.size(), files.size());
        for (const std::int32_t threads : {2, 3}) {
            TZeltApp parallel(folder_.File("zeltfit.ini"));
            ASSERT_TRUE(parallel.ChangeSpecies("Ar I").Done);
            const TSeriesView many =
                RunAndView(parallel, files, TSeriesCommand::Fit, settings_, report, log, threads);
            EXPECT_EQ(many.Seen, one.Seen) << threads << " threads";
            EXPECT_EQ(many.Log, one.Log);
            EXPECT_EQ(parallel.Results().size(), 12u);
        }
    }
    // With free levels too; the threads fit in models of their own, and the last file is then
    // the current file with its fitted lines, as on one thread.
    TZeltApp one(folder_.File("zeltfit.ini")), two(folder_.File("zeltfit.ini"));
    ASSERT_TRUE(one.ChangeSpecies("Ar I").Done && two.ChangeSpecies("Ar I").Done);
    const TSeriesCommand free = TSeriesCommand::FreeLevels;
    EXPECT_EQ(RunAndView(two, files, free, settings_, ReportFinalResults, log, 2).Seen,
              RunAndView(one, files, free, settings_, ReportFinalResults, log, 1).Seen);
    EXPECT_EQ(two.CurrentFile(), folder_.File("argon_2e17_3.txt")); // 2e17 comes last
    EXPECT_EQ(two.CurrentFile(), one.CurrentFile());
    ASSERT_EQ(one.Lines().Lines.size(), 29);
    EXPECT_EQ(TableText(LineTable(two.Lines()), "\n"), TableText(LineTable(one.Lines()), "\n"));
    // No log of a thread is left beside the log.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_.Path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    settings_.DensityPoints = settings_.TemperaturePoints = 7;
    EXPECT_EQ(
        RunAndView(app_, files, TSeriesCommand::Map, settings_, ReportFinalResults, log, 2).Seen,
        RunAndView(app_, files, TSeriesCommand::Map, settings_, ReportFinalResults, log, 1).Seen);

    std::string stoppedAt; // the current file after an orderly stop on one thread
    for (const std::int32_t threads : {1, 2})
        for (const bool raise : {false, true}) {
            const TSeriesView stopped = RunAndView(app_, files, TSeriesCommand::Fit, settings_,
                                                   ReportFinalResults, log, threads, 4, raise);
            EXPECT_EQ(stopped.Seen.size(), 4u);
            EXPECT_EQ(stopped.Entries, raise ? 0u : 4u);
            if (raise)
                continue;
            if (threads == 1)
                stoppedAt = app_.CurrentFile();
            EXPECT_EQ(app_.CurrentFile(), stoppedAt) << threads << " threads";
        }
}

// A series writes its log once, after its last file, on one thread as on several: no file
// per fit. A log that cannot be written then is a warning of the last file's fit.
TEST_F(ApplicationTest, SeriesWritesTheLogOfItsLastFitOnce) {
    std::vector<std::string> files; // in the order of the series
    for (const std::string name : {"argon_1e16", "argon_5e16", "argon_2e17"}) {
        files.push_back(folder_.File(name + ".txt"));
        fs::copy_file(kData + "/measurements/" + name + ".txt", files.back());
    }
    fs::create_directories(folder_.File("logs"));
    const std::string log = folder_.File("logs/fit.log");
    for (const std::int32_t threads : {1, 2}) {
        std::vector<bool> logThere;
        std::vector<std::string> warnings;
        TSeriesHooks hooks;
        hooks.Done = [&](const TSeries&, const TSeriesFile& file) {
            logThere.push_back(fs::exists(log));
            warnings.insert(warnings.end(), file.Fit.Warnings.begin(), file.Fit.Warnings.end());
        };
        fs::remove(log);
        app_.RunSeries(files, TSeriesCommand::Fit, settings_, ReportFinalResults, log, hooks,
                       threads);
        EXPECT_EQ(logThere, (std::vector<bool>{false, false, true})) << threads << " threads";
        EXPECT_TRUE(warnings.empty());
        const std::string last = folder_.Read("logs/fit.log");
        ASSERT_TRUE(app_.ReadMeasurement(files.back()).Done);
        ASSERT_TRUE(app_.Fit(settings_, ReportFinalResults, log).Done);
        EXPECT_EQ(last, folder_.Read("logs/fit.log"));

        hooks.Done = [&](const TSeries&, const TSeriesFile& file) {
            fs::remove_all(folder_.File("logs"));
            warnings.insert(warnings.end(), file.Fit.Warnings.begin(), file.Fit.Warnings.end());
        };
        app_.RunSeries(files, TSeriesCommand::Fit, settings_, ReportFinalResults, log, hooks,
                       threads);
        EXPECT_EQ(warnings, std::vector<std::string>{"Cannot create file \"" + log +
                                                     "\": No such file or directory."});
        fs::create_directories(folder_.File("logs"));
    }
}

TEST(SettingsTable, EditTextsDefaultsAndTheWriteBack) {
    test::TempFolder folder;
    TConfigStore store(folder.File("zeltfit.ini"));
    std::vector<std::string> shown;
    for (const TSetting& setting : Settings())
        if (!setting.InSpeciesSection())
            shown.push_back(ConfiguredText(setting, store.View()));
    // With no configuration file, in the window's fill order.
    EXPECT_EQ(shown, (std::vector<std::string>{"1.0E+015", "1.0E+018", "50", "1000", "50000", "50",
                                               "1.0E+016", "1000", "50", "300", "1.000"}));

    const TSetting& from = SettingOfEdit("FromDensityEdit");
    EXPECT_TRUE(StoreText(store, from, "2.5E+016"));
    EXPECT_FALSE(StoreText(store, SettingOfEdit("PointsTempEdit"), "2.5"));
    EXPECT_EQ(folder.Read("zeltfit.ini"), "[_Iteration]\r\nFromDensity=2.5E16\r\n");
    // The escape factor's key only where it is not the default or is there already.
    const auto storeEscape = [&](const std::string& choice) {
        store.Update([&](TIniText& ini) { StoreEscape(ini, choice); });
        return ReadSettings(store, "").Escape;
    };
    EXPECT_EQ(storeEscape("mewe"), "mewe");
    EXPECT_EQ(folder.Read("zeltfit.ini"), "[_Iteration]\r\nFromDensity=2.5E16\r\n");
    EXPECT_EQ(storeEscape("doppler"), "doppler");
    EXPECT_EQ(storeEscape("mewe"), "mewe");
    EXPECT_EQ(folder.Read("zeltfit.ini"),
              "[_Iteration]\r\nFromDensity=2.5E16\r\n[_Parameters]\r\nEscape=mewe\r\n");
    EXPECT_EQ(RefusalText(SettingOfEdit("PathEdit"), "-2"),
              "Absorption path (m): \"-2\" is not a number above 0.");
    EXPECT_EQ(RefusalText(SettingOfEdit("PointsTempEdit"), "2.5"),
              "Map temperature points: \"2.5\" is not a whole number above 0.");
    EXPECT_EQ(RefusalText(from, "0x10"),
              "Map density from (m-3): \"0x10\" is not a number above 0.");
    EXPECT_EQ(RefusalText(SettingOfEdit("MaxIterEdit"), "0x10"), "");
    EXPECT_EQ(RefusalText(SettingOfEdit("PathEdit"), "1e400"),
              "Absorption path (m): \"1e400\" is beyond the range of a real number.");
    EXPECT_EQ(RefusalText(SettingOfEdit("PathEdit"), " -.5E-999 "),
              "Absorption path (m): \" -.5E-999 \" is beyond the range of a real number.");
    EXPECT_EQ(RefusalText(SettingOfEdit("PathEdit"), "1e400x"),
              "Absorption path (m): \"1e400x\" is not a number above 0.");
    EXPECT_THROW(SettingOfEdit("NoEdit"), ERangeError);
}

// An imported intensity shows the digits its uncertainty gives it, never more than its shortest
// form; a read without uncertainties shows the shortest form.
// The points of the free levels: the line from n_1's point to level k's falls by e/(k T) per eV
// with T the level's Boltzmann temperature of the levels' table; the Boltzmann fit's line starts
// at its own ln(n_1/g_1) and falls by e/(k T_exc).
TEST_F(ApplicationTest, BoltzmannPlotOfAFreeFit) {
    ASSERT_TRUE(app_.ReadMeasurement(kDemo).Done);
    settings_.FitTemperatureOn = true;
    settings_.FitDensity = 4e16L;
    settings_.FitTemperature = 1300;
    const TFreeLevelsOutcome fit = app_.FitFreeLevels(settings_, folder_.File("f.log"));
    ASSERT_TRUE(fit.Done) << fit.Error;
    const TBoltzmannPlot plot = BoltzmannPlotOf(fit);
    const double eOverK = 1.60217733e-19 / 1.380658e-23; // K per eV
    ASSERT_EQ(plot.Points.size(), 4u);
    const TBoltzmannPoint& first = plot.Points[0];
    for (std::size_t k = 1; k < plot.Points.size(); ++k) {
        const TBoltzmannPoint& point = plot.Points[k];
        const double slope = (point.Value - first.Value) / (point.Energy - first.Energy);
        EXPECT_NEAR(-eOverK / slope, static_cast<double>(*fit.Run.Free.Levels[k].Temperature), 1e-6)
            << k;
        // u(ln n) = u(n) / n
        EXPECT_NEAR(point.Uncertainty,
                    static_cast<double>(*fit.Run.Free.Levels[k].Uncertainty /
                                        fit.Run.Free.Levels[k].Density),
                    1e-12);
    }
    ASSERT_TRUE(plot.WithLine);
    const TParamVector& boltzmann = fit.Run.Boltzmann->Params;
    EXPECT_EQ(plot.Temperature, static_cast<double>(Slot(boltzmann, Temperature)));
    EXPECT_EQ(plot.FromEnergy, first.Energy);
    EXPECT_NEAR(plot.FromValue,
                std::log(std::pow(10.0, static_cast<double>(Slot(boltzmann, LogDensity))) / 5),
                1e-9); // g_1 = 5 (J = 2)
    EXPECT_NEAR((plot.ToValue - plot.FromValue) / (plot.ToEnergy - plot.FromEnergy),
                -eOverK / plot.Temperature, 1e-9);
    EXPECT_TRUE(BoltzmannPlotOf(TFreeLevelsOutcome{}).Points.empty());
}

TEST(LineTable, IntensitiesShowTheDigitsTheyCarry) {
    const std::pair<double, double> cases[] = {
        {38211.3728371923, 190}, {6.211345678, 0.034}, {1200, 0.034}, {6.211345678, 0}};
    const char* shown[] = {"38211", "6.211", "1200", "6.211345678"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TLine line;
        line.Intensity = cases[i].first;
        line.IntensityUncertainty = cases[i].second;
        EXPECT_EQ(LineRow(line)[1], shown[i]) << i;
    }
}

TEST(Listing, MeasurementFilesOfAFolder) {
    test::TempFolder folder;
    for (const char* name : {"c.txt", "B.TXT", "a.txt", ".hidden.txt", "notes.dat", ".txt"})
        folder.Write(name, "");
    fs::create_directory(folder.File("d.txt"));
    EXPECT_EQ(MeasurementNames(folder.Path()),
              (std::vector<std::string>{"a.txt", "B.TXT", "c.txt"}));
#ifndef _WIN32
    EXPECT_EQ(BatchFiles({folder.Path(), "x.dat"}),
              (std::vector<std::string>{folder.File("a.txt"), folder.File("B.TXT"),
                                        folder.File("c.txt"), "x.dat"}));
    EXPECT_EQ(FolderOf(folder.File("a.txt")), folder.Path());
    EXPECT_EQ(FolderOf("/a.txt"), "/");
#endif
    // The natural order of the series (I_2kW before I_2.25kW); a raw spectrum's rows of even
    // pixel steps are left out, a measurement of 70 lines at the database's uneven ones is not.
    std::string spectrum = "Wavelength;Counts\r\n", lines;
    for (int i = 0; i < 300; ++i)
        spectrum += std::to_string(650 + 0.05 * i) + ";" + std::to_string(100 + i % 7) + "\r\n";
    for (int i = 0; i < 70; ++i)
        lines += std::to_string(400 + i * i * 0.1 + i) + " 100\r\n";
    folder.Write("spectrum.txt", spectrum);
    folder.Write("many.txt", lines);
    for (const char* name : {"I_2.25kW.txt", "I_2kW.txt", "I_10kW.txt"})
        folder.Write(name, "");
    EXPECT_TRUE(IsSpectrumExport(folder.File("spectrum.txt")));
    EXPECT_FALSE(IsSpectrumExport(folder.File("many.txt")));
    EXPECT_EQ(MeasurementNames(folder.Path()),
              (std::vector<std::string>{"a.txt", "B.TXT", "c.txt", "I_2kW.txt", "I_2.25kW.txt",
                                        "I_10kW.txt", "many.txt"}));
    // A UTF-8 name in a Windows-1252 message keeps its characters.
    EXPECT_EQ(MessageText("caf\xC3\xA9 \xB1"), "caf\xC3\xA9 \xC2\xB1");
    EXPECT_EQ(MessageText("caf\xC3\xA9"), "caf\xC3\xA9");
}

#ifndef _WIN32
// The XDG rules: a relative XDG_DATA_HOME is ignored, duplicates and the user's own folder
// are no common folders.
TEST(Listing, SystemFoldersByTheXdgVariables) {
    setenv("HOME", "/home/u", 1);
    setenv("XDG_DATA_HOME", "relative/share", 1);
    setenv("XDG_DATA_DIRS", "/opt/share/:relative:/home/u/.local/share:/opt/share", 1);
    EXPECT_EQ(UserDataFolder(), "/home/u/.local/share/Zelt fit 1.0");
    const std::vector<std::string> common = CommonDataFolders();
    ASSERT_EQ(common.size(), 2u);
    EXPECT_EQ(common[0],
              fs::read_symlink("/proc/self/exe").parent_path().string() + "/../share/Zelt fit 1.0");
    EXPECT_EQ(common[1], "/opt/share/Zelt fit 1.0");
    unsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(CommonDataFolders().back(), "/usr/share/Zelt fit 1.0");
}
#endif

// A file name with a tab, a newline or an opening quote stays one field of one row.
TEST(TsvLine, QuotesFieldsThatWouldBreakTheRow) {
    EXPECT_EQ(TsvLine({"1.0", "a\tb.txt", "fit:OK"}), "1.0\t\"a\tb.txt\"\tfit:OK\n");
    EXPECT_EQ(TsvLine({"new\nline \"x\".txt", "\"q\".txt", "m\xC3\xBCller \"y\".txt"}),
              "\"new\nline \"\"x\"\".txt\"\t\"\"\"q\"\".txt\"\tm\xC3\xBCller \"y\".txt\n");
}

} // namespace
} // namespace zelt
