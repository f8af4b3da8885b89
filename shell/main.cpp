#include "shell/main.h"

#include "app/commands.h"
#include "app/datafolders.h"
#include "app/listing.h"
#include "app/tables.h"
#include "common/codepage.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"
#include "shell/filelistbox.h"
#include "shell/linetable.h"
#include "shell/numberedit.h"
#include "shell/regionoverlay.h"
#include "shell/seriespage.h"
#include "shell/seriesrun.h"
#include "widgets/chart.h"
#include "widgets/contourplot.h"
#include "widgets/seriesplot.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

#include <array>
#include <cmath>
#include <new>

namespace zelt {

namespace {

const QString Caption = QStringLiteral("Zelt Fit");
const QColor TitleRowColour(20, 20, 20);
const QColor BandColours[2] = {QColor(255, 255, 255), QColor(198, 226, 255)};

// Texts of the database, the listings and the report are Windows-1252.
QString FromCp1252(const std::string& text) {
    return QString::fromStdString(Cp1252ToUtf8(text));
}

// Messages of the core mix Windows-1252 texts with file names given to it in UTF-8: a text
// that is valid UTF-8 is taken as such, any other as Windows-1252.
QString FromCoreMessage(const std::string& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString utf8 = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return decoder.hasError() ? FromCp1252(text) : utf8;
}

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Sizes of the design, the start sizes of the splitters; the layouts stretch from there.
constexpr int DesignWidth = 1636, DesignHeight = 768;
constexpr int TableDesignWidth = 737;
constexpr int CommandStripHeight = 47;
constexpr int LowerAreaHeight = 339;
constexpr int SplitterHandle = 8;

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

QPushButton* Button(const char* name, const QString& caption) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
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

// The busy cursor while a command runs; the normal one comes back at its end, also after an
// error.
struct TBusyCursor {
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace

bool PassNecessaryFilesCheck(TDialogs& dialogs, const std::string& userFolder,
                             const std::vector<std::string>& commonFolders) {
    if (CheckNecessaryFiles(userFolder, commonFolders))
        return true;
    dialogs.Message(QString::fromLatin1(MissingFilesMessage));
    return false;
}

QColor BarColour(std::int32_t upperLevel) {
    static const std::array<QColor, 16> palette = {
        QColor(255, 0, 0),     QColor(0, 128, 0),     QColor(255, 255, 0), QColor(0, 0, 255),
        QColor(255, 255, 255), QColor(128, 128, 128), QColor(255, 0, 255), QColor(0, 128, 128),
        QColor(0, 0, 128),     QColor(128, 0, 0),     QColor(0, 255, 0),   QColor(128, 128, 0),
        QColor(128, 0, 128),   QColor(192, 192, 192), QColor(0, 255, 255), QColor(0, 0, 0)};
    const int index = ((upperLevel % 16) + 16) % 16;
    return palette[static_cast<std::size_t>(index)];
}

TMainForm::TMainForm(TDialogs& dialogs, const std::string& configFile, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), app_(configFile) {
    CreateControls();
    seriesRun_ = new TSeriesRun(*this, app_, dialogs_, plotPages_, seriesPage_, commandAreas_);
    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateControls() {
    setWindowTitle(Caption);
    setFont(PixelFont(QStringLiteral("Tahoma"), 12));
    resize(DesignWidth, DesignHeight);

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
    areas->setHandleWidth(SplitterHandle);
    areas->setChildrenCollapsible(false);
    areas->addWidget(upper);
    areas->addWidget(CreateLowerArea());
    areas->setStretchFactor(0, 1);
    areas->setStretchFactor(1, 0);
    areas->setSizes({DesignHeight - LowerAreaHeight - SplitterHandle, LowerAreaHeight});
    setCentralWidget(areas);

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
    // A refused edit box says why where the user looks: its red mark and the status bar.
    for (TNumberEdit* edit : findChildren<TNumberEdit*>())
        connect(edit, &TNumberEdit::ComplaintChanged, this, [this](const QString& complaint) {
            if (complaint.isEmpty())
                statusBar()->clearMessage();
            else
                statusBar()->showMessage(complaint);
        });

    SetTabOrder();
    QWidget::setTabOrder(mapBtn_, regionOverlay_->LevelBox());
}

QWidget* TMainForm::CreateUpperArea() {
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setHandleWidth(SplitterHandle);
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
    });
    plotPages_->addTab(seriesPage_, QStringLiteral("Series"));
    commandAreas_.append(tablePages_);

    splitter->addWidget(tablePages_);
    splitter->addWidget(plotPages_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({TableDesignWidth, DesignWidth - TableDesignWidth - SplitterHandle});
    return splitter;
}

QWidget* TMainForm::CreateCommandStrip() {
    auto* strip = new QWidget;
    strip->setFixedHeight(CommandStripHeight);
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(8, 6, 8, 6);
    elementListBox_ = new QComboBox;
    elementListBox_->setObjectName(QStringLiteral("ElementListBox"));
    elementListBox_->setEditable(false);
    elementListBox_->setMinimumWidth(145);
    connect(elementListBox_, &QComboBox::currentIndexChanged, this,
            [this] { ElementListBoxChange(); });
    readBtn_ = Button("ReadBtn", QStringLiteral("Read intensities"));
    connect(readBtn_, &QPushButton::clicked, this, [this] { ReadBtnClick(TSender::ReadBtn); });
    nextBtn_ = Button("NextBtn", QStringLiteral("Next file"));
    connect(nextBtn_, &QPushButton::clicked, this, [this] { NextFileClick(); });
    recalculateBtn_ = Button("Button4", QStringLiteral("Recalculate BF"));
    connect(recalculateBtn_, &QPushButton::clicked, this, [this] { RecalculateBF(); });
    saveTableBtn_ = Button("Button1", QStringLiteral("Save table"));
    connect(saveTableBtn_, &QPushButton::clicked, this, [this] { Button1Click(); });
    for (QWidget* control : std::initializer_list<QWidget*>{elementListBox_, readBtn_, nextBtn_,
                                                            recalculateBtn_, saveTableBtn_})
        layout->addWidget(control);
    layout->addStretch(1);
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
    auto* mapLayout = new QGridLayout(map);
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
    auto* fitLayout = new QVBoxLayout(fit);
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
    fitLayout->addWidget(fitBtn_);
    fitLayout->addStretch(1);
    layout->addWidget(fit);

    auto* absorption = new QGroupBox(QStringLiteral("Absorption"));
    auto* absorptionLayout = new QVBoxLayout(absorption);
    pathEdit_ = NumberEdit("PathEdit");
    tnEdit_ = NumberEdit("TnEdit");
    absorptionLayout->addWidget(Labelled(QStringLiteral("Absorption path (m)"), pathEdit_));
    absorptionLayout->addWidget(Labelled(QStringLiteral("Gas temperature (K)"), tnEdit_));
    absorptionLayout->addStretch(1);
    layout->addWidget(absorption);

    auto* files = new QGroupBox(QStringLiteral("Files"));
    auto* filesLayout = new QVBoxLayout(files);
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
    reportColumn->addStretch(1);
    layout->addLayout(reportColumn);

    reportsMemo_ = new QPlainTextEdit;
    reportsMemo_->setObjectName(QStringLiteral("ReportsMemo"));
    reportsMemo_->setFont(PixelFont(QStringLiteral("Courier New"), 12, false, true));
    reportsMemo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    reportsMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reportsMemo_->setMinimumHeight(60);
    column->addWidget(reportsMemo_, 1);
    commandAreas_ << map << fit << absorption << files << reportComboBox_ << saveButton_;
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

void TMainForm::FormCreate() {
    QLocale::setDefault(QLocale::c());
    const TConfigView config = app_.Config().View();
    databaseFolder_ =
        config.ReadString(FilesDatabase.Section, FilesDatabase.Key, FilesDatabase.Default);
    // Systems without drive letters have no "C:\": the home folder takes its place.
    openDialogFolder_ = FromStd(config.ReadString(FilesMeasurements.Section, FilesMeasurements.Key,
                                                  FilesMeasurements.Default));
    if (openDialogFolder_.isEmpty())
        openDialogFolder_ = QDir::homePath();
    FillSpecies();
    FillEdits();
    tablePages_->setCurrentIndex(0);
    plotPages_->setCurrentIndex(0);
    Guarded([this] {
        const TCommandSettings settings = SettingsFromWindow();
        if (!ShowOutcome(app_.SizeMap(settings)))
            return;
        const TMapArguments range = MapArguments(settings);
        contourPlot_->SetDataRange(range.FromLogDensity, range.ToLogDensity, range.FromTemperature,
                                   range.ToTemperature);
    });
    contourPlot_->Redraw();
    grid_->SetRowColours({TitleRowColour, BandColours[0]});
    QStringList titles;
    for (const std::string& title : TableTitles())
        titles.append(FromStd(title));
    grid_->SetTitles(titles);
    AutoSizeColumns();
    PointFileList(QDir(openDialogFolder_).exists() ? openDialogFolder_ : QDir::currentPath(),
                  QString());
    ElementListBoxChange();
}

void TMainForm::FillSpecies() {
    const QSignalBlocker blocker(elementListBox_);
    for (const std::string& section : app_.SpeciesList())
        elementListBox_->addItem(FromCoreMessage(section), QByteArray::fromStdString(section));
    if (elementListBox_->count() > 0)
        elementListBox_->setCurrentIndex(0);
}

TNumberEdit* TMainForm::Edit(const TSetting& setting) const {
    return findChild<TNumberEdit*>(QString::fromLatin1(
        setting.EditName.data(), static_cast<qsizetype>(setting.EditName.size())));
}

void TMainForm::FillEdits() {
    const TConfigView config = app_.Config().View();
    for (const TSetting& setting : Settings())
        if (!setting.InSpeciesSection())
            Edit(setting)->setText(FromStd(ConfiguredText(setting, config)));
}

void TMainForm::FormClose() {
    try {
        for (const TSetting& setting : Settings())
            if (!setting.InSpeciesSection() &&
                !StoreText(app_.Config(), setting, Edit(setting)->text().toStdString()))
                return;
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    event->accept();
}

void TMainForm::ReportError(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        dialogs_.Error(FromStd(ErrorReportText("Not enough memory for this command")));
        return;
    }
    dialogs_.Error(FromCoreMessage(ErrorReportText(error.what())));
}

void TMainForm::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

bool TMainForm::ShowOutcome(const TOutcome& outcome) {
    if (seriesRun_ != nullptr && seriesRun_->Running())
        return outcome.Done;
    for (const std::string& message : outcome.Messages)
        dialogs_.Message(FromStd(message));
    if (!outcome.Done && !outcome.Error.empty())
        dialogs_.Error(FromStd(outcome.Error));
    return outcome.Done;
}

void TMainForm::ElementListBoxChange() {
    const std::string section = elementListBox_->currentData().toByteArray().toStdString();
    if (ShowOutcome(app_.ChangeSpecies(section))) {
        ClearResults();
        std::vector<std::string> list;
        AtomicData().ListLevels(list);
        levelsBox_->clear();
        for (const std::string& line : list)
            levelsBox_->addItem(FromCp1252(line));
        list.clear();
        AtomicData().ListLines(allLinesCheckBox_->isChecked(), list);
        linesBox_->clear();
        for (const std::string& line : list)
            linesBox_->addItem(FromCp1252(line));
    }
    // A species change empties the selected lines even when its loading fails: the table then
    // follows, so that no row is left without its line.
    if (grid_->rowCount() - 1 != AtomicData().SelectedLines.size())
        ClearResults();
}

void TMainForm::ClearResults() {
    grid_->SetRowCount(1);
    chart_->ClearSeries();
    chart_->Redraw();
}

void TMainForm::AutoSizeColumns() {
    grid_->AutoSizeColumns();
}

void TMainForm::ShowBranchingFractions() {
    chart_->ClearSeries();
    for (int r = 1; r < grid_->rowCount(); ++r) {
        const TLine& line = AtomicData().SelectedLines[r - 1];
        const double x = line.Data.Wavelength;
        TTableRow texts;
        ShowFractions(line, texts);
        for (int c = 2; c <= 4; ++c)
            grid_->SetCellText(c, r, FromStd(texts[static_cast<std::size_t>(c)]));
        chart_->AddFree(x, line.BFTheory);
        chart_->AddFitted(x, line.BFFit);
        chart_->AddMeasured(x, line.BFMeasured, BarColour(line.UpperLevel));
    }
    chart_->Redraw();
    AutoSizeColumns();
}

void TMainForm::RecalculateBF() {
    if (ShowOutcome(app_.RecalculateBF()))
        ShowBranchingFractions();
}

bool TMainForm::CommitIntensity(int row, const QString& text) {
    double value = 0;
    if (!TryStrToFloat(text.toStdString(), value))
        return false;
    if (row < 1 || row > AtomicData().SelectedLines.size())
        return true;
    AtomicData().SelectedLines[row - 1].Intensity = value;
    // The commit of a cell reports nothing: with a single line the fractions stay as they are.
    if (app_.RecalculateBF().Done)
        ShowBranchingFractions();
    return true;
}

void TMainForm::FillTableRows() {
    for (const TLine& line : AtomicData().SelectedLines) {
        const int row = grid_->AddRow();
        const TTableRow texts = LineRow(line);
        for (int c : {0, 1, 5, 6, 7, 8})
            grid_->SetCellText(c, row, FromCp1252(texts[static_cast<std::size_t>(c)]));
    }
}

// Rows with the same upper energy form bands of alternating white and light blue.
void TMainForm::RebuildRowColours() {
    QVector<QColor> colours;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        if (r == 0)
            colours.append(TitleRowColour);
        else if (r == 1)
            colours.append(BandColours[0]);
        else if (grid_->CellText(5, r) == grid_->CellText(5, r - 1))
            colours.append(colours[r - 1]);
        else
            colours.append(colours[r - 1] == BandColours[0] ? BandColours[1] : BandColours[0]);
    }
    grid_->SetRowColours(colours);
}

void TMainForm::ReadBtnClick(TSender sender) {
    if (sender == TSender::ReadBtn) {
        const QString chosen = dialogs_.OpenFileName(openDialogFolder_, currentFile_);
        if (chosen.isEmpty()) {
            ShowPosition();
            return;
        }
        currentFile_ = chosen;
    }
    if (ShowRead(app_.ReadMeasurement(currentFile_.toStdString())))
        ShowPosition();
}

bool TMainForm::ShowRead(const TOutcome& outcome) {
    ClearResults();
    if (!ShowOutcome(outcome))
        return false;
    FillTableRows();
    AutoSizeColumns();
    RebuildRowColours();
    if (HasFractions(AtomicData()))
        ShowBranchingFractions();
    tablePages_->setCurrentIndex(0);
    const std::string file = app_.CurrentFile();
    currentFile_ = FromStd(file);
    setWindowTitle(Caption + QStringLiteral(" - ") + currentFile_);
    PointFileList(FromStd(FolderOf(file)), FromStd(FileNameOf(file)));
    return true;
}

void TMainForm::PointFileList(const QString& folder, const QString& fileName) {
    fileListFolder_ = folder;
    fileListBox_->clear();
    QStringList names;
    for (const std::string& name : MeasurementNames(folder.toStdString()))
        names.append(FromStd(name));
    fileListBox_->addItems(names);
    fileListBox_->setCurrentRow(-1);
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(fileName, Qt::CaseInsensitive) == 0) {
            fileListBox_->setCurrentRow(i);
            break;
        }
}

void TMainForm::ShowPosition() {
    const int count = fileListBox_->count();
    if (count > 1)
        positionPanel_->setText(
            FromStd(Format("  File %d/%d in folder", {fileListBox_->currentRow() + 1, count})));
    else
        positionPanel_->clear();
}

void TMainForm::NextFileClick() {
    const int count = fileListBox_->count();
    if (count == 0)
        return;
    const int next = (fileListBox_->currentRow() + 1) % count;
    fileListBox_->setCurrentRow(next);
    currentFile_ = FromStd(
        JoinPath(fileListFolder_.toStdString(), fileListBox_->item(next)->text().toStdString()));
    ReadBtnClick(TSender::NextBtn);
}

void TMainForm::FileListBoxClick() {
    const int row = fileListBox_->currentRow();
    if (fileListBox_->count() == 0 || row < 0)
        return;
    currentFile_ = FromStd(
        JoinPath(fileListFolder_.toStdString(), fileListBox_->item(row)->text().toStdString()));
    ReadBtnClick(TSender::FileListBox);
}

TCommandSettings TMainForm::SettingsFromWindow() const {
    TCommandSettings settings;
    for (const TSetting& setting : Settings())
        if (!setting.InSpeciesSection())
            SetFromText(settings, setting, Edit(setting)->text().toStdString());
    settings.FitTemperatureOn = fitTempCheckBox_->isChecked();
    return settings;
}

TReportKind TMainForm::ReportKind() const {
    return reportComboBox_->currentIndex() == 1 ? ReportFitIteration : ReportFinalResults;
}

void TMainForm::AppendReport(const TReportList& report) {
    for (const std::string& line : report)
        reportsMemo_->appendPlainText(FromCp1252(line));
    // The caret at the start of the last line, so that the view shows the lines' beginnings.
    reportsMemo_->moveCursor(QTextCursor::End);
    reportsMemo_->moveCursor(QTextCursor::StartOfLine);
    reportsMemo_->ensureCursorVisible();
}

void TMainForm::ShowMap(const TParamVector& p) {
    const TMapRange& range = AtomicData().MapRange;
    contourPlot_->SetDataRange(range.FromLogDensity, range.ToLogDensity, range.FromTemperature,
                               range.ToTemperature);
    contourPlot_->SetLowIso(static_cast<double>(Slot(p, ResultRSS)));
    contourPlot_->SetHighIso(static_cast<double>(Slot(p, ResultCode)));
    contourPlot_->SetScaleRange(contourPlot_->LowIso(), contourPlot_->HighIso());
    contourPlot_->SetBestPoint(static_cast<double>(Slot(p, LogDensity)),
                               static_cast<double>(Slot(p, Temperature)));
    contourPlot_->Redraw();
}

void TMainForm::Iterate() {
    const TBusyCursor busy;
    Guarded([this] {
        const TMapOutcome outcome = app_.Map(SettingsFromWindow(), ReportKind());
        AppendReport(outcome.Report);
        if (!ShowOutcome(outcome))
            return;
        ShowMap(outcome.Params);
        regionOverlay_->ShowMap(AtomicData());
        ShowBranchingFractions();
    });
}

std::optional<TFitResult> TMainForm::Fit() {
    const TBusyCursor busy;
    std::optional<TFitResult> result;
    Guarded([&] {
        const TFitOutcome outcome = app_.Fit(SettingsFromWindow(), ReportKind(), FitLogPath());
        if (ShowFit(outcome))
            result = outcome.Result;
    });
    return result;
}

bool TMainForm::ShowFit(const TFitOutcome& outcome) {
    AppendReport(outcome.Report);
    if (!ShowOutcome(outcome))
        return false;
    regionOverlay_->ShowFit(outcome.Result, AtomicData());
    ShowBranchingFractions();
    return true;
}

void TMainForm::FitAllClick() {
    if (seriesRun_->Running() || fileListBox_->count() == 0)
        return;
    std::vector<std::string> files;
    for (int row = 0; row < fileListBox_->count(); ++row)
        files.push_back(
            JoinPath(fileListFolder_.toStdString(), fileListBox_->item(row)->text().toStdString()));
    Guarded([&] {
        seriesRun_->Run(files, SettingsFromWindow(), ReportKind(), [this](const TSeriesFile& file) {
            if (ShowRead(file.Read))
                ShowFit(file.Fit);
            ShowPosition();
        });
    });
}

void TMainForm::Button5Click() {
    for (int run = 0; run < 100; ++run)
        Fit();
}

double TMainForm::ContourPlotEstimateZVal(double x, double y) const {
    return app_.ShownMap().ValueAt(x, y);
}

void TMainForm::SaveText(const std::string& text) {
    const QString fileName = dialogs_.SaveFileName(openDialogFolder_);
    if (fileName.isEmpty())
        return;
    Guarded([&] {
        TextWriter writer;
        writer.Create(fileName.toStdString());
        writer.Write(text);
        writer.Close();
    });
}

void TMainForm::SaveButtonClick() {
    std::string text;
    const QTextDocument* document = reportsMemo_->document();
    if (!document->isEmpty())
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            text += Utf8ToCp1252(block.text().toStdString()) + "\r\n";
    SaveText(text);
}

void TMainForm::Button1Click() {
    std::vector<TTableRow> rows;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        TTableRow row;
        for (int c = 0; c < TLineTable::ColumnCount; ++c)
            row[static_cast<std::size_t>(c)] = Utf8ToCp1252(grid_->CellText(c, r).toStdString());
        rows.push_back(row);
    }
    SaveText(TableText(rows));
}

void TMainForm::SaveMapClick() {
    if (!app_.ShownMap().Empty())
        SaveText(app_.ShownMap().Text());
}

void TMainForm::SaveSeriesClick() {
    if (!seriesRun_->Entries().empty())
        SaveText(Utf8ToCp1252(SeriesTableText(seriesRun_->Entries())));
}

void TMainForm::AddImageMenu(QCustomPlot* plot, const std::function<void(QMenu&)>& addMore) {
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this, [this, plot, addMore](QPoint at) {
        QMenu menu(plot);
        menu.addAction(QStringLiteral("Save image…"), this, [this, plot] {
            const QString fileName = dialogs_.SaveImageFileName(openDialogFolder_);
            if (!fileName.isEmpty())
                Guarded([&] { SavePlotImage(*plot, fileName); });
        });
        menu.addAction(QStringLiteral("Copy image"), this,
                       [plot] { QApplication::clipboard()->setPixmap(plot->toPixmap()); });
        if (addMore)
            addMore(menu);
        menu.exec(plot->mapToGlobal(at));
    });
}

} // namespace zelt
