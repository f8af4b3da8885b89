// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check before a command runs or a file is read: a text typed into an intensity cell or an
// edit box that the command would not take stops it. The user is put back where the text is,
// told why in the message strip, and nothing runs; an accepted intensity still being edited is
// committed first, so that the command sees what the cell shows.

#include <QList>
#include <QString>

namespace zelt {

class TLineTable;
class TMessageArea;
class TNumberEdit;

class TCommandGate {
public:
    TCommandGate(TLineTable& table, QList<TNumberEdit*> edits, TMessageArea& messages);
    // True when the command may run.
    bool Open();

private:
    TLineTable& table_;
    QList<TNumberEdit*> edits_;
    TMessageArea& messages_;
};

} // namespace zelt
