#include "linemodel/atomicdata.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/constants.h"

#include <cmath>
#include <numbers>

namespace zelt {

namespace {

// The procedure column of a fit: "fit:" and the word of the minimiser's result code.
std::string FitProcedure(std::int32_t code) {
    switch (code) {
    case -1:
        return "fit:not started";
    case 0:
        return "fit:sum reached";
    case 1:
        return "fit:lambda reached";
    case 2:
        return "fit:itercount reached";
    case 3:
        return "fit:false residuum";
    case 4:
        return "fit:false hessian";
    case 5:
        return "fit:OK";
    default:
        return Format("%s %d", {"fit:", code});
    }
}

} // namespace

void TAtomicData::WriteResults(const TParamVector& p, const TParamVector& u, TReportList* out,
                               const std::string& fileName, std::int32_t np, std::int32_t mode) {
    if (out == nullptr)
        throw Exception("Lines not assigned.");
    const std::int32_t populated = PopulatedLevels(p);
    const long double temperature = Slot(p, Temperature);
    // Uncertainties of the level populations; the last entry is that of their total.
    CheckedVector<long double> uncertainty(CheckedAdd(populated, 1));
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
                const long double densityTerm = nj / Levels[0].Population * uncertainty[0];
                uncertainty[j] =
                    FpSqrt(energyTerm * energyTerm /
                               (kBoltzmann * kBoltzmann * std::pow(temperature, 4.0L)) +
                           densityTerm * densityTerm);
            }
        }
    }
    long double total = 0, totalSquares = 0;
    std::string values, header;
    for (std::int32_t j = 0; j < populated; ++j) {
        total += Levels[j].Population;
        totalSquares += uncertainty[j] * uncertainty[j];
        values += Format(" %.3e %.3e", {Levels[j].Population, uncertainty[j]});
        header += Format("   n_%d/m-3   \xB1u(n_%d)", {j + 1, j + 1});
    }
    uncertainty[populated] = FpSqrt(totalSquares);
    // A fit that ran away to a density of 0 fails here; the values tell the user why.
    FpCheck(Format("the uncertainties of the result line (n_1 = %.3e m-3, T_exc = %.0f K)",
                   {Levels.empty() ? 0.0 : Levels[0].Population, temperature}));
    if (ResultHeaderCount == 0)
        out->push_back(Format("n_tot/m-3 \xB1u(n_tot) %s   T/K  u(T)       RSS Filename  Procedure",
                              {header}));
    ResultHeaderCount = CheckedAdd(ResultHeaderCount, 1);
    const std::string procedure =
        mode == MapMode ? std::string("map") : FitProcedure(TruncToInt(Slot(p, ResultCode)));
    out->push_back(Format("%.3e %.3e %s %5.0f %5.0f %.3e %s  %s",
                          {total, uncertainty[populated], values, temperature, u[2],
                           Slot(p, ResultRSS), fileName, procedure}));
}

} // namespace zelt
