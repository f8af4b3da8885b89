// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/escapebox.h"

#include "app/settings.h"
#include "common/errors.h"
#include "shell/dialogs.h"

#include <QFileInfo>

namespace zelt {

namespace {

constexpr int kTableIndex = 2; // the table's item, between "doppler" and "Table…"

} // namespace

TEscapeBox::TEscapeBox(TDialogs& dialogs, QWidget* parent) : QComboBox(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("EscapeBox"));
    addItem(QString::fromLatin1(kEscapeMewe), QString::fromLatin1(kEscapeMewe));
    addItem(QString::fromLatin1(kEscapeDoppler), QString::fromLatin1(kEscapeDoppler));
    addItem(QStringLiteral("Table\u2026"));
    // Rich text, so that the long text wraps.
    setToolTip(QStringLiteral("<p>") + QString::fromLatin1(kEscapeHelp).toHtmlEscaped() +
               QStringLiteral("</p>"));
    connect(this, &QComboBox::activated, this, &TEscapeBox::Chosen);
}

std::string TEscapeBox::Choice() const {
    return itemData(current_).toString().toStdString();
}

void TEscapeBox::SetChoice(const std::string& choice) {
    const QString text = QString::fromStdString(choice);
    int index = findData(QString::fromStdString(EscapeName(choice)));
    if (index < 0) {
        if (count() == kTableIndex + 2)
            removeItem(kTableIndex);
        insertItem(kTableIndex, QFileInfo(text).fileName(), text);
        setItemData(kTableIndex, text, Qt::ToolTipRole);
        index = kTableIndex;
    }
    current_ = index;
    setCurrentIndex(index);
}

void TEscapeBox::Chosen(int index) {
    if (index != AskIndex()) {
        current_ = index;
        return;
    }
    setCurrentIndex(current_);
    const QString table = current_ == kTableIndex ? itemData(kTableIndex).toString() : QString();
    const QString file =
        dialogs_.OpenDataFileName(table.isEmpty() ? table : QFileInfo(table).path());
    if (file.isEmpty())
        return;
    const std::string refusal = EscapeRefusal(file.toStdString());
    if (!refusal.empty()) {
        dialogs_.Error(QString::fromStdString(ErrorReportText(refusal)));
        return;
    }
    SetChoice(file.toStdString());
}

} // namespace zelt
