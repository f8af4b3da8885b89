// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table of selected lines: row 0 holds the column titles, row r >= 1 shows selected line
// r - 1. Every cell is painted in its row's colour; the title row and the wavelength column
// stay in place while the rest scrolls. Only the intensity cells (column 1) can be selected
// and edited, and an edited intensity that is not a number keeps the user in its cell,
// whatever would end the edit: Enter, Tab, an arrow key, a click on another cell or control;
// each such refusal says why (EditRefused). The cell being edited is framed.

#include <QColor>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVector>

#include <functional>

class QLineEdit;

namespace zelt {

class TFrozenPanes;

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
    const QVector<QColor>& RowColours() const { return rowColours_; }
    void SetRowColours(const QVector<QColor>& colours);
    // Each column as wide as its widest text plus 10 pixels.
    void AutoSizeColumns();
    // True while an in-place editor is open.
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
    // True while the open editor holds a text that may not be committed.
    bool HoldsRefusedEdit() const;
    // Why the open editor's text is refused, naming the line of the cell being edited:
    // Intensity of 727.2936: "1,5" is not a number.
    QString EditComplaint() const;
    void FocusEditor();
    // Commits and closes the open editor when its text is accepted.
    void CommitOpenEdit();

signals:
    // An edit was kept open because its text is no number; `complaint` says why.
    void EditRefused(const QString& complaint);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class TLineTableDelegate;

    bool Editable(const QModelIndex& index) const;
    // A press that may select the cell under it: an intensity cell outside the fixed parts.
    bool MaySelectAt(const QPoint& position) const;
    QLineEdit* OpenEditor() const;
    // Tells that the open edit was kept (EditRefused).
    void Refused();

    TAccept accept_;
    TCommit commit_;
    QVector<QColor> rowColours_;
    int editedRow_ = -1; // the row of the open editor
    TFrozenPanes* panes_;
};

// Paints a cell: its row's colour, the text one digit's width in from the left and half a
// digit's height down; the title row in white. Editors refuse to close on a text the table
// does not accept.
class TLineTableDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TLineTableDelegate(TLineTable* table);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    TLineTable* table_;
};

} // namespace zelt
