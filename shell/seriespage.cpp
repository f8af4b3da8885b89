// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/seriespage.h"

#include "widgets/seriesplot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace zelt {

namespace {

// The lines of text the problems show; more scroll.
constexpr int kProblemLinesShown = 2;

// The abscissa's caption: "x [kW]" for ar_0.5kW, the text after the number being its unit;
// "x (argon)" for argon_5e16, whose names carry no unit.
QString SeriesCaption(const TSeriesQuantity& axis) {
    if (axis.Caption.empty())
        return QStringLiteral("x");
    return (axis.CaptionIsUnit ? QStringLiteral("x [%1]") : QStringLiteral("x (%1)"))
        .arg(QString::fromStdString(axis.Caption));
}

} // namespace

TSeriesPage::TSeriesPage(QWidget* parent)
    : QWidget(parent), plot_(new TSeriesPlot), quantity_(new QComboBox), summary_(new QLabel),
      problems_(new QPlainTextEdit) {
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
    quantity_->setObjectName(QStringLiteral("SeriesQuantityBox"));
    quantity_->setToolTip(QStringLiteral("The file names carry numbers of several quantities: "
                                         "the series of the one chosen is shown"));
    quantity_->setHidden(true);
    connect(quantity_, &QComboBox::currentIndexChanged, this, [this] { ShowQuantity(); });
    auto* line = new QHBoxLayout;
    line->addWidget(quantity_);
    line->addWidget(summary_, 1);
    line->addWidget(logarithmic);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(plot_, 1);
    layout->addLayout(line);
    layout->addWidget(problems_);
    connect(plot_, &QCustomPlot::mousePress, this, [this](QMouseEvent* event) {
        if (event->button() == Qt::RightButton)
            clicked_ = plot_->EntryAt(event->position().x());
    });
}

void TSeriesPage::Show(const TSeriesAxis& axis, const std::vector<TSeriesEntry>& entries,
                       const QString& summary) {
    entries_ = entries;
    axis_ = axis;
    // One item per quantity; the choice stays while the series grows.
    const int chosen = std::max(0, quantity_->currentIndex());
    {
        const QSignalBlocker blocker(quantity_);
        quantity_->clear();
        for (std::size_t q = 0; q < axis.Quantities.size(); ++q) {
            const auto files = std::count(axis.Quantity.begin(), axis.Quantity.end(), q);
            quantity_->addItem(
                QStringLiteral("%1, %2 files").arg(SeriesCaption(axis.Quantities[q])).arg(files));
        }
        quantity_->setCurrentIndex(std::min(chosen, quantity_->count() - 1));
    }
    quantity_->setHidden(axis.Quantities.size() < 2);
    ShowQuantity();
    summary_->setText(summary);
    QStringList problems;
    for (const std::string& line : SeriesProblems(entries))
        problems.append(QString::fromStdString(line));
    problems_->setPlainText(problems.join(QLatin1Char('\n')));
    problems_->setHidden(problems.isEmpty());
}

void TSeriesPage::ShowQuantity() {
    const auto chosen = static_cast<std::size_t>(std::max(0, quantity_->currentIndex()));
    TSeriesPlot::TSeries series;
    if (chosen < axis_.Quantities.size() && axis_.Quantities[chosen].FromNames) {
        series.Caption = SeriesCaption(axis_.Quantities[chosen]);
    } else {
        series.Caption = QStringLiteral("File");
        for (const TSeriesEntry& entry : entries_)
            if (entry.Fitted)
                series.TickNames.insert(entry.X, QString::fromStdString(entry.File));
    }
    bool any = false;
    for (std::size_t i = 0; i < axis_.X.size(); ++i)
        if (axis_.Quantity[i] == chosen) {
            series.FromX = any ? std::min(series.FromX, axis_.X[i]) : axis_.X[i];
            series.ToX = any ? std::max(series.ToX, axis_.X[i]) : axis_.X[i];
            any = true;
        }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const TSeriesEntry& entry = entries_[i];
        if (!entry.Fitted || entry.Quantity != chosen)
            continue;
        const TResultValues& v = ShownValues(entry.Row);
        TSeriesPlot::TPoint point{entry.X,
                                  static_cast<double>(v.Densities[0]),
                                  static_cast<double>(v.Uncertainties[0]),
                                  entry.TemperatureFitted,
                                  static_cast<double>(v.Temperature),
                                  static_cast<double>(v.TemperatureUncertainty),
                                  entry.Row.Quality.Flagged(),
                                  static_cast<int>(i),
                                  entry.Excluded,
                                  {}};
        if (entry.Free) {
            for (const TFreeLevel& level : entry.Free->Free.Levels)
                point.Levels.append({level.Determined, static_cast<double>(level.Density),
                                     static_cast<double>(level.Uncertainty.value_or(0))});
            series.FreeLevels = std::max(series.FreeLevels, static_cast<int>(point.Levels.size()));
        }
        series.Points.append(point);
    }
    plot_->Show(series);
}

void TSeriesPage::AddEntryActions(QMenu& menu) {
    const bool excluding = std::any_of(entries_.begin(), entries_.end(),
                                       [](const TSeriesEntry& entry) { return entry.Excluded; });
    if (clicked_ < 0 && !excluding)
        return;
    menu.addSeparator();
    if (clicked_ >= 0 && static_cast<std::size_t>(clicked_) < entries_.size()) {
        const auto index = static_cast<std::size_t>(clicked_);
        const TSeriesEntry& entry = entries_[index];
        const QString name = QString::fromStdString(entry.File);
        const bool excluded = !entry.Excluded;
        menu.addAction(excluded ? QStringLiteral("Exclude this file (%1)").arg(name)
                                : QStringLiteral("Include this file again (%1)").arg(name),
                       this, [this, index, excluded] { emit ExclusionRequested(index, excluded); });
    }
    if (excluding)
        menu.addAction(QStringLiteral("Include every file again"), this, [this] {
            // Each request shows the series anew, which replaces entries_.
            std::vector<std::size_t> excluded;
            for (std::size_t i = 0; i < entries_.size(); ++i)
                if (entries_[i].Excluded)
                    excluded.push_back(i);
            for (const std::size_t i : excluded)
                emit ExclusionRequested(i, false);
        });
}

} // namespace zelt
