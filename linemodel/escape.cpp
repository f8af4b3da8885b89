// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/escape.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"
#include "linemodel/constants.h"

#include <boost/math/constants/constants.hpp>
#include <boost/math/special_functions/zeta.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cfenv>
#include <cmath>
#include <limits>
#include <sstream>

namespace zelt {

namespace {

// The integral I(tau) = integral over all x of (1 - exp(-tau exp(-x^2))) dx, so that the Doppler
// escape factor is I(tau) / (tau sqrt(pi)), by the trapezoid rule. For an integrand analytic in
// a strip about the real line and decaying fast, the rule's error falls geometrically with
// 1 / step (Trefethen and Weideman, SIAM Review 56 (2014) 385). The integrand has its edge at
// x = sqrt(ln tau), of width about 1 / sqrt(ln tau), so the step shrinks with that width; beyond
// x = sqrt(ln tau + 40) the integrand is below exp(-40). With this step the rule agrees with
// Boost.Math's exp-sinh quadrature to 1e-16.
long double DopplerIntegral(long double tau) {
    const long double logDepth = std::log(std::max(tau, 1.0L));
    const long double step = 0.1875L / (std::sqrt(logDepth) + 1);
    const long double end = std::sqrt(logDepth + 40);
    // 1 - exp(-t) as -expm1(-t), exact to the last bits for a small t.
    long double sum = -std::expm1(-tau) / 2;
    for (int k = 1; k * step <= end; ++k) {
        const long double x = k * step;
        sum -= std::expm1(-tau * std::exp(-x * x));
    }
    return 2 * step * sum;
}

// What DopplerEscapeFactor computes its factor from, made once on first use.
class TDopplerTable {
public:
    // Below this depth the power series.
    static constexpr double SeriesEnd = 0.5;
    // The octaves [2^(k-1), 2^k) of the table, k = 0 .. Octaves - 1; from 2^34 on the asymptotic
    // expansion, whose error there is below 1e-12.
    static constexpr int Octaves = 35;
    // Chebyshev nodes of each octave: the polynomial of degree 13 through them is within 2e-12
    // of I(tau) (relative).
    static constexpr int Nodes = 14;
    static constexpr int SeriesTerms = 16;
    static constexpr int AsymptoticTerms = 24;

    TDopplerTable() {
        // The table's own arithmetic (underflows of the exponentials, Boost's zeta) leaves no
        // flag behind for the model's checks.
        std::fenv_t environment;
        std::feholdexcept(&environment);
        MakeSeries();
        for (int octave = 0; octave < Octaves; ++octave)
            MakeOctave(octave);
        MakeAsymptotic();
        std::fesetenv(&environment);
    }

    double Factor(double tau) const {
        if (tau < SeriesEnd) {
            long double sum = 0;
            for (int n = SeriesTerms - 1; n >= 0; --n)
                sum = sum * tau + series_[n];
            return static_cast<double>(sum);
        }
        int exponent = 0;
        const double mantissa = std::frexp(tau, &exponent); // tau = mantissa 2^exponent
        long double integral = 0;
        if (exponent < Octaves) {
            // tau in [2^(exponent-1), 2^exponent): t = 4 mantissa - 3 runs over [-1, 1).
            const long double t = 4.0L * mantissa - 3;
            const std::array<long double, Nodes>& octave = octaves_[exponent];
            for (int n = Nodes - 1; n >= 0; --n)
                integral = integral * t + octave[n];
        } else {
            const long double logDepth = std::log(static_cast<long double>(tau));
            const long double inverse = 1 / logDepth;
            for (int k = AsymptoticTerms - 1; k >= 0; --k)
                integral = integral * inverse + asymptotic_[k];
            integral = 2 * std::sqrt(logDepth) + integral / std::sqrt(logDepth);
        }
        return static_cast<double>(integral / (tau * std::sqrt(kPi)));
    }

private:
    // Lambda(tau) = sum over n >= 1 of (-tau)^(n-1) / (n! sqrt(n)), from exp(-tau e^(-x^2))
    // expanded in tau and integrated term by term; below tau = 1/2 its 16 terms leave 1e-19.
    void MakeSeries() {
        long double factorial = 1;
        for (int n = 1; n <= SeriesTerms; ++n) {
            factorial *= n;
            series_[n - 1] = (n % 2 == 1 ? 1 : -1) / (factorial * std::sqrt(1.0L * n));
        }
    }

    // I(tau) on octave k as a polynomial in t = 4 mantissa - 3, through its values at the
    // Chebyshev nodes: the Chebyshev coefficients c_j, then the sum of c_j T_j(t) in powers of t.
    void MakeOctave(int octave) {
        const long double low = std::ldexp(1.0L, octave - 1);
        std::array<long double, Nodes> values{}, chebyshev{};
        for (int j = 0; j < Nodes; ++j)
            values[j] = DopplerIntegral(low * (1.5L + 0.5L * std::cos(kPi * (j + 0.5L) / Nodes)));
        for (int k = 0; k < Nodes; ++k) {
            long double sum = 0;
            for (int j = 0; j < Nodes; ++j)
                sum += values[j] * std::cos(kPi * k * (j + 0.5L) / Nodes);
            chebyshev[k] = sum * (k == 0 ? 1.0L : 2.0L) / Nodes;
        }
        // T_0 = 1, T_1 = t, T_(k+1) = 2 t T_k - T_(k-1), each as its powers of t.
        std::array<long double, Nodes> before{}, current{}, powers{};
        before[0] = 1;
        current[1] = 1;
        for (int k = 0; k < Nodes; ++k) {
            const std::array<long double, Nodes>& term = k == 0 ? before : current;
            for (int n = 0; n < Nodes; ++n)
                powers[n] += chebyshev[k] * term[n];
            if (k == 0)
                continue;
            std::array<long double, Nodes> next{};
            for (int n = 0; n < Nodes; ++n)
                next[n] = (n > 0 ? 2 * current[n - 1] : 0) - before[n];
            before = current;
            current = next;
        }
        octaves_[octave] = powers;
    }

    // With y = x^2 and s = L - y, L = ln tau, I(tau) is the integral over s up to L of
    // (L - s)^(-1/2) f(s), f(s) = 1 - exp(-e^s). The step H(s) (0 below s = 0, 1 above) in place
    // of f gives 2 sqrt(L); with (L - s)^(-1/2) expanded in powers of s / L, the rest brings the
    // moments of f - H, whose integral of s^k is -E[(ln U)^(k+1)] / (k + 1) for U exponentially
    // distributed (f is the distribution function of ln U). So
    //     I(tau) ~ 2 sqrt(L) + sum over k of a_k L^(-k-1/2),
    //     a_k = -binomial(2k, k) 4^(-k) mu_(k+1) / (k + 1),  mu_m = E[(ln U)^m] = Gamma^(m)(1),
    // an asymptotic series whose error is of order 1 / tau; its first terms give the known
    // curve of growth of a Doppler line, 2 sqrt(L) (1 + 0.2886 / L - 0.2473 / L^2 ...). The moments
    // come from the cumulants of ln U, -gamma and (-1)^j (j - 1)! zeta(j).
    void MakeAsymptotic() {
        std::array<long double, AsymptoticTerms + 1> cumulants{}, moments{};
        cumulants[1] = -boost::math::constants::euler<long double>();
        long double factorial = 1; // (j - 1)!
        for (int j = 2; j <= AsymptoticTerms; ++j) {
            factorial *= j - 1;
            cumulants[j] = (j % 2 == 0 ? 1 : -1) * factorial * boost::math::zeta(1.0L * j);
        }
        // mu_m = sum over j = 1 .. m of binomial(m - 1, j - 1) kappa_j mu_(m-j).
        moments[0] = 1;
        for (int m = 1; m <= AsymptoticTerms; ++m) {
            long double binomial = 1;
            for (int j = 1; j <= m; ++j) {
                moments[m] += binomial * cumulants[j] * moments[m - j];
                binomial = binomial * (m - j) / j;
            }
        }
        long double central = 1; // binomial(2k, k) 4^(-k)
        for (int k = 0; k < AsymptoticTerms; ++k) {
            asymptotic_[k] = -central * moments[k + 1] / (k + 1);
            central = central * (2 * k + 1) / (2 * k + 2);
        }
    }

    std::array<long double, SeriesTerms> series_{};
    std::array<std::array<long double, Nodes>, Octaves> octaves_{};
    std::array<long double, AsymptoticTerms> asymptotic_{};
};

const TDopplerTable& DopplerTable() {
    static const TDopplerTable table;
    return table;
}

// The fields of a line, split at blanks and tabs.
std::vector<std::string> Fields(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> fields;
    for (std::string field; stream >> field;)
        fields.push_back(field);
    return fields;
}

// A user's table holds a few hundred rows.
constexpr TReadLimit kEscapeTableLimit{16 * kMegabyte, "an escape factor table"};

} // namespace

double DopplerEscapeFactor(double tau) {
    if (std::isnan(tau))
        return tau;
    if (tau < 0) {
        std::feraiseexcept(FE_INVALID);
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (std::isinf(tau))
        return 0;
    return DopplerTable().Factor(tau);
}

TEscapeTable::TEscapeTable(const std::string& fileName) : fileName_(fileName) {
    const std::string text = ReadFileBytes(fileName, kEscapeTableLimit);
    const std::string where = Format("Escape factor table \"%s\", line ", {fileName});
    std::istringstream lines(text);
    std::string line;
    int number = 0, beforeNumber = 0;
    std::vector<std::string> beforeFields;
    while (std::getline(lines, line)) {
        ++number;
        const std::vector<std::string> fields = Fields(line);
        if (fields.empty() || fields[0].starts_with('#'))
            continue;
        double tau = 0, factor = 0;
        if (fields.size() < 2 || !TryStrToFloat(fields[0], tau) ||
            !TryStrToFloat(fields[1], factor))
            throw Exception(Format("%s%d: \"%s\" is not an optical depth and an escape factor",
                                   {where, number, std::string(TrimBlanks(line))}));
        if (!(tau > 0) || !(factor > 0) || !std::isfinite(tau) || !std::isfinite(factor))
            throw Exception(Format("%s%d: the optical depth %s and the escape factor %s must be "
                                   "numbers above 0",
                                   {where, number, fields[0], fields[1]}));
        if (!depths_.empty() && !(tau > depths_.back()))
            throw Exception(Format("%s%d: the optical depth %s does not rise above %s of line %d",
                                   {where, number, fields[0], beforeFields[0], beforeNumber}));
        if (!factors_.empty() && factor > factors_.back())
            throw Exception(Format("%s%d: the escape factor %s rises above %s of line %d; it must "
                                   "fall as the optical depth grows",
                                   {where, number, fields[1], beforeFields[1], beforeNumber}));
        depths_.push_back(tau);
        factors_.push_back(factor);
        logDepths_.push_back(std::log(static_cast<long double>(tau)));
        logFactors_.push_back(std::log(static_cast<long double>(factor)));
        beforeFields = fields;
        beforeNumber = number;
    }
    if (depths_.size() < 2)
        throw Exception(Format("Escape factor table \"%s\" needs two or more rows of an optical "
                               "depth and an escape factor; it holds %d",
                               {fileName, static_cast<int>(depths_.size())}));
}

double TEscapeTable::Factor(double tau) const {
    if (tau == 0)
        return 1;
    if (!(tau >= depths_.front() && tau <= depths_.back())) {
        if (!std::isnan(tau))
            std::feraiseexcept(FE_INVALID);
        return std::numeric_limits<double>::quiet_NaN();
    }
    // The first row above tau, or the last row.
    const std::size_t above =
        std::min(static_cast<std::size_t>(std::upper_bound(depths_.begin(), depths_.end(), tau) -
                                          depths_.begin()),
                 depths_.size() - 1);
    if (depths_[above] == tau)
        return factors_[above];
    if (depths_[above - 1] == tau)
        return factors_[above - 1];
    const std::size_t below = above - 1;
    const long double share = (std::log(static_cast<long double>(tau)) - logDepths_[below]) /
                              (logDepths_[above] - logDepths_[below]);
    return static_cast<double>(
        std::exp(logFactors_[below] + share * (logFactors_[above] - logFactors_[below])));
}

void TEscapeTable::CheckDepth(double tau) const {
    if (std::isnan(tau) || tau == 0 || (tau >= depths_.front() && tau <= depths_.back()))
        return;
    throw Exception(
        Format("The optical depth %.4e lies outside the escape factor table \"%s\", "
               "which covers %s to %s",
               {tau, fileName_, FloatToStr(depths_.front()), FloatToStr(depths_.back())}));
}

TEscapeModel TEscapeModel::Doppler() {
    TEscapeModel model;
    model.kind_ = TEscapeKind::Doppler;
    return model;
}

TEscapeModel TEscapeModel::Table(const std::string& fileName) {
    TEscapeModel model;
    model.kind_ = TEscapeKind::Table;
    model.table_ = std::make_shared<const TEscapeTable>(fileName);
    return model;
}

std::string TEscapeModel::Name() const {
    switch (kind_) {
    case TEscapeKind::Doppler:
        return kEscapeDoppler;
    case TEscapeKind::Table:
        return table_->FileName();
    case TEscapeKind::Mewe:
        break;
    }
    return kEscapeMewe;
}

namespace {

bool SameWord(const std::string& text, const char* word) {
    const std::string_view expected(word);
    return text.size() == expected.size() &&
           std::equal(text.begin(), text.end(), expected.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace

bool IsDefaultEscape(const std::string& choice) {
    return SameWord(choice, kEscapeMewe);
}

std::string EscapeName(const std::string& choice) {
    if (IsDefaultEscape(choice))
        return kEscapeMewe;
    return SameWord(choice, kEscapeDoppler) ? kEscapeDoppler : choice;
}

TEscapeModel EscapeModelOf(const std::string& choice) {
    if (IsDefaultEscape(choice))
        return {};
    if (SameWord(choice, kEscapeDoppler))
        return TEscapeModel::Doppler();
    return TEscapeModel::Table(choice);
}

} // namespace zelt
