// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/escape.h"

#include "modelfiles.h"

#include <boost/math/quadrature/exp_sinh.hpp>
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace zelt {
namespace {

// The exact factor of a homogeneous Doppler source by Boost.Math's exp-sinh quadrature in
// extended precision: 2 / (tau sqrt(pi)) times the integral over x from 0 to infinity.
long double ReferenceDoppler(long double tau) {
    const auto absorbed = [tau](long double x) { return -std::expm1(-tau * std::exp(-x * x)); };
    boost::math::quadrature::exp_sinh<long double> integrator;
    return 2 * integrator.integrate(absorbed, 1e-18L) /
           (tau * std::sqrt(std::numbers::pi_v<long double>));
}

TEST(DopplerEscapeFactor, AgreesWithBoostsQuadratureFromZeroToBeyondAMillion) {
    EXPECT_EQ(DopplerEscapeFactor(0), 1);
    // 20 points a decade, and the joints of the series, the table's octaves and the expansion.
    std::vector<double> depths;
    for (int i = -8 * 20; i <= 12 * 20; ++i)
        depths.push_back(std::pow(10.0, i / 20.0));
    for (int k = -1; k <= 35; ++k) {
        const double joint = std::ldexp(1.0, k);
        depths.insert(depths.end(),
                      {std::nextafter(joint, 0.0), joint, std::nextafter(joint, 1e300)});
    }
    double largest = 0, at = 0;
    for (const double tau : depths) {
        const double relative =
            std::fabs(static_cast<double>(DopplerEscapeFactor(tau) / ReferenceDoppler(tau) - 1));
        if (relative > largest) {
            largest = relative;
            at = tau;
        }
    }
    // docs/MODEL.md quotes this figure.
    RecordProperty("LargestRelativeError", Format("%.3e at tau = %.4e", {largest, at}));
    EXPECT_LT(largest, 1e-11) << "at tau = " << at;
    EXPECT_NEAR(DopplerEscapeFactor(1), 0.725065152, 1e-9);
}

TEST(DopplerEscapeFactor, NoDepthBelowZeroAndNothingEscapesAnInfiniteOne) {
    FpReset();
    EXPECT_TRUE(std::isnan(DopplerEscapeFactor(-1e-3)));
    EXPECT_TRUE(FpPending());
    FpReset();
    EXPECT_EQ(DopplerEscapeFactor(std::numeric_limits<double>::infinity()), 0);
    EXPECT_TRUE(std::isnan(DopplerEscapeFactor(NAN)));
    EXPECT_FALSE(FpPending());
}

TEST(EscapeModel, NamesAndFactorsOfTheBuiltInModels) {
    const TEscapeModel mewe = EscapeModelOf("mewe"), doppler = EscapeModelOf("Doppler");
    EXPECT_EQ(mewe, TEscapeModel());
    EXPECT_EQ(mewe.Name(), "mewe");
    EXPECT_EQ(doppler.Name(), "doppler");
    EXPECT_TRUE(IsDefaultEscape("MEWE"));
    EXPECT_FALSE(IsDefaultEscape("doppler"));
    for (const double tau : {0.0, 1e-3, 1.0, 112.0, 1e6}) {
        EXPECT_EQ(mewe.Factor(tau), EscapeFactor(tau)) << tau;
        EXPECT_EQ(doppler.Factor(tau), DopplerEscapeFactor(tau)) << tau;
    }
}

class EscapeTableTest : public ::testing::Test {
protected:
    std::string Table(const std::string& text) { return folder_.Write("table.txt", text); }
    // The message a table of `text` is refused with.
    std::string Refusal(const std::string& text) {
        try {
            EscapeModelOf(Table(text));
        } catch (const Exception& e) {
            return e.what();
        }
        return "accepted";
    }
    test::TempFolder folder_;
};

TEST_F(EscapeTableTest, InterpolatesInLogLogAndRefusesDepthsOutsideIt) {
    // Lambda = tau^(-1/2) beyond tau = 1 is a straight line in log-log: exact between the rows.
    const std::string file = Table("# tau  Lambda\r\n0.01 0.995 comment\r\n\r\n1\t0.6\n"
                                   "100 0.06\n1e4 6e-3\n");
    const TEscapeModel model = EscapeModelOf(file);
    EXPECT_EQ(model.Kind(), TEscapeKind::Table);
    EXPECT_EQ(model.Name(), file);
    EXPECT_EQ(model.Factor(0), 1);
    EXPECT_EQ(model.Factor(0.01), 0.995);
    EXPECT_EQ(model.Factor(100), 0.06);
    EXPECT_EQ(model.Factor(1e4), 6e-3);
    EXPECT_NEAR(model.Factor(1000), 0.6 / std::sqrt(1000.0), 1e-15);
    EXPECT_NEAR(model.Factor(0.1), std::sqrt(0.995 * 0.6), 1e-15);
    FpReset();
    EXPECT_TRUE(std::isnan(model.Factor(2e4)));
    EXPECT_TRUE(FpPending());
    FpReset();
    EXPECT_FALSE(model.PositiveAtEveryDepth());
    model.CheckDepth(50);
    try {
        model.CheckDepth(2e4);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "The optical depth 2.0000E+004 lies outside the escape "
                                         "factor table \"" +
                                             file + "\", which covers 0.01 to 10000");
    }
}

TEST_F(EscapeTableTest, RefusesWhatIsNoFallingTableByFileAndLine) {
    const std::string where = "Escape factor table \"" + folder_.File("table.txt") + "\", line ";
    EXPECT_EQ(Refusal("0.1 0.9\n1 0.95\n"),
              where + "2: the escape factor 0.95 rises above 0.9 of line 1; it must fall as the "
                      "optical depth grows");
    EXPECT_EQ(Refusal("0.1 0.9\n# x\n0.1 0.8\n"),
              where + "3: the optical depth 0.1 does not rise above 0.1 of line 1");
    EXPECT_EQ(Refusal("tau Lambda\n"),
              where + "1: \"tau Lambda\" is not an optical depth and an escape factor");
    EXPECT_EQ(Refusal("0.1 0.9\n1,5 0,3\n"),
              where + "2: \"1,5 0,3\" is not an optical depth and an escape factor");
    EXPECT_EQ(Refusal("0 1\n"),
              where + "1: the optical depth 0 and the escape factor 1 must be numbers above 0");
    EXPECT_EQ(Refusal("# nothing\n1 0.5\n"),
              "Escape factor table \"" + folder_.File("table.txt") +
                  "\" needs two or more rows of an optical depth and an escape factor; it holds 1");
    // Equal factors (a table rounded to few digits) are kept.
    EXPECT_EQ(Refusal("1e-6 1.0000\n1e-5 1.0000\n1 0.7\n"), "accepted");
    EXPECT_THROW(EscapeModelOf(folder_.File("missing.txt")), EInOutError);
}

} // namespace
} // namespace zelt
