// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's one place for what it has to say beside its boxes: a strip across the window's
// width above the status bar shows the latest message with its time and the file it concerns,
// cut to the strip's width with the whole on its tool tip, and the log "Messages" (a dock
// widget the strip's button opens) keeps every message of the session, each with its time,
// text and file. Every read and command starts by clearing the strip, so that no message stands
// beside a state it does not describe; the log keeps it.

#include <QDateTime>
#include <QString>
#include <QWidget>

class QDockWidget;
class QLabel;
class QMainWindow;
class QToolButton;
class QTreeWidget;

namespace zelt {

class TMessageArea : public QWidget {
    Q_OBJECT
public:
    // What a message is: its colour in the strip.
    enum class TKind {
        Note,    // what a command did or found (a map cancelled, a series' summary)
        Result,  // the line beside a sound result ("To quote: ...")
        Warning, // a result to distrust, a read with a warning
        Refusal, // a text a command would not take
        Error,   // a command that failed
        Progress // a long command under way; shown, not logged
    };

    // Makes the strip and adds the log to `window`'s bottom dock area, closed.
    explicit TMessageArea(QMainWindow& window);

    // Shows the message in the strip and, unless it is progress, appends it to the log. `file`
    // is the file it concerns (its name is shown), or empty.
    void Show(TKind kind, const QString& text, const QString& file = QString());
    // Empties the strip; the log keeps what it held.
    void Clear();

    // What the strip shows whole (its tool tip), and its kind; empty and Note when clear.
    QString Text() const { return text_; }
    TKind Kind() const { return kind_; }
    // The shown part of the text, cut to the strip's width.
    QString ShownText() const;
    QDockWidget* Log() const { return log_; }
    // The log's rows: time, message, file.
    int LogCount() const;
    QStringList LogRow(int row) const;

signals:
    // A message was shown (also progress), or the strip cleared (an empty text).
    void Shown(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QLabel* time_;
    QLabel* label_;
    QToolButton* logButton_;
    QDockWidget* log_;
    QTreeWidget* entries_;
    QString text_;
    QString file_;
    TKind kind_ = TKind::Note;
};

} // namespace zelt
