#include "shell/linetable.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
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
    RowColours = {QColor(20, 20, 20), QColor(255, 255, 255)};
}

void TLineTable::SetEditRules(TAccept accept, TCommit commit) {
    accept_ = accept;
    setItemDelegate(new TLineTableDelegate(this, std::move(accept), std::move(commit)));
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

// Keyboard moves stay in the intensity column, below the title row.
QModelIndex TLineTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex target = QTableWidget::moveCursor(action, modifiers);
    if (rowCount() <= 1 || !target.isValid())
        return currentIndex();
    return model()->index(std::max(1, target.row()), IntensityColumn);
}

// A click outside the intensity column, or anywhere while the open editor holds a text that
// is not accepted, does not move the selection. The click has already taken the focus from an
// open editor, so a valid edit is committed first.
void TLineTable::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    const auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    const bool refusedEdit = Editing() && editor != nullptr && accept_ && !accept_(editor->text());
    if (!Editable(index) || refusedEdit) {
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

TLineTableDelegate::TLineTableDelegate(TLineTable* table, TLineTable::TAccept accept,
                                       TLineTable::TCommit commit)
    : QStyledItemDelegate(table), table_(table), accept_(std::move(accept)),
      commit_(std::move(commit)) {}

void TLineTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const int row = index.row();
    const QColor brush =
        row < table_->RowColours.size() ? table_->RowColours[row] : QColor(Qt::white);
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
    painter->restore();
}

void TLineTableDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
    const auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    if (lineEdit == nullptr || !accept_(lineEdit->text()))
        return;
    QStyledItemDelegate::setModelData(editor, model, index);
    commit_(index.row(), lineEdit->text());
}

// Enter, Tab and the loss of focus would close the editor: with a text the table does not
// accept the editor stays open and keeps the focus, silently.
bool TLineTableDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QLineEdit*>(object);
    if (editor == nullptr)
        return QStyledItemDelegate::eventFilter(object, event);
    bool closing = false;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        closing = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
                  key == Qt::Key_Backtab;
    } else if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        closing = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    }
    if (closing && !accept_(editor->text())) {
        if (event->type() == QEvent::FocusOut)
            QTimer::singleShot(0, editor, [editor] { editor->setFocus(Qt::OtherFocusReason); });
        return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace zelt
