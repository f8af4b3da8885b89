// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the first row and the first column of a table in place while the rest of it scrolls:
// three views of the same model, painted by the table's delegate (never edited), lie over the
// table's top edge, left edge and top-left corner and follow its column widths, row heights and
// scrolling. They take no focus and let every mouse event through to the table beneath, which has
// to treat a press inside them (FrozenWidth, FrozenHeight) as a press on a fixed cell.

#include <QObject>

class QTableView;

namespace zelt {

class TFrozenPanes : public QObject {
    Q_OBJECT
public:
    explicit TFrozenPanes(QTableView* table);

    // Places the panes over the table's viewport; the table calls it whenever its geometry
    // changes.
    void Place();
    int FrozenWidth() const;
    int FrozenHeight() const;

protected:
    // A resized or moved viewport moves the panes with it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* Pane();

    QTableView* table_;
    QTableView* row_;
    QTableView* column_;
    QTableView* corner_;
};

} // namespace zelt
