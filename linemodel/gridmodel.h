// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The residuals of the map, a grid row at a time: the operations of ModelBF and CalcRSS in their
// order and precision, but without the model cache and without allocating, and with what stays
// the same over the grid computed once: each line's strength and Doppler width, the densities
// of the grid columns, the Boltzmann factors of each grid row, and the whole reduced transition
// probability of a line whose lower level the model does not populate (the same at every grid
// point) or is the first level (the same in every row of a column, as the first level's
// Boltzmann factor is exp(-0) = 1).

#include "linemodel/atomicdata.h"

#include <functional>
#include <vector>

namespace zelt {

class TGridModel {
public:
    // One worker's scratch for a row of the grid. Its arrays hold a block of columns each; the
    // model sizes them and indexes them only within those sizes.
    struct TScratch {
        TCheckedVector<long double> Residuals; // CalcRSS(p, 2) of every column of the last row
        std::vector<long double> Boltzmann;    // of the populated levels at the row's temperature
        std::vector<double> Populations;       // m-3, [level][column of the block]
        std::vector<double> Populated;         // tau, then A Lambda(tau), of those lines
        std::vector<long double> Exponentials; // mewe's exp(-0.001 tau) of the lines computed
        std::vector<double> Fixed;             // s-1, the fixed A Lambda(tau), repeated
        std::vector<const double*> Reduced;    // per line: its reduced values in the block
        std::vector<double> SumAEff;           // s-1, of every upper level
        TCheckedVector<long double> Fractions; // of every line at one column, for TColumnFractions
    };
    // Sees the model fractions of every line (SelectedLines order) at one grid column of a row,
    // the values ModelBF gives there.
    using TColumnFractions =
        std::function<void(std::int32_t column, const TCheckedVector<long double>& fractions)>;

    // The model of the lines and levels of `data` with its escape factor, for the slots
    // GasTemperature, PathLength, AtomMass and BoltzmannLevels of p, on grid columns at
    // `logDensities` (log10 n_1, n_1 in m-3). A level index outside Levels raises a range error; a
    // floating-point fault of what it computes is left pending for the caller.
    TGridModel(const TAtomicData& data, const TParamVector& p,
               const TCheckedVector<double>& logDensities);

    TScratch NewScratch() const;
    // CalcRSS(p, 2) at every grid column and `temperature` (K, its absolute value is used), into
    // scratch.Residuals. Returns false, having computed nothing, when the first level's
    // Boltzmann factor is not 1 (kT is 0 or no number), for the point-by-point path to do.
    // `each`, when given, sees every column's fractions.
    bool Row(double temperature, TScratch& scratch, const TColumnFractions& each = {}) const;

private:
    // A line whose optical depth the model computes.
    struct TDepthLine {
        TLineConstants Constants;
        double A;           // s-1
        std::int32_t Lower; // index of the lower level
        // The only line from its upper level, with A >= 1 s-1 and an escape factor that is
        // positive at every depth: its fraction A Lambda(tau) divided by itself is 1 for every
        // finite depth tau >= 0, as Lambda(tau) >= 1 / (1 + tau) keeps the product a positive
        // double, and the factor is not needed.
        bool Alone;
    };
    // Where the reduced transition probability of a line comes from.
    enum class TSource { Fixed, First, Populated };
    struct TGridLine {
        double Measured;    // BFMeasured
        std::int32_t Upper; // index of the upper level in TScratch::SumAEff
        TSource Source;
        std::int32_t Index; // among the lines of its source
    };

    double Reduced(const TDepthLine& line, double lowerPopulation) const;
    void Block(std::int32_t first, std::int32_t count, TScratch& scratch,
               const TColumnFractions& each) const;
    void ReduceLines(std::int32_t count, TScratch& scratch) const;

    TEscapeModel escape_;
    std::vector<TGridLine> lines_;
    std::vector<TDepthLine> populatedLines_;              // from populated levels but the first
    std::vector<double> fixedReduced_;                    // s-1, of the unpopulated lower levels
    std::vector<long double> weightRatios_, energyTerms_; // g_j / g_1, -e (E_j - E_1)
    std::vector<long double> densities_;                  // m-3, of the columns
    // The reduced transition probabilities of the lines from the first level, line by line.
    std::vector<double> firstLevelReduced_;
    std::int32_t firstLevelLines_ = 0;
    std::int32_t columns_ = 0;
    std::int32_t upperLevels_ = 0;
    long double path_ = 0;
    std::int32_t degreesOfFreedom_ = 0;
};

} // namespace zelt
