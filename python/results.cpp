// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/results.h"

#include "app/tsv.h"
#include "common/codepage.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

namespace zelt {

namespace {

template <class T> py::array_t<double> Array(const TCheckedVector<T>& values) {
    py::array_t<double> array(values.size());
    for (std::int32_t i = 0; i < values.size(); ++i)
        array.mutable_at(i) = static_cast<double>(values[i]);
    return array;
}

py::array_t<double> Array(const std::vector<double>& values) {
    return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
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

} // namespace

std::vector<std::string> Utf8Lines(const TReportList& report) {
    std::vector<std::string> lines;
    for (const std::string& line : report)
        lines.push_back(MessageText(line));
    return lines;
}

TLineTable LineTableOf(const TLineSnapshot& lines) {
    TLineTable table;
    for (const TLine& line : lines.Lines) {
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

void AddResults(py::module_& m) {
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
                const TResidualGrid& grid = *map.Outcome.Grid;
                const py::ssize_t rows = grid.size();
                const py::ssize_t columns = rows == 0 ? 0 : grid[0].size();
                py::array_t<double> a({rows, columns});
                for (py::ssize_t t = 0; t < rows; ++t)
                    for (py::ssize_t d = 0; d < columns; ++d)
                        a.mutable_at(t, d) = grid[t][d];
                return a;
            },
            "The residuals, [temperature step][density step].")
        .def_property_readonly(
            "log_density",
            [](const TMap& map) {
                const TResidualGrid& grid = *map.Outcome.Grid;
                const TMapRange& range = map.Outcome.Range;
                return Array(GridValues(range.FromLogDensity, range.LogDensityStep,
                                        grid.empty() ? 0 : grid[0].size()));
            },
            "The grid's log10 n_1 (n_1 in m-3).")
        .def_property_readonly(
            "temperature",
            [](const TMap& map) {
                const TMapRange& range = map.Outcome.Range;
                return Array(GridValues(range.FromTemperature, range.TemperatureStep,
                                        map.Outcome.Grid->size()));
            },
            "The grid's T_exc, K.")
        .def_property_readonly(
            "n_1",
            [](const TMap& map) {
                return static_cast<double>(map.Outcome.Row->Values.Densities[0]);
            },
            "n_1 of the best grid point, m-3.")
        .def_property_readonly(
            "T_exc",
            [](const TMap& map) {
                return static_cast<double>(map.Outcome.Row->Values.Temperature);
            },
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
                const TMapRegion r = RegionAt(map.Outcome, level);
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
}

} // namespace zelt
