#include "shell/seriespage.h"

#include "widgets/seriesplot.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zelt {

namespace {

constexpr int ProblemLinesShown = 4;

} // namespace

TSeriesPage::TSeriesPage(QWidget* parent)
    : QWidget(parent), plot_(new TSeriesPlot), summary_(new QLabel), problems_(new QListWidget) {
    plot_->setObjectName(QStringLiteral("SeriesPlot"));
    summary_->setObjectName(QStringLiteral("SeriesSummary"));
    summary_->setText(QStringLiteral("\"Fit all files\" in the \"Files\" group fits every file "
                                     "of the list and shows the results here."));
    summary_->setContentsMargins(6, 2, 6, 2);
    problems_->setObjectName(QStringLiteral("SeriesProblems"));
    problems_->setHidden(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(plot_, 1);
    layout->addWidget(summary_);
    layout->addWidget(problems_);
}

void TSeriesPage::Show(const TSeriesAxis& axis, const std::vector<TSeriesEntry>& entries,
                       const QString& summary) {
    TSeriesPlot::TSeries series;
    if (axis.FromNames) {
        series.Caption = QString::fromStdString(axis.Caption);
    } else {
        series.Caption = QStringLiteral("File");
        for (const TSeriesEntry& entry : entries)
            if (entry.Fitted)
                series.TickNames.insert(entry.X, QString::fromStdString(entry.File));
    }
    if (!axis.X.empty()) {
        const auto [from, to] = std::minmax_element(axis.X.begin(), axis.X.end());
        series.FromX = *from;
        series.ToX = *to;
    }
    for (const TSeriesEntry& entry : entries) {
        if (!entry.Fitted)
            continue;
        const TResultValues& v = entry.Values;
        series.Points.append({entry.X, static_cast<double>(v.Densities[0]),
                              static_cast<double>(v.Uncertainties[0]), entry.TemperatureFitted,
                              static_cast<double>(v.Temperature),
                              static_cast<double>(v.TemperatureUncertainty)});
    }
    plot_->Show(series);

    summary_->setText(summary);
    problems_->clear();
    for (const std::string& line : SeriesProblems(entries))
        problems_->addItem(QString::fromStdString(line));
    problems_->setHidden(problems_->count() == 0);
    const int shown = std::min(problems_->count(), ProblemLinesShown);
    problems_->setFixedHeight(problems_->sizeHintForRow(0) * shown + 2 * problems_->frameWidth());
}

} // namespace zelt
