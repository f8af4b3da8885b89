// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the species and its database listings, the table and chart of the selected
// lines with their branching fractions, the measurement files, the map and fit settings, the
// report memo and the status bar. Every command runs to completion in its handler; errors end
// the command and are shown by the common error report, and the window stays usable.

#include "app/application.h"
#include "app/editsettings.h"
#include "app/tables.h"
#include "shell/dialogs.h"

#include <QMainWindow>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QCustomPlot;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace zelt {

class TCommandGate;
class TContourPlot;
class TEscapeBox;
class TFileListBox;
class TFreeLevelsView;
class TLineTable;
class TMapRun;
class TMessageArea;
class TNumberEdit;
class TRegionOverlay;
class TSeriesPage;
class TSeriesRun;
class TSpectrumPage;
class TWindowMemory;
class TZeltChart;

// The checks before the window exists: the necessary files, copied on the first run. False,
// after the missing-files message, when the program cannot start.
bool PassNecessaryFilesCheck(TDialogs& dialogs, const std::string& userFolder,
                             const std::vector<std::string>& commonFolders);

// The 16 bar colours; lines from the same upper level share one.
QColor BarColour(std::int32_t upperLevel);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Who starts a file read: the dialog button, "Next file" or the file list.
    enum class TSender { ReadBtn, NextBtn, FileListBox };

    TMainForm(TDialogs& dialogs, const std::string& configFile, QWidget* parent = nullptr);
    ~TMainForm() override;

    TZeltApp& App() { return app_; }
    // The strip and log of the window's messages.
    TMessageArea& Messages() const { return *messages_; }
    const std::string& DatabaseFolder() const { return databaseFolder_; }
    // The measurement file read last (or being read), as the application holds it.
    QString CurrentFile() const;
    const QString& OpenDialogFolder() const { return openDialogFolder_; }
    const QString& FileListFolder() const { return fileListFolder_; }

    void ElementListBoxChange();
    // Reads the file the open dialog gives (ReadBtn) or `file` (the next file, the file list's or
    // one dropped or imported).
    void ReadBtnClick(TSender sender, QString file = QString());
    void NextFileClick();
    void FileListBoxClick();
    // A file or folder dropped on the window: the file is read, the folder's files listed.
    void OpenDropped(const QString& path);
    // "Recalculate BF": "Not enough lines for Zelt method." with fewer than 2 lines.
    void RecalculateBF();
    // The commit of an edited intensity: the application stores it and recomputes the fractions
    // (SetIntensity); false when the text is not a number (the user stays in the cell).
    bool CommitIntensity(int row, const QString& text);

    // "Create map" and "Fit"; errors are reported and leave plot and table as they were. The
    // map runs off the window's thread (TMapRun) and may be cancelled. Fit returns its result,
    // none after an error.
    void Iterate();
    std::optional<TFitResult> Fit();
    // "Fit all files": reads and fits every file of the list in turn (see TSeriesRun).
    void FitAllClick();
    const TSeriesRun& SeriesRun() const { return *seriesRun_; }
    // The hidden "Monte Carlo" button: 100 fits in succession.
    void Button5Click();
    // The value the map shows at (log10 density, temperature): the residual of the grid cell
    // centred there, or -1 where there is none.
    double ContourPlotEstimateZVal(double x, double y) const;
    // "Save report": the memo's lines; "Save table": the table's cells.
    void SaveButtonClick();
    void Button1Click();
    // "Save table (TSV)…": the table's cells for spreadsheets, titles with units, no leading
    // tab; "Save results…": the row of every map and fit so far with its judgement and
    // conditions (ResultsTableText).
    void SaveTableTsvClick();
    void SaveResultsClick();
    // "Save map…" of the map's context menu: the residual grid the plot shows, as a table;
    // unavailable before the first map.
    void SaveMapClick();
    // "Save series…" of the series plot's context menu: the results of the last series as a
    // table; unavailable before the first.
    void SaveSeriesClick();

    void ClearResults();
    void AutoSizeColumns();
    // Columns 2 to 4 of the table and the chart: the fractions of `lines`, the fitted ones only
    // while they belong to the intensities in the table.
    void ShowBranchingFractions(const TLineSnapshot& lines);

    // Writes the map, fit and absorption settings back; stops at the first text that is not
    // a number of its kind (the keys before it are stored).
    void FormClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateUpperArea();
    QWidget* CreateCommandStrip();
    QWidget* CreateLowerArea();
    void SetTabOrder();
    void FormCreate();
    void FillEdits();
    TNumberEdit* Edit(const TSetting& setting) const;
    void FillSpecies();
    void FillTableRows(const TLineSnapshot& lines);
    void RebuildRowColours();
    void PointFileList(const QString& folder, const QString& fileName);
    void ShowPosition();
    void ReportError(const std::exception& error);
    // The boxes of an outcome (none while a series runs, which lists them itself), each also in
    // the message log with `file`; true when the command was done.
    bool ShowOutcome(const TOutcome& outcome, const QString& file = QString());
    // The start of a read or command: the messages of the one before are cleared away.
    void Starting();
    // The line beside a result: what to quote of a sound one, why a flagged one is not to be
    // trusted; on the report's tool tip too.
    void ShowQuality(const TResultRow& row);
    // What the window shows after a read and after a fit (with its report lines, unless a
    // series has appended them already).
    bool ShowRead(const TLinesOutcome& outcome);
    bool ShowFit(const TFitOutcome& outcome, bool withReport = true);
    bool ShowFreeFit(const TFreeLevelsOutcome& outcome, bool withReport = true);
    // The settings of the edit boxes; raises EConvertError for a text that is no number.
    TCommandSettings SettingsFromWindow() const;
    TReportKind ReportKind() const;
    void AppendReport(const TReportList& report);
    void ShowMap(const TMapOutcome& map);
    // "Save image…" and "Copy image", then what `addMore` adds to the menu.
    void AddImageMenu(QCustomPlot* plot, const std::function<void(QMenu&)>& addMore = {});
    // True when the text was written; `kind` and `suffix` make the name the dialog offers.
    bool SaveText(const std::string& text, const QString& kind,
                  const QString& suffix = QStringLiteral(".txt"));
    // Before the window closes: asks about a report or series not saved; false to stay open.
    bool MayClose();
    // The cells of the line table as it shows them, in Windows-1252.
    std::vector<TTableRow> GridRows() const;
    void Guarded(const std::function<void()>& command);

    TDialogs& dialogs_;
    TZeltApp app_;
    std::string databaseFolder_;
    QString openDialogFolder_;
    TEditSettings editSettings_; // as read at the start, for the close
    std::string escapeAtStart_;  // the escape factor as read at the start, for the close
    QString fileListFolder_;
    bool closed_ = false;
    // Results shown since they were last saved.
    bool reportUnsaved_ = false;
    bool seriesUnsaved_ = false;

    QTabWidget* tablePages_ = nullptr;
    QTabWidget* plotPages_ = nullptr;
    TLineTable* grid_ = nullptr;
    QListWidget* linesBox_ = nullptr;
    QListWidget* levelsBox_ = nullptr;
    TZeltChart* chart_ = nullptr;
    QWidget* sumPage_ = nullptr;
    TContourPlot* contourPlot_ = nullptr;
    TRegionOverlay* regionOverlay_ = nullptr;
    TMessageArea* messages_ = nullptr;
    TSeriesPage* seriesPage_ = nullptr;
    TSeriesRun* seriesRun_ = nullptr;
    TMapRun* mapRun_ = nullptr;
    TSpectrumPage* spectrumPage_ = nullptr;
    TFreeLevelsView* freeLevels_ = nullptr;
    std::unique_ptr<TCommandGate> gate_;
    std::unique_ptr<TWindowMemory> memory_;
    // What starts a command or changes a setting: disabled while a series runs.
    QList<QWidget*> commandAreas_;
    QPushButton* monteCarloBtn_ = nullptr;
    QComboBox* elementListBox_ = nullptr;
    QPushButton* readBtn_ = nullptr;
    QPushButton* nextBtn_ = nullptr;
    QPushButton* recalculateBtn_ = nullptr;
    QPushButton* saveTableBtn_ = nullptr;
    QPushButton* saveTableTsvBtn_ = nullptr;
    QPushButton* saveResultsBtn_ = nullptr;
    QPlainTextEdit* reportsMemo_ = nullptr;
    TNumberEdit* fromDensityEdit_ = nullptr;
    TNumberEdit* toDensityEdit_ = nullptr;
    TNumberEdit* pointsDensityEdit_ = nullptr;
    TNumberEdit* fromTempEdit_ = nullptr;
    TNumberEdit* toTempEdit_ = nullptr;
    TNumberEdit* pointsTempEdit_ = nullptr;
    QPushButton* mapBtn_ = nullptr;
    TNumberEdit* fitDensityEdit_ = nullptr;
    QCheckBox* fitTempCheckBox_ = nullptr;
    TNumberEdit* fitTempEdit_ = nullptr;
    TNumberEdit* maxIterEdit_ = nullptr;
    QPushButton* fitBtn_ = nullptr;
    TNumberEdit* pathEdit_ = nullptr;
    TEscapeBox* escapeBox_ = nullptr;
    TNumberEdit* tnEdit_ = nullptr;
    TFileListBox* fileListBox_ = nullptr;
    QPushButton* fitAllBtn_ = nullptr;
    QComboBox* reportComboBox_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QCheckBox* allLinesCheckBox_ = nullptr;
    QLabel* positionPanel_ = nullptr;
    QLabel* mousePanel_ = nullptr;
    QLabel* mapValuePanel_ = nullptr;
};

} // namespace zelt
