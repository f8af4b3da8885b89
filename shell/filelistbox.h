// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list of the measurement files of one folder. A click on an entry, the selected one
// included (a user who edited intensities re-reads the file that way), Enter, and a change of
// the selected entry with the keyboard ask for the file to be read; a selection set by the
// program does not.

#include <QListWidget>

namespace zelt {

class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

signals:
    void Chosen();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zelt
