#include "linemodel/gridmodel.h"

#include "linemodel/absorption.h"
#include "linemodel/extended.h"

#include <cmath>

namespace zelt {

TGridModel::TGridModel(const TAtomicData& data, const TParamVector& p,
                       const CheckedVector<double>& logDensities)
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
    for (const double logDensity : logDensities)
        densities_.push_back(PowerOfTen(logDensity));
    const double velocity = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                            static_cast<double>(Slot(p, AtomMass)));
    // Upper levels in order of their first line, numbered for TScratch::SumAEff.
    CheckedVector<std::int32_t> upperIndex(data.Levels.size());
    for (std::int32_t& index : upperIndex)
        index = -1;
    for (const TLine& line : data.SelectedLines) {
        TGridLine grid{};
        grid.Constants = LineConstants(line.Data, velocity);
        grid.A = line.Data.Aki;
        grid.Measured = line.BFMeasured;
        std::int32_t& upper = upperIndex[line.UpperLevel];
        if (upper < 0)
            upper = upperLevels_++;
        grid.Upper = upper;
        grid.Lower = line.LowerLevel;
        const double lowerPopulation = data.Levels[line.LowerLevel].Population;
        if (line.LowerLevel >= populated) {
            grid.Kind = TLower::Unpopulated;
            grid.FixedReduced = Reduced(grid, lowerPopulation);
        } else if (line.LowerLevel == 0) {
            grid.Kind = TLower::First;
            grid.First = firstLevelLines_++;
        } else {
            grid.Kind = TLower::Populated;
        }
        lines_.push_back(grid);
    }
    // n_1 = density (g_1 / g_1) exp(-0 / kT) in every row whose kT is a positive number.
    for (const long double density : densities_)
        for (const TGridLine& line : lines_)
            if (line.Kind == TLower::First)
                firstLevelReduced_.push_back(
                    Reduced(line, Population(density, weightRatios_[0], 1.0L)));
}

// A EscapeFactor(tau) of a line for the population (m-3) of its lower level.
double TGridModel::Reduced(const TGridLine& line, double lowerPopulation) const {
    return ReducedTransitionProbability(
        line.A, EscapeFactor(OpticalDepth(line.Constants, std::fabs(lowerPopulation), path_)));
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
    scratch.FirstLevelUnity = !scratch.Boltzmann.empty() && scratch.Boltzmann[0] == 1;
}

long double TGridModel::Residual(std::int32_t column, TScratch& scratch) const {
    const long double density = densities_[column];
    for (std::int32_t j = 0; j < weightRatios_.size(); ++j)
        scratch.Populations[j] = Population(density, weightRatios_[j], scratch.Boltzmann[j]);
    // The lines whose reduced transition probability is not known beforehand: their optical
    // depths, then their exponentials, each for all lines (see EscapeExponential).
    const auto computed = [&](const TGridLine& line) {
        return line.Kind == TLower::Populated ||
               (line.Kind == TLower::First && !scratch.FirstLevelUnity);
    };
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        const TGridLine& line = lines_[i];
        if (computed(line))
            scratch.Depths[i] =
                OpticalDepth(line.Constants, std::fabs(scratch.Populations[line.Lower]), path_);
    }
    for (std::int32_t i = 0; i < lines_.size(); ++i)
        if (computed(lines_[i]))
            scratch.Exponentials[i] = EscapeExponential(scratch.Depths[i]);
    for (std::int32_t i = 0; i < lines_.size(); ++i) {
        const TGridLine& line = lines_[i];
        if (computed(line))
            scratch.Reduced[i] = ReducedTransitionProbability(
                line.A, EscapeFactor(scratch.Depths[i], scratch.Exponentials[i]));
        else if (line.Kind == TLower::First)
            scratch.Reduced[i] = firstLevelReduced_[column * firstLevelLines_ + line.First];
        else
            scratch.Reduced[i] = line.FixedReduced;
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
