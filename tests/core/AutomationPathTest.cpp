#include "scene/AutomationPath.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

PathPoint key(float time, float a, float b = 0.0f, float c = 0.0f, int count = 3) {
    PathPoint p;
    p.time = time;
    p.values[0] = a;
    p.values[1] = b;
    p.values[2] = c;
    p.count = count;
    return p;
}

float valueAt(AutomationPath& path, float time) {
    path.setTime(time);
    return path.evaluate().values[0];
}

TEST(CatmullRom, KnownValues) {
    EXPECT_EQ(catmullRom(0, 0, 10, 10, 0.5f), 5.0f);
    EXPECT_EQ(catmullRom(0, 10, 20, 20, 0.5f), 15.625f);
    EXPECT_EQ(catmullRom(3, 7, -2, 9, 0.0f), 7.0f);
    EXPECT_EQ(catmullRom(3, 7, -2, 9, 1.0f), -2.0f);
}

// Runs of keys in order, keys out of order and many equal times, against a stable sort of the
// same keys: the appending shortcut and the binary search must agree with the order rule.
TEST(AutomationPath, ManyKeysInAnyOrderEndUpAsAStableSortByTime) {
    std::vector<PathPoint> keys;
    uint32_t state = 7;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245u + 12345u;
        const float time = i < 1000 ? static_cast<float>(i / 3) : static_cast<float>((state >> 16) % 200);
        keys.push_back(key(time, static_cast<float>(i)));
    }
    AutomationPath path;
    for (const PathPoint& k : keys)
        path.addPoint(k);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const PathPoint& a, const PathPoint& b) { return a.time < b.time; });
    const auto points = path.points();
    ASSERT_EQ(points.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        ASSERT_EQ(points[i].values[0], keys[i].values[0]) << "position " << i;
}

TEST(AutomationPath, PointsAreKeptInTimeOrderWithEqualTimesInInsertionOrder) {
    AutomationPath path;
    path.addPoint(key(2, 20));
    path.addPoint(key(1, 10));
    path.addPoint(key(3, 30));
    path.addPoint(key(2, 21));
    const auto points = path.points();
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[0].values[0], 10);
    EXPECT_EQ(points[1].values[0], 20);
    EXPECT_EQ(points[2].values[0], 21);
    EXPECT_EQ(points[3].values[0], 30);
    EXPECT_EQ(path.lastPointTime(), 3.0f);
}

TEST(AutomationPath, InterpolatesWithTheEndKeyRepeated) {
    AutomationPath path;
    path.addPoint(key(0, 0, 0, 0, 1));
    path.addPoint(key(1, 10, 0, 0, 1));
    path.addPoint(key(2, 20, 0, 0, 1));
    EXPECT_EQ(valueAt(path, 0.5f), 5.0f);
    EXPECT_EQ(valueAt(path, 1.5f), 15.625f);
    EXPECT_EQ(valueAt(path, 1.0f), 10.0f); // exactly on an inner key
    EXPECT_EQ(valueAt(path, 0.0f), 0.0f);
}

TEST(AutomationPath, InterpolatesEverySlotOfTheFirstPointsCount) {
    AutomationPath path;
    path.addPoint(key(0, 0, 100, -4));
    path.addPoint(key(1, 10, 200, -8));
    path.setTime(0.5f);
    const PathPoint p = path.evaluate();
    EXPECT_EQ(p.values[0], catmullRom(0, 0, 10, 10, 0.5f));
    EXPECT_EQ(p.values[1], catmullRom(100, 100, 200, 200, 0.5f));
    EXPECT_EQ(p.values[2], catmullRom(-4, -4, -8, -8, 0.5f));
}

TEST(AutomationPath, BeforeTheFirstKeyTheFirstSegmentIsExtrapolated) {
    AutomationPath path;
    path.addPoint(key(1, 10));
    path.addPoint(key(2, 20));
    EXPECT_EQ(valueAt(path, 0.0f), catmullRom(10, 10, 20, 20, -1.0f));
}

TEST(AutomationPath, OnePointAnswersEveryTime) {
    AutomationPath path;
    path.addPoint(key(5, 7, 8, 9));
    EXPECT_EQ(valueAt(path, -3), 7.0f);
    EXPECT_EQ(valueAt(path, 100), 7.0f);
    EXPECT_EQ(path.evaluate().values[2], 9.0f);
}

TEST(AutomationPath, WithoutPointsTheLastResultStays) {
    AutomationPath path;
    EXPECT_EQ(valueAt(path, 3), 0.0f);
    EXPECT_EQ(path.evaluate().count, 0);
}

TEST(AutomationPath, AtOrAfterTheLastKeyGivesTheLastKey) {
    AutomationPath path;
    path.addPoint(key(0, 1));
    path.addPoint(key(1, 2));
    EXPECT_EQ(valueAt(path, 1.0f), 2.0f);
    EXPECT_EQ(valueAt(path, 9.0f), 2.0f);
}

TEST(AutomationPath, ZeroLengthSegmentGivesItsStartKey) {
    AutomationPath path;
    path.addPoint(key(1, 3));
    path.addPoint(key(1, 4));
    path.addPoint(key(2, 5));
    const float v = valueAt(path, 0.5f);
    EXPECT_EQ(v, 3.0f);
}

TEST(NextRandom, SequenceFromTheFixedSeed) {
    resetRandomSeed();
    // seed x 16807 mod 2^32 = 20739838, 682106290, 892703006, 1338656914; top 23 bits as the
    // mantissa of a number in [2, 4), minus 3.
    EXPECT_EQ(nextRandom(), -0.990342378616333f);
    EXPECT_EQ(nextRandom(), -0.6823697090148926f);
    EXPECT_EQ(nextRandom(), -0.5843029022216797f);
    EXPECT_EQ(nextRandom(), -0.37663936614990234f);
}

TEST(NextRandom, StaysInRangeAndRepeatsAfterAReset) {
    resetRandomSeed();
    std::vector<float> first;
    for (int i = 0; i < 1000; ++i) {
        const float r = nextRandom();
        ASSERT_GE(r, -1.0f);
        ASSERT_LT(r, 1.0f);
        first.push_back(r);
    }
    resetRandomSeed();
    for (float expected : first)
        ASSERT_EQ(nextRandom(), expected);
}

} // namespace
