// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window while a long command runs and the window takes its events: the other commands and
// settings disabled, the busy cursor, and an event filter that watches for Escape and Close.

#include <QList>
#include <QPointer>

class QObject;
class QWidget;

namespace zelt {

class TCommandPause {
public:
    // Disables those of `commands` that are enabled and installs `filter` on the application.
    TCommandPause(const QList<QWidget*>& commands, QObject* filter);
    // Enables them again and gives the focus back to the control that had it.
    ~TCommandPause();
    TCommandPause(const TCommandPause&) = delete;
    TCommandPause& operator=(const TCommandPause&) = delete;

private:
    QObject* filter_;
    QPointer<QWidget> focus_;
    QList<QPointer<QWidget>> disabled_;
};

} // namespace zelt
