// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/commandpause.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace zelt {

TCommandPause::TCommandPause(QWidget& window, const QList<QWidget*>& commands,
                             std::function<void()> stop, QWidget* quiet)
    : window_(window), stop_(std::move(stop)), quiet_(quiet), focus_(QApplication::focusWidget()) {
    // Disabling takes the focus away from the button; it comes back at the end.
    for (QWidget* widget : commands)
        if (widget->isEnabled()) {
            widget->setEnabled(false);
            disabled_.append(widget);
        }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
}

TCommandPause::~TCommandPause() {
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    for (const QPointer<QWidget>& widget : disabled_)
        if (widget)
            widget->setEnabled(true);
    if (focus_)
        focus_->setFocus();
}

bool TCommandPause::eventFilter(QObject* object, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            stop_();
            return true;
        }
        break;
    case QEvent::ContextMenu:
        return true;
    case QEvent::MouseMove:
        if (quiet_ != nullptr &&
            (object == quiet_ ||
             (object->isWidgetType() && quiet_->isAncestorOf(static_cast<QWidget*>(object)))))
            return true;
        break;
    case QEvent::Close:
        if (object == &window_) {
            closeRequested_ = true;
            stop_();
            event->ignore();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(object, event);
}

} // namespace zelt
