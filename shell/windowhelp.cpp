// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/windowhelp.h"

#include "app/settings.h"
#include "shell/numberedit.h"

#include <QKeySequence>
#include <QPushButton>

namespace zelt {

namespace {

struct TButtonHelp {
    const char* Name;
    const char* Tip;
    QKeySequence Shortcut;
};

} // namespace

void AddControlHelp(QWidget& window) {
    const TButtonHelp buttons[] = {
        {"ReadBtn", "Reads a measurement file of wavelength and intensity pairs",
         QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"NextBtn", "Reads the next file of the file list", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"Button4", "Recomputes the measured branching fractions from the table's intensities",
         QKeySequence()},
        {"Button1", "Saves the table of the selected lines as a text file", QKeySequence()},
        {"MapBtn", "Computes the residual map over the density and temperature grid",
         QKeySequence(Qt::CTRL | Qt::Key_M)},
        {"FitBtn", "Fits n_1, and T_exc when ticked, from the start values",
         QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"FitAllBtn", "Reads and fits every file of the list in turn", QKeySequence()},
        {"SaveButton", "Saves the report as a text file", QKeySequence(Qt::CTRL | Qt::Key_S)},
    };
    for (const TButtonHelp& help : buttons) {
        auto* button = window.findChild<QPushButton*>(QString::fromLatin1(help.Name));
        if (button == nullptr)
            continue;
        QString tip = QString::fromLatin1(help.Tip);
        if (!help.Shortcut.isEmpty()) {
            button->setShortcut(help.Shortcut);
            tip += QStringLiteral(" (%1)").arg(help.Shortcut.toString(QKeySequence::NativeText));
        }
        button->setToolTip(tip);
    }
    auto* map = window.findChild<QPushButton*>(QStringLiteral("MapBtn"));
    auto* fit = window.findChild<QPushButton*>(QStringLiteral("FitBtn"));
    for (TNumberEdit* edit : window.findChildren<TNumberEdit*>()) {
        QPushButton* command = edit->Setting().Use == UsedByMap   ? map
                               : edit->Setting().Use == UsedByFit ? fit
                                                                  : nullptr;
        if (command != nullptr)
            QObject::connect(edit, &QLineEdit::returnPressed, command, &QPushButton::click);
    }
}

} // namespace zelt
