// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The least-squares engine: fits the first NP parameters of a caller's model y = f(x; P) to N
// weighted points by minimising S(P) = sum_j W(j) * (Y(j) - f(X(j); P))^2 with Marquardt's
// scaled damping (D. W. Marquardt, J. SIAM 11 (1963) 431): the normal matrix is scaled to unit
// diagonal, damping lambda is added to that diagonal, and each iteration tries lambda * LambdaDown,
// then lambda, then raises lambda until a step does not increase S. It writes an iteration log
// and a final report to one text file, the minimisation log. All arithmetic is in 80-bit
// long double; nothing of a run survives it except the open log file.

#include "leastsquares/marqdef.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

// The six controls of a run in slots 1 .. 6 (other slots ignored), see the slot names below.
using TMarqControl = TParamVector;

// Damping lambda at the start of the run (default 1e-4).
inline constexpr std::int32_t LambdaStart = 1;
// After an accepted step, lambda >= this ends the run with code 1 (default 1e14).
inline constexpr std::int32_t LambdaMax = 2;
// Damping factor of each iteration's first trial, and lambda's decrease after it succeeds
// (default 0.01).
inline constexpr std::int32_t LambdaDown = 3;
// Increase of lambda after both trials of a cycle failed (default 100).
inline constexpr std::int32_t LambdaUp = 4;
// Multiplier of the damping added to the scaled diagonal (default 1).
inline constexpr std::int32_t DiagonalBoost = 5;
// After an accepted step, S <= this ends the run with code 0 (default 1e-15).
inline constexpr std::int32_t SumSqTarget = 6;

// The return codes of MarqMinimize (its returnCode argument keeps its integer type).
enum TMarqCode : std::int32_t {
    MarqNotStarted = -1,       // no minimisation was started, or an exception ended it
    MarqSumReached = 0,        // S reached SumSqTarget
    MarqLambdaReached = 1,     // lambda reached LambdaMax
    MarqIterationsReached = 2, // the iteration limit was reached
    MarqModelFailed = 3,       // the model failed at the starting point
    MarqDerivativesFailed = 4, // the derivatives failed
    MarqNotChanging = 5        // an accepted step left every parameter unchanged
};

// Sets the default controls in slots 1 .. 6 of `control` (other slots untouched) and the default
// iteration limit, 50.
void MarqDefaults(TMarqControl& control, std::int32_t& iterationLimit);

// Minimises S over p(1) .. p(np), starting from p.
// Arguments: the controls; the iteration limit (the run stops with code 2 when the iteration
// count reaches it; 0 or below never does); printLevel (1 writes the iteration log to the open
// minimisation log, other values write nothing); n points (at most 100) with abscissae x,
// observations y and weights w (copied); np (1 .. 8) parameters.
// Results: p holds the last accepted parameters (slots above np are never written);
// sumOfSquares its S (the starting S for code 3); covariance the inverse of the unscaled normal
// matrix of the last iteration, np x np row by row, element (i, k) at (i - 1) * np + k;
// fitted f(x(j); p) for j = 1 .. n; returnCode
//   0 S reached SumSqTarget, 1 lambda reached LambdaMax, 2 iteration limit reached,
//   3 the model failed at the starting point, 4 the derivatives failed,
//   5 an accepted step left every parameter unchanged (this step is not logged).
// With codes 3 and 4 covariance and fitted are left as passed. A trial step at which the model
// reports failure is rejected.
// Errors: n > 100 or np outside 1 .. 8 raise ERangeError; a floating-point fault (invalid
// operation, division by zero, overflow, including a damping lambda grown beyond the extended
// range by a chain of rejected steps) raises EInvalidOp, EZeroDivide or EOverflow; the log
// raises EInOutError; exceptions of the callbacks pass through. After an exception returnCode
// is -1 unless the run had already ended.
void MarqMinimize(TMarqControl control, std::int32_t iterationLimit, std::int32_t printLevel,
                  std::int32_t n, TDataVector x, TDataVector y, TDataVector w, std::int32_t np,
                  TParamVector& p, long double& sumOfSquares, TDataVector& covariance,
                  TDataVector& fitted, std::int32_t& returnCode, const TMarqModel& model,
                  const TMarqDerivatives& derivatives);

// Starts the minimisation log file `fileName` for the run and the report; mode < 3 writes an
// opening line of 84 "=". The file takes its content when the report closes it, as a new file
// in the place of the name: a link or a hard link there is replaced, never written through.
// Failure raises EInOutError.
void MarqOpenLog(const std::string& fileName, std::int32_t mode);
// The same, with the names the log and the report give parameters 1, 2, ... of the run (those
// beyond the list keep theirs: "log10(n_1)", "Te", then "b3", "b4", ...) until MarqReport
// closes the log.
void MarqOpenLog(const std::string& fileName, std::int32_t mode, std::vector<std::string> names);

// Keeps the minimisation logs that the calling thread opens from now on in *text instead of
// their files, until called with nullptr: the report that closes a log puts its whole text
// there, where it would have put the file in its place, and a log that is not closed leaves
// *text as it was. For a series of fits each of whose logs would replace the last. Returns where
// the logs went before, so that a caller can put it back.
std::string* MarqLogToText(std::string* text);
// The text the calling thread's logs go to; nullptr while they go to their files.
const std::string* MarqLogText();

// Appends the report of a run to the minimisation log and closes it: the stop reason of
// returnCode, then each parameter's value and standard error sqrt(S / (n - np) * C(i, i))
// (0 when n <= 2), then for n > 2 the lower triangle of the correlation coefficients
// C(i, k) / sqrt(C(i, i) * C(k, k)) (0.00 where a variance is 0). covariance is np x np row by
// row as MarqMinimize returns it. For codes -1, 3 and 4 the report stops after the reason (no
// line end), closes the file and raises Exception with the reason's text. A log that is not open
// or cannot be written raises EInOutError; n > 2 with n <= np raises a floating-point error.
void MarqReport(std::int32_t returnCode, std::int32_t n, std::int32_t np, long double sumOfSquares,
                const TParamVector& p, const TDataVector& covariance);

} // namespace zelt
