// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line model: the levels and database lines of the current species, the measured lines
// matched to them, branching fractions with self-absorption, the residual map, the fit and the
// result lines of the report.

#include "common/checked.h"
#include "common/fpcheck.h"
#include "common/textfile.h"
#include "leastsquares/marqdef.h"
#include "linemodel/escape.h"
#include "linemodel/modeltypes.h"
#include "linemodel/normal.h"
#include "linemodel/precalcstore.h"
#include "textinput/DataFld.h"
#include "textinput/TxtAccessNew.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zelt {

// What the optical depth of a line needs besides the density of its lower level; it changes
// only with the line data and the Doppler width, so a fit computes it once (absorption.h).
struct TLineConstants {
    long double Lambda;  // m, the wavelength
    double Strength;     // lambda^5 gk A / (8 pi h c gi)
    long double Doppler; // sqrt(pi) v lambda
};

// The smallest and the largest residual of a stretch of the map and the grid point of the first
// smallest (row -1 while no residual lies below 1e20), collected in row order.
struct TResidualRange {
    long double Smallest = 1e20L, Largest = -1e20L;
    std::int32_t Row = -1, Column = -1;
    // Quiet comparisons: a residual that is not a number is neither the smallest nor the
    // largest. Only a strictly smaller residual moves the best point.
    void Add(long double rss, std::int32_t row, std::int32_t column) {
        if (std::isless(rss, Smallest)) {
            Smallest = rss;
            Row = row;
            Column = column;
        }
        if (std::isgreater(rss, Largest))
            Largest = rss;
    }
    // A later stretch of the map.
    void Add(const TResidualRange& later) {
        if (std::isless(later.Smallest, Smallest)) {
            Smallest = later.Smallest;
            Row = later.Row;
            Column = later.Column;
        }
        if (std::isgreater(later.Largest, Largest))
            Largest = later.Largest;
    }
};

using TShowMessage = std::function<void(const std::string& text)>; // message of an orderly stop

// The state of the line model. The program holds exactly one; tests build their own.
class TAtomicData {
public:
    explicit TAtomicData(TShowMessage showMessage);
    // A model in the state of `model`, with its own copy of everything but the line table, which
    // the two share: another thread can read and fit measurements of the same species in it
    // while the line table is not loaded anew. Its messages go to `showMessage`.
    TAtomicData(const TAtomicData& model, TShowMessage showMessage);

    TCheckedVector<TLevel> Levels;       // file order, energies strictly ascending
    TCheckedVector<TLine> SelectedLines; // measurement-file order
    TPrecalcStore PrecalcStore;
    TCheckedVector<TCheckedVector<double>> RSSMap; // [temperature step][density step]
    TMapRange MapRange;
    std::int32_t ResultHeaderCount = 0;  // result lines written since the last species change
    std::shared_ptr<TTextBase> LineBase; // the species' line table; null before the first
    TUniformRandom Random;               // for the noise of test fits
    std::int32_t MapThreads = 0;         // threads of CalcMap; 0: one per core
    TEscapeModel Escape;                 // the escape factor of the model (mewe by default)
    // Asked by CalcMap after each grid row, from any of its threads at once, with the rows done
    // and the rows in all; false stops the map with EAbort "The map was cancelled.".
    std::function<bool(std::int32_t rowsDone, std::int32_t rows)> MapProgress;
    TFitQuality MapQuality;  // the judgement of the last map
    TResultValues MapValues; // the numbers of its result line, with the judgement's procedure
    // Notes of the last ImportLines about lines it kept: a negative intensity, text skipped
    // after an intensity.
    std::vector<std::string> ImportWarnings;

    // A new species: empties SelectedLines (their level indices belong to the old species),
    // resets the result-header counter, then loads the levels and the line table.
    void ChangeSpecies(const std::string& levelsFile, const std::string& folder,
                       const std::string& source);

    // Reads a level file: three header lines, then per line the configuration (columns 1 to
    // 23), the term (24 to 36), J and the energy in eV. Energies that are not strictly
    // ascending stop the reading with a message; the levels before stay.
    void LoadLevels(const std::string& fileName);
    // Creates and loads the line table from folder + A + "_" + B + ".txt", where source is the
    // species' "A,B"; anything but two items raises "Wrong source in ini file. ".
    void LoadLineBase(const std::string& folder, const std::string& source);
    void ListLevels(std::vector<std::string>& list) const;
    // The database lines in wavelength order; those with Aki <= 0 only when `all` is set.
    void ListLines(bool all, std::vector<std::string>& list) const;

    // Rebuilds SelectedLines from a measurement file of wavelength and intensity pairs.
    void ImportLines(const std::string& fileName);
    // The same from the content of a measurement file in memory; `name` stands for the file in
    // the messages.
    void ImportText(const std::string& name, std::string text);
    // Writes the database lines grouped by upper level (a diagnostic list).
    void DumpLines(const std::string& fileName) const;

    // The measured and the absorption-free branching fractions.
    void CalcBranchingFractions();
    // The model branching fraction with self-absorption of the selected line number x.
    long double ModelBF(const TParamVector& p, long double x);
    // The model's fractions for the populations now in Levels: the optical depth and escape
    // factor of every selected line for the slots PathLength, GasTemperature and AtomMass of
    // `setup`, and the fractions among the lines of each upper level; the result is appended to
    // the cache under `key`. Sets SumAEff of the levels and BFFit of the lines.
    void ComputeFractions(const TParamVector& key, const TParamVector& setup);
    bool FindPrecalc(const TParamVector& p, std::int32_t first, std::int32_t count,
                     std::int32_t& index) const;
    void AddPrecalc(const TParamVector& p, const TPreCalcDataArray& values);
    void ClearPrecalc();

    // Mean squared difference of model and measured fractions per degree of freedom.
    long double CalcRSS(const TParamVector& p, std::int32_t np);
    void InitMap(std::int32_t temperaturePoints, std::int32_t densityPoints);
    // The map appends its result line whatever `reportKind` says (the kind is a fit's choice).
    void CalcMap(std::int32_t densityPoints, std::int32_t temperaturePoints, TParamVector& p,
                 double fromLogDensity, double toLogDensity, double fromTemperature,
                 double toTemperature, const std::string& fileName, TMapRange& range,
                 TReportList* report, std::int32_t reportKind);
    // A likelihood fit of the same lines and slots given is kept in the result and judges it
    // (JudgeFit). A trial step where the model meets a floating-point fault is rejected, as the
    // minimiser rejects a step that raises the sum of squares; a fault at the start ends the fit.
    TFitResult FitLines(const TParamVector& p, std::int32_t iterationLimit, std::int32_t fitCount,
                        double noise, const std::string& fileName, const std::string& logPath,
                        TReportList* report, std::int32_t reportKind,
                        const TLikelihoodFit* likelihood = nullptr);
    // Central differences of ModelBF in slots 1 and 2 for the minimiser.
    void ModelDerivatives(std::int32_t j, const TDataVector& x, std::int32_t np,
                          const TParamVector& p, TParamVector& dy, bool& ok);
    // The numbers of the result line of a map or fit, from the populations in Levels.
    TResultValues ResultValues(const TParamVector& p, const TParamVector& u, std::int32_t np,
                               std::int32_t mode) const;
    // Appends the result line (and first the column header) of a map or fit; a judgement
    // given puts its procedure text in place of the one of the mode and result code.
    void WriteResults(const TParamVector& p, const TParamVector& u, TReportList* out,
                      const std::string& fileName, std::int32_t np, std::int32_t mode,
                      const TFitQuality* quality = nullptr);
    // The same for numbers formed already (ResultValues).
    void WriteResultLine(const TResultValues& values, TReportList& out,
                         const std::string& fileName);
    // Appends a result line of `levels` populated levels, first the column header when no
    // result line has been written since the last species change.
    void AddResultLine(TReportList& out, std::int32_t levels, const std::string& line);
    // The number of levels that get a Boltzmann population: slot BoltzmannLevels, but never
    // more than there are levels.
    std::int32_t PopulatedLevels(const TParamVector& p) const;

private:
    void ShowMessage(const std::string& text) const;
    void ComputeModel(const TParamVector& p);
    // 10^logDensity, m-3.
    long double Density(long double logDensity);
    // The index of p's record in PrecalcStore, computed on a miss.
    std::int32_t ModelRecord(const TParamVector& p);
    // ModelBF's value from the record of its vector.
    long double RecordValue(std::int32_t record, std::int32_t point) const;
    friend class TLineConstantsScope;
    std::int32_t MapRowsInParallel(const TParamVector& p,
                                   const TCheckedVector<double>& logDensities,
                                   const TCheckedVector<double>& temperatures,
                                   TResidualRange& residuals, const std::function<void()>& rowDone);
    std::string OpticalDepthFault(const TParamVector& p) const;
    std::int32_t FindLevel(double energy, const char* missing, const char* several,
                           const std::function<std::string()>& where) const;
    // Rebuilds SelectedLines from the reader that `open` opens on the file `fileName`.
    void ImportFrom(const std::string& fileName,
                    const std::function<void(TTextReader& reader)>& open);

    TShowMessage showMessage_;
    std::string levelsFile_; // the file of Levels, for the messages of ImportLines
    // The constants of SelectedLines for the thermal velocity lineVelocity_, while a fit runs.
    TCheckedVector<TLineConstants> lineConstants_;
    double lineVelocity_ = 0;
    TCheckedVector<long double>
        exponentials_; // ComputeModel's exp(-0.001 tau) of every line (mewe)
    // The last few log densities of the model and their finite powers of ten: a fit's
    // derivatives in slot 2 keep the log density of the vector tried before, and powl is slow.
    struct TRecentPower {
        long double LogDensity = 0, Power = 0;
        bool Known = false;
    };
    std::array<TRecentPower, 3> recentPowers_{};
    std::int32_t nextPower_ = 0;
    // The records of the derivatives' neighbours of the vector they were last taken at (slot 1
    // up and down, slot 2 up and down), valid while the store keeps its generation: the
    // minimiser asks for the derivatives of every point at one vector, and the neighbours'
    // records serve them all without a look-up.
    struct TNeighbours {
        TPrecalcStore::TModelKey Key;
        std::uint64_t Generation = 0;
        bool Valid = false;
        std::array<std::int32_t, 4> Records{};
    } neighbours_;
};

// Most probable speed sqrt(2kT/m) in m/s of atoms of mass `mass` (kg) at `gasTemperature` (K).
double ThermalVelocity(double gasTemperature, double mass);

} // namespace zelt
