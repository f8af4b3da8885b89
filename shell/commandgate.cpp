// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/commandgate.h"

#include "shell/linetable.h"
#include "shell/messagearea.h"
#include "shell/numberedit.h"

namespace zelt {

TCommandGate::TCommandGate(TLineTable& table, QList<TNumberEdit*> edits, TMessageArea& messages)
    : table_(table), edits_(std::move(edits)), messages_(messages) {}

bool TCommandGate::Open() {
    if (table_.HoldsRefusedEdit()) {
        messages_.Show(TMessageArea::TKind::Refusal, table_.EditComplaint());
        table_.FocusEditor();
        return false;
    }
    table_.CommitOpenEdit();
    for (TNumberEdit* edit : edits_)
        if (!edit->HoldsPositiveNumber()) {
            // The box says why through its ComplaintChanged, which the window shows.
            edit->Refuse();
            return false;
        }
    return true;
}

} // namespace zelt
