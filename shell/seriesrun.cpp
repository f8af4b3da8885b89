// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/seriesrun.h"

#include "app/commands.h"
#include "app/listing.h"
#include "shell/commandpause.h"
#include "shell/dialogs.h"
#include "shell/messagearea.h"
#include "shell/seriespage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTabWidget>

#include <algorithm>
#include <optional>

namespace zelt {

namespace {

// How often the series page and the report follow the files done.
constexpr qint64 kShowMilliseconds = 250;

} // namespace

TSeriesRun::TSeriesRun(QMainWindow& window, TZeltApp& app, TDialogs& dialogs,
                       TMessageArea& messages, QTabWidget* plotPages, TSeriesPage* page,
                       QList<QWidget*> commands)
    : QObject(&window), window_(window), app_(app), dialogs_(dialogs), messages_(messages),
      plotPages_(plotPages), page_(page), commands_(std::move(commands)) {
    setObjectName(QStringLiteral("SeriesRun"));
}

void TSeriesRun::Run(const std::vector<std::string>& files, TSeriesCommand command,
                     const TCommandSettings& settings, TReportKind report,
                     const std::function<void(const TReportList&)>& showReport,
                     const std::function<void(const TSeriesFile&)>& showLast) {
    if (running_ || files.empty())
        return;
    series_ = {};
    series_.Files = files;
    live_ = &series_;
    running_ = true;
    stopRequested_ = false;

    std::optional<TCommandPause> pause(std::in_place, window_, commands_,
                                       [this] { RequestStop(); });
    plotPages_->setCurrentWidget(page_);

    TReportList gathered;
    std::optional<TSeriesFile> last;
    QElapsedTimer sinceShown;
    sinceShown.start();
    const auto showGathered = [&] {
        showReport(gathered);
        gathered.clear();
        ShowSeries();
        sinceShown.restart();
    };
    TSeriesHooks hooks;
    hooks.Starting = [this](const TSeries& series) {
        live_ = &series;
        ShowProgress();
    };
    hooks.Done = [&](const TSeries& series, const TSeriesFile& file) {
        live_ = &series;
        const TReportList lines =
            command == TSeriesCommand::FreeLevels ? FreeLevelsReport(file.Free) : file.Fit.Report;
        gathered.insert(gathered.end(), lines.begin(), lines.end());
        last = file;
        if (sinceShown.elapsed() >= kShowMilliseconds)
            showGathered();
        // Between two files: the progress is drawn, and an Escape comes in.
        QApplication::processEvents();
    };
    hooks.StopRequested = [this] { return stopRequested_; };
    // The log's folder is found by each fit, which reports when there is none. The files are
    // read and fitted on every core; the hooks run here, on the window's thread, in order.
    series_ = app_.RunSeries(files, command, settings, report, {}, hooks, 0);
    live_ = &series_;
    showGathered();
    if (last)
        showLast(*last);

    const bool close = pause->CloseRequested();
    pause.reset();
    running_ = false;
    ShowSeries();
    const std::vector<std::string> problems = SeriesProblems(series_.Entries);
    messages_.Show(problems.empty() ? TMessageArea::TKind::Note : TMessageArea::TKind::Warning,
                   Summary() + (problems.empty() ? QStringLiteral(".")
                                                 : QStringLiteral(": see the page \"Series\".")),
                   QString::fromStdString(FolderOf(files.front())));
    if (!problems.empty()) {
        QString text = Summary() + QStringLiteral(".\n");
        for (const std::string& line : problems)
            text += QStringLiteral("\n") + QString::fromStdString(line);
        dialogs_.Message(text);
    }
    if (close)
        window_.close();
}

void TSeriesRun::SetExcluded(std::size_t index, bool excluded) {
    if (running_ || index >= series_.Entries.size())
        return;
    series_.Entries[index].Excluded = excluded;
    ShowSeries();
}

void TSeriesRun::RequestStop() {
    stopRequested_ = true;
    if (live_->Entries.size() < live_->Files.size())
        ShowProgress();
}

// The file being read and fitted: the first not done.
void TSeriesRun::ShowProgress() {
    const std::size_t current = live_->Entries.size();
    QString text = QStringLiteral("Fit %1/%2: %3")
                       .arg(current + 1)
                       .arg(live_->Files.size())
                       .arg(QString::fromStdString(FileNameOf(live_->Files[current])));
    text += stopRequested_ ? QStringLiteral("    stopping after this file")
                           : QStringLiteral("    Escape: stop after this file");
    messages_.Show(TMessageArea::TKind::Progress, text);
}

QString TSeriesRun::Summary() const {
    const auto files = [](std::size_t n) {
        return n == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(n);
    };
    const std::vector<TSeriesEntry>& entries = live_->Entries;
    const auto fitted = static_cast<std::size_t>(std::count_if(
        entries.begin(), entries.end(), [](const TSeriesEntry& entry) { return entry.Fitted; }));
    const std::size_t done = entries.size(), count = live_->Files.size();
    if (done == count)
        return QStringLiteral("%1, %2 fitted").arg(files(count)).arg(fitted);
    if (running_)
        return QStringLiteral("%1 of %2 done, %3 fitted").arg(done).arg(files(count)).arg(fitted);
    return QStringLiteral("Stopped after %1 of %2, %3 fitted")
        .arg(done)
        .arg(files(count))
        .arg(fitted);
}

void TSeriesRun::ShowSeries() {
    page_->Show(live_->Axis, live_->Entries, Summary());
}

} // namespace zelt
