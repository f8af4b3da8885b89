#pragma once
// "Fit all files": every file of the file list in the list's order is read as a click in the
// list reads it and fitted as "Fit" fits it, each result line going to the report. A file that
// cannot be read or fitted is recorded and the series goes on; the boxes its read or fit
// would show are collected and listed once at the end and on the page "Series". Between two
// files the window takes its events: the progress in the status bar is drawn, the plot pages
// can be looked at, and Escape stops the series after the current file. Every other command
// and setting is disabled meanwhile, and closing the window waits for the current file.

#include "shell/series.h"

#include <QList>
#include <QObject>
#include <QString>

#include <string>
#include <vector>

class QTabWidget;
class QWidget;

namespace zelt {

class TCollectingDialogs;
class TFileListBox;
class TMainForm;
class TSeriesPage;

class TSeriesRun : public QObject {
    Q_OBJECT
public:
    // The series of `window`'s file list `files` shown on `page` of `plotPages`; `commands`
    // are disabled while it runs.
    TSeriesRun(TMainForm& window, TCollectingDialogs& dialogs, TFileListBox* files,
               QTabWidget* plotPages, TSeriesPage* page, QList<QWidget*> commands);

    void Run();
    bool Running() const { return running_; }
    // The files done so far, in the list's order.
    const std::vector<TSeriesEntry>& Entries() const { return entries_; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void FitFile(TSeriesEntry& entry);
    void RequestStop();
    void ShowProgress();
    QString Summary() const;
    void ShowSeries();

    TMainForm& window_;
    TCollectingDialogs& dialogs_;
    TFileListBox* files_;
    QTabWidget* plotPages_;
    TSeriesPage* page_;
    QList<QWidget*> commands_;

    std::vector<std::string> names_; // of the files in the list when the series began
    TSeriesAxis axis_;
    std::vector<TSeriesEntry> entries_;
    std::size_t current_ = 0; // the file being read and fitted
    bool running_ = false;
    bool stopRequested_ = false;
    bool closeRequested_ = false;
};

} // namespace zelt
