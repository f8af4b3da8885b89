// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fold of the window's lower area (the settings and the report): a toggle beside the plot
// pages folds it away so that the table and the plots take the height, and unfolds it to the
// height it had. Dragging the splitter past the lower area's least height folds it as well.

#include <QList>
#include <QObject>

class QSplitter;
class QToolButton;

namespace zelt {

class TLowerFold : public QObject {
    Q_OBJECT
public:
    // The last pane of `areas` folds; the toggle is Button(), for the caller to place.
    explicit TLowerFold(QSplitter* areas);

    QToolButton* Button() const { return button_; }
    bool Folded() const;
    void SetFolded(bool folded);

protected:
    // The toggle follows the lower area's height, also when the splitter's state is restored.
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void Follow();

    QSplitter* areas_;
    QToolButton* button_;
    QList<int> unfolded_; // the splitter's sizes when it was last unfolded
};

} // namespace zelt
