// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/coverage.h"

#include "tests/common/tempfolder.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace zelt {
namespace {

TEST(Coverage, QuotedUncertaintiesAndRegionsCoverTheTruthAsOftenAsTheySay) {
    test::TempFolder folder;
    TAtomicData data(nullptr);
    LoadCoverageSpecies(data, std::string(ZELT_SOURCE_DIR) + "/data", folder.File("lines.txt"));
    TCoverageCounts n;
    std::uint64_t seed = 1;
    for (const TCoverageCase& c :
         {TCoverageCase{5e16, 0.02, false, 90}, TCoverageCase{1e16, 0.02, false, 70},
          TCoverageCase{2e17, 0.05, false, 70}, TCoverageCase{5e16, 0.02, true, 70}})
        RunCoverage(data, c, seed++, n);
    ASSERT_EQ(n.Fits, 300);
    const auto share = [&](int count) { return static_cast<double>(count) / n.Fits; };
    // 0.683 expected; a binomial share of 300 scatters by 0.027.
    for (const int covered : {n.Density, n.Temperature, n.Total, n.Profile, n.Region}) {
        EXPECT_GE(share(covered), 0.62);
        EXPECT_LE(share(covered), 0.75);
    }
    // Data in Boltzmann balance: the test at 5 % rejects about 5 % of them.
    ASSERT_EQ(n.Tested, 300);
    EXPECT_LE(share(n.Rejected), 0.09);
    std::printf("n_1 %.3f, T_exc %.3f, n_tot %.3f, profile %.3f, region %.3f; free test rejects "
                "%.3f\n",
                share(n.Density), share(n.Temperature), share(n.Total), share(n.Profile),
                share(n.Region), share(n.Rejected));
}

} // namespace
} // namespace zelt
