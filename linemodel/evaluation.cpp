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
#include "linemodel/gridmodel.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

namespace zelt {

namespace {

// Empties the model cache when an evaluation run ends, also by an exception, so that no record
// outlives the lines and levels it was computed for.
class PrecalcScope {
public:
    explicit PrecalcScope(TAtomicData& data) : data_(data) {}
    PrecalcScope(const PrecalcScope&) = delete;
    PrecalcScope& operator=(const PrecalcScope&) = delete;
    ~PrecalcScope() { data_.ClearPrecalc(); }

private:
    TAtomicData& data_;
};

// The weight of each line's measured fraction in the fit: 0 without a measured fraction; else 1,
// or 1 / u(BF)^2 when every line with a measured fraction carries an intensity uncertainty.
// With x_l = I_l lambda_l and X the sum of x_l over the lines of the upper level, BF_i = x_i / X
// and u(BF_i)^2 = ((1 - BF_i)^2 u(x_i)^2 + BF_i^2 sum_{l != i} u(x_l)^2) / X^2. The only line of
// its level has BF = 1 whatever it measures (up to rounding, which the weight would blow up):
// it carries no information and gets weight 0.
CheckedVector<long double> FractionWeights(const TAtomicData& data) {
    const CheckedVector<TLine>& lines = data.SelectedLines;
    CheckedVector<long double> weights(lines.size());
    bool uncertain = true;
    CheckedVector<long double> levelVariance(data.Levels.size());
    CheckedVector<std::int32_t> levelLines(data.Levels.size());
    for (const TLine& line : lines) {
        if (line.BFMeasured > 0 && !(line.IntensityUncertainty > 0))
            uncertain = false;
        const long double u =
            static_cast<long double>(line.IntensityUncertainty) * line.Data.Wavelength;
        levelVariance[line.UpperLevel] += u * u;
        ++levelLines[line.UpperLevel];
    }
    for (std::int32_t i = 0; i < lines.size(); ++i) {
        const TLine& line = lines[i];
        if (!(line.BFMeasured > 0))
            continue;
        if (!uncertain) {
            weights[i] = 1;
            continue;
        }
        if (levelLines[line.UpperLevel] == 1)
            continue;
        const long double own =
            static_cast<long double>(line.IntensityUncertainty) * line.Data.Wavelength;
        const long double bf = line.BFMeasured, sum = data.Levels[line.UpperLevel].SumIL;
        const long double others = std::max(levelVariance[line.UpperLevel] - own * own, 0.0L);
        const long double variance =
            ((1 - bf) * (1 - bf) * own * own + bf * bf * others) / (sum * sum);
        weights[i] = 1 / variance;
    }
    return weights;
}

} // namespace

// The constants of the selected lines for the gas temperature and mass of p, kept while a fit
// evaluates the model and dropped when it ends, also by an exception. Constants that raise a
// floating-point fault are not kept: the model meets the fault itself and names its cause.
class TLineConstantsScope {
public:
    TLineConstantsScope(TAtomicData& data, const TParamVector& p) : data_(data) {
        FpReset();
        data.lineVelocity_ = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                             static_cast<double>(Slot(p, AtomMass)));
        data.lineConstants_.clear();
        for (const TLine& line : data.SelectedLines)
            data.lineConstants_.push_back(LineConstants(line.Data, data.lineVelocity_));
        if (FpPending())
            data.lineConstants_.clear();
        FpReset();
    }
    TLineConstantsScope(const TLineConstantsScope&) = delete;
    TLineConstantsScope& operator=(const TLineConstantsScope&) = delete;
    ~TLineConstantsScope() { data_.lineConstants_.clear(); }

private:
    TAtomicData& data_;
};

namespace {

// The lines of a text file with CR LF or LF line ends; a final line end adds no empty line.
std::vector<std::string> ReadTextLines(const std::string& fileName) {
    const std::string text = ReadFileBytes(fileName);
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

CheckedVector<double> GridValues(double first, double step, std::int32_t points) {
    CheckedVector<double> values(std::max(points, 0));
    double value = first;
    for (double& v : values) {
        v = value;
        value = ExtendedSum(value, step);
    }
    return values;
}

long double TAtomicData::CalcRSS(const TParamVector& p, std::int32_t np) {
    PrecalcScope scope(*this);
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
    for (CheckedVector<double>& row : RSSMap)
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
    const CheckedVector<double> logDensities =
        GridValues(fromLogDensity, densityStep, densityPoints);
    const CheckedVector<double> temperatures =
        GridValues(fromTemperature, temperatureStep, temperaturePoints);
    TResidualRange residuals;
    const std::int32_t scalarFrom = MapRowsInParallel(p, logDensities, temperatures, residuals);
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
    }
    // Once more at the best point, so that the fractions and populations shown belong to it.
    Slot(p, LogDensity) = residuals.Row < 0 ? fromLogDensity : logDensities[residuals.Column];
    Slot(p, Temperature) = residuals.Row < 0 ? fromTemperature : temperatures[residuals.Row];
    CalcRSS(p, 2);
    Slot(p, ResultRSS) = residuals.Smallest;
    Slot(p, ResultCode) = residuals.Largest;
    MapQuality = JudgeMap(*this, p);
    if (report == nullptr)
        return;
    TReportList lines;
    if (SelectedLines.size() - 2 < 1)
        lines.push_back("Sum was not divided by DoF (not enough lines)!");
    WriteResults(p, TParamVector{}, &lines, fileName, 2, MapMode, &MapQuality);
    Append(*report, lines);
}

std::int32_t TAtomicData::MapRowsInParallel(const TParamVector& p,
                                            const CheckedVector<double>& logDensities,
                                            const CheckedVector<double>& temperatures,
                                            TResidualRange& residuals) {
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
    CheckedVector<TGridModel::TScratch> scratch;
    for (std::int32_t worker = 0; worker < workers; ++worker)
        scratch.push_back(model->NewScratch());
    CheckedVector<double> cells(CheckedMul(rows, columns));
    CheckedVector<TResidualRange> rowResiduals(rows);
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
        return !FpPending();
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
                                 std::int32_t reportKind) {
    FpReset();
    ClearPrecalc();
    PrecalcScope scope(*this);
    const TLineConstantsScope constants(*this, p);
    const std::int32_t n = SelectedLines.size();
    if (n > TDataVector::Size)
        throw ERangeError(Format("%d lines are selected, but a fit takes at most %d lines.",
                                 {n, TDataVector::Size}));
    TFitResult result;
    TParamVector& params = result.Params;
    params = p;
    // Entry j + 1 belongs to line j; lines without a measured fraction get weight 0.
    const CheckedVector<long double> lineWeights = FractionWeights(*this);
    TDataVector x, y, weights, fitted;
    TDataVector& covariance = result.Covariance;
    for (std::int32_t i = 0; i < n; ++i) {
        const double measured = SelectedLines[i].BFMeasured;
        x[i + 1] = i;
        y[i + 1] = measured;
        if (noise != 0)
            y[i + 1] += GaussRandom(0, noise, Random);
        weights[i + 1] = lineWeights[i];
    }
    TMarqControl control;
    std::int32_t defaultIterationLimit = 0;
    MarqDefaults(control, defaultIterationLimit);
    const TMarqModel model = [this](std::int32_t, const TParamVector& q, bool&, long double point) {
        return ModelBF(q, point);
    };
    const TMarqDerivatives derivatives =
        [this](std::int32_t j, const TDataVector& points, std::int32_t np, const TParamVector& q,
               TParamVector& dy, bool& ok) { ModelDerivatives(j, points, np, q, dy, ok); };
    long double& sumOfSquares = result.SumOfSquares;
    std::int32_t& code = result.ReturnCode;
    MarqOpenLog(logPath, 1);
    try {
        MarqMinimize(control, iterationLimit, 1, n, x, y, weights, fitCount, params, sumOfSquares,
                     covariance, fitted, code, model, derivatives);
    } catch (...) {
        // The report closes the log. For a run cut short it raises "no minimization was
        // started", which would hide the cause: the run's own error is the one passed on.
        try {
            MarqReport(code, n, fitCount, sumOfSquares, params, covariance);
        } catch (const Exception&) {
        }
        throw;
    }
    MarqReport(code, n, fitCount, sumOfSquares, params, covariance);
    // Before the fractions are set for the fitted vector: the derivatives leave those of the
    // last vector they tried.
    const std::vector<bool> frozen =
        MarqFrozenParameters(n, x, weights, fitCount, params, derivatives);

    // Evaluate the fitted vector once more, so that the fractions shown belong to it.
    ClearPrecalc();
    for (std::int32_t i = 0; i < n; ++i)
        SelectedLines[i].BFFit = static_cast<double>(ModelBF(params, i));
    Slot(params, ResultRSS) = sumOfSquares;
    Slot(params, ResultCode) = code;
    // Standard uncertainty of fitted slot k: sqrt(S / (N - NF) C_kk).
    if (n > 2 && fitCount > 0) {
        for (std::int32_t k = 1; k <= fitCount; ++k)
            result.Uncertainty[k] =
                FpSqrt(sumOfSquares / (n - fitCount) * covariance[(k - 1) * fitCount + k]);
    }
    FpCheck("the uncertainties of the fit");
    result.Quality = JudgeFit(*this, result, fitCount, frozen);
    if (report == nullptr)
        return result;
    TReportList lines;
    if (reportKind == ReportFitIteration) {
        if (std::filesystem::exists(PathFromUtf8(logPath)))
            lines = ReadTextLines(logPath);
        else
            lines.push_back("Fit logfile was not found.");
    } else {
        WriteResults(params, result.Uncertainty, &lines, fileName, fitCount, FitMode,
                     &result.Quality);
    }
    Append(*report, lines);
    return result;
}

void TAtomicData::ModelDerivatives(std::int32_t j, const TDataVector& x, std::int32_t /*np*/,
                                   const TParamVector& p, TParamVector& dy, bool& /*ok*/) {
    TParamVector q = p;
    for (const TParamSlot slot : {LogDensity, Temperature}) {
        const long double saved = Slot(q, slot);
        const long double step = 0.01L * saved / 2;
        // A slot at exactly 0 has no relative step: its derivative is taken as 0, and the
        // minimiser's guard for a vanishing diagonal holds it for this iteration.
        if (step == 0) {
            Slot(dy, slot) = 0;
            continue;
        }
        Slot(q, slot) = saved + step;
        const long double above = ModelBF(q, x[j]);
        Slot(q, slot) = saved - step;
        const long double below = ModelBF(q, x[j]);
        Slot(dy, slot) = (above - below) / (step * 2);
        Slot(q, slot) = saved;
    }
}

} // namespace zelt
