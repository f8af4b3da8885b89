// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

using Texts = std::vector<std::string>;

// The small species with populations set by hand: 1e18, 2e17 and 5e15 m-3 for the levels at
// 0, 0.1 and 3 eV.
class WriteResults : public ::testing::Test {
protected:
    void SetUp() override {
        species.Load(data);
        data.Levels[0].Population = 1e18;
        data.Levels[1].Population = 2e17;
        data.Levels[2].Population = 5e15;
        data.Levels[3].Population = 7e14;
        Slot(p, Temperature) = 2000;
        Slot(p, ResultRSS) = 1.234e-5;
        Slot(p, ResultCode) = 5;
        u[1] = 0.01;
        u[2] = 50;
    }
    Texts Lines(int boltzmannLevels, std::int32_t np, std::int32_t mode) {
        Slot(p, BoltzmannLevels) = boltzmannLevels;
        Texts lines;
        data.WriteResults(p, u, &lines, "argon_1e16.txt", np, mode);
        return lines;
    }

    test::SmallSpecies species;
    TAtomicData data{nullptr};
    TParamVector p, u;
};

TEST_F(WriteResults, OneLevelFittedAlone) {
    // u(n_1) = ln(10) * 1e18 * 0.01 = 2.302585e16.
    EXPECT_EQ(Lines(1, 1, FitMode),
              (Texts{"n_tot/m-3 \xB1u(n_tot)    n_1/m-3   \xB1u(n_1)   T/K  u(T)       RSS "
                     "Filename  Procedure",
                     "1.000E+018 2.303E+016  1.000E+018 2.303E+016  2000    50 1.234E-005 "
                     "argon_1e16.txt  fit:OK"}));
    EXPECT_EQ(data.ResultHeaderCount, 1);
}

TEST_F(WriteResults, UncertaintiesOfThePopulatedLevels) {
    // Independently computed: u(n_2) = 5.442797e15, u(n_3) = 2.178878e15, u(n_tot) = 2.376050e16.
    EXPECT_EQ(Lines(3, 2, FitMode),
              (Texts{"n_tot/m-3 \xB1u(n_tot)    n_1/m-3   \xB1u(n_1)   n_2/m-3   \xB1u(n_2)   "
                     "n_3/m-3   \xB1u(n_3)   T/K  u(T)       RSS Filename  Procedure",
                     "1.205E+018 2.376E+016  1.000E+018 2.303E+016 2.000E+017 5.443E+015 "
                     "5.000E+015 2.179E+015  2000    50 1.234E-005 argon_1e16.txt  fit:OK"}));
    // With the temperature held, only n_1 carries an uncertainty; no second header.
    EXPECT_EQ(Lines(3, 1, FitMode),
              Texts{"1.205E+018 2.303E+016  1.000E+018 2.303E+016 2.000E+017 0.000E+000 "
                    "5.000E+015 0.000E+000  2000    50 1.234E-005 argon_1e16.txt  fit:OK"});
    EXPECT_EQ(data.ResultHeaderCount, 2);
}

TEST_F(WriteResults, MapsHaveNoUncertainties) {
    Slot(p, ResultCode) = 0.5; // the largest residual of a map
    u = TParamVector{};
    EXPECT_EQ(Lines(2, 2, MapMode),
              (Texts{"n_tot/m-3 \xB1u(n_tot)    n_1/m-3   \xB1u(n_1)   n_2/m-3   \xB1u(n_2)   "
                     "T/K  u(T)       RSS Filename  Procedure",
                     "1.200E+018 0.000E+000  1.000E+018 0.000E+000 2.000E+017 0.000E+000  2000   "
                     "  0 1.234E-005 argon_1e16.txt  map"}));
    EXPECT_EQ(Lines(2, 2, MapMode).size(), 1u);
    // The counter starts again with a new species.
    species.Load(data);
    EXPECT_EQ(Lines(1, 2, MapMode).size(), 2u);
}

TEST_F(WriteResults, NamesTheResultCodeOfTheFit) {
    const std::vector<std::pair<int, std::string>> codes = {{-1, "fit:not started"},
                                                            {0, "fit:sum reached"},
                                                            {1, "fit:lambda reached"},
                                                            {2, "fit:itercount reached"},
                                                            {3, "fit:false residuum"},
                                                            {4, "fit:false hessian"},
                                                            {5, "fit:OK"},
                                                            {7, "fit: 7"}};
    data.ResultHeaderCount = 1;
    for (const auto& [code, procedure] : codes) {
        Slot(p, ResultCode) = code;
        const Texts lines = Lines(1, 1, FitMode);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(lines[0].size() - procedure.size() - 2), "  " + procedure);
    }
}

TEST_F(WriteResults, StopsAtTheLastLevel) {
    // Ten Boltzmann levels but four levels: four parts, the total of the four.
    const Texts lines = Lines(10, 1, FitMode);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("n_4/m-3"), std::string::npos);
    EXPECT_EQ(lines[0].find("n_5/m-3"), std::string::npos);
    EXPECT_EQ(lines[1].substr(0, 11), "1.206E+018 ");
}

// A fit that ran away to a density of 0 writes its line (its judgement flags it): n_j / n_1
// u(n_1) is 0 there, not 0 / 0.
TEST_F(WriteResults, AFitThatRanAwayToDensityZeroKeepsItsLine) {
    for (TLevel& level : data.Levels)
        level.Population = 0;
    Slot(p, Temperature) = 15412;
    const Texts lines = Lines(3, 2, FitMode);
    EXPECT_TRUE(lines.back().starts_with("0.000E+000 0.000E+000  0.000E+000 0.000E+000 "
                                         "0.000E+000 0.000E+000 0.000E+000 0.000E+000 15412"))
        << lines.back();
}

TEST_F(WriteResults, NeedsAnOutputList) {
    EXPECT_EQ(test::ErrorText<Exception>([&] { data.WriteResults(p, u, nullptr, "", 1, 1); }),
              "Lines not assigned.");
    EXPECT_EQ(data.ResultHeaderCount, 0);
}

} // namespace
} // namespace zelt
