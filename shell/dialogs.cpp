#include "shell/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include <utility>

namespace zelt {

namespace {

const QString Caption = QStringLiteral("Zelt Fit");
const QString TextFilter = QStringLiteral("text files (*.txt)");

} // namespace

void TCollectingDialogs::Collect(bool on) {
    collecting_ = on;
    collected_ = {};
}

TCollectingDialogs::TCollected TCollectingDialogs::Take() {
    return std::exchange(collected_, {});
}

void TCollectingDialogs::Error(const QString& text) {
    if (collecting_)
        collected_.Errors.append(text);
    else
        shown_.Error(text);
}

void TCollectingDialogs::Message(const QString& text) {
    if (collecting_)
        collected_.Messages.append(text);
    else
        shown_.Message(text);
}

QString TCollectingDialogs::OpenFileName(const QString& folder, const QString& file) {
    return shown_.OpenFileName(folder, file);
}

QString TCollectingDialogs::SaveFileName(const QString& folder) {
    return shown_.SaveFileName(folder);
}

QString TCollectingDialogs::SaveImageFileName(const QString& folder) {
    return shown_.SaveImageFileName(folder);
}

void TBoxDialogs::Error(const QString& text) {
    QMessageBox::critical(parent_, Caption, text, QMessageBox::Ok);
}

void TBoxDialogs::Message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Caption, text, QMessageBox::Ok, parent_);
    box.exec();
}

QString TBoxDialogs::OpenFileName(const QString& folder, const QString& file) {
    const QString start = file.isEmpty() ? folder : file;
    return QFileDialog::getOpenFileName(parent_, QString(), start, TextFilter);
}

QString TBoxDialogs::SaveFileName(const QString& folder) {
    return AskSaveFile(folder, TextFilter, QStringLiteral("txt"));
}

QString TBoxDialogs::SaveImageFileName(const QString& folder) {
    return AskSaveFile(folder,
                       QStringLiteral("PNG image (*.png);;PDF document (*.pdf);;SVG image (*.svg)"),
                       QStringLiteral("png"));
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
