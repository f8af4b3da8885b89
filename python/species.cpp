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

// The keyword arguments of map and fit: the option names of zeltfit-cli with "_" for "-"
// (from_density, path, ...), plus fit_temperature and log. Each number goes through the text
// the option would have been given, so that it converts exactly as zeltfit-cli converts it.
struct TCallSettings {
    TCommandSettings Settings;
    std::string Log;
};

TCallSettings ReadKeywords(const TCommandSettings& configured, const py::kwargs& keywords,
                           unsigned use) {
    TCallSettings call{configured, {}};
    for (const auto& [key, value] : keywords) {
        const std::string name = py::str(key);
        if (use == UsedByFit && name == "fit_temperature") {
            call.Settings.FitTemperatureOn = value.cast<bool>();
            continue;
        }
        if (use == UsedByFit && name == "log") {
            call.Log = py::str(value);
            continue;
        }
        const TSetting* found = nullptr;
        for (const TSetting& setting : Settings()) {
            std::string option(setting.Option);
            std::replace(option.begin(), option.end(), '-', '_');
            if ((setting.Use & use) != 0 && option == "__" + name)
                found = &setting;
        }
        if (found == nullptr) {
            PyErr_SetString(PyExc_TypeError,
                            ("unexpected keyword argument '" + name + "'").c_str());
            throw py::error_already_set();
        }
        if (!py::isinstance<py::int_>(value) && !py::isinstance<py::float_>(value))
            Raise(Errors().InputError, name + " takes a number");
        const std::string text = py::str(value);
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
        TOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->ReadMeasurement(file);
        }
        Check(outcome);
    }

    // A measurement of NumPy arrays, read in memory as the program reads a measurement file. No
    // file is involved: whatever the program refuses is an InputError.
    void ReadArrays(const py::array_t<double>& wavelengths, const py::array_t<double>& intensities,
                    const std::optional<py::array_t<double>>& uncertainties,
                    const std::string& name) {
        if (wavelengths.ndim() != 1 || intensities.ndim() != 1 ||
            wavelengths.size() != intensities.size() ||
            (uncertainties &&
             (uncertainties->ndim() != 1 || uncertainties->size() != wavelengths.size())))
            Raise(Errors().InputError,
                  "wavelengths, intensities and uncertainties must be 1-D arrays of one length");
        if (name.empty() || name.find_first_of(std::string("/\\\0", 3)) != std::string::npos ||
            name == "." || name == "..")
            Raise(Errors().InputError, "name must be a file name without a folder");
        std::vector<TMeasuredLine> lines(static_cast<std::size_t>(wavelengths.size()));
        for (py::ssize_t i = 0; i < wavelengths.size(); ++i)
            lines[static_cast<std::size_t>(i)] = {wavelengths.at(i), intensities.at(i),
                                                  uncertainties ? uncertainties->at(i) : 0};
        TOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->ReadMeasurement(name, lines);
        }
        if (!outcome.Done)
            Raise(Errors().InputError, outcome.Error);
    }

    TFit Fit(const py::kwargs& keywords) {
        const TCallSettings call = ReadKeywords(app_->ConfiguredSettings(), keywords, UsedByFit);
        TFit fit;
        TFitOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->Fit(call.Settings, ReportFinalResults, call.Log);
        }
        Check(outcome);
        fit.Lines = LineTableOf(outcome.Lines);
        fit.File = FileNameOf(app_->CurrentFile());
        fit.Result = outcome.Result;
        fit.Values = outcome.Row->Values;
        fit.Report = Utf8Lines(outcome.Report);
        fit.Messages = outcome.Messages;
        return fit;
    }

    TMap Map(const py::kwargs& keywords) {
        const TCallSettings call = ReadKeywords(app_->ConfiguredSettings(), keywords, UsedByMap);
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
        const TCallSettings call = ReadKeywords(app_->ConfiguredSettings(), keywords, UsedByFit);
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
        app_ = std::make_unique<TZeltApp>(ini_);
        app_->SetStoreMeasurementFolder(false);
        const std::vector<std::string> sections = app_->SpeciesList();
        if (std::find(sections.begin(), sections.end(), species_) == sections.end())
            Raise(Errors().InputError,
                  "No species section \"" + species_ + "\" in \"" + ini_ + "\"");
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
        .def(py::init<const std::string&, const std::string&>(), py::arg("ini"), py::arg("species"),
             "Loads the species section `species` of the file `ini`.")
        .def(py::init([](const std::string& database, const std::string& levels,
                         const std::string& lines, double mass, std::int32_t boltzmannLevels,
                         std::optional<std::string> name) {
                 if (!name) {
                     const std::vector<std::string> items = SplitCommaText(lines);
                     name = items.size() == 2 ? items[0] + " " + items[1] : lines;
                 }
                 return TSpecies(
                     TSpeciesFiles{database, levels, lines, mass, boltzmannLevels, *name});
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
        .def("read", &TSpecies::Read, py::arg("path"), "Reads a measurement file.")
        .def("read_arrays", &TSpecies::ReadArrays, py::arg("wavelengths"), py::arg("intensities"),
             py::arg("uncertainties") = std::nullopt, py::arg("name") = "arrays.txt",
             "Reads a measurement of wavelengths (nm), intensities and optional uncertainties "
             "(in the intensities' unit); `name` is the file name the results show.")
        .def("fit", &TSpecies::Fit,
             "Fits the measurement; keywords as zeltfit-cli's options: density (m-3, start), "
             "temperature (K, start), fit_temperature, max_iterations, gas_temperature (K), "
             "path (m), log (the minimisation log file).")
        .def("map", &TSpecies::Map,
             "Maps the residual; keywords from_density, to_density (m-3), density_points, "
             "from_temperature, to_temperature (K), temperature_points, gas_temperature (K), "
             "path (m).")
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
