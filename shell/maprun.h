// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Create map" off the window's thread: the application's map runs on a thread of its own while
// the window takes its events, repaints and shows the rows done in the message strip; Escape or
// the status bar's "Cancel" stops it and the previous map stays. Every other command and
// setting is disabled meanwhile, the plots' menus and the map's read-out under the mouse wait
// (they read the application, which the map is changing), and closing the window waits for
// the map to stop.

#include "app/application.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>

class QMainWindow;
class QPushButton;
class QTimer;
class QWidget;

namespace zelt {

class TMessageArea;

class TMapRun : public QObject {
    Q_OBJECT
public:
    // The map of `window`, whose status bar holds "Cancel" and `messages` the progress;
    // `commands` are disabled while it runs, and mouse moves over `plot` are held back.
    TMapRun(QMainWindow& window, TZeltApp& app, TMessageArea& messages, QList<QWidget*> commands,
            QWidget* plot);

    // The map of the settings, as TZeltApp::Map computes it on the window's thread.
    TMapOutcome Run(const TCommandSettings& settings, TReportKind report);
    bool Running() const { return running_; }
    // Stops the running map at its next grid row.
    void Cancel();

private:
    void ShowProgress();

    QMainWindow& window_;
    TZeltApp& app_;
    TMessageArea& messages_;
    QList<QWidget*> commands_;
    QWidget* plot_;
    QPushButton* cancelBtn_;
    QTimer* progressTimer_;
    bool running_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<std::int32_t> rowsDone_{0}, rows_{0};
};

} // namespace zelt
