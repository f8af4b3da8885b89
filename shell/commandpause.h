// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window while a long command runs and the window takes its events: the other commands and
// settings disabled, the busy cursor, the plots' menus held back (they would save or show what
// is not complete), and Escape or closing the window asking the command to stop.

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace zelt {

class TCommandPause : public QObject {
    Q_OBJECT
public:
    // Disables those of `commands` that are enabled; `stop` is called for Escape and for a close
    // of `window`, which waits for the command's end. Mouse moves over `quiet` (none: null) are
    // held back.
    TCommandPause(QWidget& window, const QList<QWidget*>& commands, std::function<void()> stop,
                  QWidget* quiet = nullptr);
    // Enables them again and gives the focus back to the control that had it.
    ~TCommandPause() override;

    // Whether the window was asked to close meanwhile.
    bool CloseRequested() const { return closeRequested_; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QWidget& window_;
    std::function<void()> stop_;
    QWidget* quiet_;
    QPointer<QWidget> focus_;
    QList<QPointer<QWidget>> disabled_;
    bool closeRequested_ = false;
};

} // namespace zelt
