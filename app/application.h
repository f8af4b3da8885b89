// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application without its window: the configuration, the line model, the map on screen
// and the current measurement file, and the commands of the program. Each command returns an
// outcome, what the window shows in its boxes, table, plots and report, zeltfit-cli prints and
// the Python module hands over, instead of showing anything itself. The window, zeltfit-cli and
// the Python module only call these and show the outcome: the line model (TAtomicData) stays
// inside, and no front end includes its header (tools/check-layout.py).
//
// To add a command: a member that runs it inside Guard (which resets the floating-point flags
// and turns an error into the outcome's Error and Kind) and returns a TOutcome, or a type
// derived from it that carries the command's result.

#include "app/configstore.h"
#include "app/listing.h"
#include "app/series.h"
#include "app/settings.h"
#include "app/shownmap.h"
#include "app/tables.h"
#include "linemodel/freelevels.h"
#include "linemodel/modeltypes.h"
#include "linemodel/region.h"
#include "spectrum/integration.h"
#include "spectrum/linelist.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

// What ended a command that failed, from the type of its error: the data or the settings do
// not allow it (Exception and the errors of arithmetic and conversion), a file could not be
// opened, read or written (EInOutError, TxtError), the memory ran out (std::bad_alloc), or the
// user stopped it (EAbort).
enum class TErrorKind { None, Input, File, Memory, Cancelled };
class TSeriesLog;

// What a command did.
struct TOutcome {
    // False when the command failed: Error holds the text of the common error report, or, for
    // a species that cannot be loaded, Messages holds "File error: " and the reason.
    bool Done = true;
    TErrorKind Kind = TErrorKind::None; // None when done
    std::string Error;                  // UTF-8, with the report's full stop
    std::vector<std::string> Messages;  // UTF-8: the boxes of orderly stops, in order
    // UTF-8: what the command noticed and went on with (a negative intensity of a read).
    std::vector<std::string> Warnings;
    TReportList Report; // Windows-1252: the lines appended to the report
    // UTF-8: for a read that failed, what its file has that the reader does not take
    // (MeasurementFileProblem), or empty.
    std::string Cause;
};

// A command that reads or changes the selected lines: the lines as it left them.
struct TLinesOutcome : TOutcome {
    TLineSnapshot Lines;
};

// What an import did: the files written, the table of its lines (tab-separated) and what was
// done, one sentence each.
struct TImportOutcome : TOutcome {
    std::string Measurement, Table, TableText;
    std::vector<std::string> Notes;
};

// A raw spectrum read and integrated against the current species, nothing written yet.
struct TSpectrumOutcome : TOutcome {
    TRawSpectrum Spectrum;
    TIntegration Integration;
};

// A line list matched to the current species, nothing written yet.
struct TLineListOutcome : TOutcome {
    TLineList List;
};

// What a file that is no measurement file may be imported as: a table of at least
// kMinSpectrumPixels ascending wavelengths is taken for a raw spectrum, any other table of two
// or more columns for a line list; None when it reads as no such table of numbers.
enum class TImportKind { None, Spectrum, LineList };
TImportKind ImportKindOf(const std::string& file);

// "Create map": the best grid point in LogDensity and Temperature, the smallest and largest
// residual in ResultRSS and ResultCode; its judgement and row; the residuals with their grid and
// the joint confidence region of n_1 and T_exc at each level the window offers. A map stopped by
// its progress hook fails with the kind Cancelled: the previous map stays.
struct TMapOutcome : TLinesOutcome {
    TParamVector Params;
    TFitQuality Quality;
    std::optional<TResultRow> Row; // absent when the map was not done
    // [temperature step][density step], shared with the map on screen; null when not done.
    std::shared_ptr<const TResidualGrid> Grid;
    TMapRange Range;
    // The likelihood's chi^2 over the same grid, which the regions are cut from (the map's
    // colours are the residuals above); null when not done.
    std::shared_ptr<const TChiSquareMap> ChiSquare;
    std::int32_t DegreesOfFreedom = 0; // nu of the regions (TChiSquareMap)
    std::vector<TMapRegion> Regions;   // at kRegionLevels
};

// The confidence region of a map at `level` (in (0, 1)) from the likelihood of the intensities
// (MapRegion), as Regions holds it at the window's levels: zeltfit-cli --region, Python and
// the window all take it from here.
TMapRegion RegionAt(const TMapOutcome& map, double level);

// A fit's result with its judgement (Result.Quality) and row, and for a fit of both log10 n_1 and
// T_exc the ellipse of its linearised confidence region at each level the window offers
// (ConfidenceEllipse at kRegionLevels; empty otherwise).
struct TFitOutcome : TLinesOutcome {
    TFitResult Result;
    std::optional<TResultRow> Row;     // absent when the fit was not done
    std::int32_t DegreesOfFreedom = 0; // nu of the ellipses (RegionDegreesOfFreedom)
    std::vector<TOutline> Ellipses;
};

// The ellipse of a fit at `level` (in (0, 1)), as Ellipses holds it at the window's levels;
// empty where the fit has none.
TOutline EllipseAt(const TFitOutcome& fit, double level);

// "Fit" with free lower levels.
struct TFreeLevelsOutcome : TLinesOutcome {
    TFreeLevelsRun Run;
    // The row of its Boltzmann fit; where that failed, only the file, the conditions and "not
    // fitted: " with the error as the procedure. Absent when the command was not done.
    std::optional<TResultRow> BoltzmannRow;
    TCheckedVector<TLevel> Levels; // of the species, for the names of the free levels
    TReportList LevelLines;        // a line for each free level (FreeLevelsTable)
};

// Whether a map or fit was done but its result is flagged (TFitQuality): zeltfit-cli's exit
// status 3.
bool Flagged(const TOutcome& outcome, const std::optional<TResultRow>& row);
// The same for a fit with free levels: a level whose density the data do not determine.
bool Flagged(const TFreeLevelsOutcome& outcome);

// The report of a fit with free levels: its result line and F-test, then a line for each level
// (LevelLines), as zeltfit-cli prints them.
TReportList FreeLevelsReport(const TFreeLevelsOutcome& outcome);

enum class TSeriesCommand { Map, Fit, FreeLevels };

// One file of a series: the outcome of its read and, once it was read, of its map or fit.
struct TSeriesFile {
    std::string Path;
    TLinesOutcome Read;
    TMapOutcome Map;
    TFitOutcome Fit;
    TFreeLevelsOutcome Free;
};

// A series so far: the files in their order, their abscissa, the entries of those done.
struct TSeries {
    std::vector<std::string> Files;
    TSeriesAxis Axis;
    std::vector<TSeriesEntry> Entries;
    bool Stopped = false; // ended by StopRequested before the last file
};

// What a front end does while a series runs. Any of them may be empty.
struct TSeriesHooks {
    std::function<void(const TSeries& series)> Starting;                      // before each file
    std::function<void(const TSeries& series, const TSeriesFile& file)> Done; // after each file
    std::function<bool()> StopRequested; // asked after each file: true ends the series
};

// The text of a core message for the screen (MixedToUtf8): UTF-8 sequences as they are (file
// names), the other bytes as Windows-1252 (the database's texts).
std::string MessageText(const std::string& text);

class TZeltApp {
public:
    explicit TZeltApp(const std::string& configFile);
    TZeltApp(const TZeltApp&) = delete;
    TZeltApp& operator=(const TZeltApp&) = delete;
    ~TZeltApp();

    TConfigStore& Config() { return config_; }
    const TConfigStore& Config() const { return config_; }
    // The last map, which the plot shows; a fit does not change it.
    const TShownMap& ShownMap() const { return shownMap_; }
    // The species section chosen last.
    const std::string& Species() const { return species_; }
    // The full path of the measurement file read last (or being read).
    const std::string& CurrentFile() const { return currentFile_; }
    // Whether a read stores its file's folder in the configuration (the window's next start
    // opens there); on by default. zeltfit-cli leaves the configuration as it is.
    void SetStoreMeasurementFolder(bool on) { storeMeasurementFolder_ = on; }
    // The threads that share the rows of a map; 0 (the default) for one per core.
    void SetMapThreads(std::int32_t threads);
    // The selected lines as they are now.
    TLineSnapshot Lines() const;

    // The species sections of the configuration in file order.
    std::vector<std::string> SpeciesList() const;
    // The map, fit and absorption settings as the configuration holds them, through the edit
    // boxes' text forms, with the current species' keys.
    TCommandSettings ConfiguredSettings() const;

    // Loads the level file and line table of a species section (the selected lines go).
    TOutcome ChangeSpecies(const std::string& species);
    // The listings "Database levels" and "Database lines" of the species (Windows-1252), the
    // lines without a transition probability only when `all` is set.
    std::vector<std::string> ListLevels() const;
    std::vector<std::string> ListLines(bool all) const;
    // Reads a measurement file, computes the fractions when there are at least two lines and
    // stores the file's folder as the measurement folder (see SetStoreMeasurementFolder).
    TLinesOutcome ReadMeasurement(const std::string& file);
    // A measurement given in memory, read as the file of its wavelengths and intensities
    // (MeasurementText) would be, with the lines' uncertainties in place of the table beside a
    // file (SetUncertainties); `name` is the file name its results show. Nothing is written.
    // More than kMaxMeasuredLines lines are refused before any is read, and a value that is not
    // a finite number by its line (from 1), as the reader refuses them in a file.
    TLinesOutcome ReadMeasurement(const std::string& name, const std::vector<TMeasuredLine>& lines);
    // "Recalculate BF": "Not enough lines for Zelt method." with fewer than 2 lines.
    TLinesOutcome RecalculateBF();
    // An edited intensity of the selected line `line` (from 0): the fractions of a map or fit
    // of the intensities before no longer belong to the lines (their BFFit are 0, the snapshot
    // is no longer Fitted), and the measured fractions follow as "Recalculate BF" forms them.
    // Not done (its error) for a line that does not exist, which changes nothing, or with fewer
    // than 2 lines, where the intensity is set and the fractions stay.
    TLinesOutcome SetIntensity(std::int32_t line, double intensity);
    // Sizes the residual grid for the settings' points, as at start-up.
    TOutcome SizeMap(const TCommandSettings& settings);
    // "Create map" and "Fit" of the current lines; the species keys (m, Boltzmax) are read
    // from the configuration at each run, in place of those in `settings`.
    // `progress` (TAtomicData::MapProgress) may stop the map: the line model, the shown map and
    // the results are then as they were before it. Map may run on a thread of its own while
    // nothing else touches the application.
    TMapOutcome Map(TCommandSettings settings, TReportKind report,
                    const std::function<bool(std::int32_t, std::int32_t)>& progress = {});
    TFitOutcome Fit(TCommandSettings settings, TReportKind report, const std::string& logPath);
    // "Fit" with the density of every populated lower level free (see RunFreeLevels).
    TFreeLevelsOutcome FitFreeLevels(TCommandSettings settings, const std::string& logPath);
    // The row of every map and fit done since the start, in order ("Save results...").
    const std::vector<TResultRow>& Results() const { return results_; }
    // Reads and maps or fits every file in turn, in the natural order of their names
    // (NaturalLess); a file that fails is recorded and the series
    // goes on. Each fitted file gives the result line it would give read and fitted alone.
    //
    // On more than one thread (ThreadCount(threads)) the files are shared among the threads,
    // each reading and fitting in a copy of the model (sharing the line table) with its maps on
    // one thread, and the hooks run on the calling thread for each file in order, with the same
    // outcomes, entries and report lines as on one thread: the column header stays with the
    // first result line, the log holds the last file's fit, and a stop (StopRequested, or a hook
    // that raises) comes after the same file. The file the series ends with is then the
    // application's current file with its read and fit, as on one thread; its result rows and
    // the map on screen follow the files. A log that cannot be created, or is a device, keeps to
    // one thread so that each file says so as on one thread.
    TSeries RunSeries(const std::vector<std::string>& files, TSeriesCommand command,
                      const TCommandSettings& settings, TReportKind report,
                      const std::string& logPath, const TSeriesHooks& hooks = {},
                      std::int32_t threads = 1);

    // Imports a raw spectrum against the current species (spectrum/integration.h): writes the
    // measurement file folder/NAME.txt and the table of what was integrated beside it
    // (LineTableFor), NAME the spectrum's file name without its extension.
    TImportOutcome ImportSpectrum(const std::string& file, const std::string& folder,
                                  const TImportSettings& settings);
    // Imports every spectrum of `files` into `folder` as ImportSpectrum does, read and
    // integrated on ThreadCount(threads) threads and written in the files' order on the calling
    // thread: `done` sees each file's outcome once its files are written, the same files and
    // outcomes as one thread gives.
    void ImportSpectra(
        const std::vector<std::string>& files, const std::string& folder,
        const TImportSettings& settings, std::int32_t threads,
        const std::function<void(const std::string& file, const TImportOutcome& outcome)>& done);
    // Matches a user's line list to the current species (spectrum/linelist.h) and writes the
    // measurement file and the table of the matches with their uncertainties the same way.
    TImportOutcome ImportLineList(const std::string& file, const std::string& folder,
                                  const TImportSettings& settings);

    // The two steps of an import, for the window's Spectrum page: the spectrum integrated or the
    // list matched as ImportSpectrum and ImportLineList do, and the intensities written as the
    // measurement file `measurement` with the table `tableText` beside it (LineTableFor); the
    // file `source` imported is never replaced.
    TSpectrumOutcome IntegrateSpectrum(const std::string& file, const TImportSettings& settings);
    TLineListOutcome MatchLines(const std::string& file, const TImportSettings& settings);
    TImportOutcome WriteImport(const std::string& source, const std::string& measurement,
                               const std::vector<TMeasuredLine>& lines,
                               const std::string& tableText, const std::vector<std::string>& notes);

private:
    struct TWorkerCopy {};
    // A copy for a thread of a series: the configuration, the species and a model of its own.
    TZeltApp(const TZeltApp& app, TWorkerCopy);
    // Keeps a message of an orderly stop of the command running.
    void Collect(const std::string& text);
    // Reads file.Path and maps or fits it; its outcomes go to `file` and `entry`.
    void SeriesStep(TSeriesCommand command, const TCommandSettings& settings, TReportKind report,
                    const std::string& logPath, TSeriesFile& file, TSeriesEntry& entry);
    // The file a worker of a series read and fitted last becomes the current file.
    void TakeFileOf(const TZeltApp& worker);
    void RunSeriesInParallel(TSeries& series, TSeriesCommand command,
                             const TCommandSettings& settings, TReportKind report, TSeriesLog& log,
                             const TSeriesHooks& hooks, std::int32_t threads);
    template <class TResult, class TCommand> TResult Guard(TCommand&& command);
    // After the lines of a measurement were imported: its warnings, the fractions when there are
    // at least two lines, and the lines.
    void Imported(TLinesOutcome& outcome);
    TCommandSettings WithSpeciesKeys(TCommandSettings settings) const;

    TConfigStore config_;
    std::unique_ptr<TAtomicData> model_;
    TShownMap shownMap_;
    std::string species_;
    std::string currentFile_;
    bool storeMeasurementFolder_ = true;
    bool fitted_ = false; // BFFit of the lines belongs to a map or fit of their intensities
    std::vector<std::string> messages_; // of the command running
    std::vector<TResultRow> results_;
};

} // namespace zelt
