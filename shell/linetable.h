#pragma once
// The table of selected lines: row 0 holds the column titles, row r >= 1 shows selected line
// r - 1. Every cell is painted in its row's colour; only the intensity cells (column 1) can be
// selected and edited, and an edited intensity that is not a number keeps the user in its cell.

#include <QColor>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVector>

#include <functional>

namespace zelt {

class TLineTable : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 9;
    static constexpr int IntensityColumn = 1;

    // `accept` tells whether an edited intensity text may be committed; `commit` takes it over.
    using TAccept = std::function<bool(const QString& text)>;
    using TCommit = std::function<void(int row, const QString& text)>;

    explicit TLineTable(QWidget* parent = nullptr);
    void SetEditRules(TAccept accept, TCommit commit);

    // Row 0 := the titles; the rows below are removed.
    void SetTitles(const QStringList& titles);
    // One more row at the bottom with empty cells.
    int AddRow();
    void SetRowCount(int rows);
    QString CellText(int column, int row) const;
    void SetCellText(int column, int row, const QString& text);

    // Entry r is the background of row r.
    QVector<QColor> RowColours;
    // Each column as wide as its widest text plus 10 pixels.
    void AutoSizeColumns();
    // True while an in-place editor is open.
    bool Editing() const { return state() == QAbstractItemView::EditingState; }

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool Editable(const QModelIndex& index) const;

    TAccept accept_;
};

// Paints a cell: its row's colour, the text one digit's width in from the left and half a
// digit's height down; the title row in white. Editors refuse to close on a text the table
// does not accept.
class TLineTableDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TLineTableDelegate(TLineTable* table, TLineTable::TAccept accept, TLineTable::TCommit commit);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    TLineTable* table_;
    TLineTable::TAccept accept_;
    TLineTable::TCommit commit_;
};

} // namespace zelt
