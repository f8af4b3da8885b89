// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "app/commands.h"
#include "app/listing.h"
#include "common/codepage.h"
#include "common/errors.h"
#include "common/fpcheck.h"
#include "common/safefile.h"
#include "common/textfile.h"
#include "spectrum/integration.h"
#include "spectrum/linelist.h"

#include <algorithm>
#include <new>
#include <optional>

namespace zelt {

namespace {

// A series entry's problem and notes from the outcome of one of its steps; false when the
// step failed.
bool Record(TSeriesEntry& entry, const TOutcome& outcome) {
    entry.Notes.insert(entry.Notes.end(), outcome.Messages.begin(), outcome.Messages.end());
    if (!outcome.Done)
        entry.Problem = outcome.Error;
    return outcome.Done;
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

std::string MessageText(const std::string& text) {
    return MixedToUtf8(text);
}

TZeltApp::TZeltApp(const std::string& configFile)
    : config_(configFile),
      model_([this](const std::string& text) { messages_.push_back(MessageText(text)); }) {}

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
        outcome.Error = ErrorReportText("Not enough memory for this command");
    } catch (const std::exception& error) {
        outcome.Done = false;
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

std::vector<std::string> TZeltApp::SpeciesList() const {
    return SpeciesSections(config_);
}

TCommandSettings TZeltApp::ConfiguredSettings() const {
    return ReadSettings(config_, species_);
}

TOutcome TZeltApp::ChangeSpecies(const std::string& species) {
    species_ = species;
    return Guard<TOutcome>([&](TOutcome& outcome) {
        try {
            LoadSpecies(model_, config_, species);
        } catch (const EInOutError& error) {
            outcome.Done = false;
            outcome.Messages.push_back("File error: " + MessageText(error.what()));
        }
    });
}

TOutcome TZeltApp::ReadMeasurement(const std::string& file) {
    currentFile_ = file;
    return Guard<TOutcome>([&](TOutcome& outcome) {
        model_.ImportLines(file);
        for (const std::string& warning : model_.ImportWarnings)
            outcome.Warnings.push_back(MessageText(warning));
        ReadUncertainties(model_, file);
        if (HasFractions(model_))
            model_.CalcBranchingFractions();
        if (storeMeasurementFolder_)
            config_.WriteString(FilesMeasurements.Section, FilesMeasurements.Key, FolderOf(file));
    });
}

TOutcome TZeltApp::RecalculateBF() {
    return Guard<TOutcome>([&](TOutcome&) {
        RequireFractions(model_);
        model_.CalcBranchingFractions();
    });
}

TOutcome TZeltApp::SizeMap(const TCommandSettings& settings) {
    return Guard<TOutcome>([&](TOutcome&) {
        CheckMapSize(settings);
        model_.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    });
}

TMapOutcome TZeltApp::Map(TCommandSettings settings, TReportKind report) {
    return Guard<TMapOutcome>([&](TMapOutcome& outcome) {
        settings = WithSpeciesKeys(settings);
        outcome.Params = RunMap(model_, settings, FileNameOf(currentFile_), outcome.Report, report);
        shownMap_.Show(model_.RSSMap, model_.MapRange);
        outcome.Quality = model_.MapQuality;
        outcome.Row = MapRow(model_, outcome.Params, FileNameOf(currentFile_),
                             Provenance(config_.View(), species_, settings, false));
        results_.push_back(*outcome.Row);
    });
}

TFitOutcome TZeltApp::Fit(TCommandSettings settings, TReportKind report,
                          const std::string& logPath) {
    return Guard<TFitOutcome>([&](TFitOutcome& outcome) {
        settings = WithSpeciesKeys(settings);
        outcome.Result =
            RunFit(model_, settings, FileNameOf(currentFile_), logPath, outcome.Report, report);
        outcome.Row = FitRow(model_, outcome.Result, FileNameOf(currentFile_),
                             Provenance(config_.View(), species_, settings, true));
        results_.push_back(*outcome.Row);
    });
}

TFreeLevelsOutcome TZeltApp::FitFreeLevels(TCommandSettings settings, const std::string& logPath) {
    return Guard<TFreeLevelsOutcome>([&](TFreeLevelsOutcome& outcome) {
        outcome.Run = RunFreeLevels(model_, WithSpeciesKeys(settings), FileNameOf(currentFile_),
                                    logPath, outcome.Report);
    });
}

TSeries TZeltApp::RunSeries(const std::vector<std::string>& files, TSeriesCommand command,
                            const TCommandSettings& settings, TReportKind report,
                            const std::string& logPath, const TSeriesHooks& hooks) {
    TSeries series;
    series.Files = files;
    SortNaturally(series.Files);
    std::vector<std::string> names;
    for (const std::string& file : series.Files)
        names.push_back(FileNameOf(file));
    series.Axis = SeriesAxis(names);
    for (std::size_t i = 0; i < series.Files.size(); ++i) {
        if (i > 0 && hooks.StopRequested && hooks.StopRequested()) {
            series.Stopped = true;
            break;
        }
        if (hooks.Starting)
            hooks.Starting(series);
        TSeriesFile file;
        file.Path = series.Files[i];
        TSeriesEntry entry;
        entry.File = names[i];
        entry.X = series.Axis.X[i];
        entry.XFromNames = series.Axis.FromNames;
        entry.XText = series.Axis.Caption;
        file.Read = ReadMeasurement(file.Path);
        if (Record(entry, file.Read)) {
            if (command == TSeriesCommand::Map) {
                file.Map = Map(settings, report);
                Record(entry, file.Map);
            } else {
                file.Fit = Fit(settings, report, logPath);
                if (Record(entry, file.Fit)) {
                    entry.Row = *file.Fit.Row;
                    entry.TemperatureFitted = settings.FitTemperatureOn;
                    entry.Fitted = true;
                }
            }
        }
        series.Entries.push_back(std::move(entry));
        if (hooks.Done)
            hooks.Done(series, file);
    }
    return series;
}

namespace {

// folder/NAME.txt for the file folder/NAME.ext.
std::string MeasurementIn(const std::string& folder, const std::string& file) {
    std::string name = FileNameOf(file);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    return JoinPath(folder, name + ".txt");
}

} // namespace

TImportOutcome TZeltApp::ImportSpectrum(const std::string& file, const std::string& folder,
                                        const TImportSettings& settings) {
    return Guard<TImportOutcome>([&](TImportOutcome& outcome) {
        std::optional<TResponse> response;
        if (!settings.Response.empty())
            response.emplace(settings.Response, TResponseUnit::PerPhoton);
        TIntegrationOptions options;
        options.Window = settings.Window;
        options.SumBlends = settings.SumBlends;
        options.Response = response ? &*response : nullptr;
        const TIntegration result =
            IntegrateLines(ReadSpectrum(file, {}), MeasurableLines(model_), options);
        outcome.Measurement = MeasurementIn(folder, file);
        outcome.Table = LineTableFor(outcome.Measurement);
        outcome.TableText = IntegrationTable(result);
        WriteMeasurement(outcome.Measurement, result.Measurement());
        SaveFile(outcome.Table, outcome.TableText);
        outcome.Notes = result.Notes;
    });
}

TImportOutcome TZeltApp::ImportLineList(const std::string& file, const std::string& folder,
                                        const TImportSettings& settings) {
    return Guard<TImportOutcome>([&](TImportOutcome& outcome) {
        TLineListOptions options;
        options.Tolerance = settings.Tolerance;
        options.Intensities = settings.Photons ? TIntensityUnit::Photons : TIntensityUnit::Energy;
        const TLineList list = MatchLineList(ReadDelimited(file), MeasurableLines(model_), options);
        outcome.Measurement = MeasurementIn(folder, file);
        outcome.Table = LineTableFor(outcome.Measurement);
        outcome.TableText = LineListTable(list);
        WriteMeasurement(outcome.Measurement, list.Lines);
        SaveFile(outcome.Table, outcome.TableText);
        outcome.Notes = list.Notes;
    });
}

} // namespace zelt
