// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/results.h"

#include "app/tsv.h"
#include "common/codepage.h"
#include "linemodel/likelihood.h"
#include "python/arguments.h"

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

// A confidence level given in per cent, as zeltfit-cli's --region takes it, as a fraction.
double RegionLevel(const py::handle& percent) {
    const double level = RealNumber(percent, "level");
    if (!(level >= 1 && level < 100))
        Raise(Errors().InputError, "level is in per cent: a number from 1 to below 100, e.g. 68.3 "
                                   "(not " +
                                       NumberText(percent, "level") + ")");
    return level / 100;
}

// The points of a closed line as an array of rows (log10 n_1, T_exc in K).
py::array_t<double> OutlineArray(const TOutline& outline) {
    py::array_t<double> points({static_cast<py::ssize_t>(outline.size()), py::ssize_t{2}});
    for (std::size_t i = 0; i < outline.size(); ++i) {
        points.mutable_at(i, 0) = outline[i].X;
        points.mutable_at(i, 1) = outline[i].Y;
    }
    return points;
}

// The row of a map or fit of the file `file` as batch_fit gives it for a batch of that file
// alone: its x from the file's name, with the region's columns when `region` is given.
py::object RowFrame(const TResultRow& row, const std::string& file,
                    const TMapRegion* region = nullptr) {
    const std::int32_t levels = row.Values.Densities.size();
    const TRowAbscissa x = RowAbscissa(SeriesAxis({file}), 0);
    return SeriesFrame(TsvHeader(levels, region != nullptr, true) +
                       TsvRow(row, levels, region, &x));
}

py::object OptionalNumber(const std::optional<long double>& value) {
    return value ? py::object(py::float_(static_cast<double>(*value))) : py::object(py::none());
}

// FitResult.quoted: the numbers of the row's likelihood fit.
py::object QuotedResult(const TFit& f) {
    const TResultRow& row = *f.Outcome.Row;
    if (!row.Quoted || !row.Likelihood || row.Quoted->Densities.empty())
        return py::none();
    const TResultValues& v = *row.Quoted;
    const TLikelihoodFit& l = *row.Likelihood;
    const bool temperature = row.Provenance.Settings.FitTemperatureOn;
    py::dict d;
    d["n_1"] = static_cast<double>(v.Densities[0]);
    d["u_n_1"] = static_cast<double>(v.Uncertainties[0]);
    d["n_1_low"] = OptionalNumber(l.DensityLow);
    d["n_1_high"] = OptionalNumber(l.DensityHigh);
    d["T_exc"] = temperature ? py::cast(static_cast<double>(v.Temperature)) : py::none();
    d["u_T_exc"] =
        temperature ? py::cast(static_cast<double>(v.TemperatureUncertainty)) : py::none();
    d["n_tot"] = static_cast<double>(v.Total);
    d["u_n_tot"] = static_cast<double>(v.TotalUncertainty);
    d["densities"] = Array(v.Densities);
    d["uncertainties"] = Array(v.Uncertainties);
    d["noise"] = NoiseModelText(l.Noise, l.Scale);
    d["s"] = OptionalNumber(l.Scale);
    d["chi2"] = static_cast<double>(l.ChiSquare);
    d["nu"] = l.DegreesOfFreedom;
    d["p"] = OptionalNumber(l.PValue);
    d["text"] = QualityText(row);
    return d;
}

// A column of the line table: its attribute, its title in the DataFrame (those of the program's
// tab-separated table, the uncertainties beside them) and its values, numbers or texts.
struct TLineColumn {
    const char* Attribute;
    const char* Title;
    std::vector<double> TLineTable::*Numbers;
    std::vector<std::string> TLineTable::*Texts;
    const char* Doc;
    std::vector<std::int32_t> TLineTable::*Indices = nullptr;
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
    {"upper_level", "Upper level", nullptr, nullptr,
     "The upper levels' indices among the species' levels, from 0; the window colours the "
     "bars of a level alike.",
     &TLineTable::UpperLevel},
    {"lower_level", "Lower level", nullptr, nullptr,
     "The lower levels' indices among the species' levels, from 0.", &TLineTable::LowerLevel},
};

py::object ColumnValues(const TLineTable& table, const TLineColumn& column) {
    if (column.Numbers != nullptr)
        return Array(table.*column.Numbers);
    if (column.Indices != nullptr) {
        const std::vector<std::int32_t>& indices = table.*column.Indices;
        return py::array_t<std::int32_t>(static_cast<py::ssize_t>(indices.size()), indices.data());
    }
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

py::object SeriesFrame(const std::string& tsv) {
    return py::module_::import("zeltfit").attr("_series_frame")(tsv);
}

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
        table.UpperLevel.push_back(line.UpperLevel);
        table.LowerLevel.push_back(line.LowerLevel);
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
        "Lower energy/eV, Lower state), then u(Intensity), Upper level and Lower level.");

    // The numbers of a fit's row: the result line's values.
    const auto values = [](const TFit& f) -> const TResultValues& { return f.Outcome.Row->Values; };
    py::class_<TFit>(m, "FitResult",
                     "The result of a fit. Its row() holds every column of zeltfit-cli's "
                     "--format tsv; the attributes name the result line's numbers.")
        .def_readonly("file", &TFit::File, "The measurement's file name.")
        .def_property_readonly(
            "n_1", [=](const TFit& f) { return static_cast<double>(values(f).Densities[0]); },
            "Density of the first level, m-3.")
        .def_property_readonly(
            "T_exc", [=](const TFit& f) { return static_cast<double>(values(f).Temperature); },
            "Excitation temperature, K.")
        .def_property_readonly(
            "u_T_exc",
            [=](const TFit& f) { return static_cast<double>(values(f).TemperatureUncertainty); },
            "Standard uncertainty of T_exc, K.")
        .def_property_readonly(
            "n_tot", [=](const TFit& f) { return static_cast<double>(values(f).Total); },
            "Total density, m-3.")
        .def_property_readonly(
            "densities", [=](const TFit& f) { return Array(values(f).Densities); },
            "Densities of the populated levels n_1, n_2, ..., m-3.")
        .def_property_readonly(
            "uncertainties", [=](const TFit& f) { return Array(values(f).Uncertainties); },
            "Their standard uncertainties, m-3.")
        .def_property_readonly(
            "rss", [=](const TFit& f) { return static_cast<double>(values(f).RSS); },
            "Final sum of squares.")
        .def_property_readonly(
            "covariance",
            [](const TFit& f) {
                const TFitResult& result = f.Outcome.Result;
                const std::int32_t n =
                    static_cast<std::int32_t>(Slot(result.Params, TParamSlot::FitCount));
                py::array_t<double> c({n, n});
                for (std::int32_t i = 0; i < n; ++i)
                    for (std::int32_t k = 0; k < n; ++k)
                        c.mutable_at(i, k) = static_cast<double>(result.Covariance[i * n + k + 1]);
                return c;
            },
            "The minimiser's covariance matrix of log10 n_1 (and T_exc when fitted), the inverse "
            "of the unscaled normal matrix: scale it by RSS / nu for the uncertainties.")
        .def_property_readonly("quoted", &QuotedResult,
                               "What to quote, from the likelihood of the intensities: a dict of "
                               "n_1, u_n_1, n_1_low and n_1_high (the profile interval at 68.3 %), "
                               "T_exc and u_T_exc (None unless fitted), n_tot, u_n_tot, densities, "
                               "uncertainties (m-3, K), noise, s, chi2, nu, p and text (the line "
                               "the window's status bar shows); None without an uncertainty to "
                               "quote.")
        .def_property_readonly(
            "return_code", [](const TFit& f) { return f.Outcome.Result.ReturnCode; },
            "The minimiser's result code.")
        .def_property_readonly(
            "flags", [](const TFit& f) { return f.Outcome.Result.Quality.Flags; },
            "What is wrong with the result, one bit each; 0 for a sound result.")
        .def_property_readonly(
            "procedure", [=](const TFit& f) { return values(f).Procedure; },
            "The procedure column, e.g. \"fit:OK\".")
        .def_property_readonly(
            "escape", [](const TFit& f) { return f.Outcome.Row->Provenance.Settings.Escape; },
            "The escape factor: \"mewe\", \"doppler\" or the table's file.")
        .def_property_readonly(
            "n_1_mewe", [](const TFit& f) { return OptionalNumber(f.Outcome.Row->Spread.Mewe); },
            "n_1 of this fit with the escape factor mewe, m-3: its own n_1 or that of the same "
            "fit made again; None where that fit failed or is flagged.")
        .def_property_readonly(
            "n_1_doppler",
            [](const TFit& f) { return OptionalNumber(f.Outcome.Row->Spread.Doppler); },
            "n_1 of this fit with the escape factor doppler, m-3, as n_1_mewe.")
        .def_readonly("lines", &TFit::Lines, "The line table with the fitted fractions.")
        .def(
            "to_pandas", [](const TFit& f) { return LineFrame(f.Lines); },
            "The line table as a DataFrame (LineTable.to_pandas).")
        .def_readonly("report", &TFit::Report, "The result lines of the report.")
        .def_property_readonly(
            "messages", [](const TFit& f) { return f.Outcome.Messages; },
            "Messages of orderly stops.")
        .def(
            "row", [](const TFit& f) { return RowFrame(*f.Outcome.Row, f.File); },
            "The fit's row as a one-row DataFrame with the columns of batch_fit (those of "
            "zeltfit-cli batch fit --format tsv, the file name first): the result line, x from "
            "the file's name, the judgement, the uncertainties to quote and the conditions.")
        .def(
            "ellipse",
            [](const TFit& f, const py::object& level) -> py::object {
                const TOutline ellipse = EllipseAt(f.Outcome, RegionLevel(level));
                if (ellipse.empty())
                    return py::none();
                return OutlineArray(ellipse);
            },
            py::arg("level") = 68.3,
            "The linearised confidence region of log10 n_1 and T_exc at `level` per cent, as "
            "rows (log10 n_1, T_exc in K) around it; None unless both were fitted and nu >= 1.");

    py::class_<TMap>(m, "MapResult",
                     "A residual map over log10 n_1 and T_exc. Its row() holds every column of "
                     "zeltfit-cli's --format tsv.")
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
        .def_property_readonly(
            "escape", [](const TMap& map) { return map.Outcome.Row->Provenance.Settings.Escape; },
            "The escape factor: \"mewe\", \"doppler\" or the table's file.")
        .def_readonly("lines", &TMap::Lines,
                      "The line table with the fractions at the best grid point.")
        .def(
            "to_pandas", [](const TMap& map) { return LineFrame(map.Lines); },
            "The line table as a DataFrame (LineTable.to_pandas).")
        .def_readonly("report", &TMap::Report, "The result lines of the report.")
        .def(
            "region",
            [](const TMap& map, const py::object& percent) {
                const TMapRegion r = RegionAt(map.Outcome, RegionLevel(percent));
                py::dict d;
                d["level"] = r.Level * 100;
                d["dof"] = r.DegreesOfFreedom;
                d["exists"] = r.Exists;
                d["rss_limit"] = r.Threshold;
                d["log_density"] = py::make_tuple(r.FromLogDensity, r.ToLogDensity);
                d["temperature"] = py::make_tuple(r.FromTemperature, r.ToTemperature);
                d["cut_by_grid"] = r.CutByGrid;
                py::list outlines;
                for (const TOutline& outline : r.Outlines)
                    outlines.append(OutlineArray(outline));
                d["outlines"] = outlines;
                return d;
            },
            py::arg("level") = 68.3,
            "The confidence region at `level` per cent (68.3, as zeltfit-cli's --region): "
            "its level in per cent, nu (dof), whether it exists, the residual bound "
            "(rss_limit), its extent in log10 n_1 and T_exc, whether the grid cuts it, and its "
            "border as arrays of rows (log10 n_1, T_exc in K), one per connected piece.")
        .def(
            "row",
            [](const TMap& map, const py::object& percent) {
                if (percent.is_none())
                    return RowFrame(*map.Outcome.Row, map.File);
                const TMapRegion region = RegionAt(map.Outcome, RegionLevel(percent));
                return RowFrame(*map.Outcome.Row, map.File, &region);
            },
            py::arg("level") = py::none(),
            "The map's row as a one-row DataFrame with the columns of zeltfit-cli batch map "
            "--format tsv (the file name first); with `level` (per cent) the region's columns "
            "too, as --region gives them.");
}

} // namespace zelt
