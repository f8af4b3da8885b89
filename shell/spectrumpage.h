// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page "Spectrum": a raw spectrum or a line list imported against the current species. A
// spectrum is shown with its database lines, their integration windows and backgrounds, and
// the window width, the excluded ranges, the saturation level and the peaks' tolerance may be
// changed, the integrals following; the scale's offsets are plotted beneath and lines of other
// species marked; a line list is shown with the
// database line each row was matched to and its offset. "Use these intensities" writes them as
// a measurement file (with the table of what was done beside it) and reads that file as "Read
// intensities" does.

#include "app/application.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace zelt {

class TDialogs;
class TSpectrumPlot;

class TSpectrumPage : public QWidget {
    Q_OBJECT
public:
    // `read` reads a measurement file the page has written, as "Read intensities" does.
    TSpectrumPage(TZeltApp& app, TDialogs& dialogs, std::function<void(const QString&)> read,
                  QWidget* parent = nullptr);

    TSpectrumPlot* Plot() const { return plot_; }
    // The file shown, and the lines it gives, in the measurement file's order.
    const QString& File() const { return file_; }
    const std::vector<TMeasuredLine>& Intensities() const { return lines_; }

    // "Open spectrum…" and "Open line list…": the file from the dialog, starting in `folder`.
    void OpenClick(TImportKind kind, const QString& folder);
    // Shows `file` imported as `kind`; false, after the error box, when it cannot be.
    bool Open(const QString& file, TImportKind kind);
    // After "Read intensities" did not read `file` as a measurement file: offers to import it
    // here when it reads as a spectrum or a line list; true when it was opened.
    bool OfferImport(const QString& file);
    // "Use these intensities".
    void UseClick();

private:
    // Imports the file shown again with the page's settings.
    bool Update();
    void ShowSpectrum(const TSpectrumOutcome& outcome);
    void ShowList(const TLineListOutcome& outcome);
    void ShowNotes(const std::vector<std::string>& notes);
    TImportSettings Settings() const;

    TZeltApp& app_;
    TDialogs& dialogs_;
    std::function<void(const QString&)> read_;
    QString file_;
    TImportKind kind_ = TImportKind::None;
    std::vector<TMeasuredLine> lines_;
    std::string tableText_;
    std::vector<std::string> notesShown_;
    QString response_;

    TSpectrumPlot* plot_;
    QTableWidget* table_;
    QPlainTextEdit* notes_;
    QDoubleSpinBox* windowEdit_;
    QCheckBox* sumBlendsBox_;
    QLineEdit* excludeEdit_;
    QDoubleSpinBox* saturationEdit_;
    QDoubleSpinBox* peakToleranceEdit_;
    QCheckBox* logCountsBox_;
    QDoubleSpinBox* toleranceEdit_;
    QCheckBox* photonsBox_;
    QPushButton* responseBtn_;
    QPushButton* useBtn_;
    QWidget* spectrumOptions_;
    QWidget* listOptions_;
};

} // namespace zelt
