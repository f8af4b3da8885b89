// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/response.h"

#include <algorithm>

namespace zelt {

namespace {

constexpr std::size_t kMinResponsePoints = 2;

} // namespace

TResponse::TResponse(const std::string& fileName, TResponseUnit unit,
                     const TSpectrumReadOptions& columns)
    : fileName_(fileName), unit_(unit) {
    TSpectrumReadOptions options = columns;
    options.DarkColumn = "none";
    if (options.CountsColumn.empty())
        options.CountsColumn = "2";
    TRawSpectrum points = SpectrumFromTable(ReadDelimited(fileName), options, kMinResponsePoints);
    wavelengths_ = std::move(points.Wavelengths);
    values_ = std::move(points.Counts);
}

std::optional<double> TResponse::At(double wavelength) const {
    if (!(wavelength >= wavelengths_.front() && wavelength <= wavelengths_.back()))
        return std::nullopt;
    const auto above = std::lower_bound(wavelengths_.begin(), wavelengths_.end(), wavelength);
    const std::size_t i = static_cast<std::size_t>(above - wavelengths_.begin());
    if (i == 0)
        return values_.front();
    const double t = (wavelength - wavelengths_[i - 1]) / (wavelengths_[i] - wavelengths_[i - 1]);
    return values_[i - 1] + t * (values_[i] - values_[i - 1]);
}

const char* TResponse::UnitText() const {
    return unit_ == TResponseUnit::PerPhoton ? "counts per photon" : "counts per energy";
}

} // namespace zelt
