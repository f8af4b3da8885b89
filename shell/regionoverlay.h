// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The confidence region of n_1 and T_exc on the residual map: the outline of the map's region
// at the level chosen beside "Create map", its extent in the status bar, and a two-parameter
// fit's result with the ellipse of its covariance at the same level, so that the user sees
// where the fit's linearisation holds.

#include "app/application.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <qcustomplot.h>

#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QStatusBar;

namespace zelt {

class TContourPlot;

class TRegionOverlay : public QObject {
    Q_OBJECT
public:
    // Draws on `plot`'s axes and writes to a panel of `statusBar`; owned by `parent`.
    TRegionOverlay(TContourPlot* plot, QStatusBar* statusBar, QObject* parent);

    // The level choice: none, 68.3 % (the default), 95.4 %, 99.7 %.
    QComboBox* LevelBox() const { return levelBox_; }

    // After a map: the regions of its residual map; a fit shown before is taken away.
    void ShowMap(const TMapOutcome& map);
    // After a fit: its result and ellipse when it fitted both slots; else nothing of it.
    void ShowFit(const TFitOutcome& fit);
    // Other lines were read: the fit's result and ellipse go, and the region's extent leaves
    // the status bar; the map's outline stays with the map it belongs to.
    void LinesChanged();

    // What is drawn: the outline pieces of the map's region, the ellipse, the fitted point.
    std::vector<QCPCurve*> OutlineCurves() const;
    QCPCurve* EllipseCurve() const { return ellipseCurve_; }
    QCPCurve* FitPointCurve() const { return fitPointCurve_; }
    QString StatusText() const;

private:
    // Draws what belongs to the chosen level, replacing what was drawn.
    void Redraw();
    QCPCurve* AddCurve(const TOutline& points);

    TContourPlot* plot_;
    QComboBox* levelBox_;
    QLabel* statusPanel_;
    std::vector<TMapRegion> regions_; // at kRegionLevels; none before a map
    std::optional<TPlanePoint> fitPoint_;
    bool ofLinesShown_ = false;      // the map's region is that of the lines in the table
    std::vector<TOutline> ellipses_; // at kRegionLevels
    // Guarded pointers: whoever clears the plot's plottables deletes these curves too.
    std::vector<QPointer<QCPCurve>> outlineCurves_;
    QPointer<QCPCurve> ellipseCurve_;
    QPointer<QCPCurve> fitPointCurve_;
};

} // namespace zelt
