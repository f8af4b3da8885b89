// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/regionoverlay.h"

#include "common/format.h"
#include "widgets/contourplot.h"

#include <QComboBox>
#include <QLabel>
#include <QStatusBar>

namespace zelt {

namespace {

// Neither white (the map's region) nor magenta (the fit) is a colour of the map's gradient,
// and both stand apart from the black cross-hair.
const QColor kRegionColour = Qt::white;
const QColor kFitColour = Qt::magenta;

} // namespace

TRegionOverlay::TRegionOverlay(TContourPlot* plot, QStatusBar* statusBar, QObject* parent)
    : QObject(parent), plot_(plot), levelBox_(new QComboBox), statusPanel_(new QLabel) {
    setObjectName(QStringLiteral("RegionOverlay"));
    levelBox_->setObjectName(QStringLiteral("RegionLevelBox"));
    levelBox_->setToolTip(QStringLiteral(
        "Joint confidence region of n_1 and T_exc, drawn on the map after \"Create map\" and "
        "as an ellipse around the result of a fit of both"));
    levelBox_->addItem(QStringLiteral("Region: none"));
    for (const double level : kRegionLevels)
        levelBox_->addItem(QString::fromStdString("Region " + FloatToStr(level * 100) + " %"));
    levelBox_->setCurrentIndex(1);
    connect(levelBox_, &QComboBox::currentIndexChanged, this, [this] { Redraw(); });
    statusPanel_->setObjectName(QStringLiteral("RegionPanel"));
    statusBar->addPermanentWidget(statusPanel_);
}

void TRegionOverlay::ShowMap(const TMapOutcome& map) {
    regions_ = map.Regions;
    fitPoint_.reset();
    ofLinesShown_ = true;
    Redraw();
}

void TRegionOverlay::LinesChanged() {
    fitPoint_.reset();
    ofLinesShown_ = false;
    Redraw();
}

void TRegionOverlay::ShowFit(const TFitOutcome& fit) {
    fitPoint_.reset();
    ellipses_ = fit.Ellipses;
    if (!ellipses_.empty())
        fitPoint_ = TPlanePoint{static_cast<double>(Slot(fit.Result.Params, LogDensity)),
                                static_cast<double>(Slot(fit.Result.Params, Temperature))};
    Redraw();
}

QString TRegionOverlay::StatusText() const {
    return statusPanel_->text();
}

std::vector<QCPCurve*> TRegionOverlay::OutlineCurves() const {
    return {outlineCurves_.begin(), outlineCurves_.end()};
}

QCPCurve* TRegionOverlay::AddCurve(const TOutline& points) {
    auto* curve = new QCPCurve(plot_->xAxis, plot_->yAxis);
    QVector<double> xs, ys;
    for (const TPlanePoint& point : points) {
        xs.append(point.X);
        ys.append(point.Y);
    }
    curve->setData(xs, ys);
    curve->setSelectable(QCP::stNone);
    return curve;
}

void TRegionOverlay::Redraw() {
    // Removing a curve deletes it, and its guarded pointer turns null.
    std::vector<QPointer<QCPCurve>> drawn = outlineCurves_;
    drawn.insert(drawn.end(), {ellipseCurve_, fitPointCurve_});
    for (const QPointer<QCPCurve>& curve : drawn)
        if (curve)
            plot_->removePlottable(curve);
    outlineCurves_.clear();
    statusPanel_->clear();
    statusPanel_->setToolTip(QString());
    const int choice = levelBox_->currentIndex() - 1;
    if (choice >= 0) {
        const auto level = static_cast<std::size_t>(choice);
        if (level < regions_.size()) {
            const TMapRegion& region = regions_[level];
            // The extent where the status bar has room for it, the whole line on the panel's tip.
            if (ofLinesShown_) {
                statusPanel_->setText(
                    QString::fromStdString(RegionText(region, TRegionDetail::Extent)));
                statusPanel_->setToolTip(QString::fromStdString(RegionText(region)));
            }
            for (const TOutline& outline : region.Outlines) {
                QCPCurve* curve = AddCurve(outline);
                curve->setPen(QPen(kRegionColour, 2));
                outlineCurves_.push_back(curve);
            }
        }
        if (fitPoint_) {
            ellipseCurve_ = AddCurve(ellipses_[level]);
            ellipseCurve_->setPen(QPen(kFitColour, 1.5, Qt::DashLine));
            fitPointCurve_ = AddCurve({*fitPoint_});
            fitPointCurve_->setLineStyle(QCPCurve::lsNone);
            fitPointCurve_->setScatterStyle(
                QCPScatterStyle(QCPScatterStyle::ssCrossCircle, kFitColour, 11));
        }
    }
    plot_->replot();
}

} // namespace zelt
