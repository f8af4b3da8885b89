// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/filelistbox.h"

#include <QKeyEvent>

namespace zelt {

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemClicked, this, &TFileListBox::Chosen);
}

void TFileListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (currentRow() >= 0)
            emit Chosen();
        event->accept();
        return;
    }
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before)
        emit Chosen();
}

} // namespace zelt
