// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/gridmodel.h"

#include "linemodel/absorption.h"
#include "linemodel/extended.h"

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

// Columns of a row computed together: each step runs over all lines and columns of the block
// before the next, so that a line's constants stay in registers across the columns and the
// exponentials follow one another; the block's values stay in the first-level cache.
constexpr std::int32_t kBlockColumns = 64;

} // namespace

TGridModel::TGridModel(const TAtomicData& data, const TParamVector& p,
                       const TCheckedVector<double>& logDensities)
    : escape_(data.Escape), columns_(logDensities.size()), path_(Slot(p, PathLength)),
      degreesOfFreedom_(CheckedSub(data.SelectedLines.size(), 2)) {
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
    TCheckedVector<std::int32_t> upperIndex(data.Levels.size()), upperLines(data.Levels.size());
    for (std::int32_t& index : upperIndex)
        index = -1;
    for (const TLine& line : data.SelectedLines)
        ++upperLines[line.UpperLevel];
    for (const TLine& line : data.SelectedLines) {
        std::int32_t& upper = upperIndex[line.UpperLevel];
        if (upper < 0)
            upper = upperLevels_++;
        const TDepthLine depth{LineConstants(line.Data, velocity), line.Data.Aki, line.LowerLevel,
                               upperLines[line.UpperLevel] == 1 && line.Data.Aki >= 1 &&
                                   escape_.PositiveAtEveryDepth()};
        TGridLine grid{line.BFMeasured, upper, TSource::Populated, 0};
        if (line.LowerLevel >= populated) {
            grid.Source = TSource::Fixed;
            grid.Index = static_cast<std::int32_t>(fixedReduced_.size());
            fixedReduced_.push_back(Reduced(depth, data.Levels[line.LowerLevel].Population));
        } else if (line.LowerLevel == 0) {
            // n_1 = density (g_1 / g_1) exp(-0 / kT) in every row whose kT is a positive number.
            grid.Source = TSource::First;
            grid.Index = firstLevelLines_++;
            for (const long double density : densities_)
                firstLevelReduced_.push_back(
                    Reduced(depth, Population(density, weightRatios_[0], 1.0L)));
        } else {
            grid.Index = static_cast<std::int32_t>(populatedLines_.size());
            populatedLines_.push_back(depth);
        }
        lines_.push_back(grid);
    }
}

// A Lambda(tau) of a line for the population (m-3) of its lower level.
double TGridModel::Reduced(const TDepthLine& line, double lowerPopulation) const {
    return ReducedTransitionProbability(
        line.A, escape_.Factor(OpticalDepth(line.Constants, std::fabs(lowerPopulation), path_)));
}

TGridModel::TScratch TGridModel::NewScratch() const {
    const std::size_t block = kBlockColumns;
    TScratch scratch;
    scratch.Residuals.resize(columns_);
    scratch.Boltzmann.resize(energyTerms_.size());
    scratch.Populations.resize(energyTerms_.size() * block);
    scratch.Populated.resize(populatedLines_.size() * block);
    for (const double reduced : fixedReduced_)
        scratch.Fixed.insert(scratch.Fixed.end(), block, reduced);
    scratch.Reduced.resize(lines_.size());
    scratch.SumAEff.resize(static_cast<std::size_t>(upperLevels_));
    scratch.Exponentials.resize(populatedLines_.size() * block);
    scratch.Fractions.resize(static_cast<std::int32_t>(lines_.size()));
    return scratch;
}

bool TGridModel::Row(double temperature, TScratch& scratch, const TColumnFractions& each) const {
    const long double absolute = std::fabs(static_cast<long double>(temperature));
    for (std::size_t j = 0; j < energyTerms_.size(); ++j)
        scratch.Boltzmann[j] = BoltzmannFactor(energyTerms_[j], kBoltzmann * absolute);
    if (!scratch.Boltzmann.empty() && scratch.Boltzmann[0] != 1)
        return false;
    for (std::int32_t first = 0; first < columns_; first += kBlockColumns)
        Block(first, std::min(kBlockColumns, columns_ - first), scratch, each);
    return true;
}

// The optical depths of the lines from the populated levels above the first in the block's
// columns, then their reduced transition probabilities, into TScratch::Populated. Mewe's
// exponentials run apart from the arithmetic around them: the library's exponential sets the
// x87 control word, which makes any x87 arithmetic still in flight wait.
void TGridModel::ReduceLines(std::int32_t count, TScratch& scratch) const {
    for (std::size_t k = 0; k < populatedLines_.size(); ++k) {
        const TLineConstants constants = populatedLines_[k].Constants;
        const double* population =
            &scratch.Populations[populatedLines_[k].Lower * std::size_t{kBlockColumns}];
        double* tau = &scratch.Populated[k * kBlockColumns];
        for (std::int32_t c = 0; c < count; ++c)
            tau[c] = OpticalDepth(constants, std::fabs(population[c]), path_);
    }
    const bool mewe = escape_.Kind() == TEscapeKind::Mewe;
    for (std::size_t k = 0; mewe && k < populatedLines_.size(); ++k) {
        if (populatedLines_[k].Alone)
            continue;
        const double* tau = &scratch.Populated[k * kBlockColumns];
        long double* exponential = &scratch.Exponentials[k * kBlockColumns];
        for (std::int32_t c = 0; c < count; ++c)
            exponential[c] = EscapeExponential(tau[c]);
    }
    for (std::size_t k = 0; k < populatedLines_.size(); ++k) {
        const long double a = populatedLines_[k].A;
        double* value = &scratch.Populated[k * kBlockColumns];
        if (populatedLines_[k].Alone) {
            // Any positive value gives the fraction 1; a depth below 0, infinite or no number
            // is computed.
            for (std::int32_t c = 0; c < count; ++c)
                value[c] = std::isfinite(value[c]) && value[c] >= 0
                               ? 1
                               : ReducedTransitionProbability(a, escape_.Factor(value[c]));
            continue;
        }
        if (!mewe) {
            for (std::int32_t c = 0; c < count; ++c)
                value[c] = ReducedTransitionProbability(a, escape_.Factor(value[c]));
            continue;
        }
        const long double* exponential = &scratch.Exponentials[k * kBlockColumns];
        for (std::int32_t c = 0; c < count; ++c)
            value[c] = ReducedTransitionProbability(a, EscapeFactor(value[c], exponential[c]));
    }
}

// The residuals of `count` columns from column `first` on.
void TGridModel::Block(std::int32_t first, std::int32_t count, TScratch& scratch,
                       const TColumnFractions& each) const {
    // The first level's lines take their values from firstLevelReduced_.
    for (std::size_t j = 1; j < weightRatios_.size(); ++j) {
        const long double weight = weightRatios_[j], boltzmann = scratch.Boltzmann[j];
        double* population = &scratch.Populations[j * kBlockColumns];
        for (std::int32_t c = 0; c < count; ++c)
            population[c] = Population(densities_[first + c], weight, boltzmann);
    }
    ReduceLines(count, scratch);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const TGridLine& line = lines_[i];
        const std::size_t row = static_cast<std::size_t>(line.Index);
        switch (line.Source) {
        case TSource::Fixed:
            scratch.Reduced[i] = &scratch.Fixed[row * kBlockColumns];
            break;
        case TSource::First:
            scratch.Reduced[i] = &firstLevelReduced_[row * columns_ + first];
            break;
        case TSource::Populated:
            scratch.Reduced[i] = &scratch.Populated[row * kBlockColumns];
            break;
        }
    }
    for (std::int32_t c = 0; c < count; ++c) {
        for (double& sum : scratch.SumAEff)
            sum = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            double& sum = scratch.SumAEff[lines_[i].Upper];
            sum = ExtendedSum(sum, scratch.Reduced[i][c]);
        }
        long double rss = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const double sumAEff = scratch.SumAEff[lines_[i].Upper];
            const double reduced = scratch.Reduced[i][c];
            const double fraction = sumAEff <= 0 ? -1 : ExtendedQuotient(reduced, sumAEff);
            const long double difference = static_cast<long double>(fraction) - lines_[i].Measured;
            rss += difference * difference;
            if (each)
                scratch.Fractions[static_cast<std::int32_t>(i)] = fraction;
        }
        if (degreesOfFreedom_ > 0)
            rss /= degreesOfFreedom_;
        scratch.Residuals[first + c] = rss;
        if (each)
            each(first + c, scratch.Fractions);
    }
}

} // namespace zelt
