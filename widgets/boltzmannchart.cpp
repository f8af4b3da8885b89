// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/boltzmannchart.h"

#include "widgets/axistitle.h"
#include "widgets/chart.h"

#include <algorithm>
#include <limits>

namespace zelt {

namespace {

const QColor kPointColour(0, 0, 200);
const QColor kLineColour(200, 40, 0);

QFont PlotFont(int pixels) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    return font;
}

} // namespace

TBoltzmannChart::TBoltzmannChart(QWidget* parent) : QCustomPlot(parent) {
    setBackground(Qt::white);
    new TAxisTitle(xAxis, QStringLiteral("E_k [eV]"), QStringLiteral("<i>E</i><sub>k</sub> [eV]"));
    new TAxisTitle(yAxis, QStringLiteral("ln(n_k/g_k), n_k in m-3"),
                   QStringLiteral("ln(<i>n</i><sub>k</sub>/<i>g</i><sub>k</sub>), "
                                  "<i>n</i><sub>k</sub> in m<sup>−3</sup>"));
    xAxis->ticker()->setTickCount(4);
    yAxis->ticker()->setTickCount(4);

    line_ = addGraph();
    line_->setPen(QPen(kLineColour, 1.5));
    points_ = addGraph();
    points_->setName(QStringLiteral("free levels"));
    points_->setLineStyle(QCPGraph::lsNone);
    points_->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssDisc, kPointColour, kPointColour, 7));
    bars_ = new QCPErrorBars(xAxis, yAxis);
    bars_->setDataPlottable(points_);
    bars_->setPen(QPen(kPointColour, 1));
    bars_->setWhiskerWidth(6);
    bars_->removeFromLegend();
    PlaceLegendAbove(*this);
    Show({}, std::nullopt);
}

void TBoltzmannChart::Show(const QVector<TPoint>& points, const std::optional<TLine>& line) {
    QVector<TPoint> sorted = points;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TPoint& a, const TPoint& b) { return a.Energy < b.Energy; });
    QVector<double> energies, values, errors;
    for (QCPItemText* name : names_)
        removeItem(name);
    names_.clear();
    double lowX = std::numeric_limits<double>::infinity(), highX = -lowX, lowY = lowX,
           highY = -lowX;
    const auto extend = [&](double x, double low, double high) {
        lowX = std::min(lowX, x);
        highX = std::max(highX, x);
        lowY = std::min(lowY, low);
        highY = std::max(highY, high);
    };
    for (const TPoint& point : sorted) {
        energies.append(point.Energy);
        values.append(point.Value);
        errors.append(point.Uncertainty);
        extend(point.Energy, point.Value - point.Uncertainty, point.Value + point.Uncertainty);
        auto* name = new QCPItemText(this);
        name->setText(point.Name);
        name->setFont(PlotFont(11));
        name->setColor(kPointColour);
        name->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        name->position->setCoords(point.Energy, point.Value);
        name->setPadding(QMargins(5, 0, 0, 3));
        // The highest name may reach above a low plotting area, into its margin.
        name->setClipToAxisRect(false);
        names_.append(name);
    }
    points_->setData(energies, values, true);
    bars_->setData(errors);
    if (line) {
        line_->setData({line->FromEnergy, line->ToEnergy}, {line->FromValue, line->ToValue}, true);
        line_->setName(line->Name);
        line_->addToLegend();
        extend(line->FromEnergy, std::min(line->FromValue, line->ToValue),
               std::max(line->FromValue, line->ToValue));
        extend(line->ToEnergy, line->ToValue, line->ToValue);
    } else {
        line_->data()->clear();
        line_->removeFromLegend();
    }
    points_->setVisible(!sorted.isEmpty());
    if (!(lowX <= highX)) {
        xAxis->setRange(0, 1);
        yAxis->setRange(0, 1);
    } else {
        // Room around the points for their names and whiskers.
        const double spanX = std::max(highX - lowX, 0.05), spanY = std::max(highY - lowY, 0.1);
        xAxis->setRange(lowX - spanX * 0.08, highX + spanX * 0.18);
        yAxis->setRange(lowY - spanY * 0.08, highY + spanY * 0.12);
    }
    replot();
}

} // namespace zelt
