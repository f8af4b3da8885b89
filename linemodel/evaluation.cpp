// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/parallel.h"
#include "common/textfile.h"
#include "leastsquares/marq3w.h"
#include "leastsquares/marqguard.h"
#include "linemodel/absorption.h"
#include "linemodel/extended.h"
#include "linemodel/fitquality.h"
#include "linemodel/fitrun.h"
#include "linemodel/gridmodel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <optional>

namespace zelt {

namespace {

// The lines of a text with CR LF or LF line ends; a final line end adds no empty line.
std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::size_t length = end - start;
        lines.push_back(
            text.substr(start, end > start && text[end - 1] == '\r' ? length - 1 : length));
        start = end + 1;
    }
    return lines;
}

void Append(TReportList& report, const TReportList& lines) {
    report.insert(report.end(), lines.begin(), lines.end());
}

} // namespace

TCheckedVector<double> GridValues(double first, double step, std::int32_t points) {
    TCheckedVector<double> values(std::max(points, 0));
    double value = first;
    for (double& v : values) {
        v = value;
        value = ExtendedSum(value, step);
    }
    return values;
}

long double TAtomicData::CalcRSS(const TParamVector& p, std::int32_t np) {
    TPrecalcScope scope(*this);
    long double sum = 0;
    for (std::int32_t i = 0; i < SelectedLines.size(); ++i) {
        TLine& line = SelectedLines[i];
        line.BFFit = static_cast<double>(ModelBF(p, i));
        const long double difference = static_cast<long double>(line.BFFit) - line.BFMeasured;
        sum += difference * difference;
    }
    const std::int32_t degreesOfFreedom = CheckedSub(SelectedLines.size(), np);
    if (degreesOfFreedom > 0)
        sum /= degreesOfFreedom;
    FpCheck("the residual sum of squares");
    return sum;
}

void TAtomicData::InitMap(std::int32_t temperaturePoints, std::int32_t densityPoints) {
    RSSMap.clear();
    RSSMap.resize(temperaturePoints);
    for (TCheckedVector<double>& row : RSSMap)
        row.resize(densityPoints);
}

void TAtomicData::CalcMap(std::int32_t densityPoints, std::int32_t temperaturePoints,
                          TParamVector& p, double fromLogDensity, double toLogDensity,
                          double fromTemperature, double toTemperature, const std::string& fileName,
                          TMapRange& range, TReportList* report,
                          [[maybe_unused]] std::int32_t reportKind) {
    FpReset();
    const double temperatureStep = static_cast<double>(
        (static_cast<long double>(toTemperature) - fromTemperature) / temperaturePoints);
    const double densityStep = static_cast<double>(
        (static_cast<long double>(toLogDensity) - fromLogDensity) / densityPoints);
    FpCheck("the step of the map grid (number of points 0?)");
    range = TMapRange{fromLogDensity, toLogDensity, fromTemperature,
                      toTemperature,  densityStep,  temperatureStep};
    MapRange = range;
    ClearPrecalc();
    const TCheckedVector<double> logDensities =
        GridValues(fromLogDensity, densityStep, densityPoints);
    const TCheckedVector<double> temperatures =
        GridValues(fromTemperature, temperatureStep, temperaturePoints);
    TResidualRange residuals;
    std::atomic<std::int32_t> rowsDone{0};
    const auto rowDone = [&] {
        if (MapProgress && !MapProgress(++rowsDone, temperatures.size()))
            throw EAbort("The map was cancelled.");
    };
    const std::int32_t scalarFrom =
        MapRowsInParallel(p, logDensities, temperatures, residuals, rowDone);
    // The rows from the first one the grid model could not do go the model cache's way, which
    // raises any fault with the full context of its grid point. The point before them is
    // evaluated once more, so that a fault leaves the fractions and populations of the last
    // point evaluated before it, as a map computed point by point does.
    if (scalarFrom > 0 && scalarFrom < temperatures.size()) {
        Slot(p, LogDensity) = logDensities[logDensities.size() - 1];
        Slot(p, Temperature) = temperatures[scalarFrom - 1];
        CalcRSS(p, 2);
    }
    for (std::int32_t r = scalarFrom; r < temperatures.size(); ++r) {
        for (std::int32_t c = 0; c < logDensities.size(); ++c) {
            Slot(p, LogDensity) = logDensities[c];
            Slot(p, Temperature) = temperatures[r];
            const long double rss = CalcRSS(p, 2);
            RSSMap[r][c] = static_cast<double>(rss);
            residuals.Add(rss, r, c);
        }
        rowDone();
    }
    // Once more at the best point, so that the fractions and populations shown belong to it.
    Slot(p, LogDensity) = residuals.Row < 0 ? fromLogDensity : logDensities[residuals.Column];
    Slot(p, Temperature) = residuals.Row < 0 ? fromTemperature : temperatures[residuals.Row];
    CalcRSS(p, 2);
    Slot(p, ResultRSS) = residuals.Smallest;
    Slot(p, ResultCode) = residuals.Largest;
    MapQuality = JudgeMap(SelectedLines, Levels, p);
    MapValues = ResultValues(p, TParamVector{}, 2, MapMode);
    MapValues.Procedure = MapQuality.Procedure;
    if (report == nullptr)
        return;
    TReportList lines;
    if (SelectedLines.size() - 2 < 1)
        lines.push_back("Sum was not divided by DoF (not enough lines)!");
    WriteResultLine(MapValues, lines, fileName);
    Append(*report, lines);
}

std::int32_t TAtomicData::MapRowsInParallel(const TParamVector& p,
                                            const TCheckedVector<double>& logDensities,
                                            const TCheckedVector<double>& temperatures,
                                            TResidualRange& residuals,
                                            const std::function<void()>& rowDone) {
    const std::int32_t columns = logDensities.size();
    // Rows that RSSMap cannot hold are left to the scalar path, which raises the range error.
    std::int32_t rows = 0;
    while (rows < temperatures.size() && rows < RSSMap.size() && RSSMap[rows].size() >= columns)
        ++rows;
    if (rows == 0 || columns == 0 || SelectedLines.empty())
        return 0;
    FpReset();
    std::optional<TGridModel> model;
    try {
        model.emplace(*this, p, logDensities);
    } catch (const Exception&) {
        model.reset();
    }
    // A fault in what the grid shares: every row would meet it, so all go the scalar way.
    if (!model || FpPending()) {
        FpReset();
        return 0;
    }
    const std::int32_t workers = std::min(ThreadCount(MapThreads), rows);
    TCheckedVector<TGridModel::TScratch> scratch;
    for (std::int32_t worker = 0; worker < workers; ++worker)
        scratch.push_back(model->NewScratch());
    TCheckedVector<double> cells(CheckedMul(rows, columns));
    TCheckedVector<TResidualRange> rowResiduals(rows);
    // Each row clears its thread's flags and reports a fault, or a row the grid model leaves to
    // the point-by-point path, as a row to be done again on the scalar path; the first such row
    // in row order ends the parallel part.
    const std::int32_t done = RunRows(workers, rows, [&](std::int32_t worker, std::int32_t r) {
        FpReset();
        TGridModel::TScratch& own = scratch[worker];
        if (!model->Row(temperatures[r], own))
            return false;
        for (std::int32_t c = 0; c < columns; ++c) {
            const long double rss = own.Residuals[c];
            cells[r * columns + c] = static_cast<double>(rss);
            rowResiduals[r].Add(rss, r, c);
        }
        if (FpPending())
            return false;
        rowDone();
        return true;
    });
    FpReset();
    for (std::int32_t r = 0; r < done; ++r) {
        for (std::int32_t c = 0; c < columns; ++c)
            RSSMap[r][c] = cells[r * columns + c];
        residuals.Add(rowResiduals[r]);
    }
    return done;
}

TFitResult TAtomicData::FitLines(const TParamVector& p, std::int32_t iterationLimit,
                                 std::int32_t fitCount, double noise, const std::string& fileName,
                                 const std::string& logPath, TReportList* report,
                                 std::int32_t reportKind, const TLikelihoodFit* likelihood) {
    FpReset();
    ClearPrecalc();
    TPrecalcScope scope(*this);
    const TLineConstantsScope constants(*this, p);
    // A step that runs where the model overflows is rejected rather than ending the fit with the
    // model's fault; a fault at the start, before any vector was computed, ends it as before.
    bool started = false;
    const TMarqModel model = [this, &started](std::int32_t, const TParamVector& q, bool& ok,
                                              long double point) {
        try {
            const long double value = ModelBF(q, point);
            started = true;
            return value;
        } catch (const EMathError&) {
            if (!started)
                throw;
            ok = false;
            return 0.0L;
        }
    };
    const TMarqDerivatives derivatives =
        [this](std::int32_t j, const TDataVector& points, std::int32_t np, const TParamVector& q,
               TParamVector& dy, bool& ok) { ModelDerivatives(j, points, np, q, dy, ok); };
    std::vector<bool> frozen;
    TFitResult result = FitFractions(*this, p, iterationLimit, fitCount, noise, logPath, model,
                                     derivatives, frozen);
    TParamVector& params = result.Params;
    const long double sumOfSquares = result.SumOfSquares;
    const std::int32_t n = SelectedLines.size();
    const TDataVector& covariance = result.Covariance;
    Slot(params, ResultRSS) = sumOfSquares;
    Slot(params, ResultCode) = result.ReturnCode;
    // Standard uncertainty of fitted slot k: sqrt(S / (N - NF) C_kk). A fault here (a fit that
    // ran away) leaves its number as it came out, and the judgement says so.
    if (n > 2 && fitCount > 0) {
        for (std::int32_t k = 1; k <= fitCount; ++k)
            result.Uncertainty[k] =
                FpSqrt(sumOfSquares / (n - fitCount) * covariance[(k - 1) * fitCount + k]);
    }
    FpReset();
    if (likelihood != nullptr)
        result.Likelihood = *likelihood;
    // The iteration log is reported before the numbers are formed: a fit that ran away to where
    // they cannot be shows its iterations and then the error.
    const bool iterations = report != nullptr && reportKind == ReportFitIteration;
    if (iterations) {
        TReportList lines;
        // A series keeps its logs in memory (MarqLogToText) and writes only its last one.
        if (const std::string* log = MarqLogText())
            lines = TextLines(*log);
        else if (std::filesystem::exists(PathFromUtf8(logPath)))
            lines = TextLines(ReadFileBytes(logPath));
        else
            lines.push_back("Fit logfile was not found.");
        Append(*report, lines);
    }
    result.Values = ResultValues(params, result.Uncertainty, fitCount, FitMode);
    result.Quality = JudgeFit(SelectedLines, Levels, result, fitCount, frozen, result.Values);
    result.Values.Procedure = result.Quality.Procedure;
    if (report != nullptr && !iterations) {
        TReportList lines;
        WriteResultLine(result.Values, lines, fileName);
        Append(*report, lines);
    }
    return result;
}

} // namespace zelt
