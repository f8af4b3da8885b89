// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/marq3w.h"

#include "common/checked.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/textfile.h"
#include "leastsquares/chocho.h"
#include "leastsquares/marqguard.h"

#include <cfenv>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace zelt {

namespace {

// The minimisation log of a thread: created by MarqOpenLog, written during the run, closed by
// MarqReport. A fit opens, writes and closes its log on the thread it runs on, so fits on
// several threads at once (a batch's, the Python module's) each write their own.
class TMarqLog {
public:
    std::vector<std::string> Names; // given to MarqOpenLog for its log; empty for the defaults

    // Starts the log in the file or, when `target` is given, in memory for *target.
    void Open(const std::string& fileName, std::string* target) {
        target_ = target;
        text_.clear();
        if (target_ == nullptr)
            file_.Create(fileName, {TLinkPolicy::Replace, false});
    }
    void Write(std::string_view text) {
        if (target_ != nullptr)
            text_.append(text);
        else
            file_.Write(text);
    }
    void WriteLine(std::string_view text = {}) {
        Write(text);
        Write("\r\n");
    }
    // Puts the file in its place, or the text into the target.
    void Close() {
        if (target_ == nullptr) {
            file_.Close();
            return;
        }
        *target_ = std::move(text_);
        target_ = nullptr;
    }

private:
    TTextWriter file_;
    std::string* target_ = nullptr;
    std::string text_;
};

// The logs of the threads, each reached by its thread through a plain pointer: no thread-local
// object has a destructor. MinGW-w64 frees a thread's thread-local storage (GCC's emulated TLS)
// before it runs the destructors of the objects in it when the thread ends, so they would free
// what they read from freed memory (GCC bug 80816): a batch's worker crashed in RtlFreeHeap.
std::mutex marqLogsLock;
std::map<std::thread::id, TMarqLog> marqLogs;
thread_local TMarqLog* ownMarqLog = nullptr;
// Where the thread's logs go instead of their files (MarqLogToText).
thread_local std::string* marqLogText = nullptr;

TMarqLog& MarqLog() {
    if (ownMarqLog == nullptr) {
        const std::lock_guard lock(marqLogsLock);
        ownMarqLog = &marqLogs[std::this_thread::get_id()];
    }
    return *ownMarqLog;
}

// Forgets the thread's log once its report has closed it or failed; an open file is discarded.
struct TReleaseOwnLog {
    TReleaseOwnLog() = default;
    TReleaseOwnLog(const TReleaseOwnLog&) = delete;
    TReleaseOwnLog& operator=(const TReleaseOwnLog&) = delete;
    ~TReleaseOwnLog() {
        const std::lock_guard lock(marqLogsLock);
        marqLogs.erase(std::this_thread::get_id());
        ownMarqLog = nullptr;
    }
};

constexpr std::int32_t kMaxPoints = TDataVector::Size;
constexpr std::int32_t kMaxParameters = 8;
// A damping of exactly 0 restarts from this value before it is raised.
constexpr long double kLambdaRestart = 1e-19L;
constexpr int kRuleWidth = 80;

// Packed index of element (r, c), c <= r, of a symmetric matrix.
std::int32_t At(std::int32_t r, std::int32_t c) {
    return r * (r - 1) / 2 + c;
}

// Index of element (i, k) of an np x np matrix stored row by row.
std::int32_t RowMajor(std::int32_t i, std::int32_t k, std::int32_t np) {
    return CheckedAdd(CheckedMul(i - 1, np), k);
}

std::string ParameterName(std::int32_t i) {
    const std::vector<std::string>& names = MarqLog().Names;
    if (i >= 1 && i <= static_cast<std::int32_t>(names.size()))
        return names[static_cast<std::size_t>(i - 1)];
    if (i == 1)
        return "log10(n_1)";
    if (i == 2)
        return "Te";
    return Format("b%d", {i});
}

// An 80-character line: n dashes, then blanks.
std::string DashRule(int n) {
    if (n < 0 || n > kRuleWidth)
        RaiseIndexError(n, 0, kRuleWidth);
    return std::string(static_cast<std::size_t>(n), '-') +
           std::string(static_cast<std::size_t>(kRuleWidth - n), ' ');
}

// The state of one call of MarqMinimize.
class TMarqRun {
public:
    TMarqRun(const TMarqControl& control, std::int32_t printLevel, std::int32_t n,
             const TDataVector& x, const TDataVector& y, const TDataVector& w, std::int32_t np,
             TParamVector& p, long double& sumOfSquares, const TMarqModel& model,
             const TMarqDerivatives& derivatives)
        : control_(control), printLevel_(printLevel), n_(n), x_(x), y_(y), w_(w), np_(np), p_(p),
          sumOfSquares_(sumOfSquares), model_(model), derivatives_(derivatives) {}

    // Runs the iterations from a starting S; returns the stop code (any but MarqNotStarted and
    // MarqModelFailed).
    TMarqCode Iterate(long double sOld, std::int32_t iterationLimit);
    // S at the current parameters; fills the residuals. A model failure stops the pass
    // after adding the failing point's term and leaves ok_ false.
    long double SumOfSquares();
    // S at the starting point; one that is no finite number raises.
    long double StartingSumOfSquares();
    bool ModelOk() const { return ok_; }
    // Writes the header and line 0 (mode 0) or the line of an accepted iteration (mode 1).
    void LogIteration(int mode, std::int32_t iteration) const;
    // The inverse of the unscaled normal matrix of the last iteration, np x np row by row.
    void CovarianceMatrix(TDataVector& covariance) const;
    void FittedValues(TDataVector& fitted);

private:
    bool NormalEquations();
    // One damped step from pOld; keeps it and returns true when S did not increase.
    bool Trial(long double damping, const TParamVector& pOld, long double sOld);
    bool ParametersChanged(const TParamVector& pOld) const;

    const TMarqControl& control_;
    const std::int32_t printLevel_, n_;
    const TDataVector &x_, &y_, &w_;
    const std::int32_t np_;
    TParamVector& p_;
    long double& sumOfSquares_;
    const TMarqModel& model_;
    const TMarqDerivatives& derivatives_;

    bool ok_ = true;
    TDataVector r_;
    // The normal matrix scaled to unit diagonal, and as summed (for the covariance).
    TPackedMatrix a_, aUnscaled_;
    // The scaled gradient, the scale factors sqrt(A(i, i)) and one derivative row.
    TParamVector g_, d_, dy_;
};

long double TMarqRun::SumOfSquares() {
    long double s = 0;
    ok_ = true;
    for (std::int32_t j = 1; ok_ && j <= n_; ++j) {
        const long double r = y_[j] - model_(np_, p_, ok_, x_[j]);
        r_[j] = r;
        s += r * r * w_[j];
    }
    FpCheck("the sum of squares");
    return s;
}

long double TMarqRun::StartingSumOfSquares() {
    const long double s = SumOfSquares();
    // A start without a finite S leaves nothing to improve on: it is the fault its value stands
    // for, also where the model's arithmetic raised no flag (MinGW-w64's sqrtl and expl return
    // NaN or infinity without one). A trial's S that is no number is merely rejected.
    if (ok_ && std::isnan(s))
        std::feraiseexcept(FE_INVALID);
    else if (ok_ && std::isinf(s))
        std::feraiseexcept(FE_OVERFLOW);
    FpCheck("the sum of squares");
    return s;
}

bool TMarqRun::NormalEquations() {
    for (std::int32_t k = 1; k <= At(np_, np_); ++k)
        a_[k] = 0;
    for (std::int32_t i = 1; i <= np_; ++i)
        g_[i] = 0;
    // ok_ keeps the value of the last sum of squares: the derivatives only ever clear it.
    for (std::int32_t j = 1; j <= n_; ++j) {
        derivatives_(j, x_, np_, p_, dy_, ok_);
        if (!ok_)
            return false;
        const long double r = r_[j], weight = w_[j];
        for (std::int32_t i = 1; i <= np_; ++i) {
            const long double dyi = dy_[i];
            g_[i] += dyi * r * weight;
            for (std::int32_t k = 1; k <= i; ++k)
                a_[At(i, k)] += dyi * dy_[k] * weight;
        }
    }
    for (std::int32_t i = 1; i <= np_; ++i) {
        // Quiet comparison: a diagonal that is not a number is not guarded, and raises no flag.
        if (std::islessequal(a_[At(i, i)], kMarqDiagonalGuard)) {
            g_[i] = 0;
            for (std::int32_t k = 1; k < i; ++k)
                a_[At(i, k)] = 0;
            a_[At(i, i)] = 1;
        }
    }
    for (std::int32_t i = 1; i <= np_; ++i)
        d_[i] = std::sqrt(a_[At(i, i)]);
    aUnscaled_ = a_;
    for (std::int32_t i = 1; i <= np_; ++i) {
        g_[i] = g_[i] / d_[i];
        for (std::int32_t k = 1; k <= i; ++k)
            a_[At(i, k)] = a_[At(i, k)] / d_[i] / d_[k];
    }
    FpCheck("the normal equations");
    return ok_;
}

bool TMarqRun::Trial(long double damping, const TParamVector& pOld, long double sOld) {
    TPackedMatrix damped = a_;
    TParamVector step = g_;
    for (std::int32_t i = 1; i <= np_; ++i)
        damped[At(i, i)] += damping * control_[DiagonalBoost];
    bool pivotsOk = true;
    CholDecompose(np_, damped, pivotsOk);
    CholSolve(np_, damped, step);
    for (std::int32_t i = 1; i <= np_; ++i)
        p_[i] = pOld[i] + step[i] / d_[i];
    FpCheck("the trial step");
    const long double s = SumOfSquares();
    sumOfSquares_ = s;
    // A partial sum from a failed model must not pass for an improvement, nor an S that is not
    // a number; the quiet comparison leaves no invalid-operation flag for the next check.
    if (ok_ && std::islessequal(s, sOld))
        return true;
    for (std::int32_t i = 1; i <= np_; ++i)
        p_[i] = pOld[i];
    return false;
}

bool TMarqRun::ParametersChanged(const TParamVector& pOld) const {
    std::int32_t unchanged = 0;
    for (std::int32_t i = 1; i <= np_; ++i) {
        if (p_[i] == pOld[i])
            ++unchanged;
    }
    return unchanged < np_;
}

TMarqCode TMarqRun::Iterate(long double sOld, std::int32_t iterationLimit) {
    long double lambda = control_[LambdaStart];
    TParamVector pOld;
    for (std::int32_t iteration = 1;; iteration = CheckedAdd(iteration, 1)) {
        sumOfSquares_ = sOld;
        if (!NormalEquations())
            return MarqDerivativesFailed;
        bool firstTrial = true;
        for (;;) {
            for (std::int32_t i = 1; i <= np_; ++i)
                pOld[i] = p_[i];
            firstTrial = true;
            if (Trial(lambda * control_[LambdaDown], pOld, sOld))
                break;
            firstTrial = false;
            if (Trial(lambda, pOld, sOld))
                break;
            // Both trials failed; the next cycle's first trial repeats the damping just failed.
            if (lambda == 0)
                lambda = kLambdaRestart;
            lambda *= control_[LambdaUp];
            FpCheck("the damping factor lambda of the minimiser (too many rejected steps)");
        }
        sOld = sumOfSquares_;
        if (firstTrial) {
            lambda *= control_[LambdaDown];
            FpCheck("the damping factor lambda of the minimiser");
        }
        if (!ParametersChanged(pOld))
            return MarqNotChanging;
        if (printLevel_ > 0)
            LogIteration(1, iteration);
        TMarqCode code = MarqNotStarted;
        if (std::islessequal(sOld, control_[SumSqTarget]))
            code = MarqSumReached;
        if (lambda >= control_[LambdaMax])
            code = MarqLambdaReached;
        if (iteration == iterationLimit)
            code = MarqIterationsReached;
        if (code != MarqNotStarted)
            return code;
    }
}

void TMarqRun::LogIteration(int mode, std::int32_t iteration) const {
    if (printLevel_ != 1)
        return;
    if (mode == 0) {
        MarqLog().Write("iter");
        for (std::int32_t i = 1; i <= np_; ++i)
            MarqLog().Write(Format("%12s", {ParameterName(i)}));
        MarqLog().WriteLine(Format("%17s", {"sumr"}));
        MarqLog().WriteLine(std::string(84, '-'));
    }
    MarqLog().Write(Format("%3d", {iteration}));
    for (std::int32_t i = 1; i <= np_; ++i) {
        MarqLog().Write(" ");
        MarqLog().Write(WriteReal(p_[i], 12));
    }
    MarqLog().Write(" ");
    MarqLog().WriteLine(WriteReal(sumOfSquares_, 15));
}

void TMarqRun::CovarianceMatrix(TDataVector& covariance) const {
    TPackedMatrix l = aUnscaled_;
    bool pivotsOk = true;
    CholDecompose(np_, l, pivotsOk);
    for (std::int32_t i = 1; i <= np_; ++i) {
        TParamVector column;
        column[i] = 1;
        CholSolve(np_, l, column);
        for (std::int32_t k = 1; k <= np_; ++k)
            covariance[RowMajor(i, k, np_)] = column[k];
    }
    FpCheck("the covariance matrix");
}

void TMarqRun::FittedValues(TDataVector& fitted) {
    for (std::int32_t j = 1; j <= n_; ++j)
        fitted[j] = model_(np_, p_, ok_, x_[j]);
    FpCheck("the fitted values");
}

const char* ReturnCodeText(std::int32_t returnCode) {
    switch (returnCode) {
    case MarqNotStarted:
        return "no minimization was started";
    case MarqSumReached:
        return "given sum of squeres was achieved";
    case MarqLambdaReached:
        return "given maximum lambda was achieved";
    case MarqIterationsReached:
        return "given number of iteration was achieved";
    case MarqModelFailed:
        return "residuum is false";
    case MarqDerivativesFailed:
        return "hessian is false";
    case MarqNotChanging:
        return "parameters are not changing";
    default:
        return nullptr;
    }
}

void WriteCorrelations(std::int32_t np, const TDataVector& covariance) {
    MarqLog().WriteLine("Correlation coefficients :");
    MarqLog().WriteLine(DashRule(25));
    MarqLog().Write("   ");
    for (std::int32_t k = 1; k <= np; ++k)
        MarqLog().Write(Format("%6d", {k}));
    MarqLog().WriteLine();
    for (std::int32_t i = 1; i <= np; ++i) {
        MarqLog().Write(Format("%2d ", {i}));
        for (std::int32_t k = 1; k <= i; ++k) {
            const long double variances =
                covariance[RowMajor(i, i, np)] * covariance[RowMajor(k, k, np)];
            // A parameter whose pivot failed has variance 0: show 0 instead of 0/0.
            const long double correlation =
                variances == 0 ? 0.0L : covariance[RowMajor(i, k, np)] / FpSqrt(variances);
            FpCheck("the correlation coefficients of the minimization report");
            MarqLog().Write(WriteFixed(correlation, 6, 2));
        }
        MarqLog().WriteLine();
    }
}

} // namespace

void MarqDefaults(TMarqControl& control, std::int32_t& iterationLimit) {
    control[LambdaStart] = 1e-4L;
    control[LambdaMax] = 1e14L;
    control[LambdaDown] = 0.01L;
    control[LambdaUp] = 100;
    control[DiagonalBoost] = 1;
    control[SumSqTarget] = 1e-15L;
    iterationLimit = 50;
}

void MarqMinimize(TMarqControl control, std::int32_t iterationLimit, std::int32_t printLevel,
                  std::int32_t n, TDataVector x, TDataVector y, TDataVector w, std::int32_t np,
                  TParamVector& p, long double& sumOfSquares, TDataVector& covariance,
                  TDataVector& fitted, std::int32_t& returnCode, const TMarqModel& model,
                  const TMarqDerivatives& derivatives) {
    returnCode = MarqNotStarted;
    if (n > kMaxPoints)
        throw ERangeError(Format("MarqMinimize: %d data points, at most %d", {n, kMaxPoints}));
    if (np < 1 || np > kMaxParameters)
        throw ERangeError(
            Format("MarqMinimize: %d parameters, 1 to %d allowed", {np, kMaxParameters}));
    FpReset();
    TMarqRun run(control, printLevel, n, x, y, w, np, p, sumOfSquares, model, derivatives);
    const long double sStart = run.StartingSumOfSquares();
    sumOfSquares = sStart;
    if (!run.ModelOk()) {
        returnCode = MarqModelFailed;
        return;
    }
    run.LogIteration(0, 0);
    const TMarqCode code = run.Iterate(sStart, iterationLimit);
    returnCode = code;
    if (code == MarqDerivativesFailed)
        return;
    run.CovarianceMatrix(covariance);
    run.FittedValues(fitted);
}

std::string* MarqLogToText(std::string* text) {
    return std::exchange(marqLogText, text);
}

const std::string* MarqLogText() {
    return marqLogText;
}

void MarqOpenLog(const std::string& fileName, std::int32_t mode) {
    MarqOpenLog(fileName, mode, {});
}

void MarqOpenLog(const std::string& fileName, std::int32_t mode, std::vector<std::string> names) {
    MarqLog().Names = std::move(names);
    // The log lives in a temporary folder: a link put in its place is replaced, never written
    // through. It is scratch, so it is not flushed to the disk, which would hold up every fit.
    MarqLog().Open(fileName, marqLogText);
    if (mode < 3)
        MarqLog().WriteLine(std::string(84, '='));
}

void MarqReport(std::int32_t returnCode, std::int32_t n, std::int32_t np, long double sumOfSquares,
                const TParamVector& p, const TDataVector& covariance) {
    const TReleaseOwnLog release;
    FpReset();
    MarqLog().WriteLine();
    MarqLog().Write("Minimization report : ");
    const char* text = ReturnCodeText(returnCode);
    if (text == nullptr) {
        MarqLog().Write(Format("return code :%3d", {returnCode}));
    } else {
        MarqLog().Write(text);
        if (returnCode == MarqNotStarted || returnCode == MarqModelFailed ||
            returnCode == MarqDerivativesFailed) {
            MarqLog().Close();
            throw Exception(text);
        }
    }
    MarqLog().WriteLine();
    MarqLog().WriteLine();
    MarqLog().WriteLine("Results :");
    MarqLog().WriteLine(DashRule(9));
    MarqLog().WriteLine("Parameter            Value               Error");
    MarqLog().WriteLine(DashRule(59));
    for (std::int32_t i = 1; i <= np; ++i) {
        // Standard error of P(i): sqrt(S / (N - NP) * C(i, i)).
        long double error = 0;
        if (n > 2) {
            const long double degreesOfFreedom = static_cast<long double>(n) - np;
            error = FpSqrt(sumOfSquares / degreesOfFreedom * covariance[RowMajor(i, i, np)]);
        }
        FpCheck("the standard errors of the minimization report");
        // "%.3e" prints four significant digits: one before the point and three decimals.
        MarqLog().WriteLine(Format("  %-10s %15.3e %15.3e", {ParameterName(i), p[i], error}));
    }
    MarqLog().WriteLine();
    if (n > 2)
        WriteCorrelations(np, covariance);
    MarqLog().WriteLine();
    MarqLog().Close();
}

} // namespace zelt
