// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dialogs.h"

#include "app/listing.h"

#include "shell/imagesizedialog.h"
#include "shell/windowtext.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace zelt {

namespace {

const QString kTextFilter = QStringLiteral("text files (*.txt)");

} // namespace

void TBoxDialogs::Error(const QString& text) {
    QMessageBox::critical(parent_, Caption(), text, QMessageBox::Ok);
}

void TBoxDialogs::Message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Caption(), text, QMessageBox::Ok, parent_);
    box.exec();
}

QString TBoxDialogs::OpenFileName(const QString& folder, const QString& file) {
    const QString start = file.isEmpty() ? folder : file;
    return QFileDialog::getOpenFileName(parent_, QString(), start, kTextFilter);
}

QString TBoxDialogs::SaveFileName(const QString& folder) {
    return AskSaveFile(folder, kTextFilter, QStringLiteral("txt"));
}

QString TBoxDialogs::SaveImageFileName(const QString& folder) {
    return AskSaveFile(folder,
                       QStringLiteral("PNG image (*.png);;PDF document (*.pdf);;SVG image (*.svg)"),
                       QStringLiteral("png"));
}

bool TBoxDialogs::AskImageSize(TImageChoice& choice, QSize onScreen) {
    TImageSizeDialog dialog(choice, onScreen, parent_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice = dialog.Choice();
    return true;
}

QString TBoxDialogs::OpenDataFileName(const QString& folder) {
    QStringList patterns;
    for (const std::string& extension : kSpectrumExtensions)
        patterns.append(QStringLiteral("*") + QString::fromStdString(extension));
    return QFileDialog::getOpenFileName(parent_, QString(), folder,
                                        QStringLiteral("spectra and tables (%1);;all files (*)")
                                            .arg(patterns.join(QLatin1Char(' '))));
}

int TBoxDialogs::Ask(const QString& text, const QStringList& choices) {
    QMessageBox box(QMessageBox::Question, Caption(), text, QMessageBox::NoButton, parent_);
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices)
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    box.addButton(QMessageBox::Cancel);
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

TDialogs::TUnsavedChoice TBoxDialogs::AskUnsaved(const QString& text) {
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        parent_, Caption(), text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
        QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return TUnsavedChoice::Save;
    return answer == QMessageBox::Discard ? TUnsavedChoice::Discard : TUnsavedChoice::Cancel;
}

// The platform's dialog asks before replacing an existing file: that question protects the
// user's files and stays.
QString TBoxDialogs::AskSaveFile(const QString& folder, const QString& filter,
                                 const QString& suffix) {
    QFileDialog dialog(parent_, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace zelt
