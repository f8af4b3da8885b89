// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/aboutbox.h"

#include "app/about.h"

#include <QMessageBox>
#include <QPushButton>

namespace zelt {

QMessageBox* CreateAboutBox(QWidget* parent) {
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("AboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("About Zelt Fit"));
    box->setIcon(QMessageBox::Information);
    box->setText(QString::fromStdString(VersionLine("Zelt Fit")));
    // The text's lines are cut for a terminal; the box wraps its paragraphs itself.
    QStringList paragraphs = QString::fromStdString(AboutText()).trimmed().split("\n\n");
    for (QString& paragraph : paragraphs)
        paragraph.replace('\n', ' ');
    box->setInformativeText(paragraphs.join("\n\n"));
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

QPushButton* CreateAboutButton(QWidget* window) {
    auto* button = new QPushButton(QStringLiteral("About"));
    button->setObjectName(QStringLiteral("AboutBtn"));
    QObject::connect(button, &QPushButton::clicked, window,
                     [window] { CreateAboutBox(window)->open(); });
    return button;
}

} // namespace zelt
