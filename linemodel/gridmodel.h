#pragma once
// The residual of the map, grid point after grid point: the operations of ModelBF and CalcRSS
// in their order and precision, but without the model cache and without allocating, and with
// what stays the same over the grid computed once: each line's strength and Doppler width,
// the whole reduced transition probability of a line whose lower level the model does not
// populate, the density once per grid column and the Boltzmann factors once per grid row.

#include "linemodel/atomicdata.h"

namespace zelt {

class TGridModel {
public:
    // One worker's scratch for a row of the grid.
    struct TScratch {
        CheckedVector<long double> Boltzmann;    // of the populated levels at the row's temperature
        CheckedVector<double> Populations;       // m-3, of the populated levels
        CheckedVector<double> Depths;            // optical depth tau of every line
        CheckedVector<long double> Exponentials; // exp(-0.001 tau) of every line
        CheckedVector<double> Reduced;           // s-1, A EscapeFactor(tau) of every line
        CheckedVector<double> SumAEff;           // s-1, of every upper level
    };

    // The model of the lines and levels of `data` for the slots GasTemperature, PathLength,
    // AtomMass and BoltzmannLevels of p. Raises what ModelBF would raise for them: a range error
    // of a level index, or (through FpCheck) a floating-point fault of the quantities computed
    // once.
    TGridModel(const TAtomicData& data, const TParamVector& p);

    TScratch NewScratch() const;
    // The Boltzmann factors of a grid row at `temperature` (K, its absolute value is used).
    void SetTemperature(double temperature, TScratch& scratch) const;
    // CalcRSS(p, 2) for n_1 = density (m-3, 10^LogDensity) at the temperature last set.
    long double Residual(long double density, TScratch& scratch) const;

private:
    struct TGridLine {
        long double Lambda;  // m
        long double A;       // s-1
        double Strength;     // LineStrength
        long double Doppler; // DopplerDenominator
        double Measured;     // BFMeasured
        std::int32_t Lower;  // index of the lower level among the populated levels, or -1
        std::int32_t Upper;  // index of the upper level in TScratch::SumAEff
        double FixedReduced; // the reduced transition probability when Lower is -1
    };

    CheckedVector<TGridLine> lines_;
    CheckedVector<long double> weightRatios_, energyTerms_; // g_j / g_1, -e (E_j - E_1)
    std::int32_t upperLevels_ = 0;
    long double path_ = 0;
    std::int32_t degreesOfFreedom_ = 0;
};

} // namespace zelt
