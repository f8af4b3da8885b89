// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main.h"

#include "app/commands.h"
#include "app/datafolders.h"
#include "app/listing.h"
#include "app/resultrow.h"
#include "app/shownmap.h"
#include "app/tables.h"
#include "app/tsv.h"
#include "common/codepage.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"
#include "shell/commandgate.h"
#include "shell/escapebox.h"
#include "shell/filedrop.h"
#include "shell/filelistbox.h"
#include "shell/freelevelsview.h"
#include "shell/imagesizedialog.h"
#include "shell/linetable.h"
#include "shell/maprun.h"
#include "shell/messagearea.h"
#include "shell/numberedit.h"
#include "shell/regionoverlay.h"
#include "shell/seriespage.h"
#include "shell/seriesrun.h"
#include "shell/spectrumpage.h"
#include "shell/windowhelp.h"
#include "shell/windowmemory.h"
#include "shell/windowtext.h"
#include "widgets/chart.h"
#include "widgets/contourplot.h"
#include "widgets/seriesplot.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTime>

#include <array>
#include <cmath>
#include <new>

namespace zelt {

namespace {

const QColor kTitleRowColour(20, 20, 20);
const QColor kBandColours[2] = {QColor(255, 255, 255), QColor(198, 226, 255)};

// The busy cursor while a command runs; the normal one comes back at its end, also after an
// error.
struct TBusyCursor {
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace

bool PassNecessaryFilesCheck(TDialogs& dialogs, const std::string& userFolder,
                             const std::vector<std::string>& commonFolders) {
    if (CheckNecessaryFiles(userFolder, commonFolders))
        return true;
    dialogs.Message(QString::fromLatin1(kMissingFilesMessage));
    return false;
}

QColor BarColour(std::int32_t upperLevel) {
    static const std::array<QColor, 16> palette = {
        QColor(255, 0, 0),     QColor(0, 128, 0),     QColor(255, 255, 0), QColor(0, 0, 255),
        QColor(255, 255, 255), QColor(128, 128, 128), QColor(255, 0, 255), QColor(0, 128, 128),
        QColor(0, 0, 128),     QColor(128, 0, 0),     QColor(0, 255, 0),   QColor(128, 128, 0),
        QColor(128, 0, 128),   QColor(192, 192, 192), QColor(0, 255, 255), QColor(0, 0, 0)};
    const int index = ((upperLevel % 16) + 16) % 16;
    return palette[static_cast<std::size_t>(index)];
}

TMainForm::TMainForm(TDialogs& dialogs, const std::string& configFile, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), app_(configFile) {
    // Every number the window shows reads with '.', whatever the user's locale: the plots take
    // their tick labels' locale from the widget.
    QLocale::setDefault(QLocale::c());
    CreateControls();
    AddControlHelp(*this);
    for (QCustomPlot* plot : findChildren<QCustomPlot*>())
        plot->setLocale(QLocale::c());
    seriesRun_ =
        new TSeriesRun(*this, app_, dialogs_, *messages_, plotPages_, seriesPage_, commandAreas_);
    mapRun_ = new TMapRun(*this, app_, *messages_, commandAreas_, contourPlot_);
    new TFileDrop(*this, [this](const QString& path) { OpenDropped(path); });
    QList<TNumberEdit*> edits;
    for (const TSetting& setting : Settings())
        if (!setting.InSpeciesSection())
            edits.append(Edit(setting));
    gate_ = std::make_unique<TCommandGate>(*grid_, edits, *messages_);
    memory_ = std::make_unique<TWindowMemory>(
        FromStd(JoinPath(FolderOf(configFile), "zeltfit-window.ini")));
    FormCreate();
    memory_->Restore(*this);
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    // Without a species the species change at the end says it, once.
    if (!app_.Config().Problem().empty() && !app_.SpeciesList().empty())
        dialogs_.Message(FromStd(app_.Config().Problem()));
    const TConfigView config = app_.Config().View();
    databaseFolder_ =
        config.ReadString(kFilesDatabase.Section, kFilesDatabase.Key, kFilesDatabase.Default);
    // Systems without drive letters have no "C:\": the home folder takes its place.
    openDialogFolder_ = FromStd(config.ReadString(
        kFilesMeasurements.Section, kFilesMeasurements.Key, kFilesMeasurements.Default));
    if (openDialogFolder_.isEmpty())
        openDialogFolder_ = QDir::homePath();
    FillSpecies();
    FillEdits();
    tablePages_->setCurrentIndex(0);
    plotPages_->setCurrentIndex(0);
    Guarded([this] {
        const TCommandSettings settings = SettingsFromWindow();
        if (!ShowOutcome(app_.SizeMap(settings)))
            return;
        const TMapArguments range = MapArguments(settings);
        contourPlot_->SetDataRange(range.FromLogDensity, range.ToLogDensity, range.FromTemperature,
                                   range.ToTemperature);
    });
    contourPlot_->Redraw();
    grid_->SetRowColours({kTitleRowColour, kBandColours[0]});
    QStringList titles;
    for (const std::string& title : TableTitles())
        titles.append(FromStd(title));
    grid_->SetTitles(titles);
    AutoSizeColumns();
    PointFileList(QDir(openDialogFolder_).exists() ? openDialogFolder_ : QDir::currentPath(),
                  QString());
    ElementListBoxChange();
}

void TMainForm::FillSpecies() {
    const QSignalBlocker blocker(elementListBox_);
    for (const std::string& section : app_.SpeciesList())
        elementListBox_->addItem(FromCoreText(section), QByteArray::fromStdString(section));
    if (elementListBox_->count() > 0)
        elementListBox_->setCurrentIndex(0);
}

TNumberEdit* TMainForm::Edit(const TSetting& setting) const {
    return findChild<TNumberEdit*>(QString::fromLatin1(
        setting.EditName.data(), static_cast<qsizetype>(setting.EditName.size())));
}

void TMainForm::FillEdits() {
    editSettings_ = TEditSettings(app_.Config().View());
    for (const TSetting& setting : Settings())
        if (!setting.InSpeciesSection())
            Edit(setting)->setText(FromStd(editSettings_.StartText(setting)));
    escapeAtStart_ = app_.ConfiguredSettings().Escape;
    escapeBox_->SetChoice(escapeAtStart_);
}

void TMainForm::FormClose() {
    try {
        // The keys this window changed, in one replacement of the file as it is now.
        app_.Config().Update([&](TIniText& ini) {
            if (escapeBox_->Choice() != escapeAtStart_)
                StoreEscape(ini, escapeBox_->Choice());
            editSettings_.StoreChanges(
                ini, [&](const TSetting& setting) { return Edit(setting)->text().toStdString(); });
        });
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

bool TMainForm::MayClose() {
    const bool series = seriesUnsaved_ && !seriesRun_->Entries().empty();
    if (!reportUnsaved_ && !series)
        return true;
    const QString what = reportUnsaved_ && series ? QStringLiteral("The report and the series have")
                         : reportUnsaved_         ? QStringLiteral("The report has")
                                                  : QStringLiteral("The series has");
    switch (dialogs_.AskUnsaved(what + QStringLiteral(" not been saved. Save before closing?"))) {
    case TDialogs::TUnsavedChoice::Discard:
        return true;
    case TDialogs::TUnsavedChoice::Cancel:
        return false;
    case TDialogs::TUnsavedChoice::Save:
        break;
    }
    if (reportUnsaved_)
        SaveButtonClick();
    if (series)
        SaveSeriesClick();
    return !reportUnsaved_ && !seriesUnsaved_;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!closed_ && !MayClose()) {
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        memory_->Store(*this);
        FormClose();
    }
    event->accept();
}

void TMainForm::ReportError(const std::exception& error) {
    const QString text = dynamic_cast<const std::bad_alloc*>(&error) != nullptr
                             ? FromStd(ErrorReportText("Not enough memory for this command"))
                             : FromCoreText(ErrorReportText(error.what()));
    messages_->Show(TMessageArea::TKind::Error, text, CurrentFile());
    dialogs_.Error(text);
}

void TMainForm::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

bool TMainForm::ShowOutcome(const TOutcome& outcome, const QString& file) {
    if (seriesRun_ != nullptr && seriesRun_->Running())
        return outcome.Done;
    for (const std::string& message : outcome.Messages) {
        messages_->Show(TMessageArea::TKind::Note, FromStd(message), file);
        dialogs_.Message(FromStd(message));
    }
    if (!outcome.Done && !outcome.Error.empty()) {
        messages_->Show(TMessageArea::TKind::Error, FromStd(outcome.Error), file);
        dialogs_.Error(FromStd(outcome.Error));
    }
    return outcome.Done;
}

void TMainForm::Starting() {
    messages_->Clear();
}

void TMainForm::ShowQuality(const TResultRow& row) {
    const QString text = FromStd(QualityText(row));
    reportsMemo_->setToolTip(text);
    messages_->Show(row.Quality.Flagged() ? TMessageArea::TKind::Warning
                                          : TMessageArea::TKind::Result,
                    text, CurrentFile());
}

void TMainForm::ElementListBoxChange() {
    Starting();
    const std::string section = elementListBox_->currentData().toByteArray().toStdString();
    if (ShowOutcome(app_.ChangeSpecies(section))) {
        ClearResults();
        levelsBox_->clear();
        for (const std::string& line : app_.ListLevels())
            levelsBox_->addItem(FromCp1252(line));
        linesBox_->clear();
        for (const std::string& line : app_.ListLines(allLinesCheckBox_->isChecked()))
            linesBox_->addItem(FromCp1252(line));
    }
    // A species change empties the selected lines even when its loading fails: the table then
    // follows, so that no row is left without its line.
    if (grid_->rowCount() - 1 != app_.Lines().Lines.size())
        ClearResults();
}

void TMainForm::ClearResults() {
    grid_->SetRowCount(1);
    chart_->ClearSeries();
    chart_->Redraw();
}

void TMainForm::AutoSizeColumns() {
    grid_->AutoSizeColumns();
}

void TMainForm::ShowBranchingFractions(const TLineSnapshot& lines) {
    QVector<TColouredBars::TBar> measured;
    QVector<double> wavelengths, absorptionFree, fitted;
    const std::vector<TTableRow> rows = LineTable(lines);
    for (int r = 1; r < grid_->rowCount(); ++r) {
        const TLine& line = lines.Lines[r - 1];
        const double x = line.Data.Wavelength;
        for (std::size_t c = 2; c <= 4; ++c)
            grid_->SetCellText(static_cast<int>(c), r,
                               FromStd(rows[static_cast<std::size_t>(r)][c]));
        wavelengths.append(x);
        absorptionFree.append(line.BFTheory);
        fitted.append(line.BFFit);
        measured.append({x, line.BFMeasured, BarColour(line.UpperLevel)});
    }
    chart_->SetFree(wavelengths, absorptionFree);
    chart_->SetFitted(lines.Fitted ? wavelengths : QVector<double>(),
                      lines.Fitted ? fitted : QVector<double>());
    chart_->SetMeasured(measured);
    chart_->Redraw();
    AutoSizeColumns();
}

void TMainForm::RecalculateBF() {
    if (!gate_->Open())
        return;
    Starting();
    const TLinesOutcome outcome = app_.RecalculateBF();
    if (ShowOutcome(outcome, CurrentFile()))
        ShowBranchingFractions(outcome.Lines);
}

bool TMainForm::CommitIntensity(int row, const QString& text) {
    double value = 0;
    if (!TryStrToFloat(text.toStdString(), value))
        return false;
    // The commit of a cell reports nothing: a row without its line changes nothing, and with a
    // single line the fractions stay as they are.
    const TLinesOutcome outcome = app_.SetIntensity(row - 1, value);
    if (outcome.Done)
        ShowBranchingFractions(outcome.Lines);
    return true;
}

void TMainForm::FillTableRows(const TLineSnapshot& lines) {
    const std::vector<TTableRow> rows = LineTable(lines);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const int row = grid_->AddRow();
        for (std::size_t c : {0, 1, 5, 6, 7, 8})
            grid_->SetCellText(static_cast<int>(c), row, FromCp1252(rows[r][c]));
    }
}

// Rows with the same upper energy form bands of alternating white and light blue.
void TMainForm::RebuildRowColours() {
    QVector<QColor> colours;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        if (r == 0)
            colours.append(kTitleRowColour);
        else if (r == 1)
            colours.append(kBandColours[0]);
        else if (grid_->CellText(5, r) == grid_->CellText(5, r - 1))
            colours.append(colours[r - 1]);
        else
            colours.append(colours[r - 1] == kBandColours[0] ? kBandColours[1] : kBandColours[0]);
    }
    grid_->SetRowColours(colours);
}

QString TMainForm::CurrentFile() const {
    return FromStd(app_.CurrentFile());
}

void TMainForm::ReadBtnClick(TSender sender, QString file) {
    if (!gate_->Open())
        return;
    if (sender == TSender::ReadBtn) {
        file = dialogs_.OpenFileName(openDialogFolder_, CurrentFile());
        if (file.isEmpty()) {
            ShowPosition();
            return;
        }
    }
    Starting();
    const TLinesOutcome outcome = app_.ReadMeasurement(file.toStdString());
    if (ShowRead(outcome))
        ShowPosition();
    // A raw spectrum or a line list of approximate wavelengths stops the reader: the Spectrum
    // page can import it.
    if (!outcome.Done || !outcome.Messages.empty())
        spectrumPage_->OfferImport(file);
}

bool TMainForm::ShowRead(const TLinesOutcome& outcome) {
    ClearResults();
    // The fit shown on the map belongs to the lines before; the map stays, named by its caption.
    regionOverlay_->LinesChanged();
    if (!ShowOutcome(outcome, CurrentFile())) {
        if (!outcome.Cause.empty())
            messages_->Show(TMessageArea::TKind::Error, FromStd(outcome.Cause), CurrentFile());
        return false;
    }
    FillTableRows(outcome.Lines);
    AutoSizeColumns();
    RebuildRowColours();
    if (outcome.Lines.Fractions)
        ShowBranchingFractions(outcome.Lines);
    tablePages_->setCurrentIndex(0);
    for (const std::string& warning : outcome.Warnings)
        messages_->Show(TMessageArea::TKind::Warning, FromStd(warning), CurrentFile());
    const std::string file = app_.CurrentFile();
    setWindowTitle(Caption() + QStringLiteral(" - ") + FromStd(file));
    PointFileList(FromStd(FolderOf(file)), FromStd(FileNameOf(file)));
    return true;
}

void TMainForm::PointFileList(const QString& folder, const QString& fileName) {
    fileListFolder_ = folder;
    fileListBox_->clear();
    QStringList names;
    for (const std::string& name : MeasurementNames(folder.toStdString()))
        names.append(FromStd(name));
    fileListBox_->addItems(names);
    fileListBox_->setCurrentRow(-1);
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(fileName, Qt::CaseInsensitive) == 0) {
            fileListBox_->setCurrentRow(i);
            break;
        }
}

void TMainForm::ShowPosition() {
    const int count = fileListBox_->count();
    if (count > 1)
        positionPanel_->setText(
            FromStd(Format("  File %d/%d in folder", {fileListBox_->currentRow() + 1, count})));
    else
        positionPanel_->clear();
}

void TMainForm::NextFileClick() {
    const int count = fileListBox_->count();
    if (count == 0 || !gate_->Open())
        return;
    const int next = (fileListBox_->currentRow() + 1) % count;
    fileListBox_->setCurrentRow(next);
    ReadBtnClick(TSender::NextBtn,
                 FromStd(JoinPath(fileListFolder_.toStdString(),
                                  fileListBox_->item(next)->text().toStdString())));
}

void TMainForm::FileListBoxClick() {
    const int row = fileListBox_->currentRow();
    if (fileListBox_->count() == 0 || row < 0)
        return;
    if (!gate_->Open()) {
        PointFileList(fileListFolder_, FromStd(FileNameOf(app_.CurrentFile())));
        return;
    }
    ReadBtnClick(TSender::FileListBox,
                 FromStd(JoinPath(fileListFolder_.toStdString(),
                                  fileListBox_->item(row)->text().toStdString())));
}

void TMainForm::OpenDropped(const QString& path) {
    if (seriesRun_->Running() || mapRun_->Running() || !gate_->Open())
        return;
    if (QFileInfo(path).isDir()) {
        Starting();
        PointFileList(path, QString());
        ShowPosition();
        return;
    }
    ReadBtnClick(TSender::FileListBox, path);
}

TCommandSettings TMainForm::SettingsFromWindow() const {
    TCommandSettings settings;
    for (const TSetting& setting : Settings())
        if (!setting.InSpeciesSection())
            SetFromText(settings, setting, Edit(setting)->text().toStdString());
    settings.FitTemperatureOn = fitTempCheckBox_->isChecked();
    settings.Escape = escapeBox_->Choice();
    return settings;
}

TReportKind TMainForm::ReportKind() const {
    return reportComboBox_->currentIndex() == 1 ? ReportFitIteration : ReportFinalResults;
}

void TMainForm::AppendReport(const TReportList& report) {
    reportUnsaved_ = reportUnsaved_ || !report.empty();
    for (const std::string& line : report)
        reportsMemo_->appendPlainText(FromCp1252(line));
    // The caret at the start of the last line, so that the view shows the lines' beginnings.
    reportsMemo_->moveCursor(QTextCursor::End);
    reportsMemo_->moveCursor(QTextCursor::StartOfLine);
    reportsMemo_->ensureCursorVisible();
}

void TMainForm::ShowMap(const TMapOutcome& map) {
    const TParamVector& p = map.Params;
    const TMapRange& range = map.Range;
    contourPlot_->SetDataRange(range.FromLogDensity, range.ToLogDensity, range.FromTemperature,
                               range.ToTemperature);
    contourPlot_->SetLowIso(static_cast<double>(Slot(p, ResultRSS)));
    contourPlot_->SetHighIso(static_cast<double>(Slot(p, ResultCode)));
    contourPlot_->SetScaleRange(contourPlot_->LowIso(), contourPlot_->HighIso());
    contourPlot_->SetBestPoint(static_cast<double>(Slot(p, LogDensity)),
                               static_cast<double>(Slot(p, Temperature)));
    // The map stays when another file is read: its caption says which file and when.
    contourPlot_->SetCaption(QStringLiteral("%1, %2").arg(
        FromStd(FileNameOf(app_.CurrentFile())), QTime::currentTime().toString("HH:mm:ss")));
    mapValuePanel_->clear();
    contourPlot_->Redraw();
}

void TMainForm::Iterate() {
    if (mapRun_->Running() || !gate_->Open())
        return;
    Guarded([this] {
        const TCommandSettings settings = SettingsFromWindow();
        Starting();
        const TMapOutcome outcome = mapRun_->Run(settings, ReportKind());
        if (outcome.Kind == TErrorKind::Cancelled) {
            messages_->Show(TMessageArea::TKind::Note,
                            QStringLiteral("Map cancelled: the previous map stays."),
                            CurrentFile());
            return;
        }
        AppendReport(outcome.Report);
        if (!ShowOutcome(outcome, CurrentFile()))
            return;
        ShowMap(outcome);
        regionOverlay_->ShowMap(outcome);
        ShowBranchingFractions(outcome.Lines);
        ShowQuality(*outcome.Row);
        if (const std::string problem = MapDrawingProblem(outcome.Range); !problem.empty())
            messages_->Show(TMessageArea::TKind::Warning, FromStd(problem), CurrentFile());
    });
}

std::optional<TFitResult> TMainForm::Fit() {
    std::optional<TFitResult> result;
    if (!gate_->Open())
        return result;
    const TBusyCursor busy;
    Starting();
    Guarded([&] {
        if (freeLevels_->On()) {
            const TFreeLevelsOutcome outcome = app_.FitFreeLevels(SettingsFromWindow(), {});
            if (ShowFreeFit(outcome))
                result = outcome.Run.Free.Fit;
            return;
        }
        const TFitOutcome outcome = app_.Fit(SettingsFromWindow(), ReportKind(), {});
        if (ShowFit(outcome))
            result = outcome.Result;
    });
    return result;
}

// The result line and the F-test, then the levels as zeltfit-cli prints them; the chart's
// fitted fractions and the page of the levels.
bool TMainForm::ShowFreeFit(const TFreeLevelsOutcome& outcome, bool withReport) {
    if (withReport)
        AppendReport(FreeLevelsReport(outcome));
    if (!ShowOutcome(outcome, CurrentFile()))
        return false;
    ShowBranchingFractions(outcome.Lines);
    freeLevels_->Show(outcome, FromStd(FileNameOf(app_.CurrentFile())) + QStringLiteral(": ") +
                                   FromCp1252(ComparisonText(outcome.Run)));
    if (outcome.BoltzmannRow)
        ShowQuality(*outcome.BoltzmannRow);
    if (Flagged(outcome))
        messages_->Show(
            TMessageArea::TKind::Warning,
            QStringLiteral("A lower level is not determined: its lines are optically thin or were "
                           "not measured (see \"Free levels\")"),
            CurrentFile());
    return true;
}

bool TMainForm::ShowFit(const TFitOutcome& outcome, bool withReport) {
    if (withReport)
        AppendReport(outcome.Report);
    if (!ShowOutcome(outcome, CurrentFile()))
        return false;
    regionOverlay_->ShowFit(outcome);
    ShowBranchingFractions(outcome.Lines);
    ShowQuality(*outcome.Row);
    return true;
}

void TMainForm::FitAllClick() {
    if (seriesRun_->Running() || fileListBox_->count() == 0 || !gate_->Open())
        return;
    std::vector<std::string> files;
    for (int row = 0; row < fileListBox_->count(); ++row)
        files.push_back(
            JoinPath(fileListFolder_.toStdString(), fileListBox_->item(row)->text().toStdString()));
    seriesUnsaved_ = true;
    Starting();
    const bool free = freeLevels_->On();
    Guarded([&] {
        seriesRun_->Run(
            files, free ? TSeriesCommand::FreeLevels : TSeriesCommand::Fit, SettingsFromWindow(),
            ReportKind(), [this](const TReportList& report) { AppendReport(report); },
            [this, free](const TSeriesFile& file) {
                if (ShowRead(file.Read)) {
                    if (free)
                        ShowFreeFit(file.Free, false);
                    else
                        ShowFit(file.Fit, false);
                }
                ShowPosition();
            });
    });
}

void TMainForm::Button5Click() {
    for (int run = 0; run < 100; ++run)
        Fit();
}

double TMainForm::ContourPlotEstimateZVal(double x, double y) const {
    return app_.ShownMap().ValueAt(x, y);
}

} // namespace zelt
