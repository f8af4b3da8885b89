// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/species.h"

#include "app/application.h"
#include "app/initext.h"
#include "app/listing.h"
#include "app/series.h"
#include "app/tsv.h"
#include "common/errors.h"
#include "common/safefile.h"
#include "common/tempfolder.h"
#include "common/textfile.h"
#include "linemodel/commatext.h"
#include "python/arguments.h"
#include "python/results.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

namespace {

using namespace pybind11::literals;

// The keyword arguments of map and fit: the option names of zeltfit-cli with "_" for "-"
// (from_density, path, escape, ...), plus fit_temperature and log. Each number goes through the
// text the option would have been given, so that it converts exactly as zeltfit-cli converts it.
// Refuses a measurement of `count` lines by size, as the program refuses such a file, before
// any is converted: an InputError, since no file is involved.
void CheckArraySize(const std::string& name, std::size_t count) {
    try {
        CheckMeasuredLineCount(name, count);
    } catch (const Exception& error) {
        Raise(Errors().InputError, ErrorReportText(MessageText(error.what())));
    }
}

struct TCallSettings {
    TCommandSettings Settings;
    std::string Log;
};

// The keyword of a setting: its option without "--", with "_" for "-".
std::string KeywordOf(const TSetting& setting) {
    std::string keyword(setting.Option.substr(2));
    std::replace(keyword.begin(), keyword.end(), '-', '_');
    return keyword;
}

// The settings of a call: the configured ones, of which every one the keywords do not give must
// pass its keyword's check, and the keywords'.
TCallSettings ReadKeywords(const TZeltApp& app, const py::kwargs& keywords, unsigned use) {
    TCallSettings call{app.ConfiguredSettings(), {}};
    const TConfigView config = app.Config().View();
    for (const TSetting& setting : Settings()) {
        if ((setting.Use & use) == 0 || keywords.contains(KeywordOf(setting)))
            continue;
        const std::string refusal = ConfiguredRefusal(setting, config, app.Config().FileName(),
                                                      "the keyword " + KeywordOf(setting));
        if (!refusal.empty())
            Raise(Errors().InputError, refusal);
    }
    for (const auto& [key, value] : keywords) {
        const std::string name = py::str(key);
        if (use == UsedByFit && name == "fit_temperature") {
            call.Settings.FitTemperatureOn = value.cast<bool>();
            continue;
        }
        if (use == UsedByFit && name == "log") {
            call.Log = PathText(value, "log");
            continue;
        }
        if (name == "escape") {
            // A table is read by the command, which says why it cannot be used.
            if (!py::isinstance<py::str>(value))
                Raise(Errors().InputError, "escape takes \"mewe\", \"doppler\" or a table's file");
            call.Settings.Escape = py::str(value);
            continue;
        }
        const TSetting* found = nullptr;
        for (const TSetting& setting : Settings())
            if ((setting.Use & use) != 0 && KeywordOf(setting) == name)
                found = &setting;
        if (found == nullptr) {
            PyErr_SetString(PyExc_TypeError,
                            ("unexpected keyword argument '" + name + "'").c_str());
            throw py::error_already_set();
        }
        const std::string text = NumberText(value, name);
        const std::string refusal = RefusalText(*found, text);
        if (!refusal.empty())
            Raise(Errors().InputError, refusal);
        SetFromText(call.Settings, *found, text);
    }
    return call;
}

// A folder of the user's temporary folder that only this object uses, removed with what it
// holds when the object goes: the configuration of a species given by its files, so that no
// two species share a file.
class TScratchFolder {
public:
    TScratchFolder() {
        std::string pattern = JoinPath(UserTemporaryFolder(), "python-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr)
            throw EInOutError("Cannot create folder \"" + pattern + "\": " + std::strerror(errno),
                              errno);
        folder_ = pattern;
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(PathFromUtf8(folder_), ignored);
    }

    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

// A species given by its files instead of a section of zeltfit.ini: the database folder, the
// level file's name in it (the key Levels), the two names of the line table (the key Lines,
// "Ar,I" for Ar_I.txt), the atomic mass in u (m) and the number of Boltzmann-populated levels
// (Boltzmax).
struct TSpeciesFiles {
    std::string Database, Levels, Lines;
    double Mass = 0;
    std::int32_t BoltzmannLevels = 1;
    std::string Name;
};

// `value` as an INI value that reads back as it is: no line end or NUL byte, which would break
// the file, and no blank at either end, which a reading trims.
const std::string& IniValue(const char* argument, const std::string& value) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
        (!value.empty() && (blank(value.front()) || blank(value.back()))))
        Raise(Errors().InputError,
              std::string(argument) + " cannot begin or end with a blank or hold a line end");
    return value;
}

// The configuration of a species given by its files: the program's defaults for everything
// else, as with no zeltfit.ini. The mass goes in with 17 digits, so it reads back as the
// double it was.
std::string SpeciesIni(const TSpeciesFiles& files) {
    if (files.Name.empty() || !IsSpeciesSection(files.Name) ||
        files.Name.find_first_of("[]") != std::string::npos)
        Raise(Errors().InputError,
              "name must be a species name: not empty, no \"_\" first and no brackets");
    if (!std::isfinite(files.Mass) || files.Mass <= 0)
        Raise(Errors().InputError, "mass must be a number above 0 (u)");
    TIniText ini;
    ini.SetValue("_Files", "Database", IniValue("database", files.Database));
    const std::string& section = IniValue("name", files.Name);
    ini.SetValue(section, "Levels", IniValue("levels", files.Levels));
    ini.SetValue(section, "Lines", IniValue("lines", files.Lines));
    ini.SetValue(section, "m", TsvNumber(files.Mass));
    ini.SetValue(section, "Boltzmax", std::to_string(files.BoltzmannLevels));
    return ini.Text();
}

// A species, of a configuration file or given by its files, with the measurement read last.
class TSpecies {
public:
    TSpecies(const std::string& ini, const std::string& species) : ini_(ini), species_(species) {
        Load();
    }

    explicit TSpecies(TSpeciesFiles files) : files_(std::move(files)) {
        const std::string text = SpeciesIni(*files_);
        ini_ = JoinPath(Scratch(), "zeltfit.ini");
        SaveFile(ini_, text, {TLinkPolicy::Replace, false});
        species_ = files_->Name;
        Load();
    }

    // The configuration file: for a species given by its files, a private one of the
    // temporary folder, gone with the species.
    const std::string& Ini() const { return ini_; }
    const std::string& Name() const { return species_; }
    const std::optional<TSpeciesFiles>& Files() const { return files_; }
    std::vector<std::string> SpeciesList() const { return app_->SpeciesList(); }

    void Read(const std::string& file) {
        TLinesOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->ReadMeasurement(file);
        }
        Check(outcome);
        Warn(outcome);
    }

    // A measurement of arrays, read in memory as the program reads a measurement file. No file
    // is involved: whatever the program refuses is an InputError. Arrays of more lines than a
    // measurement may hold are refused before they are converted.
    void ReadArrays(const py::object& wavelengths, const py::object& intensities,
                    const py::object& uncertainties, const std::string& name) {
        if (name.empty() || name.find_first_of(std::string("/\\\0", 3)) != std::string::npos ||
            name == "." || name == "..")
            Raise(Errors().InputError, "name must be a file name without a folder");
        for (const py::handle given : {wavelengths, intensities, uncertainties})
            if (!given.is_none() && py::hasattr(given, "__len__"))
                CheckArraySize(name, py::len(given));
        using TArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
        const auto array = [](const py::object& given) {
            const py::object asarray = py::module_::import("numpy").attr("asarray");
            return TArray::ensure(asarray(given, "dtype"_a = "float64"));
        };
        const TArray w = array(wavelengths), i = array(intensities);
        const std::optional<TArray> u =
            uncertainties.is_none() ? std::nullopt : std::optional<TArray>(array(uncertainties));
        if (w.ndim() != 1 || i.ndim() != 1 || w.size() != i.size() ||
            (u && (u->ndim() != 1 || u->size() != w.size())))
            Raise(Errors().InputError,
                  "wavelengths, intensities and uncertainties must be 1-D arrays of one length");
        CheckArraySize(name, static_cast<std::size_t>(w.size()));
        std::vector<TMeasuredLine> lines(static_cast<std::size_t>(w.size()));
        for (py::ssize_t k = 0; k < w.size(); ++k)
            lines[static_cast<std::size_t>(k)] = {w.at(k), i.at(k), u ? u->at(k) : 0};
        TLinesOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->ReadMeasurement(name, lines);
        }
        if (!outcome.Done)
            Raise(Errors().InputError, outcome.Error);
        Warn(outcome);
    }

    // read(path) or read(wavelengths, intensities[, uncertainties]), or read(table) of a table
    // whose columns are the wavelengths, the intensities and optionally the uncertainties.
    void ReadAny(const py::object& source, const py::object& intensities,
                 const py::object& uncertainties, const std::optional<std::string>& name) {
        if (IsPath(source)) {
            if (!intensities.is_none() || !uncertainties.is_none() || name)
                Raise(Errors().InputError,
                      "a measurement file is read alone: no intensities, uncertainties or name");
            Read(PathText(source, "path"));
            return;
        }
        const std::string shown = name.value_or("arrays.txt");
        if (!intensities.is_none()) {
            ReadArrays(source, intensities, uncertainties, shown);
            return;
        }
        if (py::hasattr(source, "__len__"))
            CheckArraySize(shown, py::len(source));
        const py::object table =
            py::module_::import("numpy").attr("asarray")(source, "dtype"_a = "float64");
        const py::tuple shape = table.attr("shape");
        if (shape.size() != 2 ||
            (shape[1].cast<py::ssize_t>() != 2 && shape[1].cast<py::ssize_t>() != 3) ||
            !uncertainties.is_none())
            Raise(Errors().InputError,
                  "read takes a path, the arrays of wavelengths and intensities (and "
                  "uncertainties), or a table of two or three columns");
        const py::object columns = table.attr("T");
        ReadArrays(columns[py::int_(0)], columns[py::int_(1)],
                   shape[1].cast<py::ssize_t>() == 3 ? py::object(columns[py::int_(2)])
                                                     : py::object(py::none()),
                   shown);
    }

    TFit Fit(const py::kwargs& keywords) {
        const TCallSettings call = ReadKeywords(*app_, keywords, UsedByFit);
        TFit fit;
        {
            py::gil_scoped_release release;
            fit.Outcome = app_->Fit(call.Settings, ReportFinalResults, call.Log);
        }
        Check(fit.Outcome);
        Warn(fit.Outcome);
        fit.Lines = LineTableOf(fit.Outcome.Lines);
        fit.File = FileNameOf(app_->CurrentFile());
        fit.Report = Utf8Lines(fit.Outcome.Report);
        return fit;
    }

    TMap Map(const py::kwargs& keywords) {
        const TCallSettings call = ReadKeywords(*app_, keywords, UsedByMap);
        TMap map;
        {
            py::gil_scoped_release release;
            map.Outcome = app_->Map(call.Settings, ReportFinalResults);
        }
        Check(map.Outcome);
        map.File = FileNameOf(app_->CurrentFile());
        map.Lines = LineTableOf(map.Outcome.Lines);
        map.Report = Utf8Lines(map.Outcome.Report);
        return map;
    }

    // The rows of zeltfit-cli batch fit --format tsv for the files `start` to `stop` (not
    // included) of the batch `files`, in its order, their x from the names of the whole batch, so
    // that a part gets the rows the batch gives. Returns the populated levels of the rows (0
    // without rows), the header row, the rows and, per failed file, its path and error.
    py::tuple BatchRows(const std::vector<std::string>& files, std::size_t start, std::size_t stop,
                        const py::kwargs& keywords) {
        if (start > stop || stop > files.size())
            Raise(Errors().InputError, "start and stop must lie in the batch");
        const TCallSettings call = ReadKeywords(*app_, keywords, UsedByFit);
        std::vector<std::string> batch = files;
        SortNaturally(batch);
        std::vector<std::string> names;
        for (const std::string& file : batch)
            names.push_back(FileNameOf(file));
        const TSeriesAxis axis = SeriesAxis(names);
        std::int32_t levels = 0;
        std::string header, rows;
        std::vector<std::pair<std::string, std::string>> failures;
        {
            py::gil_scoped_release release;
            TSeriesHooks hooks;
            hooks.Done = [&](const TSeries& series, const TSeriesFile& file) {
                const TOutcome& failed = !file.Read.Done ? file.Read : file.Fit;
                if (!failed.Done) {
                    std::string text = failed.Error;
                    for (const std::string& message : failed.Messages)
                        text += (text.empty() ? "" : "\n") + message;
                    failures.emplace_back(file.Path, text);
                    return;
                }
                if (header.empty()) {
                    levels = file.Fit.Row->Values.Densities.size();
                    header = TsvHeader(levels, false, true);
                }
                const TRowAbscissa x = RowAbscissa(axis, start + series.Entries.size() - 1);
                rows += TsvRow(*file.Fit.Row, levels, nullptr, &x);
            };
            const std::vector<std::string> part(batch.begin() + static_cast<std::ptrdiff_t>(start),
                                                batch.begin() + static_cast<std::ptrdiff_t>(stop));
            app_->RunSeries(part, TSeriesCommand::Fit, call.Settings, ReportFinalResults, call.Log,
                            hooks);
        }
        return py::make_tuple(levels, header, rows, failures);
    }

private:
    void Load() {
        // A configuration that cannot be read is a FileError with the reader's text, not a
        // configuration without the species.
        ReadFileBytes(ini_);
        app_ = std::make_unique<TZeltApp>(ini_);
        app_->SetStoreMeasurementFolder(false);
        // A configuration that is missing, empty or unreadable is a file's fault; a species it
        // does not name, the argument's.
        const TConfigStore& config = app_->Config();
        if (const std::string problem = config.SpeciesProblem(species_); !problem.empty())
            Raise(config.Exists() && config.Problem().empty() ? Errors().InputError
                                                              : Errors().FileError,
                  problem);
        Check(app_->ChangeSpecies(species_));
    }

    const std::string& Scratch() {
        if (!scratch_)
            scratch_ = std::make_unique<TScratchFolder>();
        return scratch_->Folder();
    }

    std::string ini_, species_;
    std::optional<TSpeciesFiles> files_;
    std::unique_ptr<TScratchFolder> scratch_;
    std::unique_ptr<TZeltApp> app_;
};

} // namespace

void AddSpecies(py::module_& m) {
    py::class_<TSpecies>(m, "Species",
                         "A species, of a configuration file or given by its files, and the "
                         "measurement read last. It pickles as the species alone, without the "
                         "measurement, so that a copy can be sent to another process.")
        .def(py::init([](const py::object& ini, const std::string& species) {
                 return TSpecies(PathText(ini, "ini"), species);
             }),
             py::arg("ini"), py::arg("species"),
             "Loads the species section `species` of the configuration file `ini` (a path).")
        .def(py::init([](const py::object& database, const std::string& levels,
                         const std::string& lines, const py::object& mass,
                         std::int32_t boltzmannLevels, std::optional<std::string> name) {
                 if (!name) {
                     const std::vector<std::string> items = SplitCommaText(lines);
                     name = items.size() == 2 ? items[0] + " " + items[1] : lines;
                 }
                 return TSpecies(TSpeciesFiles{PathText(database, "database"), levels, lines,
                                               RealNumber(mass, "mass"), boltzmannLevels, *name});
             }),
             py::kw_only(), py::arg("database"), py::arg("levels"), py::arg("lines"),
             py::arg("mass"), py::arg("boltzmann_levels") = 1, py::arg("name") = std::nullopt,
             "Loads a species from its files, as a section of zeltfit.ini names them: `database` "
             "the folder of its tables, `levels` the level file's name in it (the key Levels), "
             "`lines` the two names of its line table (the key Lines: \"Ar,I\" for Ar_I.txt), "
             "`mass` the atomic mass in u (m) and `boltzmann_levels` the number of lowest levels "
             "with a Boltzmann population (Boltzmax); `name` defaults to the two names, \"Ar I\". "
             "The map, fit and absorption settings are the program's defaults.")
        .def_property_readonly("ini", &TSpecies::Ini,
                               "The configuration file; for a species given by its files a "
                               "private one, removed with the species.")
        .def_property_readonly("name", &TSpecies::Name, "The species section.")
        .def_property_readonly("species_list", &TSpecies::SpeciesList,
                               "The species sections of the configuration.")
        .def("read", &TSpecies::ReadAny, py::arg("source"), py::arg("intensities") = py::none(),
             py::arg("uncertainties") = py::none(), py::kw_only(), py::arg("name") = std::nullopt,
             "Reads a measurement: a file (a path: str or os.PathLike), or arrays in memory: "
             "read(wavelengths, intensities[, uncertainties]) or read(table) of a 2-D array or "
             "DataFrame whose columns are those. Wavelengths in nm as the database writes them, "
             "intensities in any unit, uncertainties in the intensities' unit; `name` is the "
             "file name the results of arrays show (\"arrays.txt\"). Arrays are read as the "
             "program reads a file of those lines, without writing one: the same messages, a "
             "value that is not a finite number named by its line (from 1), and more lines "
             "than a measurement may hold (10000) refused before any work. A read stopped at a "
             "wavelength the species does not have keeps the lines before it and issues a "
             "DataWarning, as zeltfit-cli prints the message; a file that cannot be read "
             "raises FileError, refused data InputError.")
        .def("read_arrays", &TSpecies::ReadArrays, py::arg("wavelengths"), py::arg("intensities"),
             py::arg("uncertainties") = py::none(), py::arg("name") = "arrays.txt",
             "read(wavelengths, intensities, uncertainties, name=name): a measurement of "
             "arrays.")
        .def("fit", &TSpecies::Fit,
             "Fits the measurement; keywords as zeltfit-cli's options: density (m-3, start), "
             "temperature (K, start), fit_temperature, max_iterations, gas_temperature (K), "
             "path (m), escape (\"mewe\", \"doppler\" or a table's file), log (the minimisation "
             "log file, a path). Numbers of any real type (int, "
             "float, NumPy's) convert as zeltfit-cli converts the option's text.")
        .def("map", &TSpecies::Map,
             "Maps the residual; keywords from_density, to_density (m-3), density_points, "
             "from_temperature, to_temperature (K), temperature_points, gas_temperature (K), "
             "path (m), escape.")
        .def(
            "batch_rows", &TSpecies::BatchRows, py::arg("files"), py::arg("start"), py::arg("stop"),
            "Fits the files `start` to `stop` (not included) of the batch `files`: their populated "
            "levels, the header row and the rows of zeltfit-cli batch fit --format tsv, the x "
            "from the names of the whole batch, and (path, error) of each file that failed.")
        .def(py::pickle(
            [](const TSpecies& species) {
                const std::optional<TSpeciesFiles>& files = species.Files();
                if (!files)
                    return py::make_tuple(species.Ini(), species.Name());
                return py::make_tuple(files->Database, files->Levels, files->Lines, files->Mass,
                                      files->BoltzmannLevels, files->Name);
            },
            [](const py::tuple& state) {
                if (state.size() == 2)
                    return TSpecies(state[0].cast<std::string>(), state[1].cast<std::string>());
                if (state.size() != 6)
                    Raise(Errors().InputError, "not the state of a pickled Species");
                return TSpecies(
                    TSpeciesFiles{state[0].cast<std::string>(), state[1].cast<std::string>(),
                                  state[2].cast<std::string>(), state[3].cast<double>(),
                                  state[4].cast<std::int32_t>(), state[5].cast<std::string>()});
            }));
}

} // namespace zelt
