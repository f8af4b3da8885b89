// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"
#include "linemodel/normal.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>

namespace zelt {
namespace {

using test::ModelParams;
using Texts = std::vector<std::string>;

std::string Shortest(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

class Map : public ::testing::Test {
protected:
    void SetUp() override { species.Load(data); }
    void Import(const std::string& content) {
        data.ImportLines(species.Measurement(content));
        data.CalcBranchingFractions();
    }

    test::SmallSpecies species;
    TAtomicData data{nullptr};
    TMapRange range;
    TReportList report;
};

TEST_F(Map, TheGridStopsOneStepBeforeTheLastValues) {
    Import("500.10 10\r\n520.20 5\r\n480.30 2\r\n490.40 4\r\n");
    data.InitMap(2, 2);
    TParamVector p = ModelParams(0, 0, 0.05, 2);
    data.CalcMap(2, 2, p, 15, 17, 1000, 3000, "measured.txt", range, nullptr, 0);
    EXPECT_EQ(range.FromLogDensity, 15);
    EXPECT_EQ(range.ToLogDensity, 17);
    EXPECT_EQ(range.FromTemperature, 1000);
    EXPECT_EQ(range.ToTemperature, 3000);
    EXPECT_EQ(range.LogDensityStep, 1);
    EXPECT_EQ(range.TemperatureStep, 1000);
    EXPECT_EQ(data.MapRange.TemperatureStep, 1000);
    EXPECT_EQ(data.PrecalcStore.size(), 0);

    // Row r, column c holds the residual at log10 density 15 + c and temperature 1000 + 1000 r.
    TAtomicData check(nullptr);
    species.Load(check);
    check.ImportLines(species.folder.File("measured.txt"));
    check.CalcBranchingFractions();
    double smallest = 1e20, largest = -1e20;
    TParamVector best;
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 2; ++c) {
            const TParamVector point = ModelParams(15 + c, 1000 + 1000 * r, 0.05, 2);
            const auto rss = static_cast<double>(check.CalcRSS(point, 2));
            EXPECT_EQ(data.RSSMap[r][c], rss) << r << " " << c;
            if (rss < smallest)
                best = point;
            smallest = std::min(smallest, rss);
            largest = std::max(largest, rss);
        }
    }
    EXPECT_NE(data.RSSMap[0][0], data.RSSMap[0][1]);
    EXPECT_NE(data.RSSMap[0][0], data.RSSMap[1][0]);
    EXPECT_EQ(static_cast<double>(Slot(p, ResultRSS)), smallest);
    EXPECT_EQ(static_cast<double>(Slot(p, ResultCode)), largest);
    // The fractions shown belong to the best point.
    EXPECT_EQ(Slot(p, LogDensity), Slot(best, LogDensity));
    EXPECT_EQ(Slot(p, Temperature), Slot(best, Temperature));
    check.CalcRSS(best, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(data.SelectedLines[i].BFFit, check.SelectedLines[i].BFFit);
    // A map larger than RSSMap is a range error.
    EXPECT_THROW(data.CalcMap(3, 2, p, 15, 17, 1000, 3000, "", range, nullptr, 0), ERangeError);
}

TEST_F(Map, ReportsTheFirstOfEqualResidualsAndAnUndividedSum) {
    // Without absorption path every grid point has the same residual.
    Import("500.10 10\r\n520.20 5\r\n");
    data.InitMap(3, 4);
    TParamVector p = ModelParams(0, 0, 0, 1);
    data.CalcMap(4, 3, p, 15, 17, 1000, 4000, "measured.txt", range, &report, 0);
    EXPECT_EQ(Slot(p, LogDensity), 15);
    EXPECT_EQ(Slot(p, Temperature), 1000);
    EXPECT_EQ(Slot(p, ResultRSS), Slot(p, ResultCode));
    // Two lines: (5001/7602 - 5/7)^2 + (2601/7602 - 2/7)^2, not divided by N - 2.
    EXPECT_NEAR(static_cast<double>(Slot(p, ResultRSS)), 0.006369258121123377, 1e-15);
    EXPECT_EQ(
        report,
        (Texts{"Sum was not divided by DoF (not enough lines)!",
               "n_tot/m-3 \xB1u(n_tot)    n_1/m-3   \xB1u(n_1)   T/K  u(T)       RSS Filename  "
               "Procedure",
               "1.000E+015 0.000E+000  1.000E+015 0.000E+000  1000     0 6.369E-003 "
               "measured.txt  map:no information"}));

    // Three lines: divided by 3 - 2 = 1; the header comes only once.
    Import("500.10 10\r\n520.20 5\r\n480.30 2\r\n");
    data.CalcMap(4, 3, p, 15, 17, 1000, 4000, "measured.txt", range, &report, 0);
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[3], "1.000E+015 0.000E+000  1.000E+015 0.000E+000  1000     0 6.369E-003 "
                         "measured.txt  map:no information");
    EXPECT_EQ(data.ResultHeaderCount, 2);
}

TEST_F(Map, ResidualPerDegreeOfFreedom) {
    Import("500.10 10\r\n520.20 5\r\n480.30 2\r\n490.40 4\r\n");
    const TParamVector p = ModelParams(17, 2000, 0, 1);
    const long double squares = data.CalcRSS(p, 4); // N - NP = 0: not divided
    EXPECT_EQ(data.CalcRSS(p, 9), squares);
    EXPECT_EQ(data.CalcRSS(p, 0), squares / 4);
    EXPECT_EQ(data.CalcRSS(p, 1), squares / 3);
    EXPECT_EQ(data.CalcRSS(p, 2), squares / 2);
    EXPECT_EQ(data.SelectedLines[0].BFFit, data.SelectedLines[0].BFTheory);
    EXPECT_EQ(data.PrecalcStore.size(), 0);
}

// Argon I with every line of the table measured at intensities that the model gives for
// `truth`, written with all their digits.
class Fit : public ::testing::Test {
protected:
    void SetUp() override { test::LoadArgon(data); }

    void MeasureModel(const TParamVector& truth, const std::string& name) {
        std::string text;
        TAtomRecord record;
        for (std::int32_t i = 0; i < data.LineBase->AtomCount(); ++i) {
            data.LineBase->GetAtom(i, record);
            text += Shortest(record.Wavelength) + " 1\r\n";
        }
        data.ImportLines(folder.Write(name, text));
        text.clear();
        for (int i = 0; i < data.SelectedLines.size(); ++i) {
            const double wavelength = data.SelectedLines[i].Data.Wavelength;
            const auto fraction = static_cast<double>(data.ModelBF(truth, i));
            text += Shortest(wavelength) + " " + Shortest(fraction / wavelength * 1000) + "\r\n";
        }
        data.ClearPrecalc();
        data.ImportLines(folder.Write(name, text));
        data.CalcBranchingFractions();
    }

    test::TempFolder folder;
    TAtomicData data{nullptr};
    TReportList report;
    const std::string log = folder.File("zeltfit.txt");
};

TEST_F(Fit, RecoversDensityAndTemperatureFromExactFractions) {
    MeasureModel(ModelParams(16.69897, 1500), "exact.txt");
    ASSERT_EQ(data.SelectedLines.size(), 29);
    const TParamVector start = ModelParams(16, 1000);
    const TFitResult fit = data.FitLines(start, 50, 2, 0, "exact.txt", log, &report, 0);
    EXPECT_NEAR(static_cast<double>(std::pow(10.0L, Slot(fit.Params, LogDensity) - 16.69897)), 1,
                5e-7);
    EXPECT_NEAR(static_cast<double>(Slot(fit.Params, Temperature)), 1500, 1500 * 5e-7);
    EXPECT_EQ(Slot(fit.Params, ResultRSS), fit.SumOfSquares);
    EXPECT_EQ(Slot(fit.Params, ResultCode), fit.ReturnCode);
    EXPECT_LT(fit.SumOfSquares, 1e-15);
    EXPECT_GT(fit.Uncertainty[1], 0);
    EXPECT_GT(fit.Uncertainty[2], 0);
    EXPECT_EQ(Slot(start, Temperature), 1000); // the caller's vector is not changed
    EXPECT_EQ(data.PrecalcStore.size(), 0);
    for (const TLine& line : data.SelectedLines)
        EXPECT_NEAR(line.BFFit, line.BFMeasured, 1e-7) << line.Data.Wavelength;
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0].substr(0, 20), "n_tot/m-3 \xB1u(n_tot) ");
    EXPECT_NE(report[1].find(" exact.txt  fit:"), std::string::npos) << report[1];
    EXPECT_NE(report[1].find("  1500 "), std::string::npos) << report[1];
}

TEST_F(Fit, OneParameterKeepsTheTemperature) {
    MeasureModel(ModelParams(17.3, 1800), "exact.txt");
    const TFitResult fit =
        data.FitLines(ModelParams(16, 1800), 50, 1, 0, "exact.txt", log, &report, 0);
    EXPECT_NEAR(static_cast<double>(Slot(fit.Params, LogDensity)), 17.3, 1e-6);
    EXPECT_EQ(Slot(fit.Params, Temperature), 1800);
    EXPECT_GT(fit.Uncertainty[1], 0);
    EXPECT_EQ(fit.Uncertainty[2], 0);
    EXPECT_NE(report[1].find("  1800     0 "), std::string::npos) << report[1];
}

TEST_F(Fit, ALineWithoutMeasuredFractionTakesNoPart) {
    MeasureModel(ModelParams(17, 1500), "exact.txt");
    // 2p1 -> 1s2 at 750.3869 nm is the strongest of its level; without its intensity the
    // measured fractions of its level are off, and its weight must be 0.
    TLine& dropped = data.SelectedLines[7];
    ASSERT_EQ(dropped.Data.Wavelength, 750.3869);
    dropped.BFMeasured = 0;
    const TFitResult fit = data.FitLines(ModelParams(16, 1000), 50, 2, 0, "", log, nullptr, 0);
    EXPECT_NEAR(static_cast<double>(Slot(fit.Params, LogDensity)), 17, 1e-5);
    EXPECT_NEAR(static_cast<double>(Slot(fit.Params, Temperature)), 1500, 0.05);
    EXPECT_GT(dropped.BFFit, 0.9);
}

TEST_F(Fit, ReportKindOneShowsTheMinimisationLog) {
    MeasureModel(ModelParams(16.5, 1500), "exact.txt");
    data.FitLines(ModelParams(16, 1000), 3, 2, 0, "exact.txt", log, &report, 1);
    ASSERT_GT(report.size(), 10u);
    EXPECT_EQ(report[0], std::string(84, '='));
    EXPECT_EQ(report[1].substr(0, 4), "iter");
    bool hasReport = false;
    for (const std::string& line : report)
        hasReport =
            hasReport || line == "Minimization report : given number of iteration was achieved";
    EXPECT_TRUE(hasReport);
    EXPECT_EQ(data.ResultHeaderCount, 0);
}

TEST_F(Fit, RefusesMoreThanOneHundredLines) {
    data.ImportLines(folder.Write("many.txt", "811.5311 1\r\n"));
    while (data.SelectedLines.size() < 101)
        data.SelectedLines.push_back(data.SelectedLines[0]);
    data.CalcBranchingFractions();
    const std::string message = test::ErrorText<ERangeError>(
        [&] { data.FitLines(ModelParams(16, 1000), 50, 2, 0, "many.txt", log, &report, 0); });
    EXPECT_NE(message.find("at most 100 lines"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(log));
    EXPECT_TRUE(report.empty());
}

TEST_F(Fit, AnArithmeticFaultKeepsItsOwnMessage) {
    MeasureModel(ModelParams(16.5, 1500), "exact.txt");
    data.ClearPrecalc();
    const std::string message = test::ErrorText<EZeroDivide>([&] {
        data.FitLines(ModelParams(16, 1000, 0.05, 4, 0), 50, 2, 0, "exact.txt", log, &report, 0);
    });
    EXPECT_NE(message.find("gas temperature 0 K"), std::string::npos) << message;
    EXPECT_EQ(data.PrecalcStore.size(), 0);
    EXPECT_TRUE(report.empty());
    // The log is closed with the report of the run that did not start.
    const std::string logText = folder.Read("zeltfit.txt");
    EXPECT_NE(logText.find("no minimization was started"), std::string::npos);
}

TEST_F(Fit, DerivativesAreCentralDifferences) {
    MeasureModel(ModelParams(17, 1500), "exact.txt");
    TDataVector x;
    x[1] = 9; // 763.5106 nm, 2p6 -> 1s5, one of three lines of 2p6
    TParamVector dy;
    bool ok = true;
    const TParamVector p = ModelParams(17, 1500);
    data.ModelDerivatives(1, x, 1, p, dy, ok);
    const auto slope = [&](TParamSlot slot, long double delta) {
        TParamVector above = p, below = p;
        Slot(above, slot) += delta;
        Slot(below, slot) -= delta;
        return (data.ModelBF(above, 9) - data.ModelBF(below, 9)) / (2 * delta);
    };
    // The steps are 0.5 % of the values (0.085 in log10 density), so the quotients agree with
    // the slope to about a percent.
    EXPECT_NEAR(static_cast<double>(dy[1] / slope(LogDensity, 1e-4L)), 1, 1e-2);
    EXPECT_NEAR(static_cast<double>(dy[2] / slope(Temperature, 1e-2L)), 1, 1e-2);
    EXPECT_NE(dy[1], 0);
    EXPECT_TRUE(ok);

    // A slot at exactly 0 has no step: its derivative is 0, not 0 / 0.
    TParamVector zero = p;
    Slot(zero, LogDensity) = 0;
    data.ModelDerivatives(1, x, 2, zero, dy, ok);
    EXPECT_EQ(dy[1], 0);
    EXPECT_EQ(dy[2], 0); // n_1 = 1 m-3 absorbs nothing at any temperature
}

TEST_F(Fit, DerivativesOfEveryPointAreThoseOfTheModelAtTheirVector) {
    MeasureModel(ModelParams(17, 1500), "exact.txt");
    // The central difference of ModelBF as the minimiser's derivatives define it.
    const auto expected = [&](const TParamVector& p, int line, TParamSlot slot) {
        const long double step = 0.01L * Slot(p, slot) / 2;
        TParamVector above = p, below = p;
        Slot(above, slot) = Slot(p, slot) + step;
        Slot(below, slot) = Slot(p, slot) - step;
        return (data.ModelBF(above, line) - data.ModelBF(below, line)) / (step * 2);
    };
    const auto expectAllPoints = [&](const TParamVector& p, const std::string& what) {
        TDataVector x;
        for (int j = 1; j <= data.SelectedLines.size(); ++j) {
            x[j] = j - 1;
            TParamVector dy;
            bool ok = true;
            data.ModelDerivatives(j, x, 2, p, dy, ok);
            ASSERT_EQ(dy[1], expected(p, j - 1, LogDensity)) << what << ", point " << j;
            ASSERT_EQ(dy[2], expected(p, j - 1, Temperature)) << what << ", point " << j;
        }
    };
    TParamVector p = ModelParams(16.5, 1200);
    expectAllPoints(p, "first vector");
    Slot(p, Temperature) = 1300;
    expectAllPoints(p, "second vector");
    // An emptied store holds other records under the same numbers: the model of changed lines.
    data.ClearPrecalc();
    for (TLine& line : data.SelectedLines)
        line.Data.Aki *= 1 + line.Data.Wavelength * 1e-3;
    expectAllPoints(p, "new lines");
    EXPECT_EQ(data.PrecalcStore.size(), 4);
}

TEST(DemoMeasurements, FitBackToTheirTrueValues) {
    // Made by zeltfit-makedemo at T_exc = 1500 K with 1 % noise on the intensities.
    const std::pair<const char*, double> files[] = {
        {"argon_1e16.txt", 1e16}, {"argon_5e16.txt", 5e16}, {"argon_2e17.txt", 2e17}};
    test::TempFolder folder;
    test::MessageLog messages;
    TAtomicData data(messages.Callback());
    test::LoadArgon(data);
    for (const auto& [name, density] : files) {
        data.ImportLines(test::DemoFile(std::string("measurements/") + name));
        ASSERT_EQ(data.SelectedLines.size(), 29) << name;
        data.CalcBranchingFractions();
        const TFitResult fit = data.FitLines(ModelParams(16, 1000), 50, 2, 0, name,
                                             folder.File("zeltfit.txt"), nullptr, 0);
        const long double logDensity = Slot(fit.Params, LogDensity);
        const long double temperature = Slot(fit.Params, Temperature);
        EXPECT_LT(std::fabs(logDensity - std::log10(density)), 2 * fit.Uncertainty[1]) << name;
        EXPECT_LT(std::fabs(temperature - 1500), 2 * fit.Uncertainty[2]) << name;
        EXPECT_LT(fit.Uncertainty[1], 0.02) << name;
        EXPECT_LT(fit.Uncertainty[2], 100) << name;
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST(GaussRandom, SumsTwelveUniformNumbers) {
    TUniformRandom random(42), again(42);
    long double sum = 0, squares = 0;
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
        const long double value = GaussRandom(5, 2, random);
        EXPECT_EQ(value, GaussRandom(5, 2, again));
        EXPECT_LE(std::fabs(value - 5), 12);
        sum += value;
        squares += (value - 5) * (value - 5);
    }
    EXPECT_NEAR(static_cast<double>(sum / count), 5, 0.05);
    EXPECT_NEAR(static_cast<double>(std::sqrt(squares / count)), 2, 0.05);
}

} // namespace
} // namespace zelt
