// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The residual grid that the contour plot shows. A fit empties and re-sizes the line model's
// grid while the plot goes on showing the last map, so the application keeps that map (shared
// with the map's outcome) for the residual read-out under the mouse and for "Save map…".

#include "linemodel/modeltypes.h"

#include <memory>
#include <string>

namespace zelt {

using TResidualGrid = TCheckedVector<TCheckedVector<double>>;

// The residual of the grid cell centred nearest to (log10 density, temperature), or -1 where
// there is none. Only a step above 0 places cells: a map whose ranges both run downwards shows
// no residual, one range running downwards still gives indices from 0 up, and a range whose
// ends are equal has no extent to draw a cell in.
double MapCellValue(const TResidualGrid& grid, const TMapRange& range, double x, double y);
// Why the plot of a computed map shows no residual (MapCellValue gives -1 everywhere), for the
// status bar; empty when it shows them.
std::string MapDrawingProblem(const TMapRange& range);

class TShownMap {
public:
    // True before the first map: the plot shows no residual.
    bool Empty() const { return !grid_ || grid_->empty(); }
    void Show(std::shared_ptr<const TResidualGrid> grid, const TMapRange& range);
    double ValueAt(double x, double y) const;
    // The grid as "Save map…" writes it.
    std::string Text() const;
    // The residuals, [temperature step][density step] (null before the first map), and their
    // grid.
    const std::shared_ptr<const TResidualGrid>& Grid() const { return grid_; }
    const TMapRange& Range() const { return range_; }

private:
    std::shared_ptr<const TResidualGrid> grid_;
    TMapRange range_;
};

} // namespace zelt
