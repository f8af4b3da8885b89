// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/calibration.h"

#include "common/format.h"
#include "leastsquares/chocho.h"
#include "spectrum/background.h"

#include <boost/math/distributions/fisher_f.hpp>

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

constexpr std::ptrdiff_t kPeakReach = 30; // pixels around a peak for its background and width
constexpr double kStrongLine = 20;        // a calibration line's peak stands 20 sigma out
constexpr double kFTestLevel = 0.99;      // a term of the polynomial must be this significant
// A point is an outlier beyond 4 robust standard deviations of the residuals, and never within
// this share of the peaks' width.
constexpr double kOutlierWidths = 0.15;

struct TFit {
    std::array<double, 3> Coefficients{};
    double Squares = 0;
};

// The least-squares polynomial of `degree` through the used points, x = lambda - centre.
TFit FitPolynomial(const std::vector<TCalibrationPoint>& points, int degree, double centre) {
    const std::int32_t n = degree + 1;
    TPackedMatrix normal;
    TParamVector right;
    for (const TCalibrationPoint& p : points) {
        if (!p.Used)
            continue;
        const double x = p.Wavelength - centre;
        for (std::int32_t r = 1; r <= n; ++r) {
            right[r] += std::pow(x, r - 1) * p.Offset;
            for (std::int32_t c = 1; c <= r; ++c)
                normal[r * (r - 1) / 2 + c] += std::pow(x, r + c - 2);
        }
    }
    bool ok = true;
    CholDecompose(n, normal, ok);
    CholSolve(n, normal, right);
    TFit fit;
    for (std::int32_t r = 1; r <= n; ++r)
        fit.Coefficients[static_cast<std::size_t>(r - 1)] = static_cast<double>(right[r]);
    for (const TCalibrationPoint& p : points) {
        const double x = p.Wavelength - centre;
        const double r =
            p.Offset - (fit.Coefficients[0] + x * (fit.Coefficients[1] + x * fit.Coefficients[2]));
        if (p.Used)
            fit.Squares += r * r;
    }
    return fit;
}

} // namespace

std::optional<TPeak> MeasurePeak(const TRawSpectrum& s, double wavelength, double reach,
                                 double noise, double minimum) {
    const auto n = static_cast<std::ptrdiff_t>(s.Pixels());
    const auto from =
        static_cast<std::ptrdiff_t>(FirstAtOrAbove(s.Wavelengths, wavelength - reach));
    const auto to =
        static_cast<std::ptrdiff_t>(FirstAtOrAbove(s.Wavelengths, wavelength + reach)) - 1;
    if (from > to)
        return std::nullopt;
    const auto count = [&](std::ptrdiff_t i) { return s.Counts[static_cast<std::size_t>(i)]; };
    const auto at = [&](std::ptrdiff_t i) { return s.Wavelengths[static_cast<std::size_t>(i)]; };
    std::ptrdiff_t top = from;
    for (std::ptrdiff_t i = from; i <= to; ++i)
        if (count(i) > count(top))
            top = i;
    // The highest pixel at the edge of the search, still rising outwards: the peak lies beyond.
    if ((top == from && top > 0 && count(top - 1) > count(top)) ||
        (top == to && top + 1 < n && count(top + 1) > count(top)))
        return std::nullopt;
    const std::ptrdiff_t low = top - kPeakReach, high = top + kPeakReach;
    if (low < 0 || high >= n)
        return std::nullopt;
    std::vector<double> around(s.Counts.begin() + low, s.Counts.begin() + high + 1);
    std::nth_element(around.begin(), around.begin() + kPeakReach / 2, around.end());
    const double base = around[kPeakReach / 2];
    const double height = count(top) - base;
    if (!(height > minimum * noise))
        return std::nullopt;
    const double half = base + height / 2;
    std::ptrdiff_t left = top, right = top;
    while (left > low && count(left - 1) >= half)
        --left;
    while (right < high && count(right + 1) >= half)
        ++right;
    if (left == low || right == high)
        return std::nullopt;
    const auto crossing = [&](std::ptrdiff_t below, std::ptrdiff_t above) {
        return at(below) +
               (half - count(below)) / (count(above) - count(below)) * (at(above) - at(below));
    };
    const double a = crossing(left - 1, left), b = crossing(right + 1, right);
    return TPeak{(a + b) / 2, b - a, height, static_cast<std::size_t>(top)};
}

double TCalibration::Offset(double wavelength) const {
    const double x = wavelength - Centre;
    return Coefficients[0] + x * (Coefficients[1] + x * Coefficients[2]);
}

std::size_t TCalibration::Used() const {
    return static_cast<std::size_t>(std::count_if(
        Points.begin(), Points.end(), [](const TCalibrationPoint& p) { return p.Used; }));
}

std::string SignedFixed(double value, int decimals) {
    const std::string text = Format("%." + std::to_string(decimals) + "f", {value});
    return text.starts_with('-') ? text : "+" + text;
}

std::string TCalibration::Formula() const {
    std::string text = "offset = " + SignedFixed(Coefficients[0], 4);
    const std::string x = Format("(lambda - %.0f nm)", {Centre});
    const auto term = [&](double value, const std::string& power) {
        text += Format(" %s %.3e %s", {value < 0 ? "-" : "+", std::abs(value), x + power});
    };
    if (Degree >= 1)
        term(Coefficients[1], "");
    if (Degree >= 2)
        term(Coefficients[2], "^2");
    return text + " nm";
}

TCalibration CalibrateScale(const TRawSpectrum& s, const std::vector<double>& known,
                            double tolerance, double noise, double saturation) {
    TCalibration calibration;
    calibration.Tolerance = tolerance;
    std::vector<double> widths;
    for (std::size_t l = 0; l < known.size(); ++l) {
        const double wavelength = known[l];
        if (wavelength - tolerance <= s.Wavelengths.front() ||
            wavelength + tolerance >= s.Wavelengths.back())
            continue;
        const std::optional<TPeak> peak = MeasurePeak(s, wavelength, tolerance, noise, kStrongLine);
        if (!peak)
            continue;
        // Alone: no other known line within the tolerance and a width of it.
        const double clear = tolerance + peak->Width;
        if ((l > 0 && wavelength - known[l - 1] < clear) ||
            (l + 1 < known.size() && known[l + 1] - wavelength < clear))
            continue;
        if (saturation > 0 && s.Raw[peak->Top] >= saturation)
            continue;
        calibration.Points.push_back(
            {wavelength, peak->Centre - wavelength, 0, true, peak->Height, peak->Width});
        widths.push_back(peak->Width);
    }
    std::vector<TCalibrationPoint>& points = calibration.Points;
    if (points.empty())
        return calibration;
    std::sort(widths.begin(), widths.end());
    const double floor = kOutlierWidths * widths[widths.size() / 2];
    double sum = 0;
    for (const TCalibrationPoint& p : points)
        sum += p.Wavelength;
    calibration.Centre = std::round(sum / static_cast<double>(points.size()));

    for (;;) {
        const std::size_t n = calibration.Used();
        // Raise the degree while the next term lowers the squares significantly.
        int degree = 0;
        TFit fit = FitPolynomial(points, 0, calibration.Centre);
        while (degree < 2 && n >= static_cast<std::size_t>(degree) + 3) {
            const TFit next = FitPolynomial(points, degree + 1, calibration.Centre);
            const double dof = static_cast<double>(n) - degree - 2;
            const boost::math::fisher_f_distribution<double> f(1, dof);
            if (!(next.Squares < fit.Squares) ||
                (next.Squares > 0 && (fit.Squares - next.Squares) / (next.Squares / dof) <
                                         boost::math::quantile(f, kFTestLevel)))
                break;
            fit = next;
            ++degree;
        }
        calibration.Degree = degree;
        calibration.Coefficients = fit.Coefficients;
        std::vector<double> residuals;
        TCalibrationPoint* worst = nullptr;
        for (TCalibrationPoint& p : points) {
            p.Residual = p.Offset - calibration.Offset(p.Wavelength);
            if (!p.Used)
                continue;
            residuals.push_back(std::abs(p.Residual));
            if (worst == nullptr || std::abs(p.Residual) > std::abs(worst->Residual))
                worst = &p;
        }
        std::sort(residuals.begin(), residuals.end());
        calibration.Rms = std::sqrt(fit.Squares / static_cast<double>(n));
        const double sigma = 1.4826 * residuals[residuals.size() / 2];
        if (n <= 2 || std::abs(worst->Residual) <= std::max(4 * sigma, floor))
            break;
        worst->Used = false;
    }
    return calibration;
}

} // namespace zelt
