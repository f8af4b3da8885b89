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
// there is none. A map is there once one of its steps is not 0 (ranges may run downwards);
// along an axis whose ends are equal the step is 0 and the single grid line is index 0.
double MapCellValue(const TResidualGrid& grid, const TMapRange& range, double x, double y);

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
