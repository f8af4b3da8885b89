// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fpcheck.h"
#include "linemodel/absorption.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace zelt {
namespace {

using test::ModelParams;

// The small species with its four lines from the upper levels c (500.10, 520.20) and
// d (480.30, 490.40) imported.
class Model : public ::testing::Test {
protected:
    void SetUp() override {
        species.Load(data);
        data.ImportLines(species.Measurement("500.10 10\r\n520.20 5\r\n480.30 2\r\n490.40 4\r\n"));
        data.CalcBranchingFractions();
    }
    std::vector<double> ModelFractions(const TParamVector& p) {
        std::vector<double> result;
        for (int i = 0; i < data.SelectedLines.size(); ++i)
            result.push_back(static_cast<double>(data.ModelBF(p, i)));
        return result;
    }

    test::SmallSpecies species;
    TAtomicData data{nullptr};
};

TEST_F(Model, MeasuredAndAbsorptionFreeFractions) {
    const auto& lines = data.SelectedLines;
    EXPECT_DOUBLE_EQ(lines[0].BFTheory, 5.0 / 7);
    EXPECT_DOUBLE_EQ(lines[1].BFTheory, 2.0 / 7);
    EXPECT_DOUBLE_EQ(lines[2].BFTheory, 10.0 / 13);
    EXPECT_DOUBLE_EQ(lines[3].BFTheory, 3.0 / 13);
    // Intensity times wavelength: 10 * 500.1 against 5 * 520.2.
    EXPECT_DOUBLE_EQ(lines[0].BFMeasured, 5001.0 / 7602);
    EXPECT_DOUBLE_EQ(lines[1].BFMeasured, 2601.0 / 7602);
    EXPECT_DOUBLE_EQ(lines[2].BFMeasured, 960.6 / 2922.2);
    EXPECT_DOUBLE_EQ(data.Levels[2].SumA, 7e7);
    EXPECT_DOUBLE_EQ(data.Levels[2].SumIL, 7602);
    EXPECT_EQ(data.Levels[0].SumA, 0);
    EXPECT_EQ(lines[0].BFFit, 0);

    // A level whose only line has A = 0 has no absorption-free fraction; intensities of 0 leave
    // the measured fraction as it was.
    data.ImportLines(species.Measurement("600.00 0\r\n500.10 0\r\n"));
    data.SelectedLines[1].BFMeasured = 0.25;
    data.CalcBranchingFractions();
    EXPECT_EQ(data.SelectedLines[0].BFTheory, -1);
    EXPECT_EQ(data.SelectedLines[0].BFMeasured, 0);
    EXPECT_EQ(data.SelectedLines[1].BFTheory, 1);
    EXPECT_EQ(data.SelectedLines[1].BFMeasured, 0.25);
    EXPECT_EQ(data.ModelBF(ModelParams(18, 1000), 0), -1);
}

TEST_F(Model, WithoutAbsorptionPathTheFractionsAreTheAbsorptionFreeOnes) {
    const std::vector<double> fractions = ModelFractions(ModelParams(20, 3000, 0));
    for (int i = 0; i < 4; ++i)
        EXPECT_DOUBLE_EQ(fractions[i], data.SelectedLines[i].BFTheory) << i;
}

TEST_F(Model, FractionsWithSelfAbsorption) {
    // Independently computed: v = 408.0523 m/s, n_b = 1.88008e17 m-3, tau = 10.32, 1.456,
    // 30.48 and 3.050 for the four lines.
    const std::vector<double> fractions = ModelFractions(ModelParams(18, 1000, 0.05, 2));
    EXPECT_NEAR(fractions[0], 0.353635101635285, 1e-13);
    EXPECT_NEAR(fractions[1], 0.646364898364715, 1e-13);
    EXPECT_NEAR(fractions[2], 0.305731539893015, 1e-13);
    EXPECT_NEAR(fractions[3], 0.694268460106985, 1e-13);
    EXPECT_DOUBLE_EQ(data.Levels[0].Population, 1e18);
    EXPECT_NEAR(data.Levels[1].Population / 1.88008073021329240e17, 1, 1e-14);
    EXPECT_EQ(data.Levels[2].Population, 0);
    EXPECT_EQ(data.SelectedLines[3].BFFit, fractions[3]);
    EXPECT_NEAR(ThermalVelocity(400, static_cast<double>(39.948L * kAtomicMassUnit)),
                408.052302518486, 1e-11);
}

TEST_F(Model, AStronglyAbsorbedLineLosesItsShare) {
    // One populated level: only the lines to level a (500.10, 480.30) are absorbed.
    const std::vector<double> fractions = ModelFractions(ModelParams(19, 2000, 0.05, 1));
    const auto& lines = data.SelectedLines;
    EXPECT_LT(fractions[0], lines[0].BFTheory);
    EXPECT_GT(fractions[1], lines[1].BFTheory);
    EXPECT_LT(fractions[2], lines[2].BFTheory);
    EXPECT_NEAR(fractions[0] + fractions[1], 1, 1e-15);
    EXPECT_NEAR(fractions[2] + fractions[3], 1, 1e-15);
    EXPECT_DOUBLE_EQ(data.Levels[0].Population, 1e19);
    EXPECT_EQ(data.Levels[1].Population, 0);
    // SumAEff of c: A(500.10) reduced by its escape factor plus A(520.20) unreduced.
    EXPECT_NEAR(data.Levels[2].SumAEff, 2e7 + 5e7 * EscapeFactor(103.212237692130862), 1e-6);
    EXPECT_EQ(data.Levels[0].SumAEff, 0);
}

TEST_F(Model, PopulationsUseTheAbsoluteTemperatureAndStopAtTheLastLevel) {
    const std::vector<double> positive = ModelFractions(ModelParams(18, 1500, 0.05, 2));
    const double population = data.Levels[1].Population;
    data.ClearPrecalc();
    EXPECT_EQ(ModelFractions(ModelParams(18, -1500, 0.05, 2)), positive);
    EXPECT_EQ(data.Levels[1].Population, population);

    // More Boltzmann levels than levels: every level is populated, nothing beyond.
    ModelFractions(ModelParams(18, 1500, 0.05, 10));
    EXPECT_GT(data.Levels[3].Population, 0);
}

TEST_F(Model, CachesOneResultPerParameterVector) {
    TParamVector p = ModelParams(18, 1000, 0.05, 2);
    const long double first = data.ModelBF(p, 0);
    data.ModelBF(p, 1);
    EXPECT_EQ(data.PrecalcStore.size(), 1);
    // A hit returns the stored value even when the lines have changed since.
    data.SelectedLines[0].Data.Aki = 1;
    p[9] = 7;
    p[15] = 1;
    EXPECT_EQ(data.ModelBF(p, 0), first);
    EXPECT_EQ(data.PrecalcStore.size(), 1);
    std::int32_t index = 5;
    EXPECT_TRUE(data.FindPrecalc(p, 1, 8, index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(data.FindPrecalc(p, 1, 9, index));
    EXPECT_EQ(index, -1);

    // Any of slots 1 to 8 makes a new entry.
    Slot(p, GasTemperature) = 500;
    EXPECT_NE(data.ModelBF(p, 0), first);
    EXPECT_EQ(data.PrecalcStore.size(), 2);
    EXPECT_TRUE(data.FindPrecalc(p, 1, 8, index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(data.PrecalcStore[1].Values.size(), 4);
    EXPECT_EQ(data.PrecalcStore[1].Params, p);

    // The line number is x truncated toward zero.
    EXPECT_EQ(data.ModelBF(p, 3.999L), data.ModelBF(p, 3));
    EXPECT_EQ(data.ModelBF(p, 0.5L), data.ModelBF(p, 0));
    EXPECT_EQ(data.ModelBF(p, -0.5L), data.ModelBF(p, 0));
    EXPECT_NE(data.ModelBF(p, 1.5L), data.ModelBF(p, 2));
    EXPECT_THROW(data.ModelBF(p, 4), ERangeError);
    EXPECT_THROW(data.ModelBF(p, -1), ERangeError);
    data.ClearPrecalc();
    EXPECT_EQ(data.PrecalcStore.size(), 0);
    // A record stored from outside is the model's answer for its vector.
    TPreCalcDataArray stored(4);
    stored[3] = 0.25;
    data.AddPrecalc(p, stored);
    EXPECT_EQ(data.ModelBF(p, 3), 0.25L);
    data.ClearPrecalc();

    // Older records are found as well as the latest, with 0 and -0 as one value.
    for (int k = 1; k <= 6; ++k) {
        Slot(p, Temperature) = 1000 + k;
        data.ModelBF(p, 0);
    }
    const long double second = data.ModelBF(p, 1);
    Slot(p, Temperature) = 1006;
    Slot(p, FitCount) = -0.0L;
    EXPECT_EQ(data.ModelBF(p, 1), second);
    Slot(p, Temperature) = 1001;
    data.ModelBF(p, 1);
    EXPECT_EQ(data.PrecalcStore.size(), 6);
    EXPECT_TRUE(data.FindPrecalc(p, 1, 8, index));
    EXPECT_EQ(index, 0);

    // A NaN slot equals nothing, itself included: every call computes anew.
    Slot(p, IterationLimit) = std::numeric_limits<long double>::quiet_NaN();
    data.ModelBF(p, 0);
    data.ModelBF(p, 0);
    EXPECT_EQ(data.PrecalcStore.size(), 8);
    EXPECT_FALSE(data.FindPrecalc(p, 1, 8, index));
    Slot(p, IterationLimit) = 0;
    data.ModelBF(p, 1);
    EXPECT_EQ(data.PrecalcStore.size(), 8);
}

TEST_F(Model, ArithmeticFaultsNameTheirCause) {
    TParamVector p = ModelParams(18, 1000, 0.05, 2);
    Slot(p, GasTemperature) = 0;
    std::string message = test::ErrorText<EZeroDivide>([&] { data.ModelBF(p, 0); });
    EXPECT_NE(message.find("gas temperature 0 K"), std::string::npos) << message;
    Slot(p, GasTemperature) = 400;
    Slot(p, AtomMass) = 0;
    message = test::ErrorText<EZeroDivide>([&] { data.ModelBF(p, 0); });
    EXPECT_NE(message.find("atom mass 0 kg"), std::string::npos) << message;
    Slot(p, AtomMass) = 6.6e-26;
    data.SelectedLines[0].Data.Gi = 0;
    message = test::ErrorText<EMathError>([&] { data.ModelBF(p, 0); });
    EXPECT_NE(message.find("500.1000 nm"), std::string::npos) << message;
    EXPECT_NE(message.find("gi 0"), std::string::npos) << message;
    EXPECT_EQ(data.PrecalcStore.size(), 0);

    // 10^5000 m-3 overflows each time it is asked for, also right after the first.
    data.SelectedLines[0].Data.Gi = 5;
    Slot(p, LogDensity) = 5000;
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(test::ErrorText<EOverflow>([&] { data.ModelBF(p, 0); }),
                  "Floating point overflow in the level populations (log10 density 5000, "
                  "temperature 1000 K)");
}

TEST(ExtendedArithmetic, FractionsOfStoredDoublesAreExtendedQuotientsRounded) {
    // A = 1.78e6 and 4.1e7 s-1 from one upper level: 1.78e6 / 4.278e7 rounds to a different
    // last bit in double than the extended quotient does.
    test::SmallSpecies species;
    species.folder.Write("X_I.txt", test::kTableHeader +
                                        test::TableLine("500.10", "0.0178", "0.0", "3.0", 5, 3) +
                                        test::TableLine("520.20", "0.41", "0.1", "3.0", 3, 3));
    TAtomicData data(nullptr);
    species.Load(data);
    data.ImportLines(species.Measurement("500.10 10\r\n520.20 5\r\n"));
    data.CalcBranchingFractions();
    const volatile double a = 1.78e6, sum = 4.278e7;
    ASSERT_EQ(data.Levels[2].SumA, sum);
    EXPECT_NE(a / sum, 0x1.54dac763ef3eap-5);
    EXPECT_EQ(data.SelectedLines[0].BFTheory, 0x1.54dac763ef3eap-5);
    // Without absorption path the model forms the same quotient from SumAEff.
    EXPECT_EQ(data.ModelBF(test::ModelParams(18, 1000, 0), 0), 0x1.54dac763ef3eap-5L);
    EXPECT_EQ(data.Levels[2].SumAEff, sum);
}

TEST(ExtendedArithmetic, PowersAreTakenByPowl) {
    // The 680.9701 nm line of an argon-like species: lambda^5 as (lambda^2)^2 lambda is 1.19 ulp
    // low and puts the extended S halfway between two doubles; glibc's powl gives the correctly
    // rounded power and the S that rounds up. MinGW-w64's powl multiplies for a whole exponent
    // as the chain does. The record is read through a volatile, so that the compiler cannot
    // take the power itself.
    const volatile double wavelength = 680.9701;
    TAtomRecord record;
    record.Wavelength = wavelength;
    record.Gk = 1;
    record.Gi = 5;
    record.Aki = 1.129e7;
    const TRealBits bits = BitsOf(record.Wavelength * kNanometre);
    ASSERT_EQ(bits.SignAndExponent, 0x3fea);
    ASSERT_EQ(bits.Significand, 0xb6cbe8b09c466993);
#ifdef __GLIBC__
    const std::uint64_t strength = 0x3fb0f45fb740e623;
#else
    const std::uint64_t strength = 0x3fb0f45fb740e622;
#endif
    EXPECT_EQ(std::bit_cast<std::uint64_t>(LineConstants(record, 500).Strength), strength);

    // 10^x bit for bit as powl(10, x), over the densities of maps and fits and beyond (glibc's
    // exp10l differs at 13 of these arguments).
    TUniformRandom random(21);
    for (int i = 0; i < 300; ++i) {
        const long double x = i < 100 ? 14 + 0.05L * i : -40 + 80 * random.Next();
        const TRealBits power = BitsOf(PowerOfTen(x)), expected = BitsOf(powl(10.0L, x));
        ASSERT_EQ(power.Significand, expected.Significand) << static_cast<double>(x);
        ASSERT_EQ(power.SignAndExponent, expected.SignAndExponent) << static_cast<double>(x);
    }
}

TEST(EscapeFactor, FallsFromOneAsTheDepthGrows) {
    EXPECT_EQ(EscapeFactor(0), 1);
    EXPECT_NEAR(EscapeFactor(1), 0.50049975, 1e-8);
    EXPECT_NEAR(EscapeFactor(10), 0.09181365, 1e-8);
    EXPECT_NEAR(EscapeFactor(1e6) * (1 + 1e6), 2, 1e-9);
}

} // namespace
} // namespace zelt
