// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/addspeciesdialog.h"

#include "app/addspecies.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "shell/dialogs.h"
#include "shell/windowtext.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zelt {

namespace {

QTableWidget* Table(const char* name, const QStringList& titles) {
    auto* table = new QTableWidget(0, static_cast<int>(titles.size()));
    table->setObjectName(QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(titles);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Appends a row; a row of what is left out is grey.
void AddRow(QTableWidget* table, const QStringList& cells, bool kept) {
    const int row = table->rowCount();
    table->insertRow(row);
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (!kept)
            item->setForeground(QColor(140, 140, 140));
        table->setItem(row, c, item);
    }
}

QString Designation(const TAsdLevel& level) {
    return FromStd(level.Configuration + " " + level.Term + " J=" + level.JText);
}

} // namespace

TAddSpeciesDialog::TAddSpeciesDialog(TConfigStore& config, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), config_(config), dialogs_(dialogs) {
    setObjectName(QStringLiteral("AddSpeciesDialog"));
    setWindowTitle(QStringLiteral("Add species"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("SpeciesNameEdit"));
    name_->setPlaceholderText(QStringLiteral("element and ion stage first: Kr I"));
    grid->addWidget(new QLabel(QStringLiteral("Species")), 0, 0);
    grid->addWidget(name_, 0, 1, 1, 2);
    lines_ = FileRow("LinesExportEdit", QStringLiteral("Lines export (ASD)"), 1, grid);
    levels_ = FileRow("LevelsExportEdit", QStringLiteral("Levels export (ASD)"), 2, grid);
    auto* numbers = new QHBoxLayout;
    mass_ = new QLineEdit;
    mass_->setObjectName(QStringLiteral("SpeciesMassEdit"));
    mass_->setPlaceholderText(QStringLiteral("standard atomic weight"));
    boltzmax_ = new QLineEdit;
    boltzmax_->setObjectName(QStringLiteral("SpeciesBoltzmaxEdit"));
    boltzmax_->setPlaceholderText(QStringLiteral("levels below the first excited configuration"));
    numbers->addWidget(mass_, 1);
    numbers->addWidget(new QLabel(QStringLiteral("Boltzmax")));
    numbers->addWidget(boltzmax_, 2);
    grid->addWidget(new QLabel(QStringLiteral("Mass (u)")), 3, 0);
    grid->addLayout(numbers, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    notes_ = new QLabel;
    notes_->setObjectName(QStringLiteral("SpeciesPreviewNotes"));
    notes_->setWordWrap(true);
    notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(notes_);
    tables_ = new QTabWidget;
    lineTable_ = Table("SpeciesPreviewLines",
                       {QStringLiteral("Line"), QStringLiteral("λ (nm)"), QStringLiteral("A (s⁻¹)"),
                        QStringLiteral("Lower"), QStringLiteral("Upper"), QStringLiteral("")});
    levelTable_ =
        Table("SpeciesPreviewLevels", {QStringLiteral("Line"), QStringLiteral("Level"),
                                       QStringLiteral("Energy (eV)"), QStringLiteral("")});
    tables_->addTab(lineTable_, QStringLiteral("Lines"));
    tables_->addTab(levelTable_, QStringLiteral("Levels"));
    layout->addWidget(tables_, 1);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Cancel);
    add_ = buttons_->addButton(QStringLiteral("Add species"), QDialogButtonBox::AcceptRole);
    add_->setObjectName(QStringLiteral("AddSpeciesButton"));
    connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
        if (Add())
            accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons_);
    for (QLineEdit* edit : {name_, lines_, levels_, mass_, boltzmax_})
        connect(edit, &QLineEdit::textChanged, this, [this] { Preview(); });
    Preview();
}

TAddSpeciesDialog::~TAddSpeciesDialog() = default;

QLineEdit* TAddSpeciesDialog::FileRow(const char* name, const QString& caption, int row,
                                      QGridLayout* grid) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(QStringLiteral("CSV or tab-delimited"));
    auto* browse = new QPushButton(QStringLiteral("Browse…"));
    connect(browse, &QPushButton::clicked, this, [this, edit] {
        const QString file = dialogs_.OpenDataFileName(QFileInfo(edit->text()).path());
        if (!file.isEmpty())
            edit->setText(file);
    });
    grid->addWidget(new QLabel(caption), row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(browse, row, 2);
    return edit;
}

void TAddSpeciesDialog::Preview() {
    plan_.reset();
    lineTable_->setRowCount(0);
    levelTable_->setRowCount(0);
    if (name_->text().trimmed().isEmpty() || lines_->text().isEmpty() ||
        levels_->text().isEmpty()) {
        notes_->setText(QStringLiteral("Name the species and give the ASD's lines and levels "
                                       "exports of it."));
        add_->setEnabled(false);
        return;
    }
    try {
        TAddSpeciesRequest request{name_->text().toStdString(),
                                   lines_->text().toStdString(),
                                   levels_->text().toStdString(),
                                   {},
                                   {},
                                   {}};
        double mass = 0;
        std::int32_t boltzmax = 0;
        if (!mass_->text().trimmed().isEmpty()) {
            if (!TryStrToFloat(mass_->text().toStdString(), mass))
                throw Exception("Mass \"" + mass_->text().toStdString() + "\" is not a number");
            request.Mass = mass;
        }
        if (!boltzmax_->text().trimmed().isEmpty()) {
            if (!TryStrToInt(boltzmax_->text().toStdString(), boltzmax))
                throw Exception("Boltzmax \"" + boltzmax_->text().toStdString() +
                                "\" is not a whole number");
            request.Boltzmax = boltzmax;
        }
        plan_ = std::make_unique<TSpeciesPlan>(PlanSpecies(config_, request));
    } catch (const std::exception& error) {
        notes_->setText(FromCoreText(ErrorReportText(error.what())));
        add_->setEnabled(false);
        return;
    }
    const TAsdImport& import = plan_->Import;
    QStringList notes;
    for (const std::string& note : plan_->Notes)
        notes.append(FromStd(note));
    notes.append(
        QStringLiteral("Writes %1 and %2 and the section [%3].")
            .arg(FromStd(plan_->LevelFile), FromStd(plan_->LineTable), FromStd(plan_->Section)));
    notes_->setText(notes.join(QLatin1Char('\n')));
    for (const TAsdLine& line : import.Lines)
        AddRow(lineTable_,
               {QString::number(line.Row), FromStd(line.WavelengthText),
                FromStd(Format("%.3e", {line.Aki})), Designation(import.Levels[line.Lower]),
                Designation(import.Levels[line.Upper]),
                line.Ritz ? QStringLiteral("kept (Ritz wavelength)") : QStringLiteral("kept")},
               true);
    for (const TAsdLeftOut& out : import.LinesLeftOut)
        AddRow(lineTable_,
               {QString::number(out.Row),
                FromStd(out.What),
                {},
                {},
                {},
                QStringLiteral("left out: ") + FromStd(out.Reason)},
               false);
    for (const TAsdLevel& level : import.Levels)
        AddRow(levelTable_,
               {QString::number(level.Row), Designation(level), FromStd(level.EnergyText),
                QStringLiteral("kept")},
               true);
    for (const TAsdLeftOut& out : import.LevelsLeftOut)
        AddRow(levelTable_,
               {QString::number(out.Row),
                FromStd(out.What),
                {},
                QStringLiteral("left out: ") + FromStd(out.Reason)},
               false);
    tables_->setTabText(0, QStringLiteral("Lines: %1 kept, %2 left out")
                               .arg(import.Lines.size())
                               .arg(import.LinesLeftOut.size()));
    tables_->setTabText(1, QStringLiteral("Levels: %1 kept, %2 left out")
                               .arg(import.Levels.size())
                               .arg(import.LevelsLeftOut.size()));
    for (QTableWidget* table : {lineTable_, levelTable_})
        table->resizeColumnsToContents();
    add_->setEnabled(true);
}

bool TAddSpeciesDialog::Add() {
    if (!plan_)
        return false;
    try {
        WriteSpecies(config_, *plan_);
    } catch (const std::exception& error) {
        dialogs_.Error(FromCoreText(ErrorReportText(error.what())));
        return false;
    }
    section_ = plan_->Section;
    return true;
}

std::string AddSpecies(TConfigStore& config, TDialogs& dialogs, QWidget* parent) {
    TAddSpeciesDialog dialog(config, dialogs, parent);
    if (parent != nullptr)
        dialog.resize(std::min(960, parent->width() * 9 / 10),
                      std::min(680, parent->height() * 9 / 10));
    return dialog.exec() == QDialog::Accepted ? dialog.Section() : std::string();
}

} // namespace zelt
