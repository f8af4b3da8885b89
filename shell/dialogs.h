// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every modal box and file dialog of the window goes through this interface, so that tests
// replace it with one that records what would have been shown and never blocks.
// Texts given here are UTF-8; the window converts the core's Windows-1252 texts first.

#include <QString>
#include <QStringList>

class QSize;
class QWidget;

namespace zelt {

struct TImageChoice;

class TDialogs {
public:
    enum class TUnsavedChoice { Save, Discard, Cancel };

    virtual ~TDialogs() = default;

    // The common error report: a stop icon, an OK button, the caption "Zelt Fit". `text` is
    // shown as it is; the caller applies the full-stop rule (ErrorReportText).
    virtual void Error(const QString& text) = 0;
    // A plain box with an OK button: the orderly stop of an operation that keeps what it has
    // done, "File error: " of a species change, the missing-files message.
    virtual void Message(const QString& text) = 0;
    // The chosen file, or an empty text when the user cancels. The open dialog starts in
    // `folder` with `file` preset; the save dialog starts in `folder`.
    virtual QString OpenFileName(const QString& folder, const QString& file) = 0;
    virtual QString SaveFileName(const QString& folder) = 0;
    // A file for a plot image: PNG, PDF or SVG.
    virtual QString SaveImageFileName(const QString& folder) = 0;
    // The size and resolution of an image of a plot of `onScreen` pixels, starting from
    // `choice`: false when the user cancels.
    virtual bool AskImageSize(TImageChoice& choice, QSize onScreen) = 0;
    // A spectrum or table of any name to import, the dialog starting in `folder`.
    virtual QString OpenDataFileName(const QString& folder) = 0;
    // A question with a button for each of `choices`: the index of the one pressed, or -1 when
    // the user closes the box.
    virtual int Ask(const QString& text, const QStringList& choices) = 0;
    // The question before results that were not saved are lost: Save, Discard or Cancel.
    virtual TUnsavedChoice AskUnsaved(const QString& text) = 0;
};

// The real boxes and dialogs, owned by `parent`.
class TBoxDialogs : public TDialogs {
public:
    explicit TBoxDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Error(const QString& text) override;
    void Message(const QString& text) override;
    QString OpenFileName(const QString& folder, const QString& file) override;
    QString SaveFileName(const QString& folder) override;
    QString SaveImageFileName(const QString& folder) override;
    bool AskImageSize(TImageChoice& choice, QSize onScreen) override;
    QString OpenDataFileName(const QString& folder) override;
    int Ask(const QString& text, const QStringList& choices) override;
    TUnsavedChoice AskUnsaved(const QString& text) override;

private:
    QString AskSaveFile(const QString& folder, const QString& filter, const QString& suffix);

    QWidget* parent_;
};

} // namespace zelt
