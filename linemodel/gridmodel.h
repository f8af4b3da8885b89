#pragma once
// The residual of the map, grid point after grid point: the operations of ModelBF and CalcRSS
// in their order and precision, but without the model cache and without allocating, and with
// what stays the same over the grid computed once: each line's strength and Doppler width, the
// densities of the grid columns, the Boltzmann factors of each grid row, and the whole reduced
// transition probability of a line whose lower level the model does not populate (the same at
// every grid point) or is the first level (the same in every row of a column, as the first
// level's Boltzmann factor is exp(-0) = 1).

#include "linemodel/atomicdata.h"

namespace zelt {

class TGridModel {
public:
    // One worker's scratch for a row of the grid.
    struct TScratch {
        CheckedVector<long double> Boltzmann;    // of the populated levels at the row's temperature
        bool FirstLevelUnity = false;            // the first level's Boltzmann factor is 1
        CheckedVector<double> Populations;       // m-3, of the populated levels
        CheckedVector<double> Depths;            // optical depth tau of every line
        CheckedVector<long double> Exponentials; // exp(-0.001 tau) of every line
        CheckedVector<double> Reduced;           // s-1, A EscapeFactor(tau) of every line
        CheckedVector<double> SumAEff;           // s-1, of every upper level
    };

    // The model of the lines and levels of `data` for the slots GasTemperature, PathLength,
    // AtomMass and BoltzmannLevels of p, on grid columns at `logDensities` (log10 n_1, n_1 in
    // m-3). A level index outside Levels raises a range error; a floating-point fault of what
    // it computes is left pending for the caller.
    TGridModel(const TAtomicData& data, const TParamVector& p,
               const CheckedVector<double>& logDensities);

    TScratch NewScratch() const;
    // The Boltzmann factors of a grid row at `temperature` (K, its absolute value is used).
    void SetTemperature(double temperature, TScratch& scratch) const;
    // CalcRSS(p, 2) at grid column `column` and the temperature last set.
    long double Residual(std::int32_t column, TScratch& scratch) const;

private:
    enum class TLower { Unpopulated, First, Populated };
    struct TGridLine {
        TLineConstants Constants;
        long double A;   // s-1
        double Measured; // BFMeasured
        TLower Kind;
        std::int32_t Lower;  // index of the lower level
        std::int32_t Upper;  // index of the upper level in TScratch::SumAEff
        std::int32_t First;  // index among the lines from the first level
        double FixedReduced; // the reduced transition probability of an unpopulated lower level
    };

    double Reduced(const TGridLine& line, double lowerPopulation) const;

    CheckedVector<TGridLine> lines_;
    CheckedVector<long double> weightRatios_, energyTerms_; // g_j / g_1, -e (E_j - E_1)
    CheckedVector<long double> densities_;                  // m-3, of the columns
    // The reduced transition probabilities of the lines from the first level, column by column.
    CheckedVector<double> firstLevelReduced_;
    std::int32_t firstLevelLines_ = 0;
    std::int32_t upperLevels_ = 0;
    long double path_ = 0;
    std::int32_t degreesOfFreedom_ = 0;
};

} // namespace zelt
