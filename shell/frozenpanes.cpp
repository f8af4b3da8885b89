// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frozenpanes.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemModel>
#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>

namespace zelt {
namespace {

// Draws a pane's cells with the table's delegate but never edits: a delegate shared with the
// panes would send the table's commitData and closeEditor to each pane as well, and every pane
// complains on standard error that the editor is none of its own.
class TPaintingDelegate : public QAbstractItemDelegate {
public:
    TPaintingDelegate(QAbstractItemDelegate* painter, QObject* parent)
        : QAbstractItemDelegate(parent), painter_(painter) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter_->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return painter_->sizeHint(option, index);
    }

private:
    QAbstractItemDelegate* painter_;
};

} // namespace

TFrozenPanes::TFrozenPanes(QTableView* table) : QObject(table), table_(table) {
    row_ = Pane();
    column_ = Pane();
    corner_ = Pane();
    connect(table->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                for (QTableView* pane : {row_, column_, corner_})
                    pane->setColumnWidth(section, size);
                Place();
            });
    connect(table->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                for (QTableView* pane : {row_, column_, corner_})
                    pane->setRowHeight(section, size);
                Place();
            });
    connect(table->horizontalScrollBar(), &QScrollBar::valueChanged, row_->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(table->verticalScrollBar(), &QScrollBar::valueChanged, column_->verticalScrollBar(),
            &QScrollBar::setValue);
    // The first row and column come and go with the table's content.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
                        &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved})
        connect(table->model(), signal, this, &TFrozenPanes::Place);
    table->viewport()->installEventFilter(this);
}

QTableView* TFrozenPanes::Pane() {
    auto* pane = new QTableView(table_);
    pane->setModel(table_->model());
    pane->setItemDelegate(new TPaintingDelegate(table_->itemDelegate(), pane));
    for (QHeaderView* header : {pane->horizontalHeader(), pane->verticalHeader()})
        header->hide();
    pane->horizontalHeader()->setDefaultSectionSize(
        table_->horizontalHeader()->defaultSectionSize());
    pane->verticalHeader()->setDefaultSectionSize(table_->verticalHeader()->defaultSectionSize());
    pane->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setHorizontalScrollMode(table_->horizontalScrollMode());
    pane->setVerticalScrollMode(table_->verticalScrollMode());
    pane->setFrameShape(QFrame::NoFrame);
    pane->setShowGrid(table_->showGrid());
    pane->setGridStyle(table_->gridStyle());
    pane->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pane->setSelectionMode(QAbstractItemView::NoSelection);
    pane->setFocusPolicy(Qt::NoFocus);
    pane->setAttribute(Qt::WA_TransparentForMouseEvents);
    pane->viewport()->setAttribute(Qt::WA_TransparentForMouseEvents);
    return pane;
}

int TFrozenPanes::FrozenWidth() const {
    return table_->model()->columnCount() > 0 ? table_->columnWidth(0) : 0;
}

int TFrozenPanes::FrozenHeight() const {
    return table_->model()->rowCount() > 0 ? table_->rowHeight(0) : 0;
}

void TFrozenPanes::Place() {
    const QRect port = table_->viewport()->geometry();
    const int width = std::min(FrozenWidth(), port.width());
    const int height = std::min(FrozenHeight(), port.height());
    row_->setGeometry(port.x(), port.y(), port.width(), height);
    column_->setGeometry(port.x(), port.y(), width, port.height());
    corner_->setGeometry(port.x(), port.y(), width, height);
    for (QTableView* pane : {row_, column_, corner_})
        pane->setVisible(width > 0 && height > 0);
    corner_->raise();
    row_->horizontalScrollBar()->setValue(table_->horizontalScrollBar()->value());
    column_->verticalScrollBar()->setValue(table_->verticalScrollBar()->value());
}

bool TFrozenPanes::eventFilter(QObject* watched, QEvent* event) {
    // The type first: the viewport's last event (QEvent::Destroy) comes while the table is
    // being destroyed, when it may no longer be asked for its viewport.
    if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) &&
        watched == table_->viewport())
        Place();
    return QObject::eventFilter(watched, event);
}

} // namespace zelt
