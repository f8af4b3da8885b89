// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/checked.h"
#include "common/fpcheck.h"
#include "leastsquares/marqdef.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

TEST(CheckedVectorTest, IndexOutsideRaisesRangeError) {
    TCheckedVector<double> v(3);
    v[2] = 1.5;
    EXPECT_EQ(v[2], 1.5);
    EXPECT_EQ(v[0], 0.0);
    EXPECT_THROW(v[3], ERangeError);
    EXPECT_THROW(v[-1], ERangeError);
    EXPECT_THROW(v[static_cast<long long>(1) << 40], ERangeError);
    TCheckedVector<int> empty;
    EXPECT_THROW(empty.back(), ERangeError);
    EXPECT_THROW(empty.resize(-1), ERangeError);
    try {
        v[5];
    } catch (const ERangeError& e) {
        EXPECT_STREQ(e.what(), "Range check error: index 5 outside 0 .. 2");
    }
}

TEST(FixedVectorTest, IndexedFromOneAndZeroed) {
    TParamVector p;
    EXPECT_EQ(p[1], 0.0L);
    p[15] = 2.0L;
    EXPECT_EQ(p[15], 2.0L);
    EXPECT_THROW(p[0], ERangeError);
    EXPECT_THROW(p[16], ERangeError);
    TPackedMatrix a;
    EXPECT_NO_THROW(a[37]);
    EXPECT_THROW(a[38], ERangeError);
    TDataVector d;
    EXPECT_NO_THROW(d[100]);
    EXPECT_THROW(d[101], ERangeError);
}

TEST(IntegerArithmeticTest, OverflowRaises) {
    EXPECT_EQ(CheckedAdd(2147483646, 1), 2147483647);
    EXPECT_THROW(CheckedAdd(2147483647, 1), EIntOverflow);
    EXPECT_THROW(CheckedSub(-2147483647 - 1, 1), EIntOverflow);
    EXPECT_THROW(CheckedMul(65536, 65536), EIntOverflow);
    EXPECT_EQ(TruncToInt(-2.9L), -2);
    EXPECT_EQ(TruncToInt(4.99L), 4);
    EXPECT_THROW(TruncToInt(3e9L), EInvalidOp);
    EXPECT_THROW(TruncToInt(NAN), EInvalidOp);
}

// Values the optimiser cannot fold at compile time.
volatile double zero = 0.0;
volatile double huge = 1e308;

TEST(FpCheckTest, FaultsBecomeExceptions) {
    FpReset();
    EXPECT_NO_THROW(FpCheck("nothing"));
    volatile double r = 1.0 / zero;
    EXPECT_THROW(FpCheck("a quotient"), EZeroDivide);
    r = zero / zero;
    EXPECT_THROW(FpCheck("a quotient"), EInvalidOp);
    r = huge * 10.0;
    try {
        FpCheck("the damping");
        ADD_FAILURE() << "no overflow raised";
    } catch (const EOverflow& e) {
        EXPECT_STREQ(e.what(), "Floating point overflow in the damping");
    }
    r = std::exp(-zero - 1e5); // underflow is no fault
    EXPECT_NO_THROW(FpCheck("an exponential"));
    r = static_cast<double>(FpSqrt(zero - 1));
    EXPECT_THROW(FpCheck("a root"), EInvalidOp);
    r = static_cast<double>(FpExp(zero + 20000));
    EXPECT_THROW(FpCheck("an exponential"), EOverflow);
    (void)r;
}

TEST(ErrorReportTest, FullStopOnlyAfterLettersAndDigits) {
    EXPECT_EQ(ErrorReportText("Lines not assigned"), "Lines not assigned.");
    EXPECT_EQ(ErrorReportText("index 17"), "index 17.");
    EXPECT_EQ(ErrorReportText("Not enough lines for Zelt method."),
              "Not enough lines for Zelt method.");
    EXPECT_EQ(ErrorReportText("Wrong source in ini file. "), "Wrong source in ini file. ");
    EXPECT_EQ(ErrorReportText("File \"a.txt\""), "File \"a.txt\"");
    EXPECT_EQ(ErrorReportText(""), "");
}

} // namespace
} // namespace zelt
