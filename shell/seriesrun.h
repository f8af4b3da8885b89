// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Fit all files" in the window: the application's series over the files of the list, each
// file read and fitted as a click in the list and "Fit" would, each result line going to the
// report. A file that cannot be read or fitted is recorded and the series goes on; the boxes
// its read or fit would show are listed once at the end and on the page "Series". Between two
// files the window takes its events: the progress in the message strip is drawn, the plot pages
// can be looked at, and Escape stops the series after the current file. Every other command
// and setting is disabled meanwhile, and closing the window waits for the current file.

#include "app/application.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QMainWindow;
class QTabWidget;
class QWidget;

namespace zelt {

class TDialogs;
class TMessageArea;
class TSeriesPage;

class TSeriesRun : public QObject {
    Q_OBJECT
public:
    // The series of `window`, whose `messages` show the progress and the summary, on `page` of
    // `plotPages`; `commands` are disabled while it runs.
    TSeriesRun(QMainWindow& window, TZeltApp& app, TDialogs& dialogs, TMessageArea& messages,
               QTabWidget* plotPages, TSeriesPage* page, QList<QWidget*> commands);

    // Fits the files (full paths) in turn, with `command` Fit or FreeLevels. `showReport`
    // appends the files' report lines, those
    // gathered since its last call, a few times a second and at the end; `showLast` shows the
    // last file done at the end. The window draws no file in between, which would take far
    // longer than the fits.
    void Run(const std::vector<std::string>& files, TSeriesCommand command,
             const TCommandSettings& settings, TReportKind report,
             const std::function<void(const TReportList&)>& showReport,
             const std::function<void(const TSeriesFile&)>& showLast);
    bool Running() const { return running_; }
    // The files done so far, in the list's order.
    const std::vector<TSeriesEntry>& Entries() const { return live_->Entries; }
    // Leaves entry `index` of the last series out (or takes it back): the page shows it apart,
    // and the saved series says so. Not while a series runs.
    void SetExcluded(std::size_t index, bool excluded);

private:
    void RequestStop();
    void ShowProgress();
    QString Summary() const;
    void ShowSeries();

    QMainWindow& window_;
    TZeltApp& app_;
    TDialogs& dialogs_;
    TMessageArea& messages_;
    QTabWidget* plotPages_;
    TSeriesPage* page_;
    QList<QWidget*> commands_;

    TSeries series_;                 // the last series, when it has ended
    const TSeries* live_ = &series_; // the series being run, or the last
    bool running_ = false;
    bool stopRequested_ = false;
};

} // namespace zelt
