#include "linemodel/atomicdata.h"

#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/constants.h"

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>
#include <math.h>

namespace zelt {

namespace {

// ModelBF looks a parameter vector up in the cache by the slots that the model reads.
constexpr std::int32_t kFirstModelSlot = 1;
constexpr std::int32_t kModelSlotCount = 8;

// True when an arithmetic fault is pending: lets the model name the quantity at fault without
// building a message for every line of every evaluation.
bool FaultPending() {
    return std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) != 0;
}

// 10^x in extended precision; glibc's exp10l is as exact as powl(10, x) and seven times faster.
long double PowerOfTen(long double x) {
#ifdef __GLIBC__
    return ::exp10l(x);
#else
    return std::pow(10.0L, x);
#endif
}

// True when the slots first .. last - 1 of both vectors are equal (as extended reals).
bool SameSlots(const TParamVector& a, const TParamVector& b, std::int32_t first,
               std::int32_t last) {
    for (std::int32_t slot = first; slot < last; ++slot)
        if (a[slot] != b[slot])
            return false;
    return true;
}

// The line number x of ModelBF: x truncated toward zero, without the cost of a checked
// conversion for the whole numbers the minimiser passes.
std::int32_t PointIndex(long double x) {
    if (x >= 0 && x <= INT32_MAX)
        return static_cast<std::int32_t>(x);
    return TruncToInt(x);
}

} // namespace

double EscapeFactor(double tau) {
    return static_cast<double>((2 - FpExp(-0.001L * tau)) / (1 + static_cast<long double>(tau)));
}

double ThermalVelocity(double gasTemperature, double mass) {
    return static_cast<double>(FpSqrt(kTwoBoltzmann * gasTemperature / mass));
}

void TAtomicData::CalcBranchingFractions() {
    FpReset();
    for (TLevel& level : Levels) {
        level.SumA = 0;
        level.SumIL = 0;
        for (const TLine& line : SelectedLines) {
            if (line.Data.EUpper != level.Energy)
                continue;
            level.SumA += line.Data.Aki;
            // Intensity times wavelength turns an energy intensity into a photon rate.
            level.SumIL += static_cast<long double>(line.Intensity) * line.Data.Wavelength;
        }
    }
    for (TLine& line : SelectedLines) {
        const TLevel& upper = Levels[line.UpperLevel];
        line.BFTheory = upper.SumA <= 0 ? -1 : line.Data.Aki / upper.SumA;
        if (upper.SumIL > 0)
            line.BFMeasured =
                static_cast<long double>(line.Intensity) * line.Data.Wavelength / upper.SumIL;
    }
    FpCheck("CalcBranchingFractions");
}

// The number of levels that get a Boltzmann population: slot BoltzmannLevels, but never more
// than there are levels.
std::int32_t TAtomicData::PopulatedLevels(const TParamVector& p) const {
    return std::clamp(TruncToInt(Slot(p, BoltzmannLevels)), 0, Levels.size());
}

// Where a fault of the optical depths comes from: the first line with a statistical weight gi
// of 0, or else the gas temperature and mass that set the Doppler width.
std::string TAtomicData::OpticalDepthFault(const TParamVector& p) const {
    for (const TLine& line : SelectedLines)
        if (line.Data.Gi == 0)
            return Format("the optical depth of the line at %.4f nm (gi 0)",
                          {line.Data.Wavelength});
    return Format("the optical depths of the lines (gas temperature %s K, atom mass %s kg)",
                  {FloatToStr(Slot(p, GasTemperature)), FloatToStr(Slot(p, AtomMass))});
}

// Evaluates the model for p: level populations, the optical depth and escape factor of every
// selected line and the branching fractions among the lines of each upper level; the result
// is appended to the cache.
void TAtomicData::ComputeModel(const TParamVector& p) {
    const long double temperature = std::fabs(Slot(p, Temperature));
    const long double path = Slot(p, PathLength);
    const std::int32_t populated = PopulatedLevels(p);
    const long double density = PowerOfTen(Slot(p, LogDensity));
    // Boltzmann distribution from the first level: n_j = n_1 (g_j / g_1) exp(-(E_j - E_1) / kT),
    // energies in eV.
    for (std::int32_t j = 0; j < populated; ++j) {
        const TLevel& first = Levels[0];
        TLevel& level = Levels[j];
        level.Population = static_cast<double>(
            density * (static_cast<long double>(level.G) / first.G) *
            FpExp(-kElementaryCharge * (static_cast<long double>(level.Energy) - first.Energy) /
                  (kBoltzmann * temperature)));
    }
    if (FaultPending())
        FpCheck(Format("the level populations (log10 density %s, temperature %s K)",
                       {FloatToStr(Slot(p, LogDensity)), FloatToStr(Slot(p, Temperature))}));
    const double velocity = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                            static_cast<double>(Slot(p, AtomMass)));
    const long double sqrtPi = std::sqrt(kPi);
    for (TLine& line : SelectedLines) {
        const TAtomRecord& data = line.Data;
        const long double lambda = data.Wavelength * kNanometre; // m
        const long double lambda2 = lambda * lambda;
        const long double a = data.Aki;
        const long double n = std::fabs(Levels[line.LowerLevel].Population);
        // S = lambda^5 gk / (8 pi h c gi) A, so that K = n S h / lambda = n lambda^4 gk A /
        // (8 pi c gi) is the absorption coefficient integrated over wavelength (m-1 times m).
        const double s =
            static_cast<double>(lambda2 * lambda2 * lambda *
                                (static_cast<long double>(data.Gk) / data.Gi) / kEightPiHC * a);
        const double k = static_cast<double>(n * s * kPlanck / lambda);
        // Centre of a Doppler profile of 1/e half width lambda v / c: k0 = c K / (sqrt(pi) v
        // lambda), in m-1.
        const double k0 = static_cast<double>(kSpeedOfLight * k / (sqrtPi * velocity * lambda));
        const double tau = static_cast<double>(k0 * path);
        // Scratch: the absorption-reduced transition probability of the line.
        line.BFFit = static_cast<double>(static_cast<long double>(EscapeFactor(tau)) * a);
    }
    if (FaultPending())
        FpCheck(OpticalDepthFault(p));
    for (TLevel& level : Levels)
        level.SumAEff = 0;
    for (const TLine& line : SelectedLines) {
        TLevel& upper = Levels[line.UpperLevel];
        upper.SumAEff += line.BFFit;
    }
    TPreCalcDataArray values(SelectedLines.size());
    for (std::int32_t i = 0; i < SelectedLines.size(); ++i) {
        TLine& line = SelectedLines[i];
        const double sumAEff = Levels[line.UpperLevel].SumAEff;
        line.BFFit = sumAEff <= 0 ? -1 : line.BFFit / sumAEff;
        values[i] = line.BFFit;
    }
    FpCheck("the model branching fractions");
    AddPrecalc(p, values);
}

long double TAtomicData::ModelBF(const TParamVector& p, long double x) {
    const std::int32_t point = PointIndex(x);
    // The model adds a record only for a vector not yet stored, so at most one record matches
    // and the newest first is the same record as FindPrecalc's oldest first; the minimiser
    // asks mostly for the vectors it has just tried.
    for (std::int32_t index = PrecalcStore.size() - 1; index >= 0; --index) {
        const TPrecalcRecord& record = PrecalcStore[index];
        if (SameSlots(record.Params, p, kFirstModelSlot, kFirstModelSlot + kModelSlotCount))
            return record.Values[point];
    }
    ComputeModel(p);
    return PrecalcStore.back().Values[point];
}

bool TAtomicData::FindPrecalc(const TParamVector& p, std::int32_t first, std::int32_t count,
                              std::int32_t& index) const {
    const std::int32_t last = CheckedAdd(first, count);
    for (index = 0; index < PrecalcStore.size(); ++index)
        if (SameSlots(PrecalcStore[index].Params, p, first, last))
            return true;
    index = -1;
    return false;
}

void TAtomicData::AddPrecalc(const TParamVector& p, const TPreCalcDataArray& values) {
    PrecalcStore.push_back(TPrecalcRecord{p, values});
}

void TAtomicData::ClearPrecalc() {
    PrecalcStore.clear();
}

} // namespace zelt
