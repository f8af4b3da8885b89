// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commands.h"
#include "app/tables.h"
#include "common/codepage.h"
#include "common/format.h"
#include "common/version.h"
#include "linemodel/atomicdata.h"
#include "linemodel/likelihood.h"
#include "linemodel/region.h"
#include "tests/cli/runcommand.h"
#include "tests/common/tempfolder.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace zelt {
namespace {

namespace fs = std::filesystem;

const std::string kDatabase = ZELT_SOURCE_DIR "/data";

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += Cp1252ToUtf8(line) + "\n";
    return text;
}

using test::TRun;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder_.File("spectra"));
        WriteIni("");
        // Three lines of the upper level 2p2 and two of 2p3; 696.5431 nm ends on the
        // metastable 1s5 and is the most absorbed.
        Write("spectra/a.txt", "696.5431 520\r\n727.2936 160\r\n772.4207 340\r\n"
                               "826.4522 390\r\n706.7218 300\r\n738.3980 700\r\n");
        Write("spectra/B.txt", "696.5431 480\n727.2936 170\n772.4207 350\n826.4522 400\n"
                               "706.7218 280\n738.3980 720\n");
        Write("spectra/c.txt", "696.5431 500\n727.2936 oops\n");
        Write("spectra/notes.dat", "not a measurement\n");
    }
    void WriteIni(const std::string& extra,
                  const std::string& speciesKeys = "m=39.948\r\nBoltzmax=4\r\n") {
        Write("zeltfit.ini", "[_Files]\r\nDatabase=" + kDatabase +
                                 "\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n" + extra +
                                 "[_Extra]\r\n[Ar I]\r\nLevels=Ar_levels.txt\r\nLines=Ar,I\r\n" +
                                 speciesKeys + "[Cu I]\r\nLines=Cu\r\n");
    }
    void Write(const std::string& name, const std::string& text) { folder_.Write(name, text); }
    std::string Path(const std::string& name) const { return folder_.File(name); }

    TRun Cli(const std::string& args) const { return Run("--ini '" + ini_ + "' " + args); }
    TRun Run(const std::string& args, const std::string& environment = {}) const {
        return test::RunCommand(environment + " '" + ZELT_CLI_PATH + "' " + args, folder_);
    }

    // The same operations through the core, as the front end should call them.
    TAtomicData Model() const {
        TAtomicData model([](const std::string&) {});
        LoadSpecies(model, TConfigStore(ini_), "Ar I");
        return model;
    }

    // The lines of a text, without their line ends.
    static std::vector<std::string> Split(const std::string& text, char separator) {
        std::vector<std::string> parts;
        std::istringstream stream(text);
        for (std::string part; std::getline(stream, part, separator);)
            parts.push_back(part);
        return parts;
    }

    test::TempFolder folder_;
    std::string ini_ = folder_.File("zeltfit.ini");
};

TEST_F(CliTest, SpeciesAndListingsMatchTheCore) {
    const TRun species = Cli("species");
    EXPECT_EQ(species.status, 0);
    EXPECT_EQ(species.out, "Ar I\nCu I\n");

    TAtomicData model = Model();
    std::vector<std::string> levels, lines, all;
    model.ListLevels(levels);
    model.ListLines(false, lines);
    model.ListLines(true, all);
    EXPECT_EQ(Cli("levels").out, Lines(levels));
    EXPECT_EQ(Cli("--species 'Ar I' lines").out, Lines(lines));
    EXPECT_EQ(Cli("lines --all").out, Lines(all));
    EXPECT_EQ(levels.size(), 15u);
}

TEST_F(CliTest, TableIsTheSavedTableOnStandardOutput) {
    const TRun run = Cli("table '" + Path("spectra/a.txt") + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    TAtomicData model = Model();
    model.ImportLines(Path("spectra/a.txt"));
    model.CalcBranchingFractions();
    EXPECT_EQ(run.out,
              Cp1252ToUtf8(TableText(LineTable({model.SelectedLines, true, false}), "\n")));
    EXPECT_TRUE(run.out.starts_with(
        "\tWavelength\tIntensity\tBF free\tBF meas\tBF fit\tUpper energy\tUpper state\tLower "
        "energy\tLower state\n\t696.5431\t520\t"));
    EXPECT_NE(run.out.find("\t3p5(1/2)4p - 2[1/2]_1\t11.548354330\t3p5(3/2)4s - 2[3/2]*_2\n"),
              std::string::npos);
}

TEST_F(CliTest, MapPrintsTheReportLinesAndWritesTheGrid) {
    const TRun run = Cli("map '" + Path("spectra/a.txt") +
                         "' --density-points 4 --temperature-points 3 --from-temperature 1000"
                         " --to-temperature 4000 --table --rss '" +
                         Path("grid.txt") + "'");
    EXPECT_EQ(run.status, 0) << run.err;

    TAtomicData model = Model();
    model.ImportLines(Path("spectra/a.txt"));
    model.CalcBranchingFractions();
    TCommandSettings settings = ReadSettings(TConfigStore(ini_), "Ar I");
    settings.DensityPoints = 4;
    settings.TemperaturePoints = 3;
    settings.FromTemperature = 1000;
    settings.ToTemperature = 4000;
    TReportList report;
    RunMap(model, settings, "a.txt", report, ReportFinalResults);
    EXPECT_EQ(run.out,
              Lines(report) + "\n" +
                  Cp1252ToUtf8(TableText(LineTable({model.SelectedLines, true, false}), "\n")));
    EXPECT_EQ(report.size(), 2u); // header, then the result line ending in "a.txt  map"
    EXPECT_TRUE(report[1].ends_with("a.txt  map"));
    EXPECT_NE(run.out.find("\u00B1u(n_tot)"), std::string::npos);

    const std::string grid = folder_.Read("grid.txt");
    EXPECT_EQ(grid, MapText(model.RSSMap, model.MapRange));
    // The rows shared among threads give the same map.
    const TRun threads = Cli("map '" + Path("spectra/a.txt") +
                             "' --density-points 4 --temperature-points 3 --from-temperature 1000"
                             " --to-temperature 4000 --table --threads 3 --rss '" +
                             Path("grid3.txt") + "'");
    EXPECT_EQ(threads.out, run.out);
    EXPECT_EQ(folder_.Read("grid3.txt"), grid);
    EXPECT_EQ(Cli("map '" + Path("spectra/a.txt") + "' --threads 0").status, 2);
    EXPECT_EQ(grid.substr(0, grid.find("\r\n")), "T/K \\ log10 n_1\t15\t15.75\t16.5\t17.25");
}

TEST_F(CliTest, MapRegionLineFollowsTheResultLines) {
    const std::string args = "map '" + Path("spectra/a.txt") +
                             "' --density-points 30 --temperature-points 30 --from-temperature "
                             "500 --to-temperature 5000";
    const TRun plain = Cli(args);
    const TRun run = Cli(args + " --region 95.4");
    EXPECT_EQ(run.status, 0) << run.err;

    TAtomicData model = Model();
    model.ImportLines(Path("spectra/a.txt"));
    model.CalcBranchingFractions();
    TCommandSettings settings = ReadSettings(TConfigStore(ini_), "Ar I");
    settings.DensityPoints = settings.TemperaturePoints = 30;
    settings.FromTemperature = 500;
    settings.ToTemperature = 5000;
    TReportList report;
    RunMap(model, settings, "a.txt", report, ReportFinalResults);
    const TMapRegion region =
        MapRegion(ChiSquareMapOf(model, MapParameters(settings), model.MapRange, 30, 30, 1),
                  model.MapRange, 0.954);
    EXPECT_EQ(run.out, plain.out + RegionText(region) + "\n");
    // Four lines of 2p2 and two of 2p3: 3 + 1 independent fractions.
    EXPECT_NE(run.out.find("\nRegion 95.4 %: 2 degrees of freedom, RSS <= "), std::string::npos)
        << run.out;
    for (const char* level : {"0.683", "100", "x"})
        EXPECT_EQ(Cli(args + " --region " + level).status, 2) << level;
}

// A UTF-8 name prints as the terminal shows UTF-8, beside the "\xB1" of the report; a tab or a
// line end in a name stays inside its line and its TSV field.
TEST_F(CliTest, FileNamesStayOnTheirLineInTheTerminalsEncoding) {
    for (const char* name : {"m\xC3\xBCller.txt", "a\tb\nc.txt"})
        fs::copy_file(kDatabase + "/measurements/argon_2e17.txt", Path(name));
    const TRun utf8 = Cli("fit '" + Path("m\xC3\xBCller.txt") + "'");
    EXPECT_EQ(utf8.status, 0) << utf8.err;
    EXPECT_TRUE(utf8.out.starts_with("n_tot/m-3 \xC2\xB1u(n_tot) ")) << utf8.out;
    EXPECT_TRUE(utf8.out.ends_with(" m\xC3\xBCller.txt  fit:OK\n")) << utf8.out;

    // A terminal of a Latin-1 locale gets Latin-1 (where localedef can make the locale).
    if (std::system(
            ("localedef -i de_DE -f ISO-8859-1 '" + Path("de_DE.ISO-8859-1") + "'").c_str()) == 0) {
        const TRun latin1 = Run("--ini '" + ini_ + "' fit '" + Path("m\xC3\xBCller.txt") + "'",
                                "LOCPATH='" + folder_.Path() + "' LC_ALL=de_DE.ISO-8859-1");
        EXPECT_TRUE(latin1.out.starts_with("n_tot/m-3 \xB1u(n_tot) ")) << latin1.out;
        EXPECT_TRUE(latin1.out.ends_with(" m\xFCller.txt  fit:OK\n")) << latin1.out;
    }

    const TRun controls = Cli("fit '" + Path("a\tb\nc.txt") + "'");
    EXPECT_EQ(std::count(controls.out.begin(), controls.out.end(), '\n'), 2) << controls.out;
    EXPECT_TRUE(controls.out.ends_with(" a\\tb\\nc.txt  fit:OK\n")) << controls.out;
    const TRun tsv = Cli("fit --format tsv '" + Path("a\tb\nc.txt") + "'");
    EXPECT_NE(tsv.out.find("\t\"a\tb\nc.txt\"\tfit:OK\t"), std::string::npos) << tsv.out;
    const TRun missing = Cli("batch fit '" + Path("x\ny.txt") + "'");
    EXPECT_EQ(missing.err, Path("x\\ny.txt") + ": Cannot open file \"" + Path("x\ny.txt") +
                               "\": file not found.\n");
}

TEST_F(CliTest, TsvRowsReadBackAsTheResultLinesNumbers) {
    const std::string args = "batch fit '" + Path("spectra/a.txt") + "' '" + Path("spectra/B.txt") +
                             "' --fit-temperature";
    const std::vector<std::string> lines = Split(Cli(args).out, '\n');
    const TRun tsv = Cli(args + " --format tsv");
    EXPECT_EQ(tsv.status, 3) << tsv.err; // a.txt runs to a density that absorbs nothing
    const std::vector<std::string> rows = Split(tsv.out, '\n');
    ASSERT_EQ(rows.size(), 3u) << tsv.out;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(rows[0].starts_with(
        "n_tot/m-3\tu(n_tot)/m-3\tn_1/m-3\tu(n_1)/m-3\tn_2/m-3\tu(n_2)/m-3\tn_3/m-3\t"
        "u(n_3)/m-3\tn_4/m-3\tu(n_4)/m-3\tT/K\tu(T)/K\tRSS\tFilename\tProcedure\tx\tx from\t"
        "x text\tS\tS/(N-2)\tnu\tnu-NF\tQuoted u(n_1)/m-3\tQuoted u(T)/K\tchi2/nu\tFlags\t"
        "Species\t"))
        << rows[0];
    for (std::size_t i = 1; i < rows.size(); ++i) {
        // The last field may be empty.
        const std::vector<std::string> fields = Split(rows[i] + "\t", '\t');
        // The procedure, last on the result line, may hold blanks.
        std::vector<std::string> tokens;
        for (const std::string& token : Split(lines[i], ' '))
            if (!token.empty())
                tokens.push_back(token);
        ASSERT_EQ(fields.size(), 65u) << rows[i]; // 48, then the likelihood fit's 17
        // A flagged fit's procedure has blanks in it ("fit:n_1 not determined").
        ASSERT_GE(tokens.size(), 15u) << lines[i];
        for (std::size_t k = 15; k < tokens.size(); ++k)
            tokens[14] += " " + tokens[k];
        for (std::size_t k = 0; k < 13; ++k) {
            // 17 significant digits: d.dddddddddddddddde+XX
            EXPECT_EQ(fields[k].find('e'), 18u) << fields[k];
            const double value = std::strtod(fields[k].c_str(), nullptr);
            const bool temperature = k == 10 || k == 11;
            EXPECT_EQ(Format(temperature ? "%.0f" : "%.3e", {value}), tokens[k]) << k;
        }
        EXPECT_EQ(fields[13], tokens[13]);
        EXPECT_EQ(fields[14], tokens[14]);
        // Names without a number: the positions in the batch.
        EXPECT_EQ(fields[15], i == 1 ? "1.0000000000000000e+00" : "2.0000000000000000e+00");
    }

    const TRun map = Cli("map '" + Path("spectra/a.txt") + "' --format tsv --region 68.3");
    const std::vector<std::string> mapRows = Split(map.out, '\n');
    ASSERT_EQ(mapRows.size(), 2u) << map.out;
    EXPECT_NE(mapRows[0].find("\tProcedure\tRegion/%\tDoF\tRSS limit\tlog10 n_1 from\t"
                              "log10 n_1 to\tT from/K\tT to/K\tCut by grid\tS\t"),
              std::string::npos);
    const std::vector<std::string> mapHeader = Split(mapRows[0], '\t');
    const std::vector<std::string> mapFields = Split(mapRows[1] + "\t", '\t');
    EXPECT_EQ(mapFields.size(), 70u); // a map's likelihood fields are empty
    // A map has no spread of n_1 under the escape factors.
    const auto escape = std::find(mapHeader.begin(), mapHeader.end(), "Escape factor");
    ASSERT_NE(escape, mapHeader.end()) << mapRows[0];
    const auto column = static_cast<std::size_t>(escape - mapHeader.begin());
    ASSERT_LT(column + 2, mapFields.size());
    EXPECT_EQ(mapFields[column], "mewe");
    EXPECT_EQ(mapFields[column + 1] + mapFields[column + 2], "") << mapRows[1];
    EXPECT_NE(mapRows[1].find("\ta.txt\tmap\t68.3\t2\t"), std::string::npos) << mapRows[1];
    EXPECT_EQ(Cli("fit x --format tsv --table").status, 2);
}

TEST_F(CliTest, FitMatchesTheCoreAndWritesItsLog) {
    const std::string ini = folder_.Read("zeltfit.ini");
    const TRun run = Cli("fit '" + Path("spectra/a.txt") +
                         "' --fit-temperature --temperature 1200 --log '" + Path("fit.log") + "'");
    // The made-up fractions of a.txt ask for less absorption than none: the fit runs to a
    // density at which no line absorbs, flagged.
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(folder_.Read("zeltfit.ini"), ini); // the measurement folder is the window's to store

    TAtomicData model = Model();
    model.ImportLines(Path("spectra/a.txt"));
    model.CalcBranchingFractions();
    TCommandSettings settings = ReadSettings(TConfigStore(ini_), "Ar I");
    settings.FitTemperatureOn = true;
    settings.FitTemperature = 1200;
    TReportList report;
    RunFit(model, settings, "a.txt", Path("core.log"), report, ReportFinalResults);
    EXPECT_EQ(run.out, Lines(report));
    EXPECT_EQ(folder_.Read("fit.log"), folder_.Read("core.log"));

    const TRun log = Cli("fit '" + Path("spectra/a.txt") + "' --report iteration --log '" +
                         Path("fit.log") + "'");
    EXPECT_EQ(log.status, 3) << log.err;
    EXPECT_EQ(log.out.substr(0, 84), std::string(84, '='));
    EXPECT_NE(log.out.find("Minimization report : "), std::string::npos);
}

TEST_F(CliTest, FreeLevelsPrintTheFreeLineTheTestAndTheLevels) {
    const std::string demo = std::string(ZELT_SOURCE_DIR) + "/data/measurements/argon_5e16.txt";
    const TRun run = Cli("fit '" + demo + "' --fit-temperature --free-levels");
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream out(run.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << run.out;
    EXPECT_EQ(lines[1], "7.166E+016 7.848E+014  4.940E+016 6.795E+014 1.648E+016 3.058E+014 "
                        "2.750E+015 1.500E+014 3.032E+015 1.954E+014  free  free 1.405E-003 "
                        "argon_5e16.txt  fit:OK");
    // The demo's 1 % noise on data made in Boltzmann balance: no evidence for free levels.
    EXPECT_EQ(lines[2], "Boltzmann chi2 = 1.938E-003 (2 parameters), free chi2 = 1.405E-003 (4 "
                        "parameters, nu = 15), noise relative, u(I) = s I, s = 0.97 % from the "
                        "fit: F = 2.85, p = 0.0896");
    EXPECT_EQ(lines[4], "n_2 3p5(3/2)4s 2[3/2]* J=1: n = 1.648E+016 \u00B1 3.058E+014 m-3, "
                        "n/n_1 = 0.3336 \u00B1 0.0061, Boltzmann T = 1487 \u00B1 46 K");
    EXPECT_EQ(Cli("fit '" + demo + "' --free-levels --report iteration").status, 2);
    EXPECT_EQ(Cli("batch fit '" + demo + "' --fit-temperature --free-levels").out, run.out);

    // The rows of --format tsv: those of the Boltzmann fits as they are, then the free fit's
    // densities, "n.d." for a level the data do not determine, and the test.
    const std::string tsv = "batch fit '" + demo + "' --fit-temperature --format tsv";
    const std::vector<std::string> boltzmann = Split(Cli(tsv).out, '\n');
    const std::vector<std::string> free = Split(Cli(tsv + " --free-levels").out, '\n');
    ASSERT_EQ(free.size(), 2u);
    EXPECT_EQ(free[0], boltzmann[0] +
                           "\tfree n_1/m-3\tfree u(n_1)/m-3\tfree n_2/m-3\tfree u(n_2)/m-3\t"
                           "free n_3/m-3\tfree u(n_3)/m-3\tfree n_4/m-3\tfree u(n_4)/m-3\t"
                           "free RSS\tF\tLR\tp");
    ASSERT_TRUE(free[1].starts_with(boltzmann[1] + "\t")) << free[1];
    const std::vector<std::string> fields = Split(free[1].substr(boltzmann[1].size() + 1), '\t');
    ASSERT_EQ(fields.size(), 12u);
    const auto shown = [&](std::size_t i) {
        return Format("%.3e", {std::strtod(fields[i].c_str(), nullptr)});
    };
    EXPECT_EQ(shown(2) + " " + shown(3) + " " + shown(8), "1.648E+016 3.058E+014 1.405E-003");
    EXPECT_EQ(Format("%.2f", {std::strtod(fields[9].c_str(), nullptr)}), "2.85");
    EXPECT_EQ(fields[10], "");
    const TRun thin =
        Cli("fit '" + demo + "' --fit-temperature --path 1e-9 --free-levels --format tsv");
    EXPECT_EQ(thin.status, 0);
    const std::vector<std::string> row = Split(Split(thin.out, '\n').at(1), '\t');
    // Only n L enters the model: the Boltzmann fit (its steps into an overflow rejected) and
    // the free fit find the densities 0.05 / 1e-9 times those of the path of 0.05 m.
    const auto shownAt = [&](std::size_t i) {
        return Format("%.3e", {std::strtod(row.at(i).c_str(), nullptr)});
    };
    EXPECT_EQ(shownAt(2) + " " + row.at(14), "2.483E+024 fit:itercount reached");
    EXPECT_EQ(shownAt(row.size() - 12), "2.470E+024");
}

TEST_F(CliTest, DefaultsComeFromTheConfigurationAsTheWindowShowsThem) {
    WriteIni(
        "[_Fit]\r\nFromDensity=2.54e16\r\nCount=0x20\r\n[_Iteration]\r\nToTemperature=12345.6\r\n");
    const TRun fitHelp = Cli("fit --help");
    EXPECT_EQ(fitHelp.status, 0);
    EXPECT_NE(fitHelp.out.find("2.5E+016"), std::string::npos) << fitHelp.out;
    EXPECT_NE(fitHelp.out.find("32"), std::string::npos);
    EXPECT_NE(fitHelp.out.find("0.050"), std::string::npos);
    const TRun mapHelp = Cli("map --help");
    EXPECT_NE(mapHelp.out.find("12346"), std::string::npos) << mapHelp.out;
}

TEST_F(CliTest, BatchGoesOnAfterABadFile) {
    const TRun run = Cli("batch fit '" + Path("spectra") + "'");
    EXPECT_EQ(run.status, 1);
    // a.txt, B.txt and c.txt in the file list's order; notes.dat is no measurement file.
    std::istringstream out(run.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_TRUE(lines[0].starts_with("n_tot/m-3 \u00B1u(n_tot)"));
    EXPECT_TRUE(lines[1].ends_with(" a.txt  fit:OK") ||
                lines[1].find(" a.txt  fit:") != std::string::npos);
    EXPECT_NE(lines[2].find(" B.txt  fit:"), std::string::npos);
    EXPECT_NE(run.err.find("\n" + Path("spectra/c.txt") + ": Invalid numeric input \"oops\""),
              std::string::npos)
        << run.err;
    // Then what in the file the reader does not take.
    EXPECT_NE(run.err.find(", line 2.\nLine 2 is a header line (\"727.2936 oops\"): a measurement "
                           "file holds only numbers, a wavelength and an intensity on each "
                           "line.\n"),
              std::string::npos)
        << run.err;
}

// Shared among threads, a batch prints what it prints on one thread, byte for byte; one whose
// results cannot be written stops after the first file.
TEST_F(CliTest, BatchOnThreadsPrintsWhatOneThreadPrints) {
    fs::create_directories(Path("many"));
    for (int copy = 0; copy < 4; ++copy)
        for (const char* name : {"argon_1e16", "argon_2e17", "argon_5e16"})
            Write("many/" + std::string(name) + "_" + std::to_string(copy) + ".txt",
                  folder_.Read(kDatabase + "/measurements/" + name + ".txt"));
    Write("many/argon_3e16_1.txt", "696.5431 500\n727.2936 oops\n");
    const std::string many = " '" + Path("many") + "'";
    const std::string fit = "batch fit" + many + " --fit-temperature --log '" + Path("l.log") + "'";
    for (const std::string& args :
         {fit, fit + " --format tsv", fit + " --report iteration --table",
          fit + " --free-levels --table", fit + " --free-levels --format tsv",
          "batch map" + many + " --density-points 6 --temperature-points 5 --table"}) {
        const TRun one = Cli(args + " --threads 1");
        EXPECT_EQ(one.status, 1) << args;
        const TRun two = Cli(args + " --threads 2");
        EXPECT_EQ(two.status, one.status) << args;
        EXPECT_EQ(two.out, one.out) << args;
        EXPECT_EQ(two.err, one.err) << args;
    }
    EXPECT_EQ(Split(Cli(fit + " --format tsv").out, '\n').size(), 13u);

    const std::string command = std::string("'") + ZELT_CLI_PATH + "' --ini '" + ini_ + "' " + fit +
                                " --threads 2 >/dev/full 2>'" + Path("stderr.txt") + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    EXPECT_EQ(folder_.Read("stderr.txt"),
              "Cannot write the standard output: No space left on device.\n");
}

// Results that cannot be written are an error, and a configuration that is a device is refused
// without reading it.
TEST_F(CliTest, OutputThatCannotBeWrittenAndADeviceAsConfiguration) {
    const std::string command = std::string("'") + ZELT_CLI_PATH + "' --ini '" + ini_ + "' fit '" +
                                Path("spectra/a.txt") + "' >/dev/full 2>'" + Path("stderr.txt") +
                                "'";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    // After the reasons of a.txt's flagged fit.
    EXPECT_TRUE(folder_.Read("stderr.txt")
                    .ends_with("\nCannot write the standard output: No space left on device.\n"))
        << folder_.Read("stderr.txt");
    const std::string zero = std::string("'") + ZELT_CLI_PATH + "' --ini /dev/zero species 2>'" +
                             Path("stderr.txt") + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(zero.c_str())), 1);
    EXPECT_EQ(folder_.Read("stderr.txt"),
              "Cannot open file \"/dev/zero\": it is not a regular file: the configuration is "
              "read as empty and never written.\n");
}

// A batch map writes one grid per measurement into the folder --rss names, never one file over
// and over.
TEST_F(CliTest, BatchMapWritesOneGridPerMeasurement) {
    fs::create_directories(Path("grids"));
    const std::string grid = " --density-points 4 --temperature-points 3 --rss '";
    const TRun batch = Cli("batch map '" + Path("spectra/a.txt") + "' '" + Path("spectra/B.txt") +
                           "'" + grid + Path("grids") + "'");
    EXPECT_EQ(batch.status, 0) << batch.err;
    const TRun single = Cli("map '" + Path("spectra/B.txt") + "'" + grid + Path("B.txt") + "'");
    EXPECT_EQ(single.status, 0) << single.err;
    EXPECT_TRUE(fs::exists(Path("grids/a.rss")));
    EXPECT_EQ(folder_.Read("grids/B.rss"), folder_.Read("B.txt"));
    const TRun refused =
        Cli("batch map '" + Path("spectra/a.txt") + "'" + grid + Path("B.txt") + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "batch map --rss takes a folder for one grid per measurement: \"" +
                               Path("B.txt") + "\" is no folder.\n");
}

TEST_F(CliTest, VersionNamesTheLicenceAndHowToCite) {
    const TRun version = Cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err, "");
    EXPECT_TRUE(version.out.starts_with(std::string("zeltfit-cli (Zelt Fit) ") + kProgramVersion +
                                        "\n\nDensity and excitation temperature"))
        << version.out;
    EXPECT_NE(version.out.find("Licence GPL-3.0-or-later"), std::string::npos);
    EXPECT_NE(version.out.find("To cite: Zelt Fit " + std::string(kProgramVersion)),
              std::string::npos);
    EXPECT_TRUE(version.out.ends_with("J. Phys. D: Appl. Phys. 41 (2008) 065206.\n"));
}

TEST_F(CliTest, ExitStatusesAndMessages) {
    const TRun usage = Cli("fit");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("Usage: zeltfit-cli"), std::string::npos);
    // The first line of a usage error says what is wrong in a few words.
    const std::pair<const char*, const char*> usageErrors[] = {
        {"frobnicate", "Unknown subcommand \"frobnicate\""},
        {"batch frobnicate x", "Unknown subcommand \"frobnicate\""},
        {"map x --density-points 0", "--density-points: 0 is not a whole number of at least 1"},
        {"map x --threads 1e12", "--threads: 1e12 is beyond 2147483647, the largest whole number "
                                 "taken"},
        {"fit x --path 1e400", "--path: 1e400 is beyond the range of a real number"},
        {"map x --region 100", "--region: 100 is not a number from 1 to below 100"},
        {"import-lines x --out y --tolerance 0", "--tolerance: 0 is not a number from 0.001 to 1"},
        // The spin box's limits: 0 measures the width.
        {"import x --out y --width 25", "--width: 25 is not a number from 0 to 20"},
        {"import x --out y --saturation -5",
         "--saturation: -5 is not a number from 0 to 1000000000"},
        {"import x --out y --exclude 811.4", "--exclude: \"811.4\" is not a range FROM-TO in nm"}};
    for (const auto& [args, message] : usageErrors) {
        const TRun run = Cli(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), message);
    }
    for (const char* value : {"0", "-2", "1,5", "inf"})
        EXPECT_EQ(Cli(std::string("fit x --path ") + value).status, 2) << value;

    // The window's size guard: refused before the grid is allocated.
    const TRun huge = Cli("map '" + Path("spectra/a.txt") +
                          "' --density-points 100000 --temperature-points 100000");
    EXPECT_EQ(huge.status, 1);
    EXPECT_TRUE(huge.err.starts_with("A map of 100000 x 100000 points is too large for the "
                                     "memory: it needs 298.0 GB, and "))
        << huge.err;

    const TRun missing = Cli("fit '" + Path("none.txt") + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Cannot open file \"" + Path("none.txt") + "\": file not found.\n");

    const TRun wrongSource = Cli("--species 'Cu I' levels");
    EXPECT_EQ(wrongSource.status, 1);
    EXPECT_TRUE(wrongSource.err.starts_with("File error: ")) << wrongSource.err;

    const TRun noSpecies = Cli("--species Fe levels");
    EXPECT_EQ(noSpecies.status, 1);
    EXPECT_EQ(noSpecies.err, "No species section \"Fe\" in \"" + ini_ + "\"\n");

    // Too few lines to form branching fractions from: map and fit refuse, in a batch too.
    Write("empty.txt", "");
    Write("one.txt", "696.5431 500\n");
    for (const char* command : {"map", "fit"}) {
        const TRun refused = Cli(std::string(command) + " '" + Path("one.txt") + "'");
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, "Not enough lines for Zelt method.\n");
    }
    const TRun batch = Cli("batch map '" + Path("empty.txt") + "' '" + Path("one.txt") + "'");
    EXPECT_EQ(batch.status, 1);
    EXPECT_EQ(batch.out, "");
    EXPECT_EQ(batch.err, Path("empty.txt") + ": Not enough lines for Zelt method.\n" +
                             Path("one.txt") + ": Not enough lines for Zelt method.\n");

    // A wavelength that is not in the database: the message, and the lines before it stay.
    Write("short.txt", "696.5431 500\n727.2936 160\n500.1 3\n");
    const TRun notFound = Cli("table '" + Path("short.txt") + "'");
    EXPECT_EQ(notFound.status, 0);
    EXPECT_EQ(notFound.err, "Wavelength 500.100000 was not found. Import was stopped. Check used "
                            "specie or wavelength precision.\n");
    EXPECT_EQ(std::count(notFound.out.begin(), notFound.out.end(), '\n'), 3);
}

// A result the data cannot support names its problem in the procedure, says why on standard
// error and exits with 3; the spectrum that supports its fit still says "fit:OK" with 0.
TEST_F(CliTest, FlaggedResultsNameTheProblemAndExitWithThree) {
    const std::string demo = " '" + kDatabase + "/measurements/argon_2e17.txt'";
    Write("two.txt", "696.5431 381.634\r\n727.2936 161.595\r\n");
    Write("zero.txt", "696.5431 0\r\n727.2936 0\r\n706.7218 -1\r\n738.3980 0\r\n");
    const struct {
        std::string args, procedure;
        int status;
    } cases[] = {
        {"fit" + demo + " --fit-temperature", "argon_2e17.txt  fit:OK", 0},
        {"fit" + demo + " --density 1e17 --temperature 1e5 --fit-temperature",
         "-1507    12 1.672E-004 argon_2e17.txt  fit:T_exc not positive", 3},
        {"fit" + demo + " --path 1e-12", "argon_2e17.txt  fit:n_1 not determined", 3},
        {"fit" + demo + " --path 1e30", "argon_2e17.txt  fit:n_1 not determined", 3},
        {"fit" + demo + " --gas-temperature 1e-300", "argon_2e17.txt  fit:n_1 not determined", 3},
        {"fit" + demo + " --density 1e-308", "argon_2e17.txt  fit:n_1 not determined", 3},
        // Held at 1e308 K, far above the coarse grid's best point: named first, then T_exc.
        {"fit" + demo + " --temperature 1e308 --fit-temperature",
         "argon_2e17.txt  fit:local minimum", 3},
        {"fit '" + Path("two.txt") + "' --fit-temperature", "two.txt  fit:too few fractions", 3},
        {"fit '" + Path("zero.txt") + "'", "zero.txt  fit:no information", 3},
        {"map '" + Path("zero.txt") + "'", "zero.txt  map:no information", 3},
        {"batch fit" + demo + " '" + Path("two.txt") + "' --fit-temperature",
         "two.txt  fit:too few fractions", 3},
    };
    for (const auto& c : cases) {
        const TRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_TRUE(run.out.ends_with(c.procedure + "\n")) << c.args << "\n" << run.out;
    }
    EXPECT_EQ(Cli("fit" + demo + " --density 1e17 --temperature 1e5 --fit-temperature").err,
              "argon_2e17.txt: T_exc = -1507 K is not above 0 K; the model takes its absolute "
              "value.\n");
    // A failed file weighs more than a flagged one.
    EXPECT_EQ(Cli("batch fit '" + Path("zero.txt") + "' '" + Path("spectra/c.txt") + "'").status,
              1);
    // A negative intensity is read with a warning.
    const TRun negative = Cli("table '" + Path("zero.txt") + "'");
    EXPECT_EQ(negative.status, 0);
    EXPECT_EQ(negative.err, "Negative intensity -1 at 706.7218 nm in file \"" + Path("zero.txt") +
                                "\", line 3: its branching fraction is not physical, and fits of "
                                "this file are flagged.\n");
}

TEST_F(CliTest, SpeciesKeysThatNoFitCanUseAreRefusedByName) {
    const std::string fit = "fit '" + Path("spectra/a.txt") + "'";
    const std::string where = " in section [Ar I] of \"" + ini_ + "\": expected ";
    const std::string levels = "a whole number, the levels with a Boltzmann population.\n";
    const std::string mass = "the atomic mass in u, a number above 0.\n";
    const struct {
        std::string keys, message;
    } cases[] = {
        {"m=39.948\r\nBoltzmax=x\r\n", "Invalid value \"x\" of Boltzmax" + where + levels},
        {"m=39.948\r\nBoltzmax=2147483648\r\n",
         "Invalid value \"2147483648\" of Boltzmax" + where + levels},
        {"m=abc\r\nBoltzmax=4\r\n", "Invalid value \"abc\" of m" + where + mass},
        {"m=0\r\n", "Invalid value \"0\" of m" + where + mass},
        {"Boltzmax=4\r\n", "No key m" + where + mass},
    };
    for (const auto& c : cases) {
        WriteIni("", c.keys);
        const TRun run = Cli(fit);
        EXPECT_EQ(run.status, 1) << c.keys;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(Cli("levels").status, 0); // the listings need no mass
    }
    WriteIni("", "m=39.948\r\nBoltzmax=0\r\n");
    EXPECT_EQ(Cli(fit).status, 3); // no level populated: no information, but a valid value
}

// Python's csv module reads every row back with the conditions that made it; the files of a
// batch come in the natural order of their names.
TEST_F(CliTest, TsvRowsCarryTheirConditionsInNaturalOrder) {
    if (!fs::exists("/usr/bin/python3"))
        GTEST_SKIP() << "no /usr/bin/python3";
    fs::create_directories(Path("power"));
    const std::string spectrum = folder_.Read("spectra/B.txt");
    for (const char* name : {"ar_10kW.txt", "ar_2.75kW.txt", "ar_2kW.txt", "ar_9kW.txt"})
        Write(std::string("power/") + name, spectrum);
    const TRun tsv = Cli("batch fit '" + Path("power") + "' --density 2e16 --format tsv");
    Write("rows.tsv", tsv.out);
    const std::string script =
        "import csv\n"
        "for r in csv.DictReader(open('" +
        Path("rows.tsv") +
        "'), delimiter='\\t'):\n"
        "    print('|'.join(r[k] for k in ('Filename', 'x', 'x from', 'x text', 'Species', "
        "'Database', 'Levels file', 'Lines file', 'm/u', 'Boltzmax', 'Tn/K', 'Path/m', "
        "'Start n_1/m-3', 'Start T/K', 'T fitted', 'Max iterations', 'Map n_1 from/m-3', "
        "'Version')))\n";
    Write("read.py", script);
    FILE* pipe = popen(("/usr/bin/python3 '" + Path("read.py") + "'").c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0);
    const std::string conditions = "|Ar I|" + kDatabase +
                                   "|Ar_levels.txt|Ar_I.txt|3.9948000000000000e+01|4|"
                                   "4.0000000000000000e+02|5.0000000000000003e-02|"
                                   "2.0000000000000000e+16|1.0000000000000000e+03|0|50||" +
                                   kProgramVersion + "\n";
    EXPECT_EQ(out, "ar_2kW.txt|2.0000000000000000e+00|file names|kW" + conditions +
                       "ar_2.75kW.txt|2.7500000000000000e+00|file names|kW" + conditions +
                       "ar_9kW.txt|9.0000000000000000e+00|file names|kW" + conditions +
                       "ar_10kW.txt|1.0000000000000000e+01|file names|kW" + conditions);
}

// Demo spectra made without noise with the exact escape factor of a Doppler source give back
// their densities and temperature when fitted with it; the specified factor puts n_1 at 0.36 to
// 0.44 of them, the systematic that every row and the report name.
TEST_F(CliTest, SpectraMadeWithAnEscapeFactorFitBackWithIt) {
    std::string command = std::string("'") + ZELT_MAKEDEMO_PATH +
                          "' --escape doppler --noise 0 --out '" + Path("demo") + "' '" +
                          kDatabase + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<std::pair<std::string, double>> spectra = {
        {"argon_1e16.txt", 1e16}, {"argon_5e16.txt", 5e16}, {"argon_2e17.txt", 2e17}};
    for (const auto& [name, density] : spectra) {
        const std::string file = Path("demo/measurements/" + name);
        const TRun tsv = Cli("fit '" + file + "' --escape doppler --fit-temperature --format tsv");
        EXPECT_EQ(tsv.status, 0) << tsv.err;
        const std::vector<std::string> rows = Split(tsv.out, '\n');
        ASSERT_EQ(rows.size(), 2u) << tsv.out;
        // The last field may be empty.
        const std::vector<std::string> names = Split(rows[0], '\t'),
                                       fields = Split(rows[1] + "\t", '\t');
        ASSERT_EQ(names.size(), fields.size());
        const auto field = [&](const std::string& column) {
            return fields[std::find(names.begin(), names.end(), column) - names.begin()];
        };
        EXPECT_NEAR(std::stod(field("n_1/m-3")) / density, 1, 0.005) << name;
        EXPECT_NEAR(std::stod(field("T/K")), 1500, 5) << name;
        EXPECT_EQ(field("Escape factor"), "doppler");
        EXPECT_EQ(field("n_1 (doppler)/m-3"), field("n_1/m-3"));
        const double ratio = std::stod(field("n_1 (mewe)/m-3")) / density;
        EXPECT_TRUE(ratio > 0.36 && ratio < 0.45) << name << " " << ratio;
    }
    // The report names the factor after the result line; the default names none.
    const std::string file = Path("demo/measurements/argon_5e16.txt");
    const std::vector<std::string> lines =
        Split(Cli("fit '" + file + "' --escape Doppler").out, '\n');
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2],
              "Escape factor: doppler, exact for a homogeneous Doppler source (Irons 1979)");
    EXPECT_EQ(Split(Cli("fit '" + file + "'").out, '\n').size(), 2u);
    // From the configuration, and a table refused with the reason.
    WriteIni("Escape=doppler\r\n");
    EXPECT_EQ(Split(Cli("map '" + file + "'").out, '\n').back(), lines[2]);
    Write("table.txt", "0.1 0.9\n1 0.95\n");
    const TRun refused = Cli("fit '" + file + "' --escape '" + Path("table.txt") + "'");
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.starts_with("--escape: Escape factor table \"" + Path("table.txt") +
                                        "\", line 2: the escape factor 0.95 rises above 0.9 of "
                                        "line 1; it must fall as the optical depth grows\n"))
        << refused.err;
}

// On an account where the window never ran, zeltfit-cli makes the first run's copy itself.
TEST_F(CliTest, AFreshAccountGetsItsConfiguration) {
    const std::string home = Path("home");
    const TRun run = Run("species", "XDG_DATA_HOME='" + home + "' XDG_DATA_DIRS=/nonexistent");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Ar I\n");
    EXPECT_TRUE(fs::exists(home + "/Zelt fit 1.0/zeltfit.ini"));
}

} // namespace
} // namespace zelt

namespace zelt {
namespace {

// The demo spectrum through import, then fit; a line list that cannot be matched is refused
// with its candidates and exit status 1.
TEST_F(CliTest, ImportMakesMeasurementFilesThatFit) {
    const TRun import =
        Cli("import '" + kDatabase + "/spectra/argon_5e16.csv' --out '" + Path("out") + "'");
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_NE(import.out.find("29 lines of Ar I: 21 integrated, 6 shared, 2 blend.\n"),
              std::string::npos)
        << import.out;
    EXPECT_NE(import.out.find("not calibrated (no spectral response was given)."),
              std::string::npos);
    EXPECT_NE(
        import.out.find("Written: " + Path("out/argon_5e16.txt") + " and argon_5e16.lines.tsv\n"),
        std::string::npos);
    EXPECT_TRUE(fs::exists(Path("out/argon_5e16.lines.tsv")));
    const TRun fit = Cli("fit '" + Path("out/argon_5e16.txt") + "' --fit-temperature");
    EXPECT_NE(fit.out.find(" argon_5e16.txt  fit:"), std::string::npos) << fit.out << fit.err;

    Write("list.txt", "696.54 500\n772.40 200\n");
    const TRun refused = Cli("import-lines '" + Path("list.txt") + "' --out '" + Path("out") + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("line 2: 772.4 nm is ambiguous within 0.03 nm: 772.3761 "
                               "(-0.0239 nm), 772.4207 (+0.0207 nm)."),
              std::string::npos)
        << refused.err;

    // A list mine.txt imported into its own folder would be replaced by mine.txt.
    Write("mine.txt", "696.54 500\n706.72 300\n");
    const TRun own = Cli("import-lines '" + Path("mine.txt") + "' --out '" + Path(".") + "'");
    EXPECT_EQ(own.status, 1);
    EXPECT_NE(own.err.find("is the file imported: its measurement file needs another name or "
                           "folder."),
              std::string::npos)
        << own.err;
    EXPECT_EQ(folder_.Read("mine.txt"), "696.54 500\n706.72 300\n");
}

// A folder of exports with a title line (semicolons, decimal commas) imported on two threads
// writes and prints byte for byte what one thread does; what is no spectrum is left alone.
TEST_F(CliTest, AFolderOfSpectraImportsOnEveryCoreAsOnOne) {
    fs::create_directories(Path("exports"));
    std::ifstream demo(kDatabase + "/spectra/argon_5e16.csv", std::ios::binary);
    const std::string spectrum = "5 Pa, 300 W (O2/Ar 80/20) - run 3\r\n" +
                                 std::string(std::istreambuf_iterator<char>(demo), {});
    for (const char* name : {"a.csv", "b.trt", "c.TXT"})
        Write(std::string("exports/") + name, spectrum);
    Write("exports/notes.md", "not a spectrum\n");
    std::string outputs[2];
    for (const int threads : {1, 2}) {
        const std::string out = "out" + std::to_string(threads);
        const TRun run = Cli("import '" + Path("exports") + "' --out '" + Path(out) +
                             "' --exclude 811.1-811.4 --threads " + std::to_string(threads));
        ASSERT_EQ(run.status, 0) << run.err;
        outputs[threads - 1] = run.out;
        for (const char* name : {"a.txt", "a.lines.tsv", "b.txt", "b.lines.tsv", "c.txt"})
            EXPECT_EQ(folder_.Read(out + "/" + name), folder_.Read(std::string("out1/") + name))
                << name;
    }
    std::string two = outputs[1];
    for (std::size_t at; (at = two.find("out2")) != std::string::npos;)
        two.replace(at, 4, "out1");
    EXPECT_EQ(two, outputs[0]);
    EXPECT_NE(outputs[0].find("Written: " + Path("out1/c.txt") + " and c.lines.tsv\n"),
              std::string::npos)
        << outputs[0];
    EXPECT_NE(folder_.Read("out1/a.lines.tsv").find("811.1-811.4 nm excluded"), std::string::npos);
}

} // namespace
} // namespace zelt
