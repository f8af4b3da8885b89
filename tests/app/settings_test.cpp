// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commands.h"
#include "common/errors.h"
#include "tests/common/tempfolder.h"
#include "tests/linemodel/modelfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace zelt {
namespace {

long double Extended(const char* text) {
    return std::strtold(text, nullptr);
}

TEST(CommandSettingsTest, EnteredRealsFillTheirSlotsInExtendedPrecision) {
    test::TempFolder folder;
    const TConfigStore store(folder.Write(
        "zeltfit.ini", "[_Fit]\r\nFromDensity=2.5E+016\r\nFromTemperature=1234\r\n"
                       "[_Parameters]\r\nTn=661\r\nPath=0.168\r\n[Ar I]\r\nm=39.948\r\n"));
    const TParamVector p = FitParameters(ReadSettings(store, "Ar I"));
    EXPECT_EQ(Slot(p, LogDensity), std::log10(Extended("2.5E+016")));
    EXPECT_EQ(Slot(p, Temperature), Extended("1234"));
    EXPECT_EQ(Slot(p, GasTemperature), Extended("661"));
    EXPECT_EQ(Slot(p, PathLength), Extended("0.168"));
    EXPECT_NE(Slot(p, PathLength), static_cast<long double>(0.168));
    EXPECT_EQ(Slot(p, AtomMass), 39.948 * 1.6605402e-27L);

    // The edits' texts take the same road.
    TCommandSettings edits;
    edits.FitDensity = EditReal("2.5E+016");
    edits.Path = EditReal("0.168");
    const TParamVector q = FitParameters(edits);
    EXPECT_EQ(Slot(q, LogDensity), Slot(p, LogDensity));
    EXPECT_EQ(Slot(q, PathLength), Slot(p, PathLength));
    try {
        EditReal("1,5");
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'1,5' is not a valid floating point value");
    }
}

TEST(CommandSettingsTest, MapRangeIsRoundedToDoublesAfterTheLogarithm) {
    TCommandSettings s;
    s.FromDensity = EditReal("3.0E+015");
    s.ToDensity = EditReal("0");
    s.FromTemperature = EditReal("0.168");
    try {
        MapArguments(s);
        ADD_FAILURE() << "no error";
    } catch (const EZeroDivide& e) {
        EXPECT_STREQ(e.what(),
                     "Floating point division by zero in log10 of the density range of the map");
    }
    s.ToDensity = EditReal("7.0E+017");
    const TMapArguments range = MapArguments(s);
    EXPECT_EQ(range.FromLogDensity, static_cast<double>(std::log10(3e15L)));
    EXPECT_EQ(range.ToLogDensity, static_cast<double>(std::log10(7e17L)));
    EXPECT_EQ(range.FromTemperature, static_cast<double>(0.168L));
}

// A value that is not 0 never shows as 0: a command would take it for 0.
TEST(CommandSettingsTest, EditTextsShowEveryValueThatIsNotZero) {
    test::TempFolder folder;
    const TConfigStore store(folder.Write(
        "zeltfit.ini", "[_Parameters]\r\nPath=1e-12\r\nTn=0.3\r\n[_Fit]\r\n"
                       "FromTemperature=0\r\n[_Iteration]\r\nToTemperature=12345.6\r\n"));
    const auto shown = [&](const char* edit) {
        return ConfiguredText(SettingOfEdit(edit), store.View());
    };
    EXPECT_EQ(shown("PathEdit"), "1E-12");
    EXPECT_EQ(shown("TnEdit"), "0.3");
    EXPECT_EQ(shown("FitTempEdit"), "0");
    EXPECT_EQ(shown("ToTempEdit"), "12346");
    EXPECT_EQ(ReadSettings(store, "").Path, 1e-12L);
}

// The map's size guard weighs the memory the grid needs against the memory there is.
TEST(CommandSettingsTest, MapSizeGuardSaysWhatTheMapNeedsAndWhatThereIs) {
    TCommandSettings s;
    s.DensityPoints = s.TemperaturePoints = 5000;
    const std::uint64_t gigabyte = std::uint64_t{1} << 30;
    EXPECT_NO_THROW(CheckMapSize(s, 19 * gigabyte));
    EXPECT_EQ(test::ErrorText<Exception>([&] { CheckMapSize(s, gigabyte / 2); }),
              "A map of 5000 x 5000 points is too large for the memory: it needs 763 MB, and "
              "512 MB are available");
    s.DensityPoints = s.TemperaturePoints = 100000;
    EXPECT_EQ(test::ErrorText<Exception>([&] { CheckMapSize(s, 19 * gigabyte); }),
              "A map of 100000 x 100000 points is too large for the memory: it needs 298.0 GB, "
              "and 19.0 GB are available");
}

// The excluded ranges as the window's edit and --exclude give them: a part that is no range (a
// single number, FROM not below TO, a comma decimal) is left out of a list and refused alone.
TEST(ImportSettingsTest, ExclusionRangesReadFromToInNanometres) {
    using TRanges = std::vector<std::pair<double, double>>;
    const TRanges read =
        ExclusionRanges("811.1-811.4, 842.0-842.6;\t750 -1-2 900-899 811,1-811,4 850-851,852-853");
    EXPECT_EQ(read, (TRanges{{811.1, 811.4}, {842.0, 842.6}, {-1, 2}, {850, 851}, {852, 853}}));
    EXPECT_EQ(ExclusionText(read), "811.1-811.4, 842-842.6, -1-2, 850-851, 852-853");
    EXPECT_EQ(ExclusionRange("811.1-811.4"), std::pair(811.1, 811.4));
    for (const char* text : {"811.4", "811.4-811.1", "811.1-", "-811.1", "a-b", ""})
        EXPECT_FALSE(ExclusionRange(text)) << text;
    // The new numbers of the table start at their rows' defaults.
    const TImportSettings defaults;
    EXPECT_EQ(defaults.PeakTolerance, 0.5);
    EXPECT_EQ(defaults.Saturation, 0);
    EXPECT_TRUE(defaults.Exclusions.empty());
}

} // namespace
} // namespace zelt
