#include "linemodel/gridmodel.h"

#include "common/fpcheck.h"
#include "linemodel/absorption.h"
#include "linemodel/extended.h"

#include <cmath>

namespace zelt {

TGridModel::TGridModel(const TAtomicData& data, const TParamVector& p)
    : path_(Slot(p, PathLength)), degreesOfFreedom_(CheckedSub(data.SelectedLines.size(), 2)) {
    const std::int32_t populated =
        std::clamp(TruncToInt(Slot(p, BoltzmannLevels)), 0, data.Levels.size());
    for (std::int32_t j = 0; j < populated; ++j) {
        const TLevel& first = data.Levels[0];
        const TLevel& level = data.Levels[j];
        weightRatios_.push_back(static_cast<long double>(level.G) / first.G);
        energyTerms_.push_back(-kElementaryCharge *
                               (static_cast<long double>(level.Energy) - first.Energy));
    }
    const double velocity = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                            static_cast<double>(Slot(p, AtomMass)));
    // Upper levels in order of their first line, numbered for TScratch::SumAEff.
    CheckedVector<std::int32_t> upperIndex(data.Levels.size());
    for (std::int32_t& index : upperIndex)
        index = -1;
    for (const TLine& line : data.SelectedLines) {
        const TAtomRecord& record = line.Data;
        TGridLine grid{};
        grid.Lambda = record.Wavelength * kNanometre;
        grid.A = record.Aki;
        grid.Strength = LineStrength(grid.Lambda, record);
        grid.Doppler = DopplerDenominator(velocity, grid.Lambda);
        grid.Measured = line.BFMeasured;
        std::int32_t& upper = upperIndex[line.UpperLevel];
        if (upper < 0)
            upper = upperLevels_++;
        grid.Upper = upper;
        const double lowerPopulation = data.Levels[line.LowerLevel].Population;
        grid.Lower = line.LowerLevel < populated ? line.LowerLevel : -1;
        if (grid.Lower < 0)
            grid.FixedReduced = ReducedTransitionProbability(
                grid.A, EscapeFactor(OpticalDepth(grid.Lambda, grid.Strength, grid.Doppler,
                                                  std::fabs(lowerPopulation), path_)));
        lines_.push_back(grid);
    }
    FpCheck("the line data of the map");
}

TGridModel::TScratch TGridModel::NewScratch() const {
    TScratch scratch;
    scratch.Boltzmann.resize(energyTerms_.size());
    scratch.Populations.resize(energyTerms_.size());
    scratch.Depths.resize(lines_.size());
    scratch.Exponentials.resize(lines_.size());
    scratch.Reduced.resize(lines_.size());
    scratch.SumAEff.resize(upperLevels_);
    return scratch;
}

void TGridModel::SetTemperature(double temperature, TScratch& scratch) const {
    const long double absolute = std::fabs(static_cast<long double>(temperature));
    for (std::int32_t j = 0; j < energyTerms_.size(); ++j)
        scratch.Boltzmann[j] = BoltzmannFactor(energyTerms_[j], kBoltzmann * absolute);
}

long double TGridModel::Residual(long double density, TScratch& scratch) const {
    for (std::int32_t j = 0; j < weightRatios_.size(); ++j)
        scratch.Populations[j] = Population(density, weightRatios_[j], scratch.Boltzmann[j]);
    // The optical depths, their exponentials and then the escape factors, each for all lines
    // (see EscapeExponential).
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        const TGridLine& line = lines_[i];
        if (line.Lower >= 0)
            scratch.Depths[i] = OpticalDepth(line.Lambda, line.Strength, line.Doppler,
                                             std::fabs(scratch.Populations[line.Lower]), path_);
    }
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].Lower >= 0)
            scratch.Exponentials[i] = EscapeExponential(scratch.Depths[i]);
    }
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        const TGridLine& line = lines_[i];
        scratch.Reduced[i] =
            line.Lower < 0 ? line.FixedReduced
                           : ReducedTransitionProbability(
                                 line.A, EscapeFactor(scratch.Depths[i], scratch.Exponentials[i]));
    }
    for (double& sum : scratch.SumAEff)
        sum = 0;
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        double& sum = scratch.SumAEff[lines_[i].Upper];
        sum = ExtendedSum(sum, scratch.Reduced[i]);
    }
    long double rss = 0;
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        const TGridLine& line = lines_[i];
        const double sumAEff = scratch.SumAEff[line.Upper];
        const double fraction = sumAEff <= 0 ? -1 : ExtendedQuotient(scratch.Reduced[i], sumAEff);
        const long double difference = static_cast<long double>(fraction) - line.Measured;
        rss += difference * difference;
    }
    if (degreesOfFreedom_ > 0)
        rss /= degreesOfFreedom_;
    return rss;
}

} // namespace zelt
