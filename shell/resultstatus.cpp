// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/resultstatus.h"

#include <QStatusBar>
#include <QStringList>
#include <QWidget>

namespace zelt {

namespace {

// The status bar's own margins around its message, px.
constexpr int kMessageMargin = 16;

} // namespace

TResultStatus::TResultStatus(QStatusBar* statusBar, QWidget* report, QObject* parent)
    : QObject(parent), statusBar_(statusBar), report_(report) {}

void TResultStatus::Show(const TResultRow& row) {
    ShowText(QString::fromStdString(QualityText(row)), row.Quality.Flagged());
}

void TResultStatus::ShowWarnings(const std::vector<std::string>& warnings) {
    if (warnings.empty())
        return;
    QStringList lines;
    for (const std::string& warning : warnings)
        lines.append(QString::fromStdString(warning));
    ShowText(lines.join(QLatin1Char(' ')), true);
}

void TResultStatus::ShowText(const QString& text, bool onStatusBar) {
    report_->setToolTip(text);
    if (onStatusBar) {
        // A long reason is cut to the width of the bar on screen; its tool tip holds all of it.
        shown_ = statusBar_->isVisible()
                     ? statusBar_->fontMetrics().elidedText(text, Qt::ElideRight,
                                                            statusBar_->width() - kMessageMargin)
                     : text;
        statusBar_->showMessage(shown_);
        statusBar_->setToolTip(text);
    } else if (!shown_.isEmpty() && statusBar_->currentMessage() == shown_) {
        // A sound result leaves no earlier warning standing; others' messages stay.
        statusBar_->clearMessage();
        statusBar_->setToolTip({});
        shown_.clear();
    }
}

} // namespace zelt
