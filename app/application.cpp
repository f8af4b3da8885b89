// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "app/commands.h"
#include "app/escapespread.h"
#include "app/listing.h"
#include "app/readproblem.h"
#include "app/serieslog.h"
#include "app/spectrumimport.h"
#include "common/codepage.h"
#include "common/errors.h"
#include "common/fpcheck.h"
#include "common/parallel.h"
#include "common/safefile.h"
#include "common/textfile.h"
#include "linemodel/atomicdata.h"
#include "linemodel/likelihood.h"
#include "spectrum/integration.h"
#include "spectrum/linelist.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <optional>

namespace zelt {

namespace {

// A series entry's problem and notes from the outcome of one of its steps; false when the
// step failed.
bool Record(TSeriesEntry& entry, const TOutcome& outcome) {
    entry.Notes.insert(entry.Notes.end(), outcome.Messages.begin(), outcome.Messages.end());
    if (!outcome.Done)
        entry.Problem = outcome.Cause.empty() ? outcome.Error : outcome.Error + " " + outcome.Cause;
    return outcome.Done;
}

// The entry of file i of a series before it is read.
TSeriesEntry EntryOf(const TSeries& series, std::size_t i) {
    TSeriesEntry entry;
    entry.File = FileNameOf(series.Files[i]);
    entry.X = series.Axis.X[i];
    entry.XFromNames = series.Axis.Of(i).FromNames;
    entry.XText = series.Axis.Of(i).Caption;
    entry.Quantity = series.Axis.Quantity[i];
    return entry;
}

// The log of a series' fits (FitLogPath for an empty path) when the threads of the series can
// each write theirs beside it and rename it into its place in turn; empty when it cannot be
// created there or is a device or a pipe, which are written into directly.
std::string SharedLog(const std::string& logPath) {
    try {
        const std::string log = logPath.empty() ? FitLogPath() : logPath;
        TFileStatus status;
        if (!FileStatus(log, false, status) || status.Kind == TFileKind::Other)
            return {};
        TSafeFile probe;
        probe.Open(log, {TLinkPolicy::Replace, false});
        return log;
    } catch (const EInOutError&) {
        return {};
    }
}

// The kind of a command's error (TErrorKind).
TErrorKind ErrorKindOf(const std::exception& error) {
    if (dynamic_cast<const EInOutError*>(&error) != nullptr)
        return TErrorKind::File;
    if (dynamic_cast<const EAbort*>(&error) != nullptr)
        return TErrorKind::Cancelled;
    return TErrorKind::Input;
}

// A number as a token of a text: "nan", "inf" or "-inf" for those that are not finite.
std::string NumberToken(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Writes a series' log after its last file; a failure is a warning of that file's fit.
void WriteLog(TSeriesLog& log, TSeriesCommand command, TSeriesFile& file) {
    const std::optional<std::string> warning = log.Write();
    if (!warning)
        return;
    TOutcome& outcome =
        command == TSeriesCommand::FreeLevels ? static_cast<TOutcome&>(file.Free) : file.Fit;
    outcome.Warnings.push_back(*warning);
}

} // namespace

bool Flagged(const TOutcome& outcome, const std::optional<TResultRow>& row) {
    return outcome.Done && row && row->Quality.Flagged();
}

bool Flagged(const TFreeLevelsOutcome& outcome) {
    const std::vector<TFreeLevel>& levels = outcome.Run.Free.Levels;
    return outcome.Done && std::any_of(levels.begin(), levels.end(),
                                       [](const TFreeLevel& level) { return !level.Determined; });
}

TMapRegion RegionAt(const TMapOutcome& map, double level) {
    return MapRegion(map.ChiSquare ? *map.ChiSquare : TChiSquareMap{}, map.Range, level);
}

TOutline EllipseAt(const TFitOutcome& fit, double level) {
    if (!fit.Done || Slot(fit.Result.Params, FitCount) != kRegionParameters)
        return {};
    return ConfidenceEllipse(fit.Result, fit.DegreesOfFreedom, level);
}

TReportList FreeLevelsReport(const TFreeLevelsOutcome& outcome) {
    TReportList report = outcome.Report;
    if (outcome.Done)
        report.insert(report.end(), outcome.LevelLines.begin(), outcome.LevelLines.end());
    return report;
}

std::string MessageText(const std::string& text) {
    return MixedToUtf8(text);
}

TZeltApp::TZeltApp(const std::string& configFile)
    : config_(configFile),
      model_(std::make_unique<TAtomicData>([this](const std::string& text) { Collect(text); })) {}

TZeltApp::TZeltApp(const TZeltApp& app, TWorkerCopy)
    : config_(app.config_), model_(std::make_unique<TAtomicData>(
                                *app.model_, [this](const std::string& text) { Collect(text); })),
      species_(app.species_), currentFile_(app.currentFile_), storeMeasurementFolder_(false),
      fitted_(app.fitted_) {
    model_->MapThreads = 1;
}

TZeltApp::~TZeltApp() = default;

void TZeltApp::Collect(const std::string& text) {
    messages_.push_back(MessageText(text));
}

// Runs a command with the floating-point flags reset; its error ends it and becomes the
// outcome's Error, and the messages of orderly stops it showed are the outcome's Messages.
template <class TResult, class TCommand> TResult TZeltApp::Guard(TCommand&& command) {
    TResult outcome;
    messages_.clear();
    try {
        FpReset();
        command(outcome);
    } catch (const std::bad_alloc&) {
        outcome.Done = false;
        outcome.Kind = TErrorKind::Memory;
        outcome.Error = ErrorReportText("Not enough memory for this command");
    } catch (const std::exception& error) {
        outcome.Done = false;
        outcome.Kind = ErrorKindOf(error);
        outcome.Error = ErrorReportText(MessageText(error.what()));
    }
    outcome.Messages.insert(outcome.Messages.begin(), messages_.begin(), messages_.end());
    messages_.clear();
    return outcome;
}

TCommandSettings TZeltApp::WithSpeciesKeys(TCommandSettings settings) const {
    const TConfigView config = config_.View();
    CheckSpeciesKeys(config, species_, config_.FileName());
    ReadSpeciesKeys(settings, config, species_);
    return settings;
}

void TZeltApp::SetMapThreads(std::int32_t threads) {
    model_->MapThreads = threads;
}

TLineSnapshot TZeltApp::Lines() const {
    return {model_->SelectedLines, HasFractions(*model_), fitted_};
}

std::vector<std::string> TZeltApp::ListLevels() const {
    std::vector<std::string> list;
    model_->ListLevels(list);
    return list;
}

std::vector<std::string> TZeltApp::ListLines(bool all) const {
    std::vector<std::string> list;
    model_->ListLines(all, list);
    return list;
}

std::vector<std::string> TZeltApp::SpeciesList() const {
    return SpeciesSections(config_);
}

TCommandSettings TZeltApp::ConfiguredSettings() const {
    return ReadSettings(config_, species_);
}

TOutcome TZeltApp::ChangeSpecies(const std::string& species) {
    species_ = species;
    fitted_ = false;
    return Guard<TOutcome>([&](TOutcome& outcome) {
        try {
            LoadSpecies(*model_, config_, species);
        } catch (const EInOutError& error) {
            outcome.Done = false;
            outcome.Kind = TErrorKind::File;
            outcome.Messages.push_back("File error: " + MessageText(error.what()));
        }
    });
}

void TZeltApp::Imported(TLinesOutcome& outcome) {
    for (const std::string& warning : model_->ImportWarnings)
        outcome.Warnings.push_back(MessageText(warning));
    if (HasFractions(*model_))
        model_->CalcBranchingFractions();
    outcome.Lines = Lines();
}

TLinesOutcome TZeltApp::ReadMeasurement(const std::string& file) {
    currentFile_ = file;
    fitted_ = false;
    TLinesOutcome read = Guard<TLinesOutcome>([&](TLinesOutcome& outcome) {
        model_->ImportLines(file);
        ReadUncertainties(*model_, file);
        Imported(outcome);
        if (storeMeasurementFolder_)
            config_.WriteString(kFilesMeasurements.Section, kFilesMeasurements.Key, FolderOf(file));
    });
    if (!read.Done && !read.Error.empty())
        read.Cause = MessageText(MeasurementFileProblem(file));
    return read;
}

TLinesOutcome TZeltApp::ReadMeasurement(const std::string& name,
                                        const std::vector<TMeasuredLine>& lines) {
    currentFile_ = name;
    fitted_ = false;
    return Guard<TLinesOutcome>([&](TLinesOutcome& outcome) {
        CheckMeasuredLineCount(name, lines.size());
        // A value that is not a finite number is refused as in a file: by its line.
        for (std::size_t i = 0; i < lines.size(); ++i)
            for (const double value :
                 {lines[i].Wavelength, lines[i].Intensity, lines[i].Uncertainty})
                if (!std::isfinite(value))
                    RaiseInvalidNumber(NumberToken(value), name, static_cast<std::int64_t>(i) + 1);
        model_->ImportText(name, MeasurementText(lines));
        SetUncertainties(*model_, lines);
        Imported(outcome);
    });
}

TLinesOutcome TZeltApp::RecalculateBF() {
    return Guard<TLinesOutcome>([&](TLinesOutcome& outcome) {
        RequireFractions(*model_);
        model_->CalcBranchingFractions();
        outcome.Lines = Lines();
    });
}

TLinesOutcome TZeltApp::SetIntensity(std::int32_t line, double intensity) {
    return Guard<TLinesOutcome>([&](TLinesOutcome& outcome) {
        model_->SelectedLines[line].Intensity = intensity;
        for (TLine& each : model_->SelectedLines)
            each.BFFit = 0;
        fitted_ = false;
        RequireFractions(*model_);
        model_->CalcBranchingFractions();
        outcome.Lines = Lines();
    });
}

TOutcome TZeltApp::SizeMap(const TCommandSettings& settings) {
    return Guard<TOutcome>([&](TOutcome&) {
        CheckMapSize(settings);
        model_->InitMap(settings.TemperaturePoints, settings.DensityPoints);
    });
}

TMapOutcome TZeltApp::Map(TCommandSettings settings, TReportKind report,
                          const std::function<bool(std::int32_t, std::int32_t)>& progress) {
    return Guard<TMapOutcome>([&](TMapOutcome& outcome) {
        settings = WithSpeciesKeys(settings);
        // What a map changes in the line model, put back when it is cancelled.
        const TResidualGrid grid = model_->RSSMap;
        const TMapRange range = model_->MapRange;
        const TFitQuality quality = model_->MapQuality;
        const TCheckedVector<TLevel> levels = model_->Levels;
        const TCheckedVector<TLine> lines = model_->SelectedLines;
        // The hook belongs to this map only, also when it ends with an error.
        struct TProgressScope {
            TAtomicData& Model;
            ~TProgressScope() { Model.MapProgress = {}; }
        } scope{*model_};
        model_->MapProgress = progress;
        try {
            outcome.Params =
                RunMap(*model_, settings, FileNameOf(currentFile_), outcome.Report, report);
            // The rows of the chi^2 are not counted again: the hook is asked with all rows done,
            // and may still cancel.
            outcome.ChiSquare = std::make_shared<const TChiSquareMap>(
                ChiSquareMapOf(*model_, MapParameters(settings), model_->MapRange,
                               settings.TemperaturePoints, settings.DensityPoints,
                               model_->MapThreads, [&progress](std::int32_t, std::int32_t rows) {
                                   return !progress || progress(rows, rows);
                               }));
        } catch (const EAbort&) {
            model_->RSSMap = grid;
            model_->MapRange = range;
            model_->MapQuality = quality;
            model_->Levels = levels;
            model_->SelectedLines = lines;
            throw;
        }
        outcome.Grid = std::make_shared<const TResidualGrid>(model_->RSSMap);
        outcome.Range = model_->MapRange;
        outcome.DegreesOfFreedom = outcome.ChiSquare->DegreesOfFreedom;
        for (const double level : kRegionLevels)
            outcome.Regions.push_back(RegionAt(outcome, level));
        shownMap_.Show(outcome.Grid, outcome.Range);
        outcome.Quality = model_->MapQuality;
        outcome.Row = MapRow(*model_, FileNameOf(currentFile_),
                             Provenance(config_.View(), species_, settings, false));
        results_.push_back(*outcome.Row);
        fitted_ = true;
        outcome.Lines = Lines();
    });
}

TFitOutcome TZeltApp::Fit(TCommandSettings settings, TReportKind report,
                          const std::string& logPath) {
    return Guard<TFitOutcome>([&](TFitOutcome& outcome) {
        settings = WithSpeciesKeys(settings);
        outcome.Result =
            RunFit(*model_, settings, FileNameOf(currentFile_), logPath, outcome.Report, report);
        outcome.Row = FitRow(outcome.Result, FileNameOf(currentFile_),
                             Provenance(config_.View(), species_, settings, true));
        outcome.Row->Spread = EscapeSpread(*model_, settings, *outcome.Row);
        results_.push_back(*outcome.Row);
        outcome.DegreesOfFreedom = RegionDegreesOfFreedom(model_->SelectedLines);
        if (Slot(outcome.Result.Params, FitCount) == kRegionParameters)
            for (const double level : kRegionLevels)
                outcome.Ellipses.push_back(EllipseAt(outcome, level));
        fitted_ = true;
        outcome.Lines = Lines();
    });
}

TFreeLevelsOutcome TZeltApp::FitFreeLevels(TCommandSettings settings, const std::string& logPath) {
    return Guard<TFreeLevelsOutcome>([&](TFreeLevelsOutcome& outcome) {
        settings = WithSpeciesKeys(settings);
        const std::string name = FileNameOf(currentFile_);
        const TProvenance provenance = Provenance(config_.View(), species_, settings, true);
        outcome.Run = RunFreeLevels(
            *model_, settings, name, logPath, outcome.Report,
            [&](const TFitResult& fit) { outcome.BoltzmannRow = FitRow(fit, name, provenance); });
        if (!outcome.BoltzmannRow) {
            TResultRow& row = outcome.BoltzmannRow.emplace();
            row.FileName = name;
            row.Values.Procedure = "not fitted: " + MessageText(outcome.Run.BoltzmannError);
            row.Provenance = provenance;
        }
        outcome.Levels = model_->Levels;
        outcome.LevelLines = FreeLevelsTable(*model_, outcome.Run.Free);
        outcome.BoltzmannRow->Spread = EscapeSpread(*model_, settings, *outcome.BoltzmannRow);
        fitted_ = true;
        outcome.Lines = Lines();
    });
}

void TZeltApp::SeriesStep(TSeriesCommand command, const TCommandSettings& settings,
                          TReportKind report, const std::string& logPath, TSeriesFile& file,
                          TSeriesEntry& entry) {
    file.Read = ReadMeasurement(file.Path);
    if (!Record(entry, file.Read))
        return;
    if (command == TSeriesCommand::Map) {
        file.Map = Map(settings, report);
        Record(entry, file.Map);
        return;
    }
    std::optional<TResultRow> row;
    if (command == TSeriesCommand::FreeLevels) {
        file.Free = FitFreeLevels(settings, logPath);
        if (file.Free.Done)
            entry.Free = file.Free.Run;
        if (Record(entry, file.Free) && file.Free.Run.Boltzmann)
            row = file.Free.BoltzmannRow;
        else if (file.Free.Done)
            entry.Problem = MessageText(file.Free.Run.BoltzmannError);
    } else {
        file.Fit = Fit(settings, report, logPath);
        if (Record(entry, file.Fit))
            row = file.Fit.Row;
    }
    if (row) {
        entry.Row = *row;
        entry.TemperatureFitted = settings.FitTemperatureOn;
        entry.Fitted = true;
    }
}

TSeries TZeltApp::RunSeries(const std::vector<std::string>& files, TSeriesCommand command,
                            const TCommandSettings& settings, TReportKind report,
                            const std::string& logPath, const TSeriesHooks& hooks,
                            std::int32_t threads) {
    TSeries series;
    series.Files = files;
    SortNaturally(series.Files);
    std::vector<std::string> names;
    for (const std::string& file : series.Files)
        names.push_back(FileNameOf(file));
    series.Axis = SeriesAxis(names);
    series.Entries.reserve(series.Files.size());
    const bool mapped = command == TSeriesCommand::Map;
    TSeriesLog log(mapped ? "" : SharedLog(logPath));
    // The threads number the files with 32-bit integers.
    if (ThreadCount(threads) > 1 && series.Files.size() > 1 &&
        series.Files.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) &&
        (mapped || log.InMemory())) {
        RunSeriesInParallel(series, command, settings, report, log, hooks, threads);
        return series;
    }
    std::string text; // the log of the file being fitted
    try {
        for (std::size_t i = 0; i < series.Files.size(); ++i) {
            if (i > 0 && hooks.StopRequested && hooks.StopRequested()) {
                series.Stopped = true;
                break;
            }
            if (hooks.Starting)
                hooks.Starting(series);
            TSeriesFile file;
            file.Path = series.Files[i];
            TSeriesEntry entry = EntryOf(series, i);
            {
                const TSeriesLog::TScope scope(log, text);
                SeriesStep(command, settings, report, logPath, file, entry);
            }
            series.Entries.push_back(std::move(entry));
            log.Keep(text);
            if (i + 1 == series.Files.size())
                WriteLog(log, command, file);
            if (hooks.Done)
                hooks.Done(series, file);
        }
    } catch (...) {
        log.Write();
        throw;
    }
    log.Write();
    return series;
}

void TZeltApp::TakeFileOf(const TZeltApp& worker) {
    auto model = std::make_unique<TAtomicData>(*worker.model_,
                                               [this](const std::string& text) { Collect(text); });
    // What belongs to the application rather than to the file stays.
    model->ResultHeaderCount = model_->ResultHeaderCount;
    model->MapThreads = model_->MapThreads;
    model->MapProgress = model_->MapProgress;
    model->Random = model_->Random;
    model_ = std::move(model);
    currentFile_ = worker.currentFile_;
    fitted_ = worker.fitted_;
    if (storeMeasurementFolder_)
        config_.WriteString(kFilesMeasurements.Section, kFilesMeasurements.Key,
                            FolderOf(currentFile_));
}

void TZeltApp::RunSeriesInParallel(TSeries& series, TSeriesCommand command,
                                   const TCommandSettings& settings, TReportKind report,
                                   TSeriesLog& log, const TSeriesHooks& hooks,
                                   std::int32_t threads) {
    const auto count = static_cast<std::int32_t>(series.Files.size());
    const bool mapped = command == TSeriesCommand::Map;
    std::vector<std::unique_ptr<TZeltApp>> workers;
    for (std::int32_t slot = 0; slot < OrderSlots(threads, count); ++slot)
        workers.emplace_back(new TZeltApp(*this, TWorkerCopy{}));
    std::vector<std::string> logs(workers.size()); // the log of the file worked in each slot
    // What a slot's file left for its done: RunInOrder gives a slot no other file before then.
    std::vector<TSeriesFile> files(workers.size());
    std::vector<TSeriesEntry> entries(workers.size());
    std::vector<std::int32_t> resultLines(workers.size());
    const auto work = [&](std::int32_t slot, std::int32_t i) {
        TZeltApp& worker = *workers[slot];
        // Every file's report begins with the column header; the series keeps the first only.
        worker.model_->ResultHeaderCount = 0;
        files[slot] = {};
        files[slot].Path = series.Files[i];
        entries[slot] = EntryOf(series, i);
        const TSeriesLog::TScope scope(log, logs[slot]);
        worker.SeriesStep(command, settings, report, log.File(), files[slot], entries[slot]);
        resultLines[slot] = worker.model_->ResultHeaderCount;
    };
    const auto done = [&](std::int32_t slot, std::int32_t i) {
        TSeriesFile& file = files[slot];
        if (hooks.Starting)
            hooks.Starting(series);
        TOutcome& outcome = mapped                           ? static_cast<TOutcome&>(file.Map)
                            : command == TSeriesCommand::Fit ? static_cast<TOutcome&>(file.Fit)
                                                             : file.Free;
        if (resultLines[slot] > 0 && model_->ResultHeaderCount > 0) {
            const auto header = std::find_if(
                outcome.Report.begin(), outcome.Report.end(),
                [](const std::string& line) { return line.starts_with(kResultHeaderStart); });
            if (header != outcome.Report.end())
                outcome.Report.erase(header);
        }
        model_->ResultHeaderCount = CheckedAdd(model_->ResultHeaderCount, resultLines[slot]);
        log.Keep(logs[slot]);
        if (i + 1 == count)
            WriteLog(log, command, file);
        if (mapped && file.Map.Row) {
            results_.push_back(*file.Map.Row);
            shownMap_.Show(file.Map.Grid, file.Map.Range);
        } else if (!mapped && file.Fit.Row) {
            results_.push_back(*file.Fit.Row);
        }
        series.Entries.push_back(std::move(entries[slot]));
        if (hooks.Done)
            hooks.Done(series, file);
        if (i + 1 < count && hooks.StopRequested && hooks.StopRequested()) {
            series.Stopped = true;
            TakeFileOf(*workers[slot]);
            return false;
        }
        if (i + 1 == count)
            TakeFileOf(*workers[slot]);
        return true;
    };
    try {
        RunInOrder(threads, count, work, done);
    } catch (...) {
        log.Write();
        throw;
    }
    log.Write();
}

namespace {

TLineList Match(const TAtomicData& model, const TDelimitedTable& table,
                const TImportSettings& settings) {
    TLineListOptions options;
    options.Tolerance = settings.Tolerance;
    options.Intensities = settings.Photons ? TIntensityUnit::Photons : TIntensityUnit::Energy;
    return MatchLineList(table, MeasurableLines(model), options);
}

// Writes the measurement file and the table beside it, both or neither. A spectrum or list
// NAME.txt imported into its own folder would be replaced by its measurement file NAME.txt: that
// is refused.
void Write(TImportOutcome& outcome, const std::string& source, const std::string& measurement,
           const std::vector<TMeasuredLine>& lines, const std::string& tableText,
           const std::vector<std::string>& notes) {
    std::error_code error;
    if (std::filesystem::equivalent(PathFromUtf8(source), PathFromUtf8(measurement), error))
        throw EInOutError(
            "\"" + measurement +
            "\" is the file imported: its measurement file needs another name or folder.");
    outcome.Measurement = measurement;
    outcome.Table = LineTableFor(measurement);
    outcome.TableText = tableText;
    SaveFiles({{outcome.Measurement, MeasurementText(lines)}, {outcome.Table, outcome.TableText}});
    outcome.Notes = notes;
}

} // namespace

TImportKind ImportKindOf(const std::string& file) {
    // The question is asked after a read failed: whatever cannot be read offers no import.
    TDelimitedTable table;
    try {
        table = ReadDelimited(file);
    } catch (const std::exception&) {
        return TImportKind::None;
    }
    if (table.Columns.size() < 2)
        return TImportKind::None;
    if (table.Rows() >= kMinSpectrumPixels) {
        try {
            SpectrumFromTable(table, {}, kMinSpectrumPixels);
            return TImportKind::Spectrum;
        } catch (const std::exception&) {
            // Wavelengths out of order or repeated: the rows of a list.
        }
    }
    return TImportKind::LineList;
}

TImportOutcome TZeltApp::ImportSpectrum(const std::string& file, const std::string& folder,
                                        const TImportSettings& settings) {
    return Guard<TImportOutcome>([&](TImportOutcome& outcome) {
        const TIntegration result =
            TSpectrumImport(*model_, config_, species_, settings).Integrate(ReadSpectrum(file, {}));
        Write(outcome, file, MeasurementFileFor(folder, file), result.Measurement(),
              IntegrationTable(result), result.Notes);
    });
}

void TZeltApp::ImportSpectra(
    const std::vector<std::string>& files, const std::string& folder,
    const TImportSettings& settings, std::int32_t threads,
    const std::function<void(const std::string& file, const TImportOutcome& outcome)>& done) {
    // Each file's outcome is made here, on the calling thread, as ImportSpectrum makes it: an
    // error of a thread is raised again inside Guard, which gives its text and kind.
    const auto write = [&](const std::string& file, const TIntegration& result,
                           const std::exception_ptr& error) {
        done(file, Guard<TImportOutcome>([&](TImportOutcome& outcome) {
                 if (error)
                     std::rethrow_exception(error);
                 Write(outcome, file, MeasurementFileFor(folder, file), result.Measurement(),
                       IntegrationTable(result), result.Notes);
             }));
    };
    std::optional<TSpectrumImport> import;
    try {
        FpReset();
        import.emplace(*model_, config_, species_, settings);
    } catch (...) {
        // What every file would meet (a response file that cannot be read): each says so.
        for (const std::string& file : files)
            write(file, TIntegration(), std::current_exception());
        return;
    }
    import->IntegrateFiles(files, threads, write);
}

TImportOutcome TZeltApp::ImportLineList(const std::string& file, const std::string& folder,
                                        const TImportSettings& settings) {
    return Guard<TImportOutcome>([&](TImportOutcome& outcome) {
        const TLineList list = Match(*model_, ReadDelimited(file), settings);
        Write(outcome, file, MeasurementFileFor(folder, file), list.Lines, LineListTable(list),
              list.Notes);
    });
}

TSpectrumOutcome TZeltApp::IntegrateSpectrum(const std::string& file,
                                             const TImportSettings& settings) {
    return Guard<TSpectrumOutcome>([&](TSpectrumOutcome& outcome) {
        outcome.Spectrum = ReadSpectrum(file, {});
        outcome.Integration =
            TSpectrumImport(*model_, config_, species_, settings).Integrate(outcome.Spectrum);
    });
}

TLineListOutcome TZeltApp::MatchLines(const std::string& file, const TImportSettings& settings) {
    return Guard<TLineListOutcome>([&](TLineListOutcome& outcome) {
        outcome.List = Match(*model_, ReadDelimited(file), settings);
    });
}

TImportOutcome TZeltApp::WriteImport(const std::string& source, const std::string& measurement,
                                     const std::vector<TMeasuredLine>& lines,
                                     const std::string& tableText,
                                     const std::vector<std::string>& notes) {
    return Guard<TImportOutcome>([&](TImportOutcome& outcome) {
        Write(outcome, source, measurement, lines, tableText, notes);
    });
}

} // namespace zelt
