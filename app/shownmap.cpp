// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shownmap.h"

#include "app/tables.h"

#include <cmath>

namespace zelt {

double MapCellValue(const TResidualGrid& grid, const TMapRange& range, double x, double y) {
    if (range.LogDensityStep == 0 && range.TemperatureStep == 0)
        return -1;
    const auto index = [](double value, double from, double step) {
        return step == 0 ? 0.0 : std::nearbyint((value - from) / step);
    };
    const double column = index(x, range.FromLogDensity, range.LogDensityStep);
    const double row = index(y, range.FromTemperature, range.TemperatureStep);
    if (!(column >= 0 && row >= 0) || grid.size() == 0 || row > grid.size() - 1 ||
        column > grid[0].size() - 1)
        return -1;
    return grid[static_cast<int>(row)][static_cast<int>(column)];
}

void TShownMap::Show(const TResidualGrid& grid, const TMapRange& range) {
    grid_ = grid;
    range_ = range;
}

std::string TShownMap::Text() const {
    return MapText(grid_, range_);
}

} // namespace zelt
