#include "linemodel/atomicdata.h"

#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/absorption.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace zelt {

namespace {

// The line number x of ModelBF: x truncated toward zero. For 0 <= x < 2^31 (the minimiser
// passes whole numbers) it is read from the bits of x, x = significand 2^(exponent - 63),
// because truncating an extended real in the x87 unit switches its rounding mode twice, which
// stalls the unit; other numbers go through the checked conversion.
std::int32_t PointIndex(const long double& x) {
    const TRealBits bits = BitsOf(x);
    if (bits.SignAndExponent < TRealBits::Bias)
        return 0;
    const int exponent = bits.SignAndExponent - TRealBits::Bias;
    if (exponent <= 30)
        return static_cast<std::int32_t>(bits.Significand >> (63 - exponent));
    return TruncToInt(x);
}

} // namespace

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
            level.SumA = ExtendedSum(level.SumA, line.Data.Aki);
            // Intensity times wavelength turns an energy intensity into a photon rate.
            level.SumIL += static_cast<long double>(line.Intensity) * line.Data.Wavelength;
        }
    }
    for (TLine& line : SelectedLines) {
        const TLevel& upper = Levels[line.UpperLevel];
        line.BFTheory = upper.SumA <= 0 ? -1 : ExtendedQuotient(line.Data.Aki, upper.SumA);
        if (upper.SumIL > 0)
            line.BFMeasured =
                static_cast<long double>(line.Intensity) * line.Data.Wavelength / upper.SumIL;
    }
    FpCheck("CalcBranchingFractions");
}

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
    // Boltzmann distribution from the first level, energies in eV.
    for (std::int32_t j = 0; j < populated; ++j) {
        const TLevel& first = Levels[0];
        TLevel& level = Levels[j];
        const long double energyTerm =
            -kElementaryCharge * (static_cast<long double>(level.Energy) - first.Energy);
        level.Population = Population(density, static_cast<long double>(level.G) / first.G,
                                      BoltzmannFactor(energyTerm, kBoltzmann * temperature));
    }
    // Tested first, so that the message naming the quantity at fault is built only for a fault.
    if (FpPending())
        FpCheck(Format("the level populations (log10 density %s, temperature %s K)",
                       {FloatToStr(Slot(p, LogDensity)), FloatToStr(Slot(p, Temperature))}));
    const double velocity = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                            static_cast<double>(Slot(p, AtomMass)));
    // The constants of a fit's lines when they were computed for this velocity.
    const bool known = lineConstants_.size() == SelectedLines.size() && lineVelocity_ == velocity;
    for (std::int32_t i = 0; i < SelectedLines.size(); ++i) {
        TLine& line = SelectedLines[i];
        const TLineConstants constants =
            known ? lineConstants_[i] : LineConstants(line.Data, velocity);
        const double tau =
            OpticalDepth(constants, std::fabs(Levels[line.LowerLevel].Population), path);
        // Scratch: the absorption-reduced transition probability of the line.
        line.BFFit = ReducedTransitionProbability(line.Data.Aki, EscapeFactor(tau));
    }
    if (FpPending())
        FpCheck(OpticalDepthFault(p));
    for (TLevel& level : Levels)
        level.SumAEff = 0;
    for (const TLine& line : SelectedLines) {
        TLevel& upper = Levels[line.UpperLevel];
        upper.SumAEff = ExtendedSum(upper.SumAEff, line.BFFit);
    }
    for (TLine& line : SelectedLines) {
        const double sumAEff = Levels[line.UpperLevel].SumAEff;
        line.BFFit = sumAEff <= 0 ? -1 : ExtendedQuotient(line.BFFit, sumAEff);
    }
    FpCheck("the model branching fractions");
    TPrecalcRecord& record = PrecalcStore.Append(p, SelectedLines.size());
    for (std::int32_t i = 0; i < SelectedLines.size(); ++i)
        record.Values[i] = SelectedLines[i].BFFit;
}

long double TAtomicData::ModelBF(const TParamVector& p, long double x) {
    const std::int32_t point = PointIndex(x);
    std::int32_t index = PrecalcStore.FindModelSlots(p);
    if (index < 0) {
        ComputeModel(p);
        index = PrecalcStore.size() - 1;
    }
    return PrecalcStore[index].Values[point];
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
    PrecalcStore.Append(p, values.size()).Values = values;
}

void TAtomicData::ClearPrecalc() {
    PrecalcStore.clear();
}

} // namespace zelt
