#include "actors/LineFX.h"
#include "tests/actors/ActorTestHelpers.h"

#include <cmath>

namespace {

class LineFXTest : public RegistryTest {};

TEST_F(LineFXTest, HandsItsLineSetToTheRendererAndTakesItBack) {
    {
        LineFX line("Line");
        ASSERT_EQ(renderer().lineSets().size(), 1u);
        const LineSet* set = renderer().lineSets()[0];
        EXPECT_EQ(set, &line.lineSet());
        EXPECT_EQ(set->pointCount, 4000);
        EXPECT_EQ(line.points().size(), 8000u);
        EXPECT_EQ(set->points, line.points().data());
        EXPECT_EQ(line.GetClassName(), "LineFX");
        EXPECT_EQ(line.AddEntity(&line), 0);
        EXPECT_EQ(line.GetEntityCount(), 0);
        EXPECT_EQ(line.GetEntity(0), nullptr);
    }
    EXPECT_TRUE(renderer().lineSets().empty());
    EXPECT_EQ(renderer().callCount("removeLineSet"), 1);
}

TEST_F(LineFXTest, WithoutARendererItStillAnimates) {
    registry().renderer = nullptr;
    LineFX line("Line");
    line.Scale = {1.0f, 1.0f, 1.0f};
    line.Update(16.0f);
    EXPECT_NEAR(line.time(), 0.016f, 1e-6f);
}

TEST_F(LineFXTest, WithTheDefaultScaleTheFigureCollapsesOntoPosition) {
    LineFX line("Line");
    line.Position = {1.0f, -2.0f, 3.0f};
    line.Update(16.0f);
    for (const Vector& p : line.points())
        ASSERT_EQ(p, line.Position);
}

TEST_F(LineFXTest, FillsSegmentPairsAlongTheCurve) {
    LineFX line("Line");
    const Vector P(1.0f, 2.0f, 3.0f);
    const Vector S(2.0f, 3.0f, 4.0f);
    line.Position = P;
    line.Scale = S;
    line.Update(0.0f); // filled at time 0
    const std::vector<Vector>& points = line.points();
    // At c = 0 and t = 0 the first point is P + (0, sy, 0).
    EXPECT_VECTOR_NEAR(points[0], P + Vector(0.0f, S.y, 0.0f), 1e-6f);
    // Entries j - 1 use sample j / 2: 0, 1, 1, 2, 2, ... so neighbouring segments share ends.
    EXPECT_EQ(points[1], points[2]);
    EXPECT_EQ(points[3], points[4]);
    EXPECT_NE(points[0], points[1]);
    auto expected = [&](int k, float t) {
        const float c = static_cast<float>(k) * 100.0f / 4000.0f;
        return Vector(P.x + std::cos(0.1f * c + t) * std::sin(1.01f * c + t) * S.x,
                      P.y + std::cos(c + t) * std::cos(0.11f * c) * S.y,
                      P.z + std::cos(0.12f * c + t) * std::sin(0.9f * c + t) * S.z);
    };
    EXPECT_VECTOR_NEAR(points[1], expected(1, 0.0f), 1e-5f);
    EXPECT_VECTOR_NEAR(points[2001], expected(1001, 0.0f), 1e-5f);
    EXPECT_VECTOR_NEAR(points[7999], expected(4000, 0.0f), 1e-5f); // the last sample, c = 100
}

TEST_F(LineFXTest, UpdateDrawsAtTheCurrentTimeThenAdvancesIt) {
    LineFX line("Line");
    line.Scale = {1.0f, 1.0f, 1.0f};
    line.Update(500.0f); // filled at t = 0
    EXPECT_NEAR(line.points()[0].y, 1.0f, 1e-6f);
    EXPECT_NEAR(line.time(), 0.5f, 1e-6f);
    line.Update(0.0f); // filled at t = 0.5 even without time passing
    EXPECT_NEAR(line.points()[0].y, std::cos(0.5f), 1e-6f);
    EXPECT_NEAR(line.points()[0].x, std::cos(0.5f) * std::sin(0.5f), 1e-6f);
}

} // namespace
