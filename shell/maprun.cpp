// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/maprun.h"

#include "shell/commandpause.h"
#include "shell/messagearea.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <thread>

namespace zelt {

namespace {

// How often the status bar shows the rows done.
constexpr int kProgressMilliseconds = 100;

} // namespace

TMapRun::TMapRun(QMainWindow& window, TZeltApp& app, TMessageArea& messages,
                 QList<QWidget*> commands, QWidget* plot)
    : QObject(&window), window_(window), app_(app), messages_(messages),
      commands_(std::move(commands)), plot_(plot),
      cancelBtn_(new QPushButton(QStringLiteral("Cancel"))), progressTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("MapRun"));
    cancelBtn_->setObjectName(QStringLiteral("MapCancelBtn"));
    cancelBtn_->setToolTip(QStringLiteral("Stops the map; the previous map stays (Escape)"));
    cancelBtn_->hide();
    window_.statusBar()->addPermanentWidget(cancelBtn_);
    connect(cancelBtn_, &QPushButton::clicked, this, &TMapRun::Cancel);
    progressTimer_->setInterval(kProgressMilliseconds);
    connect(progressTimer_, &QTimer::timeout, this, &TMapRun::ShowProgress);
}

TMapOutcome TMapRun::Run(const TCommandSettings& settings, TReportKind report) {
    TMapOutcome outcome;
    if (running_)
        return outcome;
    running_ = true;
    cancelled_ = false;
    rowsDone_ = rows_ = 0;
    std::optional<TCommandPause> pause(
        std::in_place, window_, commands_, [this] { Cancel(); }, plot_);
    cancelBtn_->show();
    ShowProgress();
    progressTimer_->start();

    QEventLoop loop;
    std::jthread worker([&] {
        outcome = app_.Map(settings, report, [this](std::int32_t done, std::int32_t rows) {
            rows_ = rows;
            rowsDone_ = std::max<std::int32_t>(rowsDone_, done);
            return !cancelled_;
        });
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    progressTimer_->stop();
    cancelBtn_->hide();
    messages_.Clear();
    const bool close = pause->CloseRequested();
    pause.reset();
    running_ = false;
    if (close)
        // By name, as in the line table's editor (shell/linetable.cpp).
        QTimer::singleShot(0, &window_, SLOT(close()));
    return outcome;
}

void TMapRun::Cancel() {
    cancelled_ = true;
    ShowProgress();
}

void TMapRun::ShowProgress() {
    const std::int32_t rows = rows_, done = std::min<std::int32_t>(rowsDone_, rows);
    QString text = rows == 0 ? QStringLiteral("Map: starting")
                             : QStringLiteral("Map: %1 of %2 rows (%3 %)")
                                   .arg(done)
                                   .arg(rows)
                                   .arg(100 * static_cast<long long>(done) / rows);
    text += cancelled_ ? QStringLiteral("    cancelling") : QStringLiteral("    Escape: cancel");
    messages_.Show(TMessageArea::TKind::Progress, text);
}

} // namespace zelt
