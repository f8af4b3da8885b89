// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/commandgate.h"

#include "shell/linetable.h"
#include "shell/numberedit.h"

#include <QStatusBar>

namespace zelt {

TCommandGate::TCommandGate(TLineTable& table, QList<TNumberEdit*> edits, QStatusBar& statusBar)
    : table_(table), edits_(std::move(edits)), statusBar_(statusBar) {}

bool TCommandGate::Open() {
    if (table_.HoldsRefusedEdit()) {
        statusBar_.showMessage(table_.EditComplaint());
        table_.FocusEditor();
        return false;
    }
    table_.CommitOpenEdit();
    for (TNumberEdit* edit : edits_)
        if (!edit->HoldsPositiveNumber()) {
            edit->Refuse();
            return false;
        }
    return true;
}

} // namespace zelt
