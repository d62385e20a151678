// Key-frame interpolation: clamping, equal keys, orientation component-wise.
#include <gtest/gtest.h>

#include <limits>

#include "rendermodule/interpolator.h"

namespace {

std::array<double, 4> At(const CInterpolator& in, double f) {
    std::array<double, 4> out{};
    in.Interpolate(f, out.data());
    return out;
}

TEST(CInterpolator, ClampsOutsideAndInterpolatesInside) {
    CInterpolator p;
    p.AddKey(0, 0, 0, 0, 0);
    p.AddKey(1, 10, 20, 30, 0);
    auto v = At(p, 0.25);
    EXPECT_DOUBLE_EQ(v[0], 2.5);
    EXPECT_DOUBLE_EQ(v[1], 5);
    EXPECT_DOUBLE_EQ(v[2], 7.5);
    EXPECT_EQ(At(p, -1), (std::array<double, 4>{0, 0, 0, 0}));
    EXPECT_EQ(At(p, 3.7), (std::array<double, 4>{10, 20, 30, 0}));
    EXPECT_EQ(At(p, 1), (std::array<double, 4>{10, 20, 30, 0}));
    EXPECT_EQ(At(p, std::numeric_limits<double>::quiet_NaN()),
              (std::array<double, 4>{10, 20, 30, 0}));
}

TEST(CInterpolator, KeepsKeysSortedAndEqualKeysInInsertionOrder) {
    CInterpolator c;
    c.AddKey(1, 1, 0, 0, 0);
    c.AddKey(0, 2, 0, 0, 0);
    c.AddKey(0.5, 3, 0, 0, 0);
    c.AddKey(0.5, 4, 0, 0, 0);
    ASSERT_EQ(c.Keys().size(), 4u);
    EXPECT_EQ(c.Keys()[0].key, 0);
    EXPECT_EQ(c.Keys()[1].values[0], 3);  // the first 0.5 added
    EXPECT_EQ(c.Keys()[2].values[0], 4);
    EXPECT_EQ(c.Keys()[3].key, 1);
    // f 0.5 takes the first entry whose key is >= 0.5, exactly.
    EXPECT_EQ(At(c, 0.5)[0], 3);
    // f 0.75 interpolates between the second 0.5 and 1.
    EXPECT_DOUBLE_EQ(At(c, 0.75)[0], 2.5);
}

TEST(CInterpolator, SingleKeyAndOrientationComponentWise) {
    CInterpolator one;
    one.AddKey(0.3, 7, 8, 9, 1);
    for (double f : {-5.0, 0.3, 0.31, 99.0})
        EXPECT_EQ(At(one, f), (std::array<double, 4>{7, 8, 9, 1}));

    CInterpolator o;
    o.SetKind(66);  // an OrientationInterpolator's record
    o.AddKey(0, 0, 1, 0, 0);
    o.AddKey(1, 1, 0, 0, 3.14);
    auto v = At(o, 0.5);
    EXPECT_DOUBLE_EQ(v[0], 0.5);
    EXPECT_DOUBLE_EQ(v[1], 0.5);
    EXPECT_DOUBLE_EQ(v[2], 0);
    EXPECT_DOUBLE_EQ(v[3], 1.57);
}

}  // namespace
