// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/spectrumpage.h"

#include "common/format.h"
#include "shell/controls.h"
#include "shell/dialogs.h"
#include "shell/windowtext.h"
#include "widgets/spectrumplot.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zelt {

namespace {

TSpectrumPlot::TMarkKind MarkKind(TLineOutcome outcome) {
    switch (outcome) {
    case TLineOutcome::Integrated:
        return TSpectrumPlot::TMarkKind::Integrated;
    case TLineOutcome::Shared:
        return TSpectrumPlot::TMarkKind::Shared;
    case TLineOutcome::BlendSummed:
    case TLineOutcome::Blend:
        return TSpectrumPlot::TMarkKind::Blend;
    case TLineOutcome::Saturated:
        return TSpectrumPlot::TMarkKind::Saturated;
    default:
        return TSpectrumPlot::TMarkKind::LeftOut;
    }
}

// " [Kr I 811.2904 nm fitted; 811.1-811.4 nm excluded]": what lies near the line, or nothing.
QString Near(const TLineIntegral& line) {
    QStringList near;
    for (const std::string& text : line.Intruders)
        near.append(FromStd(text));
    return near.isEmpty() ? QString()
                          : QStringLiteral(" [") + near.join(QStringLiteral("; ")) + "]";
}

TSpectrumPlot::TMark Mark(const TLineIntegral& line) {
    TSpectrumPlot::TMark mark;
    mark.Centre = line.Centre;
    mark.Low = line.WindowLow;
    mark.High = line.WindowHigh;
    mark.BandBelowLow = line.BandBelow[0];
    mark.BandBelowHigh = line.BandBelow[1];
    mark.BandAboveLow = line.BandAbove[0];
    mark.BandAboveHigh = line.BandAbove[1];
    mark.BackgroundLow = line.Background + line.BackgroundSlope * (line.WindowLow - line.Centre);
    mark.BackgroundHigh = line.Background + line.BackgroundSlope * (line.WindowHigh - line.Centre);
    mark.Kind = MarkKind(line.Outcome);
    mark.Label = FromStd(ShortestReal(line.Line.Data.Wavelength));
    return mark;
}

// The spin box of an import setting: its name, limits, step, decimals, default and the text it
// shows at its lowest value come from the import's table.
QDoubleSpinBox* SpinBox(const char* name) {
    const TImportSetting& setting = ImportSettingOfEdit(name);
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(setting.Least, setting.Most);
    box->setSingleStep(setting.Step);
    box->setDecimals(setting.Decimals);
    box->setValue(setting.Default);
    box->setSpecialValueText(FromStd(std::string(setting.Special)));
    // A width typed digit by digit is integrated once, when it is complete.
    box->setKeyboardTracking(false);
    return box;
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

// The label of an import setting's spin box: the setting's caption.
QLabel* BuddyLabel(QDoubleSpinBox* box) {
    return BuddyLabel(
        FromStd(std::string(ImportSettingOfEdit(box->objectName().toStdString()).Caption)), box);
}

// The controls side by side in `row`, to the left.
void FillRow(QWidget* row, std::initializer_list<QWidget*> controls) {
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* control : controls)
        layout->addWidget(control);
    layout->addStretch(1);
}

void FillTable(QTableWidget& table, const QStringList& titles,
               const std::vector<QStringList>& rows) {
    table.clear();
    table.setColumnCount(static_cast<int>(titles.size()));
    table.setHorizontalHeaderLabels(titles);
    table.setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            if (c < rows[r].size() - 1)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table.setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    table.resizeColumnsToContents();
}

} // namespace

TSpectrumPage::TSpectrumPage(TZeltApp& app, TDialogs& dialogs,
                             std::function<void(const QString&)> read, QWidget* parent)
    : QWidget(parent), app_(app), dialogs_(dialogs), read_(std::move(read)),
      plot_(new TSpectrumPlot), table_(new QTableWidget), notes_(new QPlainTextEdit),
      windowEdit_(SpinBox("SpectrumWindowEdit")),
      sumBlendsBox_(new QCheckBox(QStringLiteral("Sum blends"))), excludeEdit_(new QLineEdit),
      saturationEdit_(SpinBox("SpectrumSaturationEdit")),
      peakToleranceEdit_(SpinBox("SpectrumPeakToleranceEdit")),
      logCountsBox_(new QCheckBox(QStringLiteral("Log counts"))),
      toleranceEdit_(SpinBox("SpectrumToleranceEdit")),
      photonsBox_(new QCheckBox(QStringLiteral("Photon counts"))),
      responseBtn_(Button("SpectrumResponseBtn", QStringLiteral("Response…"))),
      useBtn_(Button("UseIntensitiesBtn", QStringLiteral("Use these intensities"))),
      spectrumOptions_(new QWidget), listOptions_(new QWidget) {
    plot_->setObjectName(QStringLiteral("SpectrumPlot"));
    table_->setObjectName(QStringLiteral("SpectrumLines"));
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    notes_->setObjectName(QStringLiteral("SpectrumNotes"));
    notes_->setReadOnly(true);
    // Three lines of what the import did, two on a small screen; more scroll.
    const auto notesHeight = [this](int lines) {
        return notes_->fontMetrics().lineSpacing() * lines + 2 * (notes_->frameWidth() + 4);
    };
    notes_->setMinimumHeight(notesHeight(2));
    notes_->setMaximumHeight(notesHeight(3));
    // The table takes the rest, and leaves the notes their three lines while it can.
    table_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    table_->setMinimumHeight(table_->minimumSizeHint().height());
    notes_->setPlainText(QStringLiteral(
        "Open a raw spectrum to integrate the lines of the species, or a list of your own "
        "wavelengths and intensities to match to the database."));
    windowEdit_->setToolTip(QStringLiteral(
        "The full width of each line's integration window (nm); \"measured\": 4 line widths"));
    sumBlendsBox_->setObjectName(QStringLiteral("SpectrumSumBlendsBox"));
    excludeEdit_->setObjectName(QStringLiteral("SpectrumExcludeEdit"));
    excludeEdit_->setPlaceholderText(QStringLiteral("811.1-811.4, ..."));
    excludeEdit_->setToolTip(QStringLiteral("Ranges of wavelengths (nm) whose pixels are not used: "
                                            "lines of gases not in the database"));
    excludeEdit_->setMaximumWidth(160);
    saturationEdit_->setToolTip(QStringLiteral(
        "The detector's saturation level (raw counts): a line with a pixel within 0.5 % of it is "
        "left out; \"from the file\": as the file states it, else a flat top"));
    peakToleranceEdit_->setToolTip(QStringLiteral(
        "How far (nm) a line's peak may lie from its database wavelength: the scale's offsets "
        "are measured within it"));
    logCountsBox_->setObjectName(QStringLiteral("SpectrumLogCountsBox"));
    logCountsBox_->setToolTip(
        QStringLiteral("A logarithmic counts axis; Ctrl and the mouse wheel zoom the counts"));
    sumBlendsBox_->setToolTip(QStringLiteral(
        "Blends of lines from one upper level summed and shared by the transition probabilities"));
    toleranceEdit_->setToolTip(
        QStringLiteral("How far (nm) a listed wavelength may lie from its database line"));
    photonsBox_->setObjectName(QStringLiteral("SpectrumPhotonsBox"));
    photonsBox_->setToolTip(QStringLiteral("The listed intensities are photon counts"));
    responseBtn_->setToolTip(QStringLiteral(
        "A relative spectral response (wavelength and sensitivity) to divide the counts by; "
        "cancel the dialog for none: the intensities are then not calibrated"));
    useBtn_->setToolTip(QStringLiteral(
        "Writes these intensities as a measurement file and reads it into the line table"));
    useBtn_->setEnabled(false);

    auto* openSpectrum = Button("OpenSpectrumBtn", QStringLiteral("Open spectrum…"));
    auto* openList = Button("OpenLineListBtn", QStringLiteral("Open line list…"));
    const auto folder = [this] {
        return file_.isEmpty()
                   ? FromStd(app_.Config().View().ReadString(kFilesMeasurements.Section,
                                                             kFilesMeasurements.Key,
                                                             kFilesMeasurements.Default))
                   : QFileInfo(file_).absolutePath();
    };
    connect(openSpectrum, &QPushButton::clicked, this,
            [this, folder] { OpenClick(TImportKind::Spectrum, folder()); });
    connect(openList, &QPushButton::clicked, this,
            [this, folder] { OpenClick(TImportKind::LineList, folder()); });
    connect(useBtn_, &QPushButton::clicked, this, [this] { UseClick(); });
    connect(windowEdit_, &QDoubleSpinBox::valueChanged, this, [this] { Update(); });
    connect(toleranceEdit_, &QDoubleSpinBox::valueChanged, this, [this] { Update(); });
    connect(sumBlendsBox_, &QCheckBox::toggled, this, [this] { Update(); });
    // The edit shows the ranges as they are read, so that a part that is none goes.
    connect(excludeEdit_, &QLineEdit::editingFinished, this, [this] {
        excludeEdit_->setText(
            FromStd(ExclusionText(ExclusionRanges(excludeEdit_->text().toStdString()))));
        Update();
    });
    connect(saturationEdit_, &QDoubleSpinBox::valueChanged, this, [this] { Update(); });
    connect(peakToleranceEdit_, &QDoubleSpinBox::valueChanged, this, [this] { Update(); });
    connect(logCountsBox_, &QCheckBox::toggled, plot_, &TSpectrumPlot::SetLogCounts);
    connect(photonsBox_, &QCheckBox::toggled, this, [this] { Update(); });
    connect(responseBtn_, &QPushButton::clicked, this, [this, folder] {
        response_ = dialogs_.OpenDataFileName(folder());
        responseBtn_->setText(response_.isEmpty()
                                  ? QStringLiteral("Response…")
                                  : QStringLiteral("Response: ") + QFileInfo(response_).fileName());
        Update();
    });

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {openSpectrum, openList, useBtn_})
        buttons->addWidget(button);
    buttons->addStretch(1);
    // The options of a spectrum, or of a line list while one is shown.
    // Two rows, so that the page keeps its controls on a small screen.
    auto *first = new QWidget, *second = new QWidget;
    FillRow(first, {BuddyLabel(windowEdit_), windowEdit_, BuddyLabel(peakToleranceEdit_),
                    peakToleranceEdit_, sumBlendsBox_, responseBtn_});
    FillRow(second, {BuddyLabel(QStringLiteral("Exclude (nm)"), excludeEdit_), excludeEdit_,
                     BuddyLabel(saturationEdit_), saturationEdit_, logCountsBox_});
    auto* options = new QVBoxLayout(spectrumOptions_);
    options->setContentsMargins(0, 0, 0, 0);
    options->setSpacing(2);
    options->addWidget(first);
    options->addWidget(second);
    FillRow(listOptions_, {BuddyLabel(toleranceEdit_), toleranceEdit_, photonsBox_});
    listOptions_->hide();
    auto* controls = new QVBoxLayout;
    controls->setContentsMargins(4, 4, 4, 0);
    controls->setSpacing(2);
    controls->addLayout(buttons);
    controls->addWidget(spectrumOptions_);
    controls->addWidget(listOptions_);

    auto* lower = new QWidget;
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(2);
    lowerLayout->addWidget(notes_);
    lowerLayout->addWidget(table_, 1);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setChildrenCollapsible(false);
    // On a 700-pixel screen the plot gives way first: 100 pixels still show the spectrum and
    // the scale's offsets, and the splitter gives it more.
    plot_->setMinimumHeight(100);
    splitter->addWidget(plot_);
    splitter->addWidget(lower);
    splitter->setSizes({350, 200});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(controls);
    layout->addWidget(splitter, 1);
}

TImportSettings TSpectrumPage::Settings() const {
    TImportSettings settings;
    settings.Window = windowEdit_->value();
    settings.Response = response_.toStdString();
    settings.SumBlends = sumBlendsBox_->isChecked();
    settings.Exclusions = ExclusionRanges(excludeEdit_->text().toStdString());
    settings.Saturation = saturationEdit_->value();
    settings.PeakTolerance = peakToleranceEdit_->value();
    settings.Tolerance = toleranceEdit_->value();
    settings.Photons = photonsBox_->isChecked();
    return settings;
}

void TSpectrumPage::OpenClick(TImportKind kind, const QString& folder) {
    const QString file = dialogs_.OpenDataFileName(folder);
    if (!file.isEmpty())
        Open(file, kind);
}

bool TSpectrumPage::Open(const QString& file, TImportKind kind) {
    file_ = file;
    kind_ = kind;
    // The page shows what it imports: it comes to the front of its page control.
    for (QWidget* up = parentWidget(); up != nullptr; up = up->parentWidget())
        if (auto* pages = qobject_cast<QTabWidget*>(up)) {
            pages->setCurrentWidget(this);
            break;
        }
    return Update();
}

bool TSpectrumPage::OfferImport(const QString& file) {
    const TImportKind guess = ImportKindOf(file.toStdString());
    if (guess == TImportKind::None)
        return false;
    const bool spectrum = guess == TImportKind::Spectrum;
    const QString name = QFileInfo(file).fileName();
    const QString text =
        QStringLiteral("\"%1\" is not a measurement file of the species' lines; it reads as %2. "
                       "Import it on the page \"Spectrum\"?")
            .arg(name, spectrum ? QStringLiteral("a raw spectrum") : QStringLiteral("a line list"));
    const QStringList choices = {QStringLiteral("Import as spectrum"),
                                 QStringLiteral("Import as line list")};
    const int chosen = dialogs_.Ask(text, spectrum ? choices : QStringList{choices[1], choices[0]});
    if (chosen < 0)
        return false;
    const bool asSpectrum = (chosen == 0) == spectrum;
    return Open(file, asSpectrum ? TImportKind::Spectrum : TImportKind::LineList);
}

bool TSpectrumPage::Update() {
    if (kind_ == TImportKind::None)
        return false;
    spectrumOptions_->setVisible(kind_ != TImportKind::LineList);
    listOptions_->setVisible(kind_ == TImportKind::LineList);
    lines_.clear();
    tableText_.clear();
    notesShown_.clear();
    bool done = false;
    if (kind_ == TImportKind::Spectrum) {
        const TSpectrumOutcome outcome = app_.IntegrateSpectrum(file_.toStdString(), Settings());
        if ((done = outcome.Done))
            ShowSpectrum(outcome);
        else
            dialogs_.Error(FromStd(outcome.Error));
    } else {
        const TLineListOutcome outcome = app_.MatchLines(file_.toStdString(), Settings());
        if ((done = outcome.Done))
            ShowList(outcome);
        else
            dialogs_.Error(FromStd(outcome.Error));
    }
    if (!done) {
        plot_->Clear();
        table_->clear();
        table_->setRowCount(0);
        notes_->setPlainText(
            QStringLiteral("\"%1\" could not be imported.").arg(QFileInfo(file_).fileName()));
    }
    useBtn_->setEnabled(!lines_.empty());
    return done;
}

void TSpectrumPage::ShowSpectrum(const TSpectrumOutcome& outcome) {
    const TIntegration& integration = outcome.Integration;
    QVector<TSpectrumPlot::TMark> marks;
    std::vector<QStringList> rows;
    for (const TLineIntegral& line : integration.Lines) {
        marks.append(Mark(line));
        const bool intensity = GivesIntensity(line.Outcome);
        const bool integrated = line.WindowHigh > line.WindowLow;
        rows.push_back(
            {FromStd(ShortestReal(line.Line.Data.Wavelength)),
             integrated ? FromStd(Format("%.3f - %.3f", {line.WindowLow, line.WindowHigh}))
                        : QString(),
             integrated ? FromStd(Format("%.1f", {line.Counts})) : QString(),
             integrated ? FromStd(Format("%.1f", {line.CountsUncertainty})) : QString(),
             FromStd(SignedFixed(line.Centre - line.Line.Data.Wavelength, 3)),
             intensity ? FromStd(Format("%.4e", {line.Intensity})) : QString(),
             intensity ? FromStd(Format("%.2e", {line.Uncertainty})) : QString(),
             FromStd(OutcomeText(line.Outcome)) +
                 (line.Note.empty() ? QString() : QStringLiteral(": ") + FromStd(line.Note)) +
                 Near(line)});
    }
    for (const TIntruder& intruder : integration.Intruders) {
        TSpectrumPlot::TMark mark;
        mark.Centre = intruder.Centre;
        mark.Kind = TSpectrumPlot::TMarkKind::OtherSpecies;
        mark.Label = FromStd(intruder.Line.Name);
        marks.append(mark);
    }
    const TRawSpectrum& spectrum = outcome.Spectrum;
    plot_->ShowSpectrum(QVector<double>(spectrum.Wavelengths.begin(), spectrum.Wavelengths.end()),
                        QVector<double>(spectrum.Counts.begin(), spectrum.Counts.end()), marks);
    // The scale's offsets and the calibration across the spectrum.
    QVector<double> at, offsets, curveAt, curve;
    QVector<bool> used;
    for (const TCalibrationPoint& point : integration.Scale.Points) {
        at.append(point.Wavelength);
        offsets.append(point.Offset);
        used.append(point.Used);
    }
    for (int i = 0; i <= 100 && !at.isEmpty(); ++i) {
        const double w = spectrum.Wavelengths.front() +
                         (spectrum.Wavelengths.back() - spectrum.Wavelengths.front()) * i / 100;
        curveAt.append(w);
        curve.append(integration.Scale.Offset(w));
    }
    plot_->ShowScale(at, offsets, used, curveAt, curve);
    FillTable(*table_,
              {QStringLiteral("Line (nm)"), QStringLiteral("Window (nm)"),
               QStringLiteral("Integral (counts)"), QStringLiteral("u"),
               QStringLiteral("Offset (nm)"), QStringLiteral("Intensity"), QStringLiteral("u"),
               QStringLiteral("Outcome")},
              rows);
    lines_ = integration.Measurement();
    tableText_ = IntegrationTable(integration);
    ShowNotes(integration.Notes);
}

void TSpectrumPage::ShowList(const TLineListOutcome& outcome) {
    const TLineList& list = outcome.List;
    QVector<double> wavelengths, intensities;
    QStringList labels;
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < list.Lines.size(); ++i) {
        const TMeasuredLine& line = list.Lines[i];
        const TLineList::TMatch& match = list.Matches[i];
        wavelengths.append(line.Wavelength);
        intensities.append(line.Intensity);
        labels.append(FromStd(ShortestReal(line.Wavelength)));
        rows.push_back(
            {QString::number(match.FileLine), FromStd(ShortestReal(match.Given)),
             FromStd(ShortestReal(line.Wavelength)),
             FromStd(Format("%.4f", {line.Wavelength - match.Given})),
             FromStd(Format("%.4e", {line.Intensity})),
             line.Uncertainty > 0 ? FromStd(Format("%.2e", {line.Uncertainty})) : QString()});
    }
    plot_->ShowSticks(wavelengths, intensities, labels);
    FillTable(*table_,
              {QStringLiteral("File line"), QStringLiteral("Given (nm)"),
               QStringLiteral("Database line (nm)"), QStringLiteral("Offset (nm)"),
               QStringLiteral("Intensity"), QStringLiteral("u")},
              rows);
    lines_ = list.Lines;
    tableText_ = LineListTable(list);
    ShowNotes(list.Notes);
}

void TSpectrumPage::ShowNotes(const std::vector<std::string>& notes) {
    notesShown_ = notes;
    QStringList texts;
    for (const std::string& note : notes)
        texts.append(FromStd(note));
    notes_->setPlainText(texts.join(QStringLiteral("\n")));
}

void TSpectrumPage::UseClick() {
    if (lines_.empty())
        return;
    const QFileInfo source(file_);
    const QString fileName = dialogs_.SaveFileName(
        source.dir().filePath(source.completeBaseName() + QStringLiteral(".txt")));
    if (fileName.isEmpty())
        return;
    const TImportOutcome outcome = app_.WriteImport(file_.toStdString(), fileName.toStdString(),
                                                    lines_, tableText_, notesShown_);
    if (!outcome.Done) {
        dialogs_.Error(FromStd(outcome.Error));
        return;
    }
    read_(fileName);
}

} // namespace zelt
