// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/freelevelsview.h"

#include "app/boltzmannplot.h"
#include "common/format.h"
#include "shell/windowtext.h"
#include "widgets/boltzmannchart.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zelt {

namespace {

QString Number(const std::optional<long double>& value, const char* pattern) {
    return value ? FromStd(Format(pattern, {*value})) : QString();
}

} // namespace

TFreeLevelsView::TFreeLevelsView(QObject* parent)
    : QObject(parent), checkBox_(new QCheckBox(QStringLiteral("Free levels"))), page_(new QWidget),
      table_(new QTableWidget), plot_(new TBoltzmannChart), comparison_(new QLabel) {
    checkBox_->setObjectName(QStringLiteral("FreeLevelsCheckBox"));
    checkBox_->setToolTip(QStringLiteral(
        "Free lower levels: \"Fit\" fits the density of every populated lower level (Boltzmax of "
        "them) on its own, "
        "starting from the Boltzmann fit of n_1 (and T_exc when ticked), and compares the two "
        "by an F-test"));
    page_->setObjectName(QStringLiteral("FreeLevelsPage"));
    table_->setObjectName(QStringLiteral("FreeLevelsTable"));
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setColumnCount(8);
    table_->setHorizontalHeaderLabels({QStringLiteral("Level"), QStringLiteral("State"),
                                       QStringLiteral("n (m-3)"), QStringLiteral("u(n)"),
                                       QStringLiteral("n/n_1"), QStringLiteral("u"),
                                       QStringLiteral("Boltzmann T (K)"), QStringLiteral("u")});
    comparison_->setObjectName(QStringLiteral("FreeLevelsComparison"));
    comparison_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line, cut where the page is narrow; the tool tip holds it whole.
    comparison_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    comparison_->setText(QStringLiteral(
        "Tick \"Free levels\" in the \"Fit\" group: \"Fit\" then shows the levels here."));
    plot_->setObjectName(QStringLiteral("BoltzmannPlot"));
    plot_->setMinimumHeight(120);
    // The table of at most 8 levels above, the plot taking the rest of the height.
    auto* split = new QSplitter(Qt::Vertical);
    split->setObjectName(QStringLiteral("FreeLevelsSplitter"));
    split->setChildrenCollapsible(false);
    table_->setMinimumHeight(60);
    split->addWidget(table_);
    split->addWidget(plot_);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    auto* layout = new QVBoxLayout(page_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split, 1);
    layout->addWidget(comparison_);
}

bool TFreeLevelsView::On() const {
    return checkBox_->isChecked();
}

void TFreeLevelsView::Show(const TFreeLevelsOutcome& fit, const QString& comparison) {
    const std::vector<TFreeLevel>& levels = fit.Run.Free.Levels;
    table_->setRowCount(static_cast<int>(levels.size()));
    for (std::size_t r = 0; r < levels.size(); ++r) {
        const TFreeLevel& level = levels[r];
        const TLevel& own = fit.Levels[level.Level];
        const bool known = level.Determined;
        const QStringList cells = {
            QStringLiteral("n_%1").arg(level.Level + 1),
            FromCp1252(own.Configuration + " " + own.Term + " J=" + FloatToStr(own.J)),
            known ? FromStd(Format("%.3e", {level.Density})) : QStringLiteral("not determined"),
            known ? Number(level.Uncertainty, "%.3e") : QString(),
            known && level.Level > 0 ? FromStd(Format("%.4f", {level.Ratio})) : QString(),
            known ? Number(level.RatioUncertainty, "%.4f") : QString(),
            known ? Number(level.Temperature, "%.0f") : QString(),
            known ? Number(level.TemperatureUncertainty, "%.0f") : QString()};
        for (qsizetype c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    table_->resizeColumnsToContents();
    const TBoltzmannPlot plot = BoltzmannPlotOf(fit);
    QVector<TBoltzmannChart::TPoint> points;
    for (const TBoltzmannPoint& point : plot.Points)
        points.append(
            {point.Energy, point.Value, point.Uncertainty, FromStd(LevelName(point.Level + 1))});
    std::optional<TBoltzmannChart::TLine> line;
    if (plot.WithLine)
        line = TBoltzmannChart::TLine{
            plot.FromEnergy, plot.FromValue, plot.ToEnergy, plot.ToValue,
            FromStd(Format("Boltzmann fit, T_exc = %.0f K", {plot.Temperature}))};
    plot_->Show(points, line);
    comparison_->setText(comparison);
    comparison_->setToolTip(comparison);
}

} // namespace zelt
