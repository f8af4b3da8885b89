#include "cli/frontend.h"

#include "common/codepage.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/textfile.h"
#include "linemodel/region.h"
#include "shell/commands.h"
#include "shell/datafolders.h"
#include "shell/series.h"
#include "shell/tables.h"
#include "shell/tsv.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>

namespace zelt {

namespace {

namespace fs = std::filesystem;

// An input/output error of the species change, which the window shows as "File error: " and
// the error's text, outside the common error report.
struct TSpeciesError : Exception {
    using Exception::Exception;
};

// The options of one run, filled by CLI11.
struct TOptions {
    std::string Ini;
    std::string Species;
    bool All = false;
    std::string File;
    std::vector<std::string> Paths;
    bool Table = false;
    std::string RssFile;
    std::string Report = "final";
    std::string LogPath;
    std::string Format = "lines"; // "lines": the result lines; "tsv": tab-separated rows
    double RegionPercent = 0;     // the map's confidence region at this level; 0: none
    std::int32_t Threads = 0;     // of the map; 0: one per core
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

std::vector<std::string> SpeciesSections(const TConfigStore& store) {
    std::vector<std::string> species;
    for (const std::string& section : store.ReadSections())
        if (section.empty() || section.front() != '_')
            species.push_back(section);
    return species;
}

void PrintLines(std::ostream& out, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        out << Cp1252ToUtf8(line) << '\n';
}

// The measurement files of a folder as the window's file list shows them: "*.txt", sorted
// without regard to case.
std::vector<std::string> MeasurementFiles(const std::string& path) {
    const fs::path folder = PathFromUtf8(path);
    if (!fs::is_directory(folder))
        return {path};
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = Utf8FromPath(entry.path().filename());
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && lower.size() > 4 && lower.ends_with(".txt"))
            files.push_back(Utf8FromPath(entry.path()));
    }
    auto caseless = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
    };
    std::sort(files.begin(), files.end(), caseless);
    return files;
}

class TFrontEnd {
public:
    TFrontEnd(std::ostream& out, std::ostream& err)
        : out_(out), err_(err),
          model_([this](const std::string& text) { err_ << Cp1252ToUtf8(text) << '\n'; }) {}

    void Species(const TConfigStore& store) {
        for (const std::string& name : SpeciesSections(store))
            out_ << name << '\n';
    }

    void Load(const TConfigStore& store, const std::string& species) {
        try {
            LoadSpecies(model_, store, species);
        } catch (const EInOutError& e) {
            throw TSpeciesError("File error: " + e.message());
        }
    }

    void Levels() {
        std::vector<std::string> list;
        model_.ListLevels(list);
        PrintLines(out_, list);
    }

    void Lines(bool all) {
        std::vector<std::string> list;
        model_.ListLines(all, list);
        PrintLines(out_, list);
    }

    // Reads a measurement file as the window does: the lines, and their fractions when there
    // are at least two. Returns whether the fractions were computed.
    bool Read(const std::string& file) {
        model_.ImportLines(file);
        if (model_.SelectedLines.size() < 2)
            return false;
        model_.CalcBranchingFractions();
        return true;
    }

    void Table(bool fractions) {
        out_ << Cp1252ToUtf8(TableText(LineTable(model_, fractions), "\n"));
    }

    void Map(const std::string& file, const TCommandSettings& settings, const TOptions& options) {
        model_.MapThreads = options.Threads;
        TReportList report;
        const std::string name = Utf8FromPath(PathFromUtf8(file).filename());
        const TParamVector p = RunMap(model_, settings, name, report, ReportFinalResults);
        std::optional<TMapRegion> region;
        if (options.RegionPercent > 0)
            region = MapRegion(model_.RSSMap, model_.MapRange,
                               RegionDegreesOfFreedom(model_.SelectedLines),
                               options.RegionPercent / 100);
        if (options.Format == "tsv") {
            PrintRow(model_.ResultValues(p, TParamVector{}, 2, MapMode), name,
                     region ? &*region : nullptr);
        } else {
            PrintLines(out_, report);
            if (region)
                out_ << RegionText(*region) << '\n';
        }
        if (!options.RssFile.empty()) {
            TextWriter writer;
            writer.Create(options.RssFile);
            writer.Write(MapText(model_.RSSMap, model_.MapRange));
            writer.Close();
        }
        AppendTable(options);
    }

    // `x`: the file's abscissa in a batch, a column of --format tsv.
    void Fit(const std::string& file, const TCommandSettings& settings, const TOptions& options,
             std::optional<double> x = std::nullopt) {
        TReportList report;
        const std::int32_t kind =
            options.Report == "iteration" ? ReportFitIteration : ReportFinalResults;
        const std::string name = Utf8FromPath(PathFromUtf8(file).filename());
        const TFitResult fit = RunFit(model_, settings, name, options.LogPath, report, kind);
        if (options.Format == "tsv")
            PrintRow(model_.ResultValues(fit.Params, fit.Uncertainty,
                                         TruncToInt(Slot(fit.Params, FitCount)), FitMode),
                     name, nullptr, x);
        else
            PrintLines(out_, report);
        AppendTable(options);
    }

private:
    // A row of --format tsv, after the header row the first time.
    void PrintRow(const TResultValues& values, const std::string& fileName,
                  const TMapRegion* region, std::optional<double> x = std::nullopt) {
        if (!tsvHeaderWritten_)
            out_ << TsvHeader(values.Densities.size(), region != nullptr, x.has_value());
        tsvHeaderWritten_ = true;
        out_ << TsvRow(values, fileName, region, x);
    }

    void AppendTable(const TOptions& options) {
        if (!options.Table)
            return;
        out_ << '\n';
        Table(true);
    }

    std::ostream& out_;
    std::ostream& err_;
    TAtomicData model_;
    bool tsvHeaderWritten_ = false;
};

// The rule of the window's edit boxes: a number with "." as the decimal point, above 0.
const CLI::Validator PositiveReal(
    [](std::string& text) {
        double value = 0;
        return TryStrToFloat(text, value) && value > 0 ? std::string()
                                                       : "not a positive number: " + text;
    },
    "POSITIVE");

// A confidence level in percent.
const CLI::Validator LevelPercent(
    [](std::string& text) {
        double value = 0;
        return TryStrToFloat(text, value) && value >= 1 && value < 100
                   ? std::string()
                   : "not a level in percent from 1 to below 100: " + text;
    },
    "PERCENT");

void AddFormatOption(CLI::App* command, TOptions& o) {
    command
        ->add_option("--format", o.Format,
                     "lines: the result lines; tsv: a header row and one tab-separated row per "
                     "result, numbers to 17 significant digits")
        ->check(CLI::IsMember({"lines", "tsv"}))
        ->capture_default_str();
}

// A real option in place of an edit box: checked by the edits' rule and converted as the window
// converts the edit's text.
void AddRealOption(CLI::App* command, const std::string& name, long double& target,
                   const char* pattern, const std::string& description) {
    command
        ->add_option_function<std::string>(
            name, [&target](const std::string& text) { target = EditReal(text); }, description)
        ->type_name("FLOAT")
        ->default_str(Format(pattern, {target}))
        ->check(PositiveReal);
}

void AddAbsorptionOptions(CLI::App* command, TCommandSettings& s) {
    AddRealOption(command, "--gas-temperature", s.GasTemperature, "%.0f", "gas temperature (K)");
    AddRealOption(command, "--path", s.Path, "%.3f", "absorption path (m)");
}

void AddMapOptions(CLI::App* command, TCommandSettings& s, TOptions& o) {
    AddRealOption(command, "--from-density", s.FromDensity, "%3.1e",
                  "first density n_1 of the grid (m-3)");
    AddRealOption(command, "--to-density", s.ToDensity, "%3.1e",
                  "last density n_1 of the range (m-3)");
    command->add_option("--density-points", s.DensityPoints, "density points")
        ->default_str(Format("%d", {s.DensityPoints}))
        ->check(CLI::PositiveNumber);
    AddRealOption(command, "--from-temperature", s.FromTemperature, "%.0f",
                  "first temperature T_exc (K)");
    AddRealOption(command, "--to-temperature", s.ToTemperature, "%.0f",
                  "last temperature of the range (K)");
    command->add_option("--temperature-points", s.TemperaturePoints, "temperature points")
        ->default_str(Format("%d", {s.TemperaturePoints}))
        ->check(CLI::PositiveNumber);
    AddAbsorptionOptions(command, s);
    command->add_option("--threads", o.Threads, "threads that share the rows of the map")
        ->default_str("one per core")
        ->check(CLI::PositiveNumber);
    command->add_flag("--table", o.Table, "print the line table at the best grid point");
    command->add_option("--rss", o.RssFile, "write the residual grid to this file");
    command
        ->add_option("--region", o.RegionPercent,
                     "print the confidence region of n_1 and T_exc at this level (%), e.g. 68.3")
        ->check(LevelPercent);
    AddFormatOption(command, o);
}

void AddFitOptions(CLI::App* command, TCommandSettings& s, TOptions& o) {
    AddRealOption(command, "--density", s.FitDensity, "%3.1e", "start density n_1 (m-3)");
    AddRealOption(command, "--temperature", s.FitTemperature, "%.0f",
                  "start temperature T_exc (K)");
    command->add_flag("--fit-temperature", s.FitTemperatureOn, "fit T_exc as well");
    command->add_option("--max-iterations", s.MaxIterations, "maximum number of iterations")
        ->default_str(Format("%d", {s.MaxIterations}))
        ->check(CLI::PositiveNumber);
    AddAbsorptionOptions(command, s);
    command->add_option("--report", o.Report, "report kind")
        ->check(CLI::IsMember({"final", "iteration"}))
        ->capture_default_str();
    command->add_option("--log", o.LogPath, "minimisation log file")->capture_default_str();
    command->add_flag("--table", o.Table, "print the line table at the fitted parameters");
    AddFormatOption(command, o);
}

int Usage(const CLI::App& app, const CLI::ParseError& e, std::ostream& err) {
    err << e.what() << '\n'
        << "Usage: " << app.get_name()
        << " [--ini FILE] [--species NAME] species|levels|lines|table|map|fit|batch ...\n"
        << "Run with --help for more information.\n";
    return 2;
}

} // namespace

int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
    TOptions o;
    o.Ini = PreviewOption(argc, argv, "--ini", UserConfigFile());
    const TConfigStore store(o.Ini);
    const std::vector<std::string> species = SpeciesSections(store);
    o.Species = PreviewOption(argc, argv, "--species", species.empty() ? "" : species.front());
    o.LogPath = FitLogPath();
    TCommandSettings s = ReadSettings(store, o.Species);

    CLI::App app("Zelt Fit: density and excitation temperature from self-absorbed branching "
                 "fractions",
                 "zeltfit-cli");
    app.require_subcommand(1);
    // The same options on every system: on Windows too an argument that begins with "/" is a
    // path, not an option.
    app.allow_windows_style_options(false);
    app.add_option("--ini", o.Ini, "configuration file")->capture_default_str();
    app.add_option("--species", o.Species, "species section")->capture_default_str();
    auto* speciesCommand = app.add_subcommand("species", "the species sections in file order");
    auto* levels = app.add_subcommand("levels", "the database levels listing");
    auto* lines = app.add_subcommand("lines", "the database lines listing");
    lines->add_flag("--all", o.All, "also the lines without a transition probability");
    auto* table = app.add_subcommand("table", "read FILE and print the line table");
    table->add_option("FILE", o.File, "measurement file")->required();
    auto* map = app.add_subcommand("map", "residual map of FILE over density and temperature");
    map->add_option("FILE", o.File, "measurement file")->required();
    AddMapOptions(map, s, o);
    auto* fit = app.add_subcommand("fit", "fit density (and temperature) to FILE");
    fit->add_option("FILE", o.File, "measurement file")->required();
    AddFitOptions(fit, s, o);
    auto* batch = app.add_subcommand("batch", "map or fit every file of PATH... in turn");
    batch->require_subcommand(1);
    auto* batchMap = batch->add_subcommand("map", "map each file");
    batchMap->add_option("PATH", o.Paths, "measurement files and folders")->required();
    AddMapOptions(batchMap, s, o);
    auto* batchFit = batch->add_subcommand("fit", "fit each file");
    batchFit->add_option("PATH", o.Paths, "measurement files and folders")->required();
    AddFitOptions(batchFit, s, o);

    try {
        app.parse(argc, argv);
        // Rows for other programs stay rows: no table or log between them.
        if (o.Format == "tsv" && (o.Table || o.Report == "iteration"))
            throw CLI::ValidationError("--format tsv",
                                       "takes neither --table nor --report iteration");
    } catch (const CLI::Success& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return Usage(app, e, err);
    }

    TFrontEnd frontEnd(out, err);
    try {
        FpReset();
        if (speciesCommand->parsed()) {
            frontEnd.Species(store);
            return 0;
        }
        if (std::find(species.begin(), species.end(), o.Species) == species.end())
            throw Exception("No species section \"" + o.Species + "\" in \"" + o.Ini + "\"");
        const TCommandSettings settings = s;
        frontEnd.Load(store, o.Species);
        if (levels->parsed()) {
            frontEnd.Levels();
        } else if (lines->parsed()) {
            frontEnd.Lines(o.All);
        } else if (table->parsed()) {
            frontEnd.Table(frontEnd.Read(o.File));
        } else if (map->parsed()) {
            frontEnd.Read(o.File);
            frontEnd.Map(o.File, settings, o);
        } else if (fit->parsed()) {
            frontEnd.Read(o.File);
            frontEnd.Fit(o.File, settings, o);
        } else {
            std::vector<std::string> files, names;
            for (const std::string& path : o.Paths)
                for (const std::string& file : MeasurementFiles(path)) {
                    files.push_back(file);
                    names.push_back(Utf8FromPath(PathFromUtf8(file).filename()));
                }
            // A fitted series places each file over the number in its name, as the window does.
            const TSeriesAxis axis = SeriesAxis(names);
            int status = 0;
            for (std::size_t i = 0; i < files.size(); ++i) {
                try {
                    FpReset();
                    frontEnd.Read(files[i]);
                    if (batchMap->parsed())
                        frontEnd.Map(files[i], settings, o);
                    else
                        frontEnd.Fit(files[i], settings, o, axis.X[i]);
                } catch (const std::exception& e) {
                    err << files[i] << ": " << ErrorReportText(Cp1252ToUtf8(e.what())) << '\n';
                    status = 1;
                }
            }
            return status;
        }
        return 0;
    } catch (const TSpeciesError& e) {
        err << Cp1252ToUtf8(e.what()) << '\n';
        return 1;
    } catch (const std::exception& e) {
        err << ErrorReportText(Cp1252ToUtf8(e.what())) << '\n';
        return 1;
    }
}

} // namespace zelt
