#include "shell/main.h"

#include "common/codepage.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/textfile.h"
#include "shell/commands.h"
#include "shell/datafolders.h"
#include "shell/filelistbox.h"
#include "shell/linetable.h"
#include "shell/numberedit.h"
#include "shell/regionoverlay.h"
#include "shell/seriespage.h"
#include "shell/seriesrun.h"
#include "shell/shownmap.h"
#include "shell/tables.h"
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

TNumberEdit* NumberEdit(const char* name, TNumberEdit::TKind kind, const char* caption) {
    auto* edit = new TNumberEdit(kind, QString::fromLatin1(caption));
    edit->setObjectName(QString::fromLatin1(name));
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
    : QMainWindow(parent), dialogs_(dialogs), config_(configFile),
      atomicData_([this](const std::string& text) { dialogs_.Message(FromCoreMessage(text)); }) {
    CreateControls();
    seriesRun_ =
        new TSeriesRun(*this, dialogs_, fileListBox_, plotPages_, seriesPage_, commandAreas_);
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
        const double rss = shownMap_.ValueAt(x, y);
        mapValuePanel_->setText(rss < 0 ? QString() : FromStd(Format("RSS %.3e", {rss})));
    });
    AddImageMenu(contourPlot_, [this](QMenu& menu) {
        menu.addAction(QStringLiteral("Save map…"), this, [this] { SaveMapClick(); })
            ->setEnabled(!shownMap_.Empty());
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
    connect(recalculateBtn_, &QPushButton::clicked, this,
            [this] { Guarded([this] { RecalculateBF(); }); });
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
    fromDensityEdit_ =
        NumberEdit("FromDensityEdit", TNumberEdit::TKind::Float, "Map density from (m-3)");
    toDensityEdit_ = NumberEdit("ToDensityEdit", TNumberEdit::TKind::Float, "Map density to (m-3)");
    pointsDensityEdit_ =
        NumberEdit("PointsDensityEdit", TNumberEdit::TKind::Integer, "Map density points");
    fromTempEdit_ =
        NumberEdit("FromTempEdit", TNumberEdit::TKind::Float, "Map temperature from (K)");
    toTempEdit_ = NumberEdit("ToTempEdit", TNumberEdit::TKind::Float, "Map temperature to (K)");
    pointsTempEdit_ =
        NumberEdit("PointsTempEdit", TNumberEdit::TKind::Integer, "Map temperature points");
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
    fitDensityEdit_ =
        NumberEdit("FitDensityEdit", TNumberEdit::TKind::Float, "Fit density n_1 (m-3)");
    fitTempCheckBox_ = new QCheckBox(QStringLiteral("Fit T_exc (K)"));
    fitTempCheckBox_->setObjectName(QStringLiteral("FitTempCheckBox"));
    fitTempEdit_ = NumberEdit("FitTempEdit", TNumberEdit::TKind::Float, "Fit T_exc (K)");
    maxIterEdit_ = NumberEdit("MaxIterEdit", TNumberEdit::TKind::Integer, "Max iteration number");
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
    pathEdit_ = NumberEdit("PathEdit", TNumberEdit::TKind::Float, "Absorption path (m)");
    tnEdit_ = NumberEdit("TnEdit", TNumberEdit::TKind::Float, "Gas temperature (K)");
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
    databaseFolder_ = config_.ReadString("_Files", "Database", "");
    // Systems without drive letters have no "C:\": the home folder takes its place.
    openDialogFolder_ = FromStd(config_.ReadString("_Files", "Measurements", ""));
    if (openDialogFolder_.isEmpty())
        openDialogFolder_ = QDir::homePath();
    FillSpecies();
    FillEdits();
    tablePages_->setCurrentIndex(0);
    plotPages_->setCurrentIndex(0);
    Guarded([this] {
        const TCommandSettings settings = SettingsFromWindow();
        atomicData_.InitMap(settings.TemperaturePoints, settings.DensityPoints);
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
    for (const std::string& section : config_.ReadSections())
        if (section.empty() || section.front() != '_')
            elementListBox_->addItem(FromCoreMessage(section), QByteArray::fromStdString(section));
    if (elementListBox_->count() > 0)
        elementListBox_->setCurrentIndex(0);
}

void TMainForm::FillEdits() {
    const auto floatText = [this](const char* section, const char* key, double def,
                                  const char* pattern) {
        return FromStd(Format(pattern, {config_.ReadFloat(section, key, def)}));
    };
    const auto intText = [this](const char* section, const char* key, std::int32_t def) {
        return FromStd(Format("%d", {config_.ReadInteger(section, key, def)}));
    };
    fromDensityEdit_->setText(floatText("_Iteration", "FromDensity", 1e15, "%3.1e"));
    toDensityEdit_->setText(floatText("_Iteration", "ToDensity", 1e18, "%3.1e"));
    pointsDensityEdit_->setText(intText("_Iteration", "DensityPoints", 50));
    fromTempEdit_->setText(floatText("_Iteration", "FromTemperature", 1000, "%.0f"));
    toTempEdit_->setText(floatText("_Iteration", "ToTemperature", 50000, "%.0f"));
    pointsTempEdit_->setText(intText("_Iteration", "TemperaturePoints", 50));
    fitDensityEdit_->setText(floatText("_Fit", "FromDensity", 1e16, "%3.1e"));
    fitTempEdit_->setText(floatText("_Fit", "FromTemperature", 1000, "%.0f"));
    maxIterEdit_->setText(intText("_Fit", "Count", 50));
    tnEdit_->setText(floatText("_Parameters", "Tn", 300, "%.0f"));
    pathEdit_->setText(floatText("_Parameters", "Path", 1, "%.3f"));
}

void TMainForm::FormClose() {
    struct TKey {
        const char* Section;
        const char* Key;
        TNumberEdit* Edit;
    };
    const TKey keys[] = {
        {"_Iteration", "FromDensity", fromDensityEdit_},
        {"_Iteration", "ToDensity", toDensityEdit_},
        {"_Iteration", "DensityPoints", pointsDensityEdit_},
        {"_Iteration", "FromTemperature", fromTempEdit_},
        {"_Iteration", "ToTemperature", toTempEdit_},
        {"_Iteration", "TemperaturePoints", pointsTempEdit_},
        {"_Fit", "FromDensity", fitDensityEdit_},
        {"_Fit", "FromTemperature", fitTempEdit_},
        {"_Fit", "Count", maxIterEdit_},
        {"_Parameters", "Tn", tnEdit_},
        {"_Parameters", "Path", pathEdit_},
    };
    try {
        for (const TKey& key : keys) {
            const std::string text = key.Edit->text().toStdString();
            if (key.Edit->Kind() == TNumberEdit::TKind::Integer) {
                std::int32_t value = 0;
                if (!TryStrToInt(text, value))
                    return;
                config_.WriteInteger(key.Section, key.Key, value);
            } else {
                double value = 0;
                if (!TryStrToFloat(text, value))
                    return;
                config_.WriteFloat(key.Section, key.Key, value);
            }
        }
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
        FpReset();
        command();
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

void TMainForm::ElementListBoxChange() {
    const std::string section = elementListBox_->currentData().toByteArray().toStdString();
    try {
        FpReset();
        LoadSpecies(atomicData_, config_, section);
        ClearResults();
        std::vector<std::string> list;
        atomicData_.ListLevels(list);
        levelsBox_->clear();
        for (const std::string& line : list)
            levelsBox_->addItem(FromCp1252(line));
        list.clear();
        atomicData_.ListLines(allLinesCheckBox_->isChecked(), list);
        linesBox_->clear();
        for (const std::string& line : list)
            linesBox_->addItem(FromCp1252(line));
    } catch (const EInOutError& error) {
        dialogs_.Message(QStringLiteral("File error: ") + FromCoreMessage(error.what()));
    } catch (const std::exception& error) {
        ReportError(error);
    }
    // A species change empties the selected lines even when its loading fails: the table then
    // follows, so that no row is left without its line.
    if (grid_->rowCount() - 1 != atomicData_.SelectedLines.size())
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
        const TLine& line = atomicData_.SelectedLines[r - 1];
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
    RequireFractions(atomicData_);
    atomicData_.CalcBranchingFractions();
    ShowBranchingFractions();
}

bool TMainForm::CommitIntensity(int row, const QString& text) {
    double value = 0;
    if (!TryStrToFloat(text.toStdString(), value))
        return false;
    if (row < 1 || row > atomicData_.SelectedLines.size())
        return true;
    atomicData_.SelectedLines[row - 1].Intensity = value;
    // The commit of a cell reports nothing: with a single line the fractions stay as they are.
    try {
        FpReset();
        RecalculateBF();
    } catch (const std::exception&) {
    }
    return true;
}

void TMainForm::FillTableRows() {
    for (const TLine& line : atomicData_.SelectedLines) {
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
    try {
        FpReset();
        ClearResults();
        atomicData_.ImportLines(currentFile_.toStdString());
        grid_->SetRowCount(1);
        FillTableRows();
        AutoSizeColumns();
        RebuildRowColours();
        if (atomicData_.SelectedLines.size() >= 2)
            RecalculateBF();
        tablePages_->setCurrentIndex(0);
        setWindowTitle(Caption + QStringLiteral(" - ") + currentFile_);
        const QFileInfo file(currentFile_);
        const QString folder = file.absolutePath();
        PointFileList(folder, file.fileName());
        config_.WriteString("_Files", "Measurements", folder.toStdString());
    } catch (const std::exception& error) {
        ReportError(error);
        return;
    }
    ShowPosition();
}

void TMainForm::PointFileList(const QString& folder, const QString& fileName) {
    fileListFolder_ = folder;
    fileListBox_->clear();
    const QStringList names = QDir(folder).entryList(
        {QStringLiteral("*.txt")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
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
    const auto real = [](const TNumberEdit* edit) { return EditReal(edit->text().toStdString()); };
    const auto integer = [](const TNumberEdit* edit) {
        return EditInteger(edit->text().toStdString());
    };
    TCommandSettings settings;
    settings.FromDensity = real(fromDensityEdit_);
    settings.ToDensity = real(toDensityEdit_);
    settings.DensityPoints = integer(pointsDensityEdit_);
    settings.FromTemperature = real(fromTempEdit_);
    settings.ToTemperature = real(toTempEdit_);
    settings.TemperaturePoints = integer(pointsTempEdit_);
    settings.FitDensity = real(fitDensityEdit_);
    settings.FitTemperature = real(fitTempEdit_);
    settings.FitTemperatureOn = fitTempCheckBox_->isChecked();
    settings.MaxIterations = integer(maxIterEdit_);
    settings.GasTemperature = real(tnEdit_);
    settings.Path = real(pathEdit_);
    const std::string species = elementListBox_->currentData().toByteArray().toStdString();
    settings.AtomicMass = config_.ReadFloat(species, "m", 0);
    settings.Boltzmax = config_.ReadInteger(species, "Boltzmax", 1);
    // A grid that memory cannot hold ends here instead of exhausting it.
    if (static_cast<long long>(settings.DensityPoints) * settings.TemperaturePoints > MaxMapPoints)
        throw Exception(Format("A map of %d x %d points is too large for the memory",
                               {settings.DensityPoints, settings.TemperaturePoints}));
    return settings;
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
    const TMapRange& range = atomicData_.MapRange;
    shownMap_.Show(atomicData_.RSSMap, range);
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
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TReportList report;
    Guarded([&] {
        const TCommandSettings settings = SettingsFromWindow();
        const std::string fileName = QFileInfo(currentFile_).fileName().toStdString();
        TParamVector p;
        try {
            p = RunMap(atomicData_, settings, fileName, report, reportComboBox_->currentIndex());
        } catch (...) {
            AppendReport(report);
            throw;
        }
        AppendReport(report);
        ShowMap(p);
        regionOverlay_->ShowMap(atomicData_);
        ShowBranchingFractions();
    });
    QApplication::restoreOverrideCursor();
}

std::optional<TFitResult> TMainForm::Fit() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TReportList report;
    std::optional<TFitResult> result;
    Guarded([&] {
        const TCommandSettings settings = SettingsFromWindow();
        const std::string fileName = QFileInfo(currentFile_).fileName().toStdString();
        TFitResult fit;
        try {
            fit = RunFit(atomicData_, settings, fileName, FitLogPath(), report,
                         reportComboBox_->currentIndex());
        } catch (...) {
            AppendReport(report);
            throw;
        }
        AppendReport(report);
        regionOverlay_->ShowFit(fit, atomicData_);
        ShowBranchingFractions();
        result = fit;
    });
    QApplication::restoreOverrideCursor();
    return result;
}

void TMainForm::FitAllClick() {
    seriesRun_->Run();
}

void TMainForm::Button5Click() {
    for (int run = 0; run < 100; ++run)
        Fit();
}

double TMainForm::ContourPlotEstimateZVal(double x, double y) const {
    return MapCellValue(atomicData_.RSSMap, atomicData_.MapRange, x, y);
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
    if (!shownMap_.Empty())
        SaveText(shownMap_.Text());
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
