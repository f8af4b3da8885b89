// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/marqdef.h"

#include "common/errors.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

TEST(FixedVectorTest, IndicesRunFromOneToTheSizeAndAreChecked) {
    TParamVector p;
    TPackedMatrix a;
    TDataVector d;
    EXPECT_EQ(p[1], 0.0L);
    EXPECT_EQ(d[100], 0.0L);
    p[15] = 2.5L;
    a[37] = -1;
    EXPECT_EQ(p[15], 2.5L);
    EXPECT_EQ(a[37], -1.0L);
    EXPECT_THROW(p[0], ERangeError);
    EXPECT_THROW(p[16], ERangeError);
    EXPECT_THROW(a[38], ERangeError);
    EXPECT_THROW(d[101], ERangeError);
    EXPECT_THROW(d[-1], ERangeError);
    const TParamVector& constant = p;
    EXPECT_THROW(constant[16], ERangeError);
}

} // namespace
} // namespace zelt
