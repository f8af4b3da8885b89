// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/frontend.h"

#include "cli/checks.h"
#include "cli/import.h"
#include "cli/species.h"

#include "app/about.h"
#include "app/application.h"
#include "app/commands.h"
#include "app/datafolders.h"
#include "app/listing.h"
#include "app/tables.h"
#include "app/tsv.h"
#include "common/codepage.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/sysfile.h"
#include "common/textfile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <ostream>

namespace zelt {

namespace {

// The options of one run, filled by CLI11; the settings of the configuration's table go to
// TCommandSettings.
struct TOptions {
    std::string Ini;
    std::string Species;
    bool All = false;
    std::string File;
    std::vector<std::string> Paths;
    bool Table = false;
    std::string RssFile;
    bool RssFolder = false; // batch map: RssFile is the folder of one grid per measurement
    std::string Report = "final";
    std::string LogPath;
    std::string Format = "lines"; // "lines": the result lines; "tsv": tab-separated rows
    double RegionPercent = 0;     // the map's confidence region at this level; 0: none
    bool FreeLevels = false;      // fit the density of every populated lower level
    std::int32_t Threads = 0;     // of the map, or sharing a batch's files; 0: one per core

    TReportKind ReportKind() const {
        return Report == "iteration" ? ReportFitIteration : ReportFinalResults;
    }
};

// The value of "--name VALUE" or "--name=VALUE" before CLI11 parses, so that the defaults of
// the other options can come from the configuration file it names.
std::string PreviewOption(int argc, char** argv, const std::string& name, std::string fallback) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == name && i + 1 < argc)
            return argv[i + 1];
        if (arg.rfind(name + "=", 0) == 0)
            return arg.substr(name.size() + 1);
    }
    return fallback;
}

// Lines held in Windows-1252, with the file names of the system in them as UTF-8.
void PrintLines(std::ostream& out, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        out << MixedToUtf8(line) << '\n';
}

class TFrontEnd {
public:
    TFrontEnd(TZeltApp& app, const TOptions& options, std::ostream& out, std::ostream& err)
        : app_(app), options_(options), out_(out), err_(err) {}

    // The messages of an outcome, then its error and what in its file caused it, on the error
    // stream (`file` before the error in a batch); true when the command was done.
    bool Show(const TOutcome& outcome, const std::string& file = {}) {
        for (const std::string& message : outcome.Messages)
            err_ << message << '\n';
        for (const std::string& warning : outcome.Warnings)
            err_ << warning << '\n';
        if (!outcome.Done && !outcome.Error.empty())
            err_ << (file.empty() ? "" : VisibleControls(file) + ": ") << outcome.Error << '\n';
        if (!outcome.Done && !outcome.Cause.empty())
            err_ << outcome.Cause << '\n';
        return outcome.Done;
    }

    void Levels() { PrintLines(out_, app_.ListLevels()); }

    void Lines() { PrintLines(out_, app_.ListLines(options_.All)); }

    void Table(const TLineSnapshot& lines) {
        out_ << MixedToUtf8(TableText(LineTable(lines), "\n"));
    }

    // The map of `file`.
    void MapResult(const TMapOutcome& map, const std::string& file) {
        const std::string name = FileNameOf(file);
        std::optional<TMapRegion> region;
        if (options_.RegionPercent > 0)
            region = RegionAt(map, options_.RegionPercent / 100);
        ShowProblems(*map.Row);
        if (options_.Format == "tsv") {
            PrintRow(*map.Row, region ? &*region : nullptr);
        } else {
            PrintLines(out_, map.Report);
            if (region)
                out_ << RegionText(*region) << '\n';
        }
        if (!options_.RssFile.empty()) {
            // In a batch each measurement's grid gets a file of its own, "argon_5e16.rss".
            const std::string rssFile =
                options_.RssFolder
                    ? JoinPath(options_.RssFile, name.substr(0, name.rfind('.')) + ".rss")
                    : options_.RssFile;
            SaveFile(rssFile, MapText(*map.Grid, map.Range));
        }
        AppendTable(map.Lines);
    }

    // The fit; `x`: the file's abscissa in a batch, columns of --format tsv.
    void FitResult(const TFitOutcome& fit, const TRowAbscissa* x = nullptr) {
        ShowProblems(*fit.Row);
        if (options_.Format == "tsv")
            PrintRow(*fit.Row, nullptr, x);
        else
            PrintLines(out_, fit.Report);
        AppendTable(fit.Lines);
    }

    // The free result line, the F-test and a table of the levels, or its row of --format tsv.
    void FreeLevelsResult(const TFreeLevelsOutcome& fit, const TRowAbscissa* x = nullptr) {
        if (options_.Format == "tsv") {
            PrintRow(*fit.BoltzmannRow, nullptr, x, &fit.Run);
            return;
        }
        PrintLines(out_, FreeLevelsReport(fit));
        AppendTable(fit.Lines);
    }

    // Every file of the batch, shared among the threads of --threads, its results printed in
    // the files' order: a file that fails is named with its error and the batch goes on; the
    // status is 1 when one failed, else 3 when a result was flagged. Each file's results are
    // written out before the next file's, and the batch stops after the first that cannot be.
    int Batch(TSeriesCommand command, const TCommandSettings& settings) {
        int status = 0;
        const auto done = [&](const TSeries& series, const TSeriesFile& file) {
            const bool mapped = command == TSeriesCommand::Map;
            const bool free = command == TSeriesCommand::FreeLevels;
            try {
                if (!Show(file.Read, file.Path) ||
                    !Show(mapped ? static_cast<const TOutcome&>(file.Map)
                          : free ? static_cast<const TOutcome&>(file.Free)
                                 : file.Fit,
                          file.Path)) {
                    status = 1;
                    return;
                }
                const TRowAbscissa x = RowAbscissa(series.Axis, series.Entries.size() - 1);
                if (mapped)
                    MapResult(file.Map, file.Path);
                else if (free)
                    FreeLevelsResult(file.Free, &x);
                else
                    FitResult(file.Fit, &x);
                if (status == 0 && (mapped ? Flagged(file.Map, file.Map.Row)
                                    : free ? Flagged(file.Free)
                                           : Flagged(file.Fit, file.Fit.Row)))
                    status = 3;
            } catch (const std::exception& e) {
                err_ << VisibleControls(file.Path) << ": " << ErrorReportText(MessageText(e.what()))
                     << '\n';
                status = 1;
            }
        };
        int writeError = 0;
        TSeriesHooks hooks;
        hooks.Done = [&](const TSeries& series, const TSeriesFile& file) {
            done(series, file);
            out_.flush();
            if (!out_ && writeError == 0)
                writeError = errno;
        };
        hooks.StopRequested = [&] { return !out_; };
        app_.RunSeries(BatchFiles(options_.Paths), command, settings, options_.ReportKind(),
                       options_.LogPath, hooks, options_.Threads);
        // The reason of the failed write, for the report at the end of the run.
        if (writeError != 0)
            errno = writeError;
        return status;
    }

private:
    // A row of --format tsv, after the header row the first time; `free`: the run of a fit
    // with free levels, whose Boltzmann fit `row` is.
    void PrintRow(const TResultRow& row, const TMapRegion* region, const TRowAbscissa* x = nullptr,
                  const TFreeLevelsRun* free = nullptr) {
        if (!tsvHeaderWritten_) {
            tsvLevels_ = free != nullptr ? static_cast<std::int32_t>(free->Free.Levels.size())
                                         : row.Values.Densities.size();
            out_ << TsvHeader(tsvLevels_, region != nullptr, x != nullptr, "\n", free != nullptr);
        }
        tsvHeaderWritten_ = true;
        out_ << TsvRow(row, tsvLevels_, region, x, "\n", free);
    }

    // Why a result is flagged, a line per problem on the error stream.
    void ShowProblems(const TResultRow& row) {
        for (const std::string& problem : row.Quality.Problems)
            err_ << VisibleControls(row.FileName) << ": " << problem << '\n';
    }

    void AppendTable(const TLineSnapshot& lines) {
        if (!options_.Table)
            return;
        out_ << '\n';
        Table(lines);
    }

    TZeltApp& app_;
    const TOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    bool tsvHeaderWritten_ = false;
    std::int32_t tsvLevels_ = 0;
};

void AddFormatOption(CLI::App* command, TOptions& o) {
    command
        ->add_option("--format", o.Format,
                     "lines: the result lines; tsv: a header row and one tab-separated row per "
                     "result, numbers to 17 significant digits")
        ->check(CLI::IsMember({"lines", "tsv"}))
        ->capture_default_str();
}

// The options in place of the edit boxes of the command (UsedByMap or UsedByFit): checked by
// the edits' rule, converted as the window converts the edit's text, the configured value as
// the default.
void AddSettingOptions(CLI::App* command, TCommandSettings& s, unsigned use) {
    for (const TSetting& setting : Settings()) {
        if ((setting.Use & use) == 0)
            continue;
        command
            ->add_option_function<std::string>(
                std::string(setting.Option),
                [&s, &setting](const std::string& text) { SetFromText(s, setting, text); },
                std::string(setting.Help))
            ->type_name(setting.Kind == TSettingKind::Integer ? "INT" : "FLOAT")
            ->default_str(SettingText(setting, s))
            ->check(SettingCheck(setting));
    }
}

void AddEscapeOption(CLI::App* command, TCommandSettings& s) {
    command->add_option("--escape", s.Escape, kEscapeHelp)
        ->type_name("mewe|doppler|FILE")
        ->default_str(s.Escape)
        ->check(EscapeCheck());
}

void AddThreadsOption(CLI::App* command, TOptions& o, const std::string& help) {
    command->add_option("--threads", o.Threads, help)
        ->default_str("one per core")
        ->check(WholeNumberFrom(1));
}

void AddMapOptions(CLI::App* command, TCommandSettings& s, TOptions& o) {
    AddSettingOptions(command, s, UsedByMap);
    AddEscapeOption(command, s);
    command->add_flag("--table", o.Table, "print the line table at the best grid point");
    command->add_option("--rss", o.RssFile, "write the residual grid to this file");
    command
        ->add_option("--region", o.RegionPercent,
                     "print the confidence region of n_1 and T_exc at this level (%), e.g. 68.3")
        ->check(NumberFromBelow(1, 100));
    AddFormatOption(command, o);
}

void AddFitOptions(CLI::App* command, TCommandSettings& s, TOptions& o) {
    AddSettingOptions(command, s, UsedByFit);
    AddEscapeOption(command, s);
    command->add_flag("--fit-temperature", s.FitTemperatureOn, "fit T_exc as well");
    CLI::Option* free =
        command->add_flag("--free-levels", o.FreeLevels,
                          "after the Boltzmann fit, fit the density of every populated lower "
                          "level and the F-test of the two");
    command
        ->add_option("--free", s.FreeLevels,
                     "with --free-levels, the levels (numbers from 2, n_1 always free) whose "
                     "densities are free, e.g. 2,3; the others stay tied by Boltzmann balance")
        ->delimiter(',')
        ->needs(free);
    command->add_option("--report", o.Report, "report kind")
        ->check(CLI::IsMember({"final", "iteration"}))
        ->capture_default_str();
    command->add_option("--log", o.LogPath, "minimisation log file")->capture_default_str();
    command->add_flag("--table", o.Table, "print the line table at the fitted parameters");
    AddFormatOption(command, o);
}

int Usage(const CLI::App& app, const CLI::ParseError& e, std::ostream& err) {
    err << UsageErrorText(app, e) << '\n';
    err << "Usage: " << app.get_name()
        << " [--ini FILE] [--species NAME] "
           "species|levels|lines|table|map|fit|batch|import|import-lines ...\n"
        << "Run with --help for more information.\n";
    return 2;
}

int RunCommands(int argc, char** argv, std::ostream& out, std::ostream& err) {
    TOptions o;
    o.Ini = PreviewOption(argc, argv, "--ini", UserConfigFile());
    // On an account that never started the window, the first run's copy of zeltfit.ini is
    // made here as the window makes it.
    if (o.Ini == UserConfigFile())
        CheckNecessaryFiles();
    TZeltApp zelt(o.Ini);
    zelt.SetStoreMeasurementFolder(false);
    const std::vector<std::string> species = zelt.SpeciesList();
    o.Species = PreviewOption(argc, argv, "--species", species.empty() ? "" : species.front());
    try {
        o.LogPath = FitLogPath();
    } catch (const EInOutError&) {
        // Left empty: a fit then says why there is no folder for its log.
    }
    TCommandSettings s = ReadSettings(zelt.Config(), o.Species);

    CLI::App app("Zelt Fit: density and excitation temperature from self-absorbed branching "
                 "fractions",
                 "zeltfit-cli");
    app.require_subcommand(1);
    // CLI11 ends the text with a line end of its own.
    std::string version = VersionLine("zeltfit-cli") + "\n\n" + AboutText();
    version.pop_back();
    app.set_version_flag("--version", version,
                         "print the version, the licence and how to cite the program");
    // The same options on every system: on Windows too an argument that begins with "/" is a
    // path, not an option.
    app.allow_windows_style_options(false);
    app.add_option("--ini", o.Ini, "configuration file")->capture_default_str();
    app.add_option("--species", o.Species, "species section")->capture_default_str();
    auto* speciesCommand = app.add_subcommand("species", "the species sections in file order");
    TSpeciesAddCommand speciesAdd;
    speciesAdd.Add(*speciesCommand);
    auto* levels = app.add_subcommand("levels", "the database levels listing");
    auto* lines = app.add_subcommand("lines", "the database lines listing");
    lines->add_flag("--all", o.All, "also the lines without a transition probability");
    auto* table = app.add_subcommand("table", "read FILE and print the line table");
    table->add_option("FILE", o.File, "measurement file")->required();
    auto* map = app.add_subcommand("map", "residual map of FILE over density and temperature");
    map->add_option("FILE", o.File, "measurement file")->required();
    AddMapOptions(map, s, o);
    AddThreadsOption(map, o, "threads that share the rows of the map");
    auto* fit = app.add_subcommand("fit", "fit density (and temperature) to FILE");
    fit->add_option("FILE", o.File, "measurement file")->required();
    AddFitOptions(fit, s, o);
    auto* batch = app.add_subcommand("batch", "map or fit every file of PATH... in turn");
    batch->require_subcommand(1);
    auto* batchMap = batch->add_subcommand("map", "map each file");
    batchMap->add_option("PATH", o.Paths, "measurement files and folders")->required();
    AddMapOptions(batchMap, s, o);
    AddThreadsOption(batchMap, o, "threads that share the files (or the rows of one file's map)");
    auto* batchFit = batch->add_subcommand("fit", "fit each file");
    batchFit->add_option("PATH", o.Paths, "measurement files and folders")->required();
    AddFitOptions(batchFit, s, o);
    AddThreadsOption(batchFit, o, "threads that share the files");
    TImportCommand import;
    import.Add(app);

    try {
        app.parse(argc, argv);
        // Rows for other programs stay rows: no table or log between them.
        if (o.Format == "tsv" && (o.Table || o.Report == "iteration"))
            throw CLI::ValidationError("--format tsv",
                                       "takes neither --table nor --report iteration");
        if (o.FreeLevels && o.Report == "iteration")
            throw CLI::ValidationError("--free-levels", "takes no --report iteration");
        // The configured values stand in for the options not given and pass their checks.
        const std::pair<CLI::App*, unsigned> commands[] = {
            {map, UsedByMap}, {batchMap, UsedByMap}, {fit, UsedByFit}, {batchFit, UsedByFit}};
        for (const auto& [command, use] : commands)
            if (command->parsed())
                CheckConfiguredSettings(*command, use, zelt.Config().View(), o.Ini);
    } catch (const CLI::Success& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return Usage(app, e, err);
    }

    TFrontEnd frontEnd(zelt, o, out, err);
    try {
        if (speciesAdd.Parsed())
            return speciesAdd.Run(zelt.Config(), out, err);
        // Apart from species add, zeltfit-cli never writes the configuration; one that is missing,
        // or that names no species for a cause (empty, unreadable), is said before anything else.
        if (!zelt.Config().Exists() || (species.empty() && !zelt.Config().Problem().empty()))
            throw Exception(zelt.Config().SpeciesProblem(o.Species));
        if (speciesCommand->parsed()) {
            for (const std::string& name : species)
                out << name << '\n';
            return 0;
        }
        if (const std::string problem = zelt.Config().SpeciesProblem(o.Species); !problem.empty())
            throw Exception(problem);
        zelt.SetMapThreads(o.Threads);
        if (!frontEnd.Show(zelt.ChangeSpecies(o.Species)))
            return 1;
        if (import.Parsed())
            return import.Run(zelt, out, err);
        if (levels->parsed()) {
            frontEnd.Levels();
        } else if (lines->parsed()) {
            frontEnd.Lines();
        } else if (batchMap->parsed() || batchFit->parsed()) {
            o.RssFolder = batchMap->parsed() && !o.RssFile.empty();
            TFileStatus status;
            if (o.RssFolder &&
                !(FileStatus(o.RssFile, true, status) && status.Kind == TFileKind::Folder))
                throw Exception("batch map --rss takes a folder for one grid per measurement: \"" +
                                o.RssFile + "\" is no folder");
            return frontEnd.Batch(batchMap->parsed() ? TSeriesCommand::Map
                                  : o.FreeLevels     ? TSeriesCommand::FreeLevels
                                                     : TSeriesCommand::Fit,
                                  s);
        } else {
            const TLinesOutcome read = zelt.ReadMeasurement(o.File);
            if (!frontEnd.Show(read))
                return 1;
            if (table->parsed()) {
                frontEnd.Table(read.Lines);
                return 0;
            }
            if (map->parsed()) {
                const TMapOutcome outcome = zelt.Map(s, ReportFinalResults);
                if (!frontEnd.Show(outcome))
                    return 1;
                frontEnd.MapResult(outcome, o.File);
                return Flagged(outcome, outcome.Row) ? 3 : 0;
            }
            if (o.FreeLevels) {
                const TFreeLevelsOutcome outcome = zelt.FitFreeLevels(s, o.LogPath);
                if (!frontEnd.Show(outcome))
                    return 1;
                frontEnd.FreeLevelsResult(outcome);
                return Flagged(outcome) ? 3 : 0;
            }
            const TFitOutcome outcome = zelt.Fit(s, o.ReportKind(), o.LogPath);
            if (!frontEnd.Show(outcome))
                return 1;
            frontEnd.FitResult(outcome);
            return Flagged(outcome, outcome.Row) ? 3 : 0;
        }
        return 0;
    } catch (const std::exception& e) {
        err << ErrorReportText(MessageText(e.what())) << '\n';
        return 1;
    }
}

} // namespace

int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const int status = RunCommands(argc, argv, out, err);
    // Results lost on a full disk or /dev/full must not pass for success.
    out.flush();
    if (!out) {
        err << "Cannot write the standard output: " << ErrorText(errno) << ".\n";
        return 1;
    }
    return status;
}

} // namespace zelt
