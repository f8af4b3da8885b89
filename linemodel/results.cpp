// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/constants.h"
#include "linemodel/fitquality.h"

#include <cmath>
#include <numbers>

namespace zelt {

TResultValues TAtomicData::ResultValues(const TParamVector& p, const TParamVector& u,
                                        std::int32_t np, std::int32_t mode) const {
    const std::int32_t populated = PopulatedLevels(p);
    TResultValues result;
    result.Temperature = Slot(p, Temperature);
    result.TemperatureUncertainty = u[2];
    result.RSS = Slot(p, ResultRSS);
    // Uncertainties of the level populations.
    TCheckedVector<long double>& uncertainty = result.Uncertainties;
    uncertainty.resize(populated);
    if (mode != MapMode) {
        for (std::int32_t j = 0; j < populated; ++j) {
            const long double nj = Levels[j].Population;
            if (j == 0) {
                // u(n_1) = ln(10) n_1 u(log10 n_1)
                uncertainty[0] = std::numbers::ln10_v<long double> * nj * u[1];
            } else if (np == 2) {
                // n_j = n_1 (g_j/g_1) exp(-dE/kT): the temperature term dE n_j u(T) / (k T^2)
                // and the share of n_1's uncertainty, added in quadrature.
                const long double energyTerm =
                    kElementaryCharge *
                    (static_cast<long double>(Levels[j].Energy) - Levels[0].Energy) * nj * u[2];
                // n_j / n_1 u(n_1) is 0 for a first level whose population underflowed to 0:
                // u(n_1) = ln(10) n_1 u(log10 n_1) is then 0 itself.
                const long double densityTerm =
                    Levels[0].Population == 0 ? 0 : nj / Levels[0].Population * uncertainty[0];
                uncertainty[j] =
                    FpSqrt(energyTerm * energyTerm /
                               (kBoltzmann * kBoltzmann * std::pow(result.Temperature, 4.0L)) +
                           densityTerm * densityTerm);
            }
        }
    }
    long double totalSquares = 0;
    for (std::int32_t j = 0; j < populated; ++j) {
        result.Densities.push_back(Levels[j].Population);
        result.Total += Levels[j].Population;
        totalSquares += uncertainty[j] * uncertainty[j];
    }
    result.TotalUncertainty = FpSqrt(totalSquares);
    // A fit that ran away can leave numbers that are none: they stand in the line as they came
    // out ("NAN", "INF"), and its judgement flags it "diverged" (JudgeFit).
    FpReset();
    result.Procedure =
        mode == MapMode ? std::string("map") : FitProcedure(TruncToInt(Slot(p, ResultCode)));
    return result;
}

void TAtomicData::WriteResults(const TParamVector& p, const TParamVector& u, TReportList* out,
                               const std::string& fileName, std::int32_t np, std::int32_t mode,
                               const TFitQuality* quality) {
    if (out == nullptr)
        throw Exception("Lines not assigned.");
    TResultValues result = ResultValues(p, u, np, mode);
    if (quality != nullptr)
        result.Procedure = quality->Procedure;
    WriteResultLine(result, *out, fileName);
}

void TAtomicData::WriteResultLine(const TResultValues& result, TReportList& out,
                                  const std::string& fileName) {
    std::string values;
    for (std::int32_t j = 0; j < result.Densities.size(); ++j)
        values += Format(" %.3e %.3e", {result.Densities[j], result.Uncertainties[j]});
    AddResultLine(out, result.Densities.size(),
                  Format("%.3e %.3e %s %5.0f %5.0f %.3e %s  %s",
                         {result.Total, result.TotalUncertainty, values, result.Temperature,
                          result.TemperatureUncertainty, result.RSS, VisibleControls(fileName),
                          result.Procedure}));
}

std::string ResultHeader(std::int32_t levels) {
    std::string header;
    for (std::int32_t j = 1; j <= levels; ++j)
        header += Format("   n_%d/m-3   \xB1u(n_%d)", {j, j});
    return Format("%s %s   T/K  u(T)       RSS Filename  Procedure", {kResultHeaderStart, header});
}

void TAtomicData::AddResultLine(TReportList& out, std::int32_t levels, const std::string& line) {
    if (ResultHeaderCount == 0)
        out.push_back(ResultHeader(levels));
    ResultHeaderCount = CheckedAdd(ResultHeaderCount, 1);
    out.push_back(line);
}

} // namespace zelt
