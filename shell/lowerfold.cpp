// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/lowerfold.h"

#include <QEvent>
#include <QSignalBlocker>
#include <QSplitter>
#include <QToolButton>

#include <numeric>

namespace zelt {

TLowerFold::TLowerFold(QSplitter* areas) : QObject(areas), areas_(areas), button_(new QToolButton) {
    button_->setObjectName(QStringLiteral("LowerFoldBtn"));
    button_->setCheckable(true);
    button_->setAutoRaise(true);
    areas_->setCollapsible(areas_->count() - 1, true);
    Follow();
    connect(button_, &QToolButton::toggled, this, &TLowerFold::SetFolded);
    connect(areas_, &QSplitter::splitterMoved, this, &TLowerFold::Follow);
    areas_->widget(areas_->count() - 1)->installEventFilter(this);
}

bool TLowerFold::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::Resize)
        Follow();
    return QObject::eventFilter(object, event);
}

bool TLowerFold::Folded() const {
    return areas_->sizes().constLast() == 0;
}

void TLowerFold::SetFolded(bool folded) {
    if (folded != Folded()) {
        QList<int> sizes = areas_->sizes();
        if (folded)
            unfolded_ = sizes;
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
        // Unfolded, the lower area takes the height it had, or the one it asks for.
        const int lower = folded ? 0
                                 : (unfolded_.isEmpty() || unfolded_.constLast() == 0
                                        ? areas_->widget(areas_->count() - 1)->sizeHint().height()
                                        : unfolded_.constLast());
        sizes.fill(0);
        sizes.front() = total - lower;
        sizes.back() = lower;
        areas_->setSizes(sizes);
    }
    Follow();
}

// The toggle shows the state, also after the splitter was dragged.
void TLowerFold::Follow() {
    const bool folded = Folded();
    // Heights the user saw, not those of the layout before the window is shown (at its minimum
    // size, which would unfold a window opened folded to a report two lines high).
    if (!folded && areas_->isVisible())
        unfolded_ = areas_->sizes();
    const QSignalBlocker blocker(button_);
    button_->setChecked(folded);
    button_->setText(folded ? QStringLiteral("▴ Settings") : QStringLiteral("▾ Settings"));
    // A button's text sets its shortcut to the text's mnemonic, none here: the shortcut after.
    button_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    button_->setToolTip(folded
                            ? QStringLiteral("Shows the settings and the report again (Ctrl+L)")
                            : QStringLiteral("Folds the settings and the report away so that "
                                             "the table and the plots take the height (Ctrl+L)"));
}

} // namespace zelt
