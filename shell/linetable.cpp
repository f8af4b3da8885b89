// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/linetable.h"

#include "shell/frozenpanes.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace zelt {

TLineTable::TLineTable(QWidget* parent) : QTableWidget(parent) {
    setColumnCount(ColumnCount);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setDefaultSectionSize(50);
    verticalHeader()->setDefaultSectionSize(30);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    // Tab leaves the table: inside it only the intensity column can be reached anyway.
    setTabKeyNavigation(false);
    setFrameShape(QFrame::NoFrame);
    setShowGrid(true);
    // Sideways by pixels, so that the fixed column covers whole pixels of the columns beneath.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    rowColours_ = {QColor(20, 20, 20), QColor(255, 255, 255)};
    setItemDelegate(new TLineTableDelegate(this));
    panes_ = new TFrozenPanes(this);
}

void TLineTable::SetEditRules(TAccept accept, TCommit commit) {
    accept_ = std::move(accept);
    commit_ = std::move(commit);
}

void TLineTable::SetRowColours(const QVector<QColor>& colours) {
    rowColours_ = colours;
    // The fixed panes are views of their own.
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
        view->viewport()->update();
    viewport()->update();
}

void TLineTable::SetTitles(const QStringList& titles) {
    SetRowCount(1);
    for (int c = 0; c < ColumnCount && c < titles.size(); ++c)
        SetCellText(c, 0, titles[c]);
}

int TLineTable::AddRow() {
    const int row = rowCount();
    SetRowCount(row + 1);
    return row;
}

void TLineTable::SetRowCount(int rows) {
    const int old = rowCount();
    setRowCount(rows);
    for (int r = old; r < rows; ++r)
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem;
            const bool editable = r >= 1 && c == IntensityColumn;
            item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                    : Qt::ItemIsEnabled);
            setItem(r, c, item);
        }
}

QString TLineTable::CellText(int column, int row) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell == nullptr ? QString() : cell->text();
}

void TLineTable::SetCellText(int column, int row, const QString& text) {
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
}

void TLineTable::AutoSizeColumns() {
    const QFontMetrics metrics(font());
    for (int c = 0; c < columnCount(); ++c) {
        int widest = -10;
        for (int r = 0; r < rowCount(); ++r)
            widest = std::max(widest, metrics.horizontalAdvance(CellText(c, r)));
        setColumnWidth(c, widest + 10);
    }
}

bool TLineTable::Editable(const QModelIndex& index) const {
    return index.isValid() && index.row() >= 1 && index.column() == IntensityColumn;
}

QLineEdit* TLineTable::OpenEditor() const {
    if (!Editing())
        return nullptr;
    for (QLineEdit* editor : viewport()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly))
        if (editor->isVisible())
            return editor;
    return nullptr;
}

bool TLineTable::HoldsRefusedEdit() const {
    const QLineEdit* editor = OpenEditor();
    return editor != nullptr && accept_ && !accept_(editor->text());
}

QString TLineTable::EditComplaint() const {
    const QLineEdit* editor = OpenEditor();
    if (editor == nullptr)
        return {};
    return QStringLiteral("Intensity of %1: \"%2\" is not a number.")
        .arg(CellText(0, editedRow_), editor->text());
}

void TLineTable::Refused() {
    emit EditRefused(EditComplaint());
}

void TLineTable::FocusEditor() {
    if (QLineEdit* editor = OpenEditor())
        editor->setFocus(Qt::OtherFocusReason);
}

void TLineTable::CommitOpenEdit() {
    QLineEdit* editor = OpenEditor();
    if (editor == nullptr || HoldsRefusedEdit())
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool TLineTable::MaySelectAt(const QPoint& position) const {
    const bool fixed =
        position.x() < panes_->FrozenWidth() || position.y() < panes_->FrozenHeight();
    return !fixed && Editable(indexAt(position)) && !HoldsRefusedEdit();
}

// Keyboard moves stay in the intensity column, below the title row, and stay put while the
// editor holds a text that may not be committed.
QModelIndex TLineTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex target = QTableWidget::moveCursor(action, modifiers);
    if (rowCount() <= 1 || !target.isValid() || HoldsRefusedEdit())
        return currentIndex();
    return model()->index(std::max(1, target.row()), IntensityColumn);
}

// A cell is shown below the fixed row and right of the fixed column, not beneath them.
void TLineTable::scrollTo(const QModelIndex& index, ScrollHint hint) {
    QTableWidget::scrollTo(index, hint);
    if (!index.isValid())
        return;
    const QRect cell = visualRect(index);
    if (index.row() > 0 && cell.top() < panes_->FrozenHeight())
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1); // rows scroll whole
    if (index.column() > 0 && cell.left() < panes_->FrozenWidth())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() -
                                        (panes_->FrozenWidth() - cell.left()));
}

// A click on a fixed cell or outside the intensity column, or anywhere while the open editor
// holds a text that is not accepted, does not move the selection. The click has already taken
// the focus from an open editor, so a valid edit is committed first, and a refused one takes
// the focus back. A click on a cell of another row that cannot be edited leaves no cell
// selected: typing would otherwise go into the intensity of the row selected before.
void TLineTable::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (!MaySelectAt(at)) {
        if (HoldsRefusedEdit())
            Refused();
        const int row = rowAt(at.y());
        if (!HoldsRefusedEdit() && row >= 1 && row != currentRow() &&
            at.y() >= panes_->FrozenHeight()) {
            setCurrentIndex(QModelIndex());
            clearSelection();
        }
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void TLineTable::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!MaySelectAt(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTableWidget::mouseDoubleClickEvent(event);
}

// Dragging would move the selection from cell to cell, past the rules above.
void TLineTable::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTableWidget::mouseMoveEvent(event);
}

TLineTableDelegate::TLineTableDelegate(TLineTable* table)
    : QStyledItemDelegate(table), table_(table) {}

void TLineTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const int row = index.row();
    const QColor brush =
        row < table_->RowColours().size() ? table_->RowColours()[row] : QColor(Qt::white);
    const QFontMetrics metrics(table_->font());
    const int dx = metrics.horizontalAdvance(QStringLiteral("8"));
    const int dy = metrics.height() / 2;
    painter->save();
    painter->fillRect(option.rect, brush);
    painter->setFont(table_->font());
    painter->setPen(row == 0 ? QColor(Qt::white) : QColor(Qt::black));
    const QRect textRect = option.rect.adjusted(dx, dy, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    // The cell that typing goes into is framed, since the row colours hide the selection.
    if (index == table_->currentIndex() && table_->Editable(index)) {
        painter->setPen(QPen(QColor(0, 80, 200), 2));
        painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

// The editor is framed in the colour of the frame of the cell that typing goes into, so that the
// cell being edited stands out from its row.
QWidget* TLineTableDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    editor->setObjectName(QStringLiteral("IntensityEditor"));
    editor->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid rgb(0, 80, 200); "
                                         "padding: 0 2px; background: white; }"));
    table_->editedRow_ = index.row();
    return editor;
}

void TLineTableDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
    const auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    if (lineEdit == nullptr || (table_->accept_ && !table_->accept_(lineEdit->text())))
        return;
    QStyledItemDelegate::setModelData(editor, model, index);
    if (table_->commit_)
        table_->commit_(index.row(), lineEdit->text());
}

// Enter, Tab, the arrow keys that leave the cell and the loss of focus would close the editor:
// with a text the table does not accept the editor stays open and keeps the focus, silently.
bool TLineTableDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QLineEdit*>(object);
    if (editor == nullptr)
        return QStyledItemDelegate::eventFilter(object, event);
    // An editor the table has closed already (CommitOpenEdit) loses the focus on its way out:
    // its commit and close would go to a view that no longer knows it.
    if (editor != table_->OpenEditor())
        return false;
    bool closing = false;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        closing = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
                  key == Qt::Key_Backtab || key == Qt::Key_Up || key == Qt::Key_Down ||
                  key == Qt::Key_PageUp || key == Qt::Key_PageDown;
    } else if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        closing = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    }
    if (closing && table_->HoldsRefusedEdit()) {
        if (event->type() == QEvent::FocusOut)
            // The slot by its name (setFocus() is setFocus(Qt::OtherFocusReason)): the template
            // overloads hand Qt a slot object that the static analyzer takes for a leak.
            QTimer::singleShot(0, editor, SLOT(setFocus()));
        table_->Refused();
        return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace zelt
