// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shownmap.h"

#include "app/tables.h"

#include <cmath>

namespace zelt {

double MapCellValue(const TResidualGrid& grid, const TMapRange& range, double x, double y) {
    if (!(range.LogDensityStep > 0) && !(range.TemperatureStep > 0))
        return -1;
    if (range.LogDensityStep == 0 || range.TemperatureStep == 0)
        return -1;
    const double column = std::nearbyint((x - range.FromLogDensity) / range.LogDensityStep);
    const double row = std::nearbyint((y - range.FromTemperature) / range.TemperatureStep);
    if (!(column >= 0 && row >= 0) || grid.size() == 0 || row > grid.size() - 1 ||
        column > grid[0].size() - 1)
        return -1;
    return grid[static_cast<int>(row)][static_cast<int>(column)];
}

std::string MapDrawingProblem(const TMapRange& range) {
    const bool densityFlat = range.FromLogDensity == range.ToLogDensity;
    const bool temperatureFlat = range.FromTemperature == range.ToTemperature;
    if (densityFlat || temperatureFlat)
        return std::string(densityFlat && temperatureFlat ? "Both ranges have"
                           : densityFlat                  ? "The density range has"
                                                          : "The temperature range has") +
               " equal ends: the map has no area to draw; its result is in the report.";
    if (range.LogDensityStep < 0 && range.TemperatureStep < 0)
        return "Both ranges run downwards (From above To): the map shows no residual and stays "
               "grey; swap From and To to see it.";
    return {};
}

void TShownMap::Show(std::shared_ptr<const TResidualGrid> grid, const TMapRange& range) {
    grid_ = std::move(grid);
    range_ = range;
}

double TShownMap::ValueAt(double x, double y) const {
    return grid_ ? MapCellValue(*grid_, range_, x, y) : -1;
}

std::string TShownMap::Text() const {
    return MapText(grid_ ? *grid_ : TResidualGrid{}, range_);
}

} // namespace zelt
