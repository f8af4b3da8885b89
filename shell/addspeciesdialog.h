// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Add species…": a species from the NIST ASD's lines and levels exports (app/addspecies.h).
// The user names the species and picks the two files; the dialog shows at once what the
// import keeps and leaves out, or why it refuses, and "Add species" writes the level file, the
// line table and the section.

#include "app/configstore.h"

#include <QDialog>

#include <memory>
#include <string>

class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace zelt {

class TDialogs;
struct TSpeciesPlan;

class TAddSpeciesDialog : public QDialog {
    Q_OBJECT
public:
    TAddSpeciesDialog(TConfigStore& config, TDialogs& dialogs, QWidget* parent = nullptr);
    ~TAddSpeciesDialog() override;

    // Writes the species of the preview; false, with the reason shown, when it cannot be.
    bool Add();
    // The section written by Add, or empty.
    const std::string& Section() const { return section_; }

private:
    // Plans the species from the edits and shows what is kept and left out, or the refusal.
    void Preview();
    QLineEdit* FileRow(const char* name, const QString& caption, int row, QGridLayout* grid);

    TConfigStore& config_;
    TDialogs& dialogs_;
    QLineEdit* name_;
    QLineEdit* lines_;
    QLineEdit* levels_;
    QLineEdit* mass_;
    QLineEdit* boltzmax_;
    QLabel* notes_;
    QTabWidget* tables_;
    QTableWidget* lineTable_;
    QTableWidget* levelTable_;
    QDialogButtonBox* buttons_;
    QPushButton* add_;
    std::unique_ptr<TSpeciesPlan> plan_;
    std::string section_;
};

// Shows the dialog over `parent`; the section written, or empty when the user cancelled.
std::string AddSpecies(TConfigStore& config, TDialogs& dialogs, QWidget* parent);

} // namespace zelt
