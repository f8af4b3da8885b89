// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The escape factor of the "Absorption" group: a drop-down list of "mewe", "doppler", the table
// chosen last (by its file name) and "Table…", which asks for a table file and takes it when it
// can be used, or says why not and keeps the choice before. Its tool tip names each model's
// formula and source.

#include <QComboBox>

#include <string>

namespace zelt {

class TDialogs;

class TEscapeBox : public QComboBox {
    Q_OBJECT
public:
    explicit TEscapeBox(TDialogs& dialogs, QWidget* parent = nullptr);

    // "mewe", "doppler" or a table's file, as the settings hold it.
    std::string Choice() const;
    // Shows a choice of the configuration; a file there is shown as the table without being
    // read (a map or fit says what is wrong with it).
    void SetChoice(const std::string& choice);

private:
    void Chosen(int index);
    int AskIndex() const { return count() - 1; }

    TDialogs& dialogs_;
    int current_ = 0; // the item chosen before "Table…"
};

} // namespace zelt
