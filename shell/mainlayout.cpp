// SPDX-License-Identifier: GPL-3.0-or-later
// The controls of the main window and their layout.

#include "common/convert.h"
#include "common/format.h"
#include "shell/aboutbox.h"
#include "shell/addspeciesdialog.h"
#include "shell/controls.h"
#include "shell/escapebox.h"
#include "shell/filelistbox.h"
#include "shell/freelevelsview.h"
#include "shell/linetable.h"
#include "shell/lowerfold.h"
#include "shell/main.h"
#include "shell/messagearea.h"
#include "shell/numberedit.h"
#include "shell/regionoverlay.h"
#include "shell/seriespage.h"
#include "shell/seriesrun.h"
#include "shell/spectrumpage.h"
#include "shell/windowtext.h"
#include "widgets/boltzmannchart.h"
#include "widgets/chart.h"
#include "widgets/contourplot.h"
#include "widgets/seriesplot.h"
#include "widgets/spectrumplot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zelt {

namespace {

// Sizes of the design, the start sizes of the splitters; the layouts stretch from there.
constexpr int kDesignWidth = 1636, kDesignHeight = 768;
constexpr int kTableDesignWidth = 737;
constexpr int kCommandStripHeight = 47;
constexpr int kLowerAreaHeight = 339;
constexpr int kSplitterHandle = 8;

QFont PixelFont(const QString& family, int pixels, bool bold = false, bool fixedPitch = false) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    if (fixedPitch) {
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
    }
    return font;
}

QLabel* BoldLabel(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

TNumberEdit* NumberEdit(const char* name) {
    auto* edit = new TNumberEdit(SettingOfEdit(name));
    edit->setMinimumWidth(70);
    edit->setMaximumWidth(110);
    return edit;
}

// A caption above its edit box.
QWidget* Labelled(const QString& caption, QWidget* edit) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    auto* label = new QLabel(caption);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    return box;
}

// A settings group as tight as its captions allow, so that the lower area leaves the table and
// the plots their height on a 700-pixel screen.
template <class TLayout> TLayout* GroupLayout(QGroupBox* group) {
    auto* layout = new TLayout(group);
    layout->setContentsMargins(6, 3, 6, 4);
    layout->setSpacing(3);
    return layout;
}

} // namespace

void TMainForm::CreateControls() {
    setWindowTitle(Caption());
    setFont(PixelFont(QStringLiteral("Tahoma"), 12));
    resize(kDesignWidth, kDesignHeight);
    messages_ = new TMessageArea(*this);

    // The upper area with the command strip beneath it, and the lower area, share the height
    // through a splitter; a taller window gives its extra height to the upper area.
    auto* upper = new QWidget;
    auto* layout = new QVBoxLayout(upper);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(CreateUpperArea(), 1);
    layout->addWidget(CreateCommandStrip(), 0);
    auto* areas = new QSplitter(Qt::Vertical);
    areas->setObjectName(QStringLiteral("AreaSplitter"));
    areas->setHandleWidth(kSplitterHandle);
    areas->setChildrenCollapsible(false);
    areas->addWidget(upper);
    areas->addWidget(CreateLowerArea());
    areas->setStretchFactor(0, 1);
    areas->setStretchFactor(1, 0);
    areas->setSizes({kDesignHeight - kLowerAreaHeight - kSplitterHandle, kLowerAreaHeight});
    // The message strip beneath, across the whole width.
    auto* central = new QWidget;
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    centralLayout->addWidget(areas, 1);
    centralLayout->addWidget(messages_, 0);
    setCentralWidget(central);
    // The fold is a child of the splitter, its QObject parent, which deletes it: no leak, though
    // the static analyzer does not see the parent take it.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
    plotPages_->setCornerWidget((new TLowerFold(areas))->Button(), Qt::BottomRightCorner);

    positionPanel_ = new QLabel;
    positionPanel_->setObjectName(QStringLiteral("PositionPanel"));
    // 500 pixels where the window has room, as narrow as its text on a small screen, so that the
    // panels to its right keep theirs.
    positionPanel_->setMinimumWidth(positionPanel_->fontMetrics().horizontalAdvance(
        QStringLiteral("  File 000/000 in folder")));
    positionPanel_->setMaximumWidth(500);
    mousePanel_ = new QLabel;
    mousePanel_->setObjectName(QStringLiteral("MousePanel"));
    mousePanel_->setMinimumWidth(mousePanel_->fontMetrics().horizontalAdvance(
        QStringLiteral("log n_1   00.000  -  temperature 00000.000  ")));
    // The residual under the mouse, beside its coordinates.
    mapValuePanel_ = new QLabel;
    mapValuePanel_->setObjectName(QStringLiteral("MapValuePanel"));
    statusBar()->addWidget(positionPanel_, 1);
    statusBar()->addWidget(mousePanel_, 0);
    statusBar()->addWidget(mapValuePanel_, 1);
    statusBar()->setSizeGripEnabled(true);
    // A refused edit box or intensity says why where the user looks: its red mark and the
    // message strip.
    for (TNumberEdit* edit : findChildren<TNumberEdit*>())
        connect(edit, &TNumberEdit::ComplaintChanged, this, [this](const QString& complaint) {
            if (!complaint.isEmpty())
                messages_->Show(TMessageArea::TKind::Refusal, complaint);
            else if (messages_->Kind() == TMessageArea::TKind::Refusal)
                messages_->Clear();
        });
    connect(grid_, &TLineTable::EditRefused, this, [this](const QString& complaint) {
        messages_->Show(TMessageArea::TKind::Refusal, complaint);
    });

    SetTabOrder();
    QWidget::setTabOrder(mapBtn_, regionOverlay_->LevelBox());
}

QWidget* TMainForm::CreateUpperArea() {
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("UpperSplitter"));
    splitter->setHandleWidth(kSplitterHandle);
    splitter->setChildrenCollapsible(false);

    tablePages_ = new QTabWidget;
    tablePages_->setObjectName(QStringLiteral("TablePageControl"));
    tablePages_->setTabPosition(QTabWidget::South);
    grid_ = new TLineTable;
    grid_->setObjectName(QStringLiteral("StringGrid1"));
    grid_->setFont(PixelFont(QStringLiteral("Tahoma"), 13));
    grid_->SetEditRules(
        [](const QString& text) {
            double value = 0;
            return TryStrToFloat(text.toStdString(), value);
        },
        [this](int row, const QString& text) { CommitIntensity(row, text); });
    const QFont listFont = PixelFont(QStringLiteral("Courier New"), 13, true, true);
    linesBox_ = new QListWidget;
    linesBox_->setObjectName(QStringLiteral("LinesBox"));
    linesBox_->setFont(listFont);
    linesBox_->setUniformItemSizes(true);
    levelsBox_ = new QListWidget;
    levelsBox_->setObjectName(QStringLiteral("LevelsBox"));
    levelsBox_->setFont(listFont);
    levelsBox_->setUniformItemSizes(true);
    tablePages_->addTab(grid_, QStringLiteral("Selected lines"));
    tablePages_->addTab(linesBox_, QStringLiteral("Database lines"));
    tablePages_->addTab(levelsBox_, QStringLiteral("Database levels"));
    freeLevels_ = new TFreeLevelsView(this);
    AddImageMenu(freeLevels_->Plot());
    tablePages_->addTab(freeLevels_->Page(), QStringLiteral("Free levels"));
    // On a small screen the four tabs share the narrow pane: their titles are shortened to fit,
    // in full on their tool tips, rather than scrolled out of sight.
    tablePages_->setUsesScrollButtons(false);
    tablePages_->setElideMode(Qt::ElideRight);
    for (int i = 0; i < tablePages_->count(); ++i)
        tablePages_->setTabToolTip(i, tablePages_->tabText(i));

    plotPages_ = new QTabWidget;
    plotPages_->setObjectName(QStringLiteral("PlotPageControl"));
    plotPages_->setTabPosition(QTabWidget::South);
    chart_ = new TZeltChart;
    chart_->setObjectName(QStringLiteral("ZeltChart"));
    connect(chart_, &TZeltChart::MouseAt, this, [this](double x, double y) {
        mousePanel_->setText(FromStd(Format("wavelength %8.5f  -  Zelt %6.3f", {x, y})));
        mapValuePanel_->clear();
    });
    AddImageMenu(chart_);
    sumPage_ = new QWidget;
    sumPage_->setObjectName(QStringLiteral("SumPage"));
    auto* sumLayout = new QVBoxLayout(sumPage_);
    sumLayout->setContentsMargins(0, 0, 0, 0);
    contourPlot_ = new TContourPlot;
    contourPlot_->setObjectName(QStringLiteral("ContourPlot"));
    contourPlot_->SetValueCallback(
        [this](double x, double y) { return ContourPlotEstimateZVal(x, y); });
    connect(contourPlot_, &TContourPlot::MouseAt, this, [this](double x, double y) {
        mousePanel_->setText(FromStd(Format("log n_1 %8.3f  -  temperature %8.3f", {x, y})));
        const double rss = app_.ShownMap().ValueAt(x, y);
        mapValuePanel_->setText(rss < 0 ? QString() : FromStd(Format("RSS %.3e", {rss})));
    });
    AddImageMenu(contourPlot_, [this](QMenu& menu) {
        menu.addAction(QStringLiteral("Save map…"), this, [this] { SaveMapClick(); })
            ->setEnabled(!app_.ShownMap().Empty());
    });
    regionOverlay_ = new TRegionOverlay(contourPlot_, statusBar(), this);
    sumLayout->addWidget(contourPlot_);
    plotPages_->addTab(chart_, QStringLiteral("Branching fractions"));
    plotPages_->addTab(sumPage_, QStringLiteral("Sum"));
    seriesPage_ = new TSeriesPage;
    seriesPage_->setObjectName(QStringLiteral("SeriesPage"));
    AddImageMenu(seriesPage_->Plot(), [this](QMenu& menu) {
        menu.addAction(QStringLiteral("Save series…"), this, [this] { SaveSeriesClick(); })
            ->setEnabled(!seriesRun_->Entries().empty());
        if (!seriesRun_->Running())
            seriesPage_->AddEntryActions(menu);
    });
    connect(seriesPage_, &TSeriesPage::ExclusionRequested, this,
            [this](std::size_t index, bool excluded) {
                seriesRun_->SetExcluded(index, excluded);
                seriesUnsaved_ = true;
            });
    plotPages_->addTab(seriesPage_, QStringLiteral("Series"));
    spectrumPage_ = new TSpectrumPage(
        app_, dialogs_, [this](const QString& file) { ReadBtnClick(TSender::FileListBox, file); });
    spectrumPage_->setObjectName(QStringLiteral("SpectrumPage"));
    AddImageMenu(spectrumPage_->Plot());
    plotPages_->addTab(spectrumPage_, QStringLiteral("Spectrum"));
    commandAreas_ << tablePages_ << spectrumPage_;

    splitter->addWidget(tablePages_);
    splitter->addWidget(plotPages_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kTableDesignWidth, kDesignWidth - kTableDesignWidth - kSplitterHandle});
    return splitter;
}

QWidget* TMainForm::CreateCommandStrip() {
    auto* strip = new QWidget;
    strip->setFixedHeight(kCommandStripHeight);
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(8, 6, 8, 6);
    elementListBox_ = new QComboBox;
    elementListBox_->setObjectName(QStringLiteral("ElementListBox"));
    elementListBox_->setEditable(false);
    elementListBox_->setMinimumWidth(145);
    connect(elementListBox_, &QComboBox::currentIndexChanged, this,
            [this] { ElementListBoxChange(); });
    auto* addSpeciesBtn = Button("AddSpeciesBtn", QStringLiteral("Add species…"));
    addSpeciesBtn->setToolTip(
        QStringLiteral("A species from the NIST ASD's lines and levels exports"));
    connect(addSpeciesBtn, &QPushButton::clicked, this, [this] {
        const std::string section = AddSpecies(app_.Config(), dialogs_, this);
        if (section.empty())
            return;
        elementListBox_->addItem(FromCoreText(section), QByteArray::fromStdString(section));
        elementListBox_->setCurrentIndex(elementListBox_->count() - 1);
    });
    readBtn_ = Button("ReadBtn", QStringLiteral("Read intensities"));
    connect(readBtn_, &QPushButton::clicked, this, [this] { ReadBtnClick(TSender::ReadBtn); });
    nextBtn_ = Button("NextBtn", QStringLiteral("Next file"));
    connect(nextBtn_, &QPushButton::clicked, this, [this] { NextFileClick(); });
    recalculateBtn_ = Button("Button4", QStringLiteral("Recalculate BF"));
    connect(recalculateBtn_, &QPushButton::clicked, this, [this] { RecalculateBF(); });
    saveTableBtn_ = Button("Button1", QStringLiteral("Save table"));
    connect(saveTableBtn_, &QPushButton::clicked, this, [this] { Button1Click(); });
    saveTableTsvBtn_ = Button("SaveTableTsvButton", QStringLiteral("Save table (TSV)…"));
    saveTableTsvBtn_->setToolTip(
        QStringLiteral("The table for spreadsheets and pandas: titles with units, no leading tab"));
    connect(saveTableTsvBtn_, &QPushButton::clicked, this, [this] { SaveTableTsvClick(); });
    for (QWidget* control :
         std::initializer_list<QWidget*>{elementListBox_, addSpeciesBtn, readBtn_, nextBtn_,
                                         recalculateBtn_, saveTableBtn_, saveTableTsvBtn_})
        layout->addWidget(control);
    layout->addStretch(1);
    layout->addWidget(CreateAboutButton(this));
    allLinesCheckBox_ = new QCheckBox(QStringLiteral("All lines in list"), strip);
    allLinesCheckBox_->setObjectName(QStringLiteral("AllLinesCheckBox"));
    allLinesCheckBox_->hide();
    monteCarloBtn_ = Button("Button5", QStringLiteral("Monte Carlo"));
    monteCarloBtn_->setParent(strip);
    monteCarloBtn_->hide();
    connect(monteCarloBtn_, &QPushButton::clicked, this, [this] { Button5Click(); });
    commandAreas_.append(strip);
    return strip;
}

// The groups of settings in a row, and beneath them the report memo across the whole width, so
// that a result line with all its populated levels can be read without scrolling sideways.
QWidget* TMainForm::CreateLowerArea() {
    auto* area = new QWidget;
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(4, 0, 4, 4);
    auto* layout = new QHBoxLayout;
    column->addLayout(layout, 0);

    auto* map = new QGroupBox(QStringLiteral("Map"));
    map->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    auto* mapLayout = GroupLayout<QGridLayout>(map);
    fromDensityEdit_ = NumberEdit("FromDensityEdit");
    toDensityEdit_ = NumberEdit("ToDensityEdit");
    pointsDensityEdit_ = NumberEdit("PointsDensityEdit");
    fromTempEdit_ = NumberEdit("FromTempEdit");
    toTempEdit_ = NumberEdit("ToTempEdit");
    pointsTempEdit_ = NumberEdit("PointsTempEdit");
    mapLayout->addWidget(BoldLabel(QStringLiteral("Density n_1 (m-3)")), 0, 0, 1, 3);
    mapLayout->addWidget(Labelled(QStringLiteral("From"), fromDensityEdit_), 1, 0);
    mapLayout->addWidget(Labelled(QStringLiteral("To"), toDensityEdit_), 1, 1);
    mapLayout->addWidget(Labelled(QStringLiteral("Points"), pointsDensityEdit_), 1, 2);
    mapLayout->addWidget(BoldLabel(QStringLiteral("Temperature T_exc (K)")), 2, 0, 1, 3);
    mapLayout->addWidget(Labelled(QStringLiteral("From"), fromTempEdit_), 3, 0);
    mapLayout->addWidget(Labelled(QStringLiteral("To"), toTempEdit_), 3, 1);
    mapLayout->addWidget(Labelled(QStringLiteral("Points"), pointsTempEdit_), 3, 2);
    mapBtn_ = Button("MapBtn", QStringLiteral("Create map"));
    connect(mapBtn_, &QPushButton::clicked, this, [this] { Iterate(); });
    mapLayout->addWidget(mapBtn_, 4, 0, 1, 2);
    mapLayout->addWidget(regionOverlay_->LevelBox(), 4, 2);
    mapLayout->setRowStretch(5, 1);
    layout->addWidget(map);

    auto* fit = new QGroupBox(QStringLiteral("Fit"));
    auto* fitLayout = GroupLayout<QVBoxLayout>(fit);
    fitDensityEdit_ = NumberEdit("FitDensityEdit");
    fitTempCheckBox_ = new QCheckBox(QStringLiteral("Fit T_exc (K)"));
    fitTempCheckBox_->setObjectName(QStringLiteral("FitTempCheckBox"));
    fitTempEdit_ = NumberEdit("FitTempEdit");
    maxIterEdit_ = NumberEdit("MaxIterEdit");
    fitBtn_ = Button("FitBtn", QStringLiteral("Fit"));
    connect(fitBtn_, &QPushButton::clicked, this, [this] { Fit(); });
    fitLayout->addWidget(Labelled(QStringLiteral("Density n_1 (m-3)"), fitDensityEdit_));
    fitLayout->addWidget(fitTempCheckBox_);
    fitLayout->addWidget(fitTempEdit_);
    fitLayout->addWidget(Labelled(QStringLiteral("Max iteration number"), maxIterEdit_));
    // The mode beside the button it changes, so that the group grows no taller.
    auto* fitRow = new QHBoxLayout;
    fitRow->addWidget(fitBtn_);
    fitRow->addWidget(freeLevels_->CheckBox());
    fitLayout->addLayout(fitRow);
    fitLayout->addStretch(1);
    layout->addWidget(fit);

    auto* absorption = new QGroupBox(QStringLiteral("Absorption"));
    auto* absorptionLayout = GroupLayout<QVBoxLayout>(absorption);
    pathEdit_ = NumberEdit("PathEdit");
    tnEdit_ = NumberEdit("TnEdit");
    absorptionLayout->addWidget(Labelled(QStringLiteral("Absorption path (m)"), pathEdit_));
    absorptionLayout->addWidget(Labelled(QStringLiteral("Gas temperature (K)"), tnEdit_));
    escapeBox_ = new TEscapeBox(dialogs_);
    absorptionLayout->addWidget(Labelled(QStringLiteral("Escape factor"), escapeBox_));
    absorptionLayout->addStretch(1);
    layout->addWidget(absorption);

    auto* files = new QGroupBox(QStringLiteral("Files"));
    auto* filesLayout = GroupLayout<QVBoxLayout>(files);
    fileListBox_ = new TFileListBox;
    fileListBox_->setObjectName(QStringLiteral("FileListBox"));
    fileListBox_->setMinimumWidth(150);
    // As tall as the groups beside it: the report below gets the rest.
    fileListBox_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    fileListBox_->setMinimumHeight(50);
    connect(fileListBox_, &TFileListBox::Chosen, this, [this] { FileListBoxClick(); });
    filesLayout->addWidget(fileListBox_);
    fitAllBtn_ = Button("FitAllBtn", QStringLiteral("Fit all files"));
    fitAllBtn_->setToolTip(QStringLiteral(
        "Reads and fits every file of the list in turn with the settings of the \"Fit\" group; "
        "the page \"Series\" shows the results. Escape stops after the current file."));
    connect(fitAllBtn_, &QPushButton::clicked, this, [this] { FitAllClick(); });
    filesLayout->addWidget(fitAllBtn_);
    layout->addWidget(files, 1);

    auto* reportColumn = new QVBoxLayout;
    auto* reportLabel = new QLabel(QStringLiteral("Report"));
    reportComboBox_ = new QComboBox;
    reportComboBox_->setObjectName(QStringLiteral("ReportComboBox"));
    reportComboBox_->addItems({QStringLiteral("final results"), QStringLiteral("fit iteration")});
    reportComboBox_->setCurrentIndex(0);
    reportLabel->setBuddy(reportComboBox_);
    saveButton_ = Button("SaveButton", QStringLiteral("Save report"));
    connect(saveButton_, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
    reportColumn->addWidget(reportLabel);
    reportColumn->addWidget(reportComboBox_);
    reportColumn->addWidget(saveButton_);
    saveResultsBtn_ = Button("SaveResultsButton", QStringLiteral("Save results…"));
    saveResultsBtn_->setToolTip(QStringLiteral(
        "Every map and fit so far as a table: the result line's numbers, the uncertainties to "
        "quote, the flags and the conditions that made each result"));
    connect(saveResultsBtn_, &QPushButton::clicked, this, [this] { SaveResultsClick(); });
    reportColumn->addWidget(saveResultsBtn_);
    reportColumn->addStretch(1);
    layout->addLayout(reportColumn);

    reportsMemo_ = new QPlainTextEdit;
    reportsMemo_->setObjectName(QStringLiteral("ReportsMemo"));
    reportsMemo_->setFont(PixelFont(QStringLiteral("Courier New"), 12, false, true));
    reportsMemo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    reportsMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reportsMemo_->setMinimumHeight(40);
    column->addWidget(reportsMemo_, 1);
    commandAreas_ << map << fit << absorption << files << reportComboBox_ << saveButton_
                  << saveResultsBtn_;
    return area;
}

void TMainForm::SetTabOrder() {
    const std::initializer_list<QWidget*> order = {
        elementListBox_,  readBtn_,        nextBtn_,           recalculateBtn_,  saveTableBtn_,
        tablePages_,      grid_,           linesBox_,          levelsBox_,       plotPages_,
        fromDensityEdit_, toDensityEdit_,  pointsDensityEdit_, fromTempEdit_,    toTempEdit_,
        pointsTempEdit_,  mapBtn_,         fitDensityEdit_,    fitTempCheckBox_, fitTempEdit_,
        maxIterEdit_,     fitBtn_,         pathEdit_,          tnEdit_,          fileListBox_,
        fitAllBtn_,       reportComboBox_, saveButton_,        reportsMemo_};
    QWidget* previous = nullptr;
    for (QWidget* widget : order) {
        if (previous != nullptr)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

} // namespace zelt
