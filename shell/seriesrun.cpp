#include "shell/seriesrun.h"

#include "common/fpcheck.h"
#include "shell/dialogs.h"
#include "shell/filelistbox.h"
#include "shell/main.h"
#include "shell/seriespage.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QStatusBar>
#include <QTabWidget>

#include <algorithm>

namespace zelt {

TSeriesRun::TSeriesRun(TMainForm& window, TCollectingDialogs& dialogs, TFileListBox* files,
                       QTabWidget* plotPages, TSeriesPage* page, QList<QWidget*> commands)
    : QObject(&window), window_(window), dialogs_(dialogs), files_(files), plotPages_(plotPages),
      page_(page), commands_(std::move(commands)) {
    setObjectName(QStringLiteral("SeriesRun"));
}

void TSeriesRun::Run() {
    if (running_ || files_->count() == 0)
        return;
    names_.clear();
    for (int row = 0; row < files_->count(); ++row)
        names_.push_back(files_->item(row)->text().toStdString());
    axis_ = SeriesAxis(names_);
    entries_.clear();
    running_ = true;
    stopRequested_ = closeRequested_ = false;

    // Disabling takes the focus away from the button; it comes back at the end.
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QList<QWidget*> disabled;
    for (QWidget* widget : commands_)
        if (widget->isEnabled()) {
            widget->setEnabled(false);
            disabled.append(widget);
        }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
    dialogs_.Collect(true);
    plotPages_->setCurrentWidget(page_);
    ShowSeries();

    for (current_ = 0; current_ < names_.size() && !stopRequested_; ++current_) {
        TSeriesEntry entry;
        entry.File = names_[current_];
        entry.X = axis_.X[current_];
        ShowProgress();
        FitFile(entry);
        entries_.push_back(std::move(entry));
        ShowSeries();
        // Between two files: the plot and the progress are drawn, and an Escape comes in.
        QApplication::processEvents();
    }

    dialogs_.Collect(false);
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    for (QWidget* widget : disabled)
        widget->setEnabled(true);
    if (focus)
        focus->setFocus();
    running_ = false;
    window_.statusBar()->clearMessage();
    ShowSeries();
    const std::vector<std::string> problems = SeriesProblems(entries_);
    if (!problems.empty()) {
        QString text = Summary() + QStringLiteral(".\n");
        for (const std::string& line : problems)
            text += QStringLiteral("\n") + QString::fromStdString(line);
        dialogs_.Message(text);
    }
    if (closeRequested_)
        window_.close();
}

// The read and the fit run as the user's click in the list and "Fit" run them; the boxes they
// would show are collected into the entry.
void TSeriesRun::FitFile(TSeriesEntry& entry) {
    const QString name = QString::fromStdString(entry.File);
    const QList<QListWidgetItem*> items = files_->findItems(name, Qt::MatchExactly);
    if (items.isEmpty()) {
        entry.Problem = "the file is no longer in the folder";
        return;
    }
    files_->setCurrentItem(items.first());
    window_.FileListBoxClick();
    const TCollectingDialogs::TCollected read = dialogs_.Take();
    for (const QString& message : read.Messages)
        entry.Notes.push_back(message.toStdString());
    if (!read.Errors.isEmpty()) {
        entry.Problem = read.Errors.join(QLatin1Char(' ')).toStdString();
        return;
    }
    const std::optional<TFitResult> fit = window_.Fit();
    const TCollectingDialogs::TCollected fitted = dialogs_.Take();
    for (const QString& message : fitted.Messages)
        entry.Notes.push_back(message.toStdString());
    if (!fit) {
        entry.Problem = fitted.Errors.join(QLatin1Char(' ')).toStdString();
        return;
    }
    try {
        FpReset();
        const std::int32_t fitCount = TruncToInt(Slot(fit->Params, FitCount));
        entry.Values =
            window_.AtomicData().ResultValues(fit->Params, fit->Uncertainty, fitCount, FitMode);
        entry.TemperatureFitted = fitCount == 2;
        entry.Fitted = true;
    } catch (const std::exception& error) {
        entry.Problem = error.what();
    }
}

bool TSeriesRun::eventFilter(QObject* object, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            RequestStop();
            return true;
        }
        break;
    // The plots' menus would save images and tables of a series not yet complete.
    case QEvent::ContextMenu:
        return true;
    case QEvent::Close:
        if (object == &window_) {
            closeRequested_ = true;
            RequestStop();
            event->ignore();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(object, event);
}

void TSeriesRun::RequestStop() {
    stopRequested_ = true;
    if (current_ < names_.size())
        ShowProgress();
}

void TSeriesRun::ShowProgress() {
    QString text = QStringLiteral("Fit %1/%2: %3")
                       .arg(current_ + 1)
                       .arg(names_.size())
                       .arg(QString::fromStdString(names_[current_]));
    text += stopRequested_ ? QStringLiteral("    stopping after this file")
                           : QStringLiteral("    Escape: stop after this file");
    window_.statusBar()->showMessage(text);
    // Drawn at once: the events wait until the file is done.
    window_.statusBar()->repaint();
}

QString TSeriesRun::Summary() const {
    const auto files = [](std::size_t n) {
        return n == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(n);
    };
    const auto fitted = static_cast<std::size_t>(std::count_if(
        entries_.begin(), entries_.end(), [](const TSeriesEntry& entry) { return entry.Fitted; }));
    const std::size_t done = entries_.size(), count = names_.size();
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
    page_->Show(axis_, entries_, Summary());
}

} // namespace zelt
