// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/numberedit.h"

#include "common/format.h"

#include <QFocusEvent>
#include <QTimer>

namespace zelt {

TNumberEdit::TNumberEdit(const TSetting& setting, QWidget* parent)
    : QLineEdit(parent), setting_(setting) {
    setObjectName(QString::fromLatin1(setting.EditName.data(),
                                      static_cast<qsizetype>(setting.EditName.size())));
    setToolTip(Help());
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (marked_ && HoldsPositiveNumber())
            SetMarked(false);
    });
}

bool TNumberEdit::HoldsPositiveNumber() const {
    return zelt::HoldsPositiveNumber(setting_.Kind, text().toStdString());
}

QString TNumberEdit::Help() const {
    const char* range =
        setting_.Kind == TSettingKind::Integer ? "A whole number above 0" : "A number above 0";
    return QString::fromStdString(Format("%s. %s.", {setting_.Meaning, range}));
}

QString TNumberEdit::Complaint() const {
    return QString::fromStdString(RefusalText(setting_, text().toStdString()));
}

void TNumberEdit::SetMarked(bool marked) {
    marked_ = marked;
    QPalette colours;
    if (marked)
        colours.setColor(QPalette::Base, QColor(255, 215, 215));
    setPalette(colours);
    setToolTip(marked ? Complaint() : Help());
    emit ComplaintChanged(marked ? Complaint() : QString());
}

void TNumberEdit::Refuse() {
    SetMarked(true);
    setFocus(Qt::OtherFocusReason);
}

// Switching to another window or opening a menu is no leaving of the box.
void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (!HoldsPositiveNumber()) {
        SetMarked(true);
        // By name, as in the line table's editor (shell/linetable.cpp).
        QTimer::singleShot(0, this, SLOT(setFocus()));
    }
}

} // namespace zelt
