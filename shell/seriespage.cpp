// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/seriespage.h"

#include "widgets/seriesplot.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace zelt {

namespace {

// The lines of text the problems show; more scroll.
constexpr int kProblemLinesShown = 2;

} // namespace

TSeriesPage::TSeriesPage(QWidget* parent)
    : QWidget(parent), plot_(new TSeriesPlot), summary_(new QLabel), problems_(new QPlainTextEdit) {
    plot_->setObjectName(QStringLiteral("SeriesPlot"));
    summary_->setObjectName(QStringLiteral("SeriesSummary"));
    summary_->setText(QStringLiteral("\"Fit all files\" in the \"Files\" group fits every file "
                                     "of the list and shows the results here."));
    summary_->setContentsMargins(6, 2, 6, 2);
    problems_->setObjectName(QStringLiteral("SeriesProblems"));
    problems_->setReadOnly(true);
    // A long message (with a file's folder) takes two lines.
    problems_->setFixedHeight(problems_->fontMetrics().lineSpacing() * kProblemLinesShown +
                              2 * (problems_->frameWidth() + 4));
    problems_->setHidden(true);
    auto* logarithmic = new QCheckBox(QStringLiteral("Logarithmic n_1 axis"));
    logarithmic->setObjectName(QStringLiteral("LogDensityCheckBox"));
    logarithmic->setToolTip(QStringLiteral("Shows n_1 on a logarithmic axis, for a series over "
                                           "decades of density"));
    connect(logarithmic, &QCheckBox::toggled, plot_, &TSeriesPlot::SetLogarithmicDensity);
    auto* line = new QHBoxLayout;
    line->addWidget(summary_, 1);
    line->addWidget(logarithmic);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(plot_, 1);
    layout->addLayout(line);
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
        const TResultValues& v = entry.Row.Values;
        series.Points.append(
            {entry.X, static_cast<double>(v.Densities[0]), static_cast<double>(v.Uncertainties[0]),
             entry.TemperatureFitted, static_cast<double>(v.Temperature),
             static_cast<double>(v.TemperatureUncertainty), entry.Row.Quality.Flagged()});
    }
    plot_->Show(series);

    summary_->setText(summary);
    QStringList problems;
    for (const std::string& line : SeriesProblems(entries))
        problems.append(QString::fromStdString(line));
    problems_->setPlainText(problems.join(QLatin1Char('\n')));
    problems_->setHidden(problems.isEmpty());
}

} // namespace zelt
