// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "app/commands.h"
#include "app/listing.h"
#include "app/readproblem.h"
#include "common/codepage.h"
#include "common/errors.h"
#include "common/fpcheck.h"
#include "common/safefile.h"
#include "common/textfile.h"
#include "spectrum/integration.h"
#include "spectrum/linelist.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>

namespace zelt {

namespace {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80                    ? 1
                                   : byte >= 0xC2 && byte <= 0xDF ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0);
        if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second > 0x9F) ||
            (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F))
            return false;
        i += length;
    }
    return true;
}

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
    return IsUtf8(text) ? text : Cp1252ToUtf8(text);
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
    TOutcome read = Guard<TOutcome>([&](TOutcome& outcome) {
        model_.ImportLines(file);
        for (const std::string& warning : model_.ImportWarnings)
            outcome.Warnings.push_back(MessageText(warning));
        ReadUncertainties(model_, file);
        if (HasFractions(model_))
            model_.CalcBranchingFractions();
        if (storeMeasurementFolder_)
            config_.WriteString(FilesMeasurements.Section, FilesMeasurements.Key, FolderOf(file));
    });
    if (!read.Done && !read.Error.empty())
        read.Cause = MessageText(MeasurementFileProblem(file));
    return read;
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

TMapOutcome TZeltApp::Map(TCommandSettings settings, TReportKind report,
                          const std::function<bool(std::int32_t, std::int32_t)>& progress) {
    return Guard<TMapOutcome>([&](TMapOutcome& outcome) {
        settings = WithSpeciesKeys(settings);
        // What a map changes in the line model, put back when it is cancelled.
        const TResidualGrid grid = model_.RSSMap;
        const TMapRange range = model_.MapRange;
        const TFitQuality quality = model_.MapQuality;
        const TCheckedVector<TLevel> levels = model_.Levels;
        const TCheckedVector<TLine> lines = model_.SelectedLines;
        // The hook belongs to this map only, also when it ends with an error.
        struct TProgressScope {
            TAtomicData& Model;
            ~TProgressScope() { Model.MapProgress = {}; }
        } scope{model_};
        model_.MapProgress = progress;
        try {
            outcome.Params =
                RunMap(model_, settings, FileNameOf(currentFile_), outcome.Report, report);
        } catch (const EAbort&) {
            model_.RSSMap = grid;
            model_.MapRange = range;
            model_.MapQuality = quality;
            model_.Levels = levels;
            model_.SelectedLines = lines;
            outcome.Cancelled = true;
            throw;
        }
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

// The integration of a spectrum with the settings of an import.
TIntegration Integrate(const TAtomicData& model, const TRawSpectrum& spectrum,
                       const TImportSettings& settings) {
    std::optional<TResponse> response;
    if (!settings.Response.empty())
        response.emplace(settings.Response, TResponseUnit::PerPhoton);
    TIntegrationOptions options;
    options.Window = settings.Window;
    options.SumBlends = settings.SumBlends;
    options.Response = response ? &*response : nullptr;
    return IntegrateLines(spectrum, MeasurableLines(model), options);
}

TLineList Match(const TAtomicData& model, const TDelimitedTable& table,
                const TImportSettings& settings) {
    TLineListOptions options;
    options.Tolerance = settings.Tolerance;
    options.Intensities = settings.Photons ? TIntensityUnit::Photons : TIntensityUnit::Energy;
    return MatchLineList(table, MeasurableLines(model), options);
}

// Writes the measurement file and the table beside it. A spectrum or list NAME.txt imported into
// its own folder would be replaced by its measurement file NAME.txt: that is refused.
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
    WriteMeasurement(outcome.Measurement, lines);
    SaveFile(outcome.Table, outcome.TableText);
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
        const TIntegration result = Integrate(model_, ReadSpectrum(file, {}), settings);
        Write(outcome, file, MeasurementIn(folder, file), result.Measurement(),
              IntegrationTable(result), result.Notes);
    });
}

TImportOutcome TZeltApp::ImportLineList(const std::string& file, const std::string& folder,
                                        const TImportSettings& settings) {
    return Guard<TImportOutcome>([&](TImportOutcome& outcome) {
        const TLineList list = Match(model_, ReadDelimited(file), settings);
        Write(outcome, file, MeasurementIn(folder, file), list.Lines, LineListTable(list),
              list.Notes);
    });
}

TSpectrumOutcome TZeltApp::IntegrateSpectrum(const std::string& file,
                                             const TImportSettings& settings) {
    return Guard<TSpectrumOutcome>([&](TSpectrumOutcome& outcome) {
        outcome.Spectrum = ReadSpectrum(file, {});
        outcome.Integration = Integrate(model_, outcome.Spectrum, settings);
    });
}

TLineListOutcome TZeltApp::MatchLines(const std::string& file, const TImportSettings& settings) {
    return Guard<TLineListOutcome>([&](TLineListOutcome& outcome) {
        outcome.List = Match(model_, ReadDelimited(file), settings);
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
