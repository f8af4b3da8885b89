// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/commandpause.h"

#include <QApplication>
#include <QWidget>

namespace zelt {

TCommandPause::TCommandPause(const QList<QWidget*>& commands, QObject* filter)
    : filter_(filter), focus_(QApplication::focusWidget()) {
    // Disabling takes the focus away from the button; it comes back at the end.
    for (QWidget* widget : commands)
        if (widget->isEnabled()) {
            widget->setEnabled(false);
            disabled_.append(widget);
        }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(filter_);
}

TCommandPause::~TCommandPause() {
    qApp->removeEventFilter(filter_);
    QApplication::restoreOverrideCursor();
    for (const QPointer<QWidget>& widget : disabled_)
        if (widget)
            widget->setEnabled(true);
    if (focus_)
        focus_->setFocus();
}

} // namespace zelt
