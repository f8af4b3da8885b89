// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The residual grid that the contour plot shows. A fit empties and re-sizes the line model's
// grid while the plot goes on showing the last map, so the window keeps its own copy of that
// map for the residual read-out under the mouse and for "Save map…".

#include "linemodel/atomicdata.h"

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
    bool Empty() const { return grid_.empty(); }
    void Show(const TResidualGrid& grid, const TMapRange& range);
    double ValueAt(double x, double y) const { return MapCellValue(grid_, range_, x, y); }
    // The grid as "Save map…" writes it.
    std::string Text() const;

private:
    TResidualGrid grid_;
    TMapRange range_;
};

} // namespace zelt
