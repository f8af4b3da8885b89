// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/messagearea.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace zelt {

namespace {

// The strip's tint for each kind: green for a result, amber for a warning, red for a refusal
// or an error; none for notes and progress.
QColor Tint(TMessageArea::TKind kind) {
    switch (kind) {
    case TMessageArea::TKind::Result:
        return {226, 243, 226};
    case TMessageArea::TKind::Warning:
        return {255, 238, 196};
    case TMessageArea::TKind::Refusal:
    case TMessageArea::TKind::Error:
        return {255, 218, 218};
    case TMessageArea::TKind::Note:
    case TMessageArea::TKind::Progress:
        break;
    }
    return {};
}

QString Time() {
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

TMessageArea::TMessageArea(QMainWindow& window)
    : QWidget(&window), time_(new QLabel), label_(new QLabel), logButton_(new QToolButton),
      log_(new QDockWidget(QStringLiteral("Messages"), &window)), entries_(new QTreeWidget) {
    setObjectName(QStringLiteral("MessageArea"));
    setAutoFillBackground(true);
    label_->setObjectName(QStringLiteral("MessageText"));
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The strip never asks for more width than the window has: long texts are cut.
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    time_->setForegroundRole(QPalette::PlaceholderText);
    logButton_->setObjectName(QStringLiteral("MessageLogBtn"));
    logButton_->setAutoRaise(true);
    logButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 0, 2, 0);
    layout->addWidget(time_);
    layout->addWidget(label_, 1);
    layout->addWidget(logButton_);
    // As tall as its text and the log button need, never taller.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    log_->setObjectName(QStringLiteral("MessageLog"));
    entries_->setObjectName(QStringLiteral("MessageLogEntries"));
    entries_->setColumnCount(3);
    entries_->setHeaderLabels(
        {QStringLiteral("Time"), QStringLiteral("Message"), QStringLiteral("File")});
    entries_->setRootIsDecorated(false);
    entries_->setAlternatingRowColors(true);
    entries_->setWordWrap(true);
    entries_->header()->setStretchLastSection(false);
    entries_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    entries_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    entries_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    log_->setWidget(entries_);
    log_->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::RightDockWidgetArea);
    window.addDockWidget(Qt::BottomDockWidgetArea, log_);
    log_->hide();
    QAction* toggle = log_->toggleViewAction();
    toggle->setToolTip(QStringLiteral("Every message of this session with its time and file"));
    logButton_->setDefaultAction(toggle);
    Clear();
}

void TMessageArea::Show(TKind kind, const QString& text, const QString& file) {
    kind_ = kind;
    text_ = text;
    file_ = file;
    const QString name = QFileInfo(file).fileName();
    const QString time = Time();
    time_->setText(time);
    const QColor tint = Tint(kind);
    QPalette colours;
    if (tint.isValid())
        colours.setColor(QPalette::Window, tint);
    setPalette(colours);
    setToolTip(name.isEmpty() ? text : name + QStringLiteral(": ") + text);
    Elide();
    emit Shown(text);
    if (kind == TKind::Progress)
        return;
    // The same message again (a refusal said at the click and at the command) is one entry.
    const int last = LogCount() - 1;
    if (last >= 0 && LogRow(last) == QStringList{LogRow(last)[0], text, name}) {
        entries_->topLevelItem(last)->setText(0, time);
        return;
    }
    auto* entry = new QTreeWidgetItem(entries_, {time, text, name});
    entry->setToolTip(1, text);
    entry->setToolTip(2, file);
    if (tint.isValid())
        entry->setBackground(0, tint);
    entries_->scrollToItem(entry);
    log_->toggleViewAction()->setText(QStringLiteral("Messages (%1)").arg(LogCount()));
}

void TMessageArea::Clear() {
    kind_ = TKind::Note;
    text_.clear();
    file_.clear();
    time_->clear();
    label_->clear();
    setPalette(QPalette());
    setToolTip(QString());
    emit Shown(QString());
    log_->toggleViewAction()->setText(QStringLiteral("Messages (%1)").arg(LogCount()));
}

QString TMessageArea::ShownText() const {
    return label_->text();
}

int TMessageArea::LogCount() const {
    return entries_->topLevelItemCount();
}

QStringList TMessageArea::LogRow(int row) const {
    const QTreeWidgetItem* entry = entries_->topLevelItem(row);
    if (entry == nullptr)
        return {};
    return {entry->text(0), entry->text(1), entry->text(2)};
}

void TMessageArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Elide();
}

// The file's name first, so that a cut text still says what it concerns.
void TMessageArea::Elide() {
    const QString name = QFileInfo(file_).fileName();
    const QString whole =
        name.isEmpty() || text_.isEmpty() ? text_ : name + QStringLiteral(": ") + text_;
    label_->setText(
        label_->fontMetrics().elidedText(whole, Qt::ElideRight, std::max(0, label_->width() - 4)));
}

} // namespace zelt
