// SPDX-License-Identifier: GPL-3.0-or-later
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
            level.SumIL = static_cast<double>(
                level.SumIL + static_cast<long double>(line.Intensity) * line.Data.Wavelength);
        }
    }
    for (TLine& line : SelectedLines) {
        const TLevel& upper = Levels[line.UpperLevel];
        line.BFTheory = upper.SumA <= 0 ? -1 : ExtendedQuotient(line.Data.Aki, upper.SumA);
        if (upper.SumIL > 0)
            line.BFMeasured = static_cast<double>(static_cast<long double>(line.Intensity) *
                                                  line.Data.Wavelength / upper.SumIL);
    }
    FpCheck("CalcBranchingFractions");
}

std::int32_t PopulatedLevels(const TParamVector& p, std::int32_t levels) {
    return std::clamp(PointIndex(Slot(p, BoltzmannLevels)), 0, levels);
}

std::int32_t TAtomicData::PopulatedLevels(const TParamVector& p) const {
    return zelt::PopulatedLevels(p, Levels.size());
}

// Where a fault of the optical depths comes from: the first line with a statistical weight gi
// of 0, or else the gas temperature and mass of p that set the Doppler width.
std::string TAtomicData::OpticalDepthFault(const TParamVector& p) const {
    for (const TLine& line : SelectedLines)
        if (line.Data.Gi == 0)
            return Format("the optical depth of the line at %.4f nm (gi 0)",
                          {line.Data.Wavelength});
    return Format("the optical depths of the lines (gas temperature %s K, atom mass %s kg)",
                  {FloatToStr(Slot(p, GasTemperature)), FloatToStr(Slot(p, AtomMass))});
}

long double TAtomicData::Density(long double logDensity) {
    const TRealBits bits = BitsOf(logDensity);
    for (const TRecentPower& recent : recentPowers_) {
        const TRealBits known = BitsOf(recent.LogDensity);
        if (recent.Known && known.Significand == bits.Significand &&
            known.SignAndExponent == bits.SignAndExponent)
            return recent.Power;
    }
    const long double power = PowerOfTen(logDensity);
    // An infinite power is computed again, so that its overflow flag is raised each time.
    if (std::isfinite(power)) {
        recentPowers_[nextPower_] = {logDensity, power, true};
        nextPower_ = (nextPower_ + 1) % static_cast<std::int32_t>(recentPowers_.size());
    }
    return power;
}

// Evaluates the model for p: the Boltzmann populations of the levels, then the fractions.
void TAtomicData::ComputeModel(const TParamVector& p) {
    const long double temperature = std::fabs(Slot(p, Temperature));
    const std::int32_t populated = PopulatedLevels(p);
    const long double density = Density(Slot(p, LogDensity));
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
    ComputeFractions(p, p);
}

void TAtomicData::ComputeFractions(const TParamVector& key, const TParamVector& setup) {
    const long double path = Slot(setup, PathLength);
    const double velocity = ThermalVelocity(static_cast<double>(Slot(setup, GasTemperature)),
                                            static_cast<double>(Slot(setup, AtomMass)));
    // The constants of a fit's lines when they were computed for this velocity.
    const bool known = lineConstants_.size() == SelectedLines.size() && lineVelocity_ == velocity;
    // BFFit as scratch: the optical depth tau of each line, then its absorption-reduced
    // transition probability. Mewe's exponentials of all lines are taken in a pass of their own
    // (see EscapeExponential).
    for (std::int32_t i = 0; i < SelectedLines.size(); ++i) {
        TLine& line = SelectedLines[i];
        const TLineConstants constants =
            known ? lineConstants_[i] : LineConstants(line.Data, velocity);
        line.BFFit = OpticalDepth(constants, std::fabs(Levels[line.LowerLevel].Population), path);
    }
    if (Escape.Kind() == TEscapeKind::Mewe) {
        exponentials_.resize(SelectedLines.size());
        for (std::int32_t i = 0; i < SelectedLines.size(); ++i)
            exponentials_[i] = EscapeExponential(SelectedLines[i].BFFit);
        for (std::int32_t i = 0; i < SelectedLines.size(); ++i) {
            TLine& line = SelectedLines[i];
            line.BFFit = ReducedTransitionProbability(line.Data.Aki,
                                                      EscapeFactor(line.BFFit, exponentials_[i]));
        }
    } else {
        for (TLine& line : SelectedLines) {
            const double tau = line.BFFit;
            const double factor = Escape.Factor(tau);
            // A depth outside a table is refused by name rather than as a fault of the depths.
            if (std::isnan(factor))
                Escape.CheckDepth(tau);
            line.BFFit = ReducedTransitionProbability(line.Data.Aki, factor);
        }
    }
    if (FpPending())
        FpCheck(OpticalDepthFault(setup));
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
    TPrecalcRecord& record = PrecalcStore.Append(key, SelectedLines.size());
    for (std::int32_t i = 0; i < SelectedLines.size(); ++i)
        record.Values[i] = SelectedLines[i].BFFit;
}

std::int32_t TAtomicData::ModelRecord(const TParamVector& p) {
    const std::int32_t index = PrecalcStore.FindModelSlots(p);
    if (index >= 0)
        return index;
    ComputeModel(p);
    return PrecalcStore.size() - 1;
}

long double TAtomicData::RecordValue(std::int32_t record, std::int32_t point) const {
    return PrecalcStore[record].Values[point];
}

long double TAtomicData::ModelBF(const TParamVector& p, long double x) {
    const std::int32_t point = PointIndex(x);
    return RecordValue(ModelRecord(p), point);
}

void TAtomicData::ModelDerivatives(std::int32_t j, const TDataVector& x, std::int32_t /*np*/,
                                   const TParamVector& p, TParamVector& dy, bool& /*ok*/) {
    const std::int32_t point = PointIndex(x[j]);
    TPrecalcStore::TModelKey key;
    const bool known = TPrecalcStore::TModelKey::Of(p, key) && neighbours_.Valid &&
                       neighbours_.Generation == PrecalcStore.Generation() &&
                       neighbours_.Key == key;
    // Until all four records are known, none counts as known (a model fault may end the loop).
    if (!known)
        neighbours_.Valid = false;
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
        std::int32_t* records = &neighbours_.Records[slot == LogDensity ? 0 : 2];
        // ModelBF(p with the slot moved by `offset`), from its record.
        const auto value = [&](long double offset, std::int32_t& record) {
            if (!known) {
                Slot(q, slot) = saved + offset;
                record = ModelRecord(q);
                Slot(q, slot) = saved;
            }
            return RecordValue(record, point);
        };
        const long double above = value(step, records[0]);
        const long double below = value(-step, records[1]);
        Slot(dy, slot) = (above - below) / (step * 2);
    }
    if (!known && TPrecalcStore::TModelKey::Of(p, neighbours_.Key)) {
        neighbours_.Generation = PrecalcStore.Generation();
        neighbours_.Valid = true;
    }
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
