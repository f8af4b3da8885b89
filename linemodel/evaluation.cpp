#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/textfile.h"
#include "leastsquares/marq3w.h"

#include <cmath>
#include <filesystem>
#include <fstream>

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

// The lines of a text file with CR LF or LF line ends; a final line end adds no empty line.
std::vector<std::string> ReadTextLines(const std::string& fileName) {
    std::ifstream stream(PathFromUtf8(fileName), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void Append(TReportList& report, const TReportList& lines) {
    report.insert(report.end(), lines.begin(), lines.end());
}

} // namespace

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
                          TMapRange& range, TReportList* report, std::int32_t /*reportKind*/) {
    FpReset();
    const double temperatureStep = (toTemperature - fromTemperature) / temperaturePoints;
    const double densityStep = (toLogDensity - fromLogDensity) / densityPoints;
    FpCheck("the step of the map grid (number of points 0?)");
    range = TMapRange{fromLogDensity, toLogDensity, fromTemperature,
                      toTemperature,  densityStep,  temperatureStep};
    MapRange = range;
    long double smallest = 1e20L, largest = -1e20L;
    double bestLogDensity = fromLogDensity, bestTemperature = fromTemperature;
    // The grid is built by adding the steps one after another, as far as the point before the
    // last value: the first value + k step, k = 0 .. points - 1.
    double temperature = fromTemperature;
    for (std::int32_t r = 0; r < temperaturePoints; ++r) {
        double logDensity = fromLogDensity;
        for (std::int32_t c = 0; c < densityPoints; ++c) {
            Slot(p, LogDensity) = logDensity;
            Slot(p, Temperature) = temperature;
            const long double rss = CalcRSS(p, 2);
            RSSMap[r][c] = static_cast<double>(rss);
            if (rss < smallest) {
                smallest = rss;
                bestLogDensity = logDensity;
                bestTemperature = temperature;
            }
            if (rss > largest)
                largest = rss;
            logDensity += densityStep;
        }
        temperature += temperatureStep;
    }
    // Once more at the best point, so that the fractions and populations shown belong to it.
    Slot(p, LogDensity) = bestLogDensity;
    Slot(p, Temperature) = bestTemperature;
    CalcRSS(p, 2);
    Slot(p, ResultRSS) = smallest;
    Slot(p, ResultCode) = largest;
    if (report == nullptr)
        return;
    TReportList lines;
    if (SelectedLines.size() - 2 < 1)
        lines.push_back("Sum was not divided by DoF (not enough lines)!");
    WriteResults(p, TParamVector{}, &lines, fileName, 2, MapMode);
    Append(*report, lines);
}

TFitResult TAtomicData::FitLines(const TParamVector& p, std::int32_t iterationLimit,
                                 std::int32_t fitCount, double noise, const std::string& fileName,
                                 const std::string& logPath, TReportList* report,
                                 std::int32_t reportKind) {
    FpReset();
    ClearPrecalc();
    PrecalcScope scope(*this);
    const std::int32_t n = SelectedLines.size();
    if (n > TDataVector::Size)
        throw ERangeError(Format("%d lines are selected, but a fit takes at most %d lines.",
                                 {n, TDataVector::Size}));
    TFitResult result;
    TParamVector& params = result.Params;
    params = p;
    // Entry j + 1 belongs to line j; lines without a measured fraction get weight 0.
    TDataVector x, y, weights, covariance, fitted;
    for (std::int32_t i = 0; i < n; ++i) {
        const double measured = SelectedLines[i].BFMeasured;
        x[i + 1] = i;
        y[i + 1] = measured;
        if (noise != 0)
            y[i + 1] += GaussRandom(0, noise, Random);
        weights[i + 1] = measured > 0 ? 1 : 0;
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
    if (report == nullptr)
        return result;
    TReportList lines;
    if (reportKind == ReportFitIteration) {
        if (std::filesystem::exists(PathFromUtf8(logPath)))
            lines = ReadTextLines(logPath);
        else
            lines.push_back("Fit logfile was not found.");
    } else {
        WriteResults(params, result.Uncertainty, &lines, fileName, fitCount, FitMode);
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
