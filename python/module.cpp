// SPDX-License-Identifier: GPL-3.0-or-later
// The zeltfit extension module: the application layer's species, measurements, maps and fits
// for Python, their numbers as NumPy arrays. Every call works on its own TZeltApp, and the
// maps and fits run without the interpreter's lock.

#include "app/application.h"
#include "app/commands.h"
#include "app/initext.h"
#include "app/listing.h"
#include "app/series.h"
#include "app/tables.h"
#include "app/tsv.h"
#include "common/codepage.h"
#include "common/errors.h"
#include "common/safefile.h"
#include "common/tempfolder.h"
#include "common/textfile.h"
#include "linemodel/commatext.h"
#include "linemodel/region.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;

namespace zelt {
namespace {

// The Python classes of the errors: Error, and beside it InputError (a ValueError) for what the
// data or the arguments do not allow and FileError (an OSError) for files that cannot be read
// or written.
struct TErrors {
    py::object Error, InputError, FileError;
};
TErrors& Errors() {
    static TErrors errors;
    return errors;
}

[[noreturn]] void Raise(const py::object& kind, const std::string& text) {
    PyErr_SetString(kind.ptr(), text.c_str());
    throw py::error_already_set();
}

// Raises the outcome's error when the command failed; a species that cannot be loaded is a
// file error.
void Check(const TOutcome& outcome) {
    if (outcome.Done)
        return;
    if (!outcome.Error.empty())
        Raise(Errors().InputError, outcome.Error);
    std::string text;
    for (const std::string& message : outcome.Messages)
        text += (text.empty() ? "" : "\n") + message;
    Raise(text.rfind("File error", 0) == 0 ? Errors().FileError : Errors().InputError, text);
}

std::vector<std::string> Utf8Lines(const TReportList& report) {
    std::vector<std::string> lines;
    for (const std::string& line : report)
        lines.push_back(MessageText(line));
    return lines;
}

py::array_t<double> Array(const TCheckedVector<long double>& values) {
    py::array_t<double> array(values.size());
    for (std::int32_t i = 0; i < values.size(); ++i)
        array.mutable_at(i) = static_cast<double>(values[i]);
    return array;
}

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

// The result line's columns of a row, the first ones of zeltfit-cli's --format tsv.
py::list RowValues(const TResultValues& values, const std::string& fileName) {
    py::list row;
    const auto number = [&row](long double value) { row.append(static_cast<double>(value)); };
    number(values.Total);
    number(values.TotalUncertainty);
    for (std::int32_t j = 0; j < values.Densities.size(); ++j) {
        number(values.Densities[j]);
        number(values.Uncertainties[j]);
    }
    number(values.Temperature);
    number(values.TemperatureUncertainty);
    number(values.RSS);
    row.append(fileName);
    row.append(values.Procedure);
    return row;
}

// The line table after a map or fit: one entry per selected line, in the measurement's order.
// The fractions are the model's doubles (-1 where one cannot be formed, as the table shows);
// the state texts are UTF-8.
struct TLineTable {
    std::vector<double> Wavelength, Intensity, Uncertainty, Free, Measured, Fitted, UpperEnergy,
        LowerEnergy;
    std::vector<std::string> UpperState, LowerState;
};

TLineTable LineTableOf(const TAtomicData& model) {
    TLineTable table;
    for (const TLine& line : model.SelectedLines) {
        table.Wavelength.push_back(line.Data.Wavelength);
        table.Intensity.push_back(line.Intensity);
        table.Uncertainty.push_back(line.IntensityUncertainty);
        table.Free.push_back(line.BFTheory);
        table.Measured.push_back(line.BFMeasured);
        table.Fitted.push_back(line.BFFit);
        table.UpperEnergy.push_back(line.Data.EUpper);
        table.LowerEnergy.push_back(line.Data.ELower);
        std::string upper, lower;
        StateTexts(line.Data, upper, lower);
        table.UpperState.push_back(Cp1252ToUtf8(upper));
        table.LowerState.push_back(Cp1252ToUtf8(lower));
    }
    return table;
}

py::array_t<double> Array(const std::vector<double>& values) {
    return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

// A column of the line table: its attribute, its title in the DataFrame (those of the program's
// tab-separated table, the uncertainties beside them) and its values, numbers or texts.
struct TLineColumn {
    const char* Attribute;
    const char* Title;
    std::vector<double> TLineTable::*Numbers;
    std::vector<std::string> TLineTable::*Texts;
    const char* Doc;
};

const TLineColumn kLineColumns[] = {
    {"wavelength", "Wavelength/nm", &TLineTable::Wavelength, nullptr,
     "The database wavelengths, nm."},
    {"intensity", "Intensity", &TLineTable::Intensity, nullptr, "The measured intensities."},
    {"bf_free", "BF free", &TLineTable::Free, nullptr,
     "Branching fractions without self-absorption, A / sum A; -1 where none can be formed."},
    {"bf_measured", "BF meas", &TLineTable::Measured, nullptr, "Measured branching fractions."},
    {"bf_fit", "BF fit", &TLineTable::Fitted, nullptr,
     "Model branching fractions with self-absorption at the result; -1 where none can be formed."},
    {"upper_energy", "Upper energy/eV", &TLineTable::UpperEnergy, nullptr,
     "Energies of the upper levels, eV."},
    {"upper_state", "Upper state", nullptr, &TLineTable::UpperState, "The upper states' texts."},
    {"lower_energy", "Lower energy/eV", &TLineTable::LowerEnergy, nullptr,
     "Energies of the lower levels, eV."},
    {"lower_state", "Lower state", nullptr, &TLineTable::LowerState, "The lower states' texts."},
    {"intensity_uncertainty", "u(Intensity)", &TLineTable::Uncertainty, nullptr,
     "Standard uncertainties of the intensities; 0 where the measurement gives none."},
};

py::object ColumnValues(const TLineTable& table, const TLineColumn& column) {
    if (column.Numbers != nullptr)
        return Array(table.*column.Numbers);
    return py::cast(table.*column.Texts);
}

// The line table as a DataFrame, the columns in the order of kLineColumns.
py::object LineFrame(const TLineTable& table) {
    py::dict columns;
    for (const TLineColumn& column : kLineColumns)
        columns[column.Title] = ColumnValues(table, column);
    return py::module_::import("pandas").attr("DataFrame")(columns);
}

struct TFit {
    std::string File;
    TFitResult Result;
    TResultValues Values;
    TLineTable Lines;
    std::vector<std::string> Report, Messages;
};

struct TMap {
    std::string File;
    TResultValues Values;
    TMapRange Range;
    TCheckedVector<TCheckedVector<double>> Grid;
    std::int32_t DegreesOfFreedom = 0;
    TLineTable Lines;
    std::vector<std::string> Report, Messages;
};

// A folder of the user's temporary folder that only this object uses, removed with what it
// holds when the object goes: the configuration of a species given by its files, and the
// measurements of NumPy arrays, so that no two species share a file.
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
        // The outcome holds only the text: a file that cannot be opened is an OSError.
        if (!outcome.Done && !std::ifstream(file))
            Raise(Errors().FileError, outcome.Error);
        Check(outcome);
    }

    // A measurement of NumPy arrays: written as a measurement file into the species' own
    // folder and read from there, as the program reads every measurement.
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
        std::string text;
        for (py::ssize_t i = 0; i < wavelengths.size(); ++i) {
            text += TsvNumber(wavelengths.at(i)) + " " + TsvNumber(intensities.at(i));
            if (uncertainties)
                text += " " + TsvNumber(uncertainties->at(i));
            text += "\n";
        }
        const std::string file = JoinPath(Scratch(), name);
        SaveFile(file, text, {TLinkPolicy::Replace, false});
        Read(file);
    }

    TFit Fit(const py::kwargs& keywords) {
        const TCallSettings call = ReadKeywords(app_->ConfiguredSettings(), keywords, UsedByFit);
        TFit fit;
        TFitOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->Fit(call.Settings, ReportFinalResults, call.Log);
            if (outcome.Done) {
                fit.Values = FitResultValues(app_->AtomicData(), outcome.Result);
                fit.Lines = LineTableOf(app_->AtomicData());
            }
        }
        Check(outcome);
        fit.File = FileNameOf(app_->CurrentFile());
        fit.Result = outcome.Result;
        fit.Report = Utf8Lines(outcome.Report);
        fit.Messages = outcome.Messages;
        return fit;
    }

    TMap Map(const py::kwargs& keywords) {
        const TCallSettings call = ReadKeywords(app_->ConfiguredSettings(), keywords, UsedByMap);
        TMap map;
        TMapOutcome outcome;
        {
            py::gil_scoped_release release;
            outcome = app_->Map(call.Settings, ReportFinalResults);
            if (outcome.Done) {
                const TAtomicData& model = app_->AtomicData();
                map.Values = MapResultValues(model, outcome.Params);
                map.Range = model.MapRange;
                map.Grid = model.RSSMap;
                map.DegreesOfFreedom = RegionDegreesOfFreedom(model.SelectedLines);
                map.Lines = LineTableOf(model);
            }
        }
        Check(outcome);
        map.File = FileNameOf(app_->CurrentFile());
        map.Report = Utf8Lines(outcome.Report);
        map.Messages = outcome.Messages;
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
        if (const std::string problem = app_->Config().SpeciesProblem(species_); !problem.empty())
            Raise(Errors().InputError, problem);
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
} // namespace zelt

PYBIND11_MODULE(_zeltfit, m) {
    using namespace zelt;
    m.doc() = "Self-absorption branching-fraction fits of n_1 and T_exc.";
    TErrors& errors = Errors();
    errors.Error = py::reinterpret_borrow<py::object>(
        PyErr_NewExceptionWithDoc("zeltfit.Error", "Every error of zeltfit.", nullptr, nullptr));
    const auto derived = [&](const char* name, const char* doc, PyObject* base) {
        py::tuple bases = py::make_tuple(errors.Error, py::handle(base));
        return py::reinterpret_steal<py::object>(
            PyErr_NewExceptionWithDoc(name, doc, bases.ptr(), nullptr));
    };
    errors.InputError =
        derived("zeltfit.InputError", "Data or arguments the program refuses (a ValueError).",
                PyExc_ValueError);
    errors.FileError = derived(
        "zeltfit.FileError", "A file that cannot be read or written (an OSError).", PyExc_OSError);
    m.attr("Error") = errors.Error;
    m.attr("InputError") = errors.InputError;
    m.attr("FileError") = errors.FileError;
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error)
                std::rethrow_exception(error);
        } catch (const EInOutError& e) {
            PyErr_SetString(Errors().FileError.ptr(), MessageText(e.what()).c_str());
        } catch (const Exception& e) {
            PyErr_SetString(Errors().InputError.ptr(), MessageText(e.what()).c_str());
        }
    });

    py::class_<TLineTable> lineTable(
        m, "LineTable", "The selected lines after a map or fit, in the measurement's order.");
    lineTable.def("__len__", [](const TLineTable& t) { return t.Wavelength.size(); });
    for (const TLineColumn& column : kLineColumns)
        lineTable.def_property_readonly(
            column.Attribute, [&column](const TLineTable& t) { return ColumnValues(t, column); },
            column.Doc);
    lineTable.def(
        "to_pandas", &LineFrame,
        "A DataFrame with the columns of the program's tab-separated line table "
        "(Wavelength/nm, Intensity, BF free, BF meas, BF fit, Upper energy/eV, Upper state, "
        "Lower energy/eV, Lower state), then u(Intensity).");

    py::class_<TFit>(m, "FitResult", "The result of a fit.")
        .def_readonly("file", &TFit::File, "The measurement's file name.")
        .def_property_readonly(
            "n_1", [](const TFit& f) { return static_cast<double>(f.Values.Densities[0]); },
            "Density of the first level, m-3.")
        .def_property_readonly(
            "T_exc", [](const TFit& f) { return static_cast<double>(f.Values.Temperature); },
            "Excitation temperature, K.")
        .def_property_readonly(
            "u_T_exc",
            [](const TFit& f) { return static_cast<double>(f.Values.TemperatureUncertainty); },
            "Standard uncertainty of T_exc, K.")
        .def_property_readonly(
            "n_tot", [](const TFit& f) { return static_cast<double>(f.Values.Total); },
            "Total density, m-3.")
        .def_property_readonly(
            "densities", [](const TFit& f) { return Array(f.Values.Densities); },
            "Densities of the populated levels n_1, n_2, ..., m-3.")
        .def_property_readonly(
            "uncertainties", [](const TFit& f) { return Array(f.Values.Uncertainties); },
            "Their standard uncertainties, m-3.")
        .def_property_readonly(
            "rss", [](const TFit& f) { return static_cast<double>(f.Values.RSS); },
            "Final sum of squares.")
        .def_property_readonly(
            "covariance",
            [](const TFit& f) {
                const std::int32_t n =
                    static_cast<std::int32_t>(Slot(f.Result.Params, TParamSlot::FitCount));
                py::array_t<double> c({n, n});
                for (std::int32_t i = 0; i < n; ++i)
                    for (std::int32_t k = 0; k < n; ++k)
                        c.mutable_at(i, k) =
                            static_cast<double>(f.Result.Covariance[i * n + k + 1]);
                return c;
            },
            "The minimiser's covariance matrix of log10 n_1 (and T_exc when fitted), the inverse "
            "of the unscaled normal matrix: scale it by RSS / nu for the uncertainties.")
        .def_property_readonly(
            "return_code", [](const TFit& f) { return f.Result.ReturnCode; },
            "The minimiser's result code.")
        .def_property_readonly(
            "flags", [](const TFit& f) { return f.Result.Quality.Flags; },
            "What is wrong with the result, one bit each; 0 for a sound result.")
        .def_property_readonly(
            "procedure", [](const TFit& f) { return f.Values.Procedure; },
            "The procedure column, e.g. \"fit:OK\".")
        .def_readonly("lines", &TFit::Lines, "The line table with the fitted fractions.")
        .def(
            "to_pandas", [](const TFit& f) { return LineFrame(f.Lines); },
            "The line table as a DataFrame (LineTable.to_pandas).")
        .def_readonly("report", &TFit::Report, "The result lines of the report.")
        .def_readonly("messages", &TFit::Messages, "Messages of orderly stops.")
        .def(
            "row",
            [](const TFit& f) {
                return py::make_tuple(ResultColumns(f.Values.Densities.size(), false, false),
                                      RowValues(f.Values, f.File));
            },
            "The result line's columns and values of zeltfit-cli fit --format tsv.");

    py::class_<TMap>(m, "MapResult", "A residual map over log10 n_1 and T_exc.")
        .def_readonly("file", &TMap::File, "The measurement's file name.")
        .def_property_readonly(
            "rss",
            [](const TMap& map) {
                const py::ssize_t rows = map.Grid.size();
                const py::ssize_t columns = rows == 0 ? 0 : map.Grid[0].size();
                py::array_t<double> a({rows, columns});
                for (py::ssize_t t = 0; t < rows; ++t)
                    for (py::ssize_t d = 0; d < columns; ++d)
                        a.mutable_at(t, d) = map.Grid[t][d];
                return a;
            },
            "The residuals, [temperature step][density step].")
        .def_property_readonly(
            "log_density",
            [](const TMap& map) {
                const std::int32_t n = map.Grid.size() == 0 ? 0 : map.Grid[0].size();
                py::array_t<double> a(n);
                for (std::int32_t d = 0; d < n; ++d)
                    a.mutable_at(d) = map.Range.FromLogDensity + d * map.Range.LogDensityStep;
                return a;
            },
            "The grid's log10 n_1 (n_1 in m-3).")
        .def_property_readonly(
            "temperature",
            [](const TMap& map) {
                py::array_t<double> a(map.Grid.size());
                for (std::int32_t t = 0; t < map.Grid.size(); ++t)
                    a.mutable_at(t) = map.Range.FromTemperature + t * map.Range.TemperatureStep;
                return a;
            },
            "The grid's T_exc, K.")
        .def_property_readonly(
            "n_1", [](const TMap& map) { return static_cast<double>(map.Values.Densities[0]); },
            "n_1 of the best grid point, m-3.")
        .def_property_readonly(
            "T_exc", [](const TMap& map) { return static_cast<double>(map.Values.Temperature); },
            "T_exc of the best grid point, K.")
        .def_readonly("lines", &TMap::Lines,
                      "The line table with the fractions at the best grid point.")
        .def(
            "to_pandas", [](const TMap& map) { return LineFrame(map.Lines); },
            "The line table as a DataFrame (LineTable.to_pandas).")
        .def_readonly("report", &TMap::Report, "The result lines of the report.")
        .def(
            "region",
            [](const TMap& map, double level) {
                if (!(level > 0 && level < 1))
                    Raise(Errors().InputError, "level must lie between 0 and 1");
                const TMapRegion r = MapRegion(map.Grid, map.Range, map.DegreesOfFreedom, level);
                py::dict d;
                d["level"] = r.Level;
                d["dof"] = r.DegreesOfFreedom;
                d["exists"] = r.Exists;
                d["rss_limit"] = r.Threshold;
                d["log_density"] = py::make_tuple(r.FromLogDensity, r.ToLogDensity);
                d["temperature"] = py::make_tuple(r.FromTemperature, r.ToTemperature);
                d["cut_by_grid"] = r.CutByGrid;
                return d;
            },
            py::arg("level"),
            "The confidence region at `level` (e.g. 0.683): its extent in log10 n_1 and T_exc.");

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
    m.def("batch_files", &BatchFiles, py::arg("paths"),
          "The measurement files of files and folders, as a batch takes them.");
}
