// Layer table, entity style and object coordinate systems.

#include <gtest/gtest.h>

#include <cmath>

#include "DxfDrawing.h"
#include "DxfStyle.h"

using namespace tessik::dxf;

namespace {

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void expectVec(const Vec3& v, const Vec3& w)
{
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(v[k], w[k], 1e-12) << k;
}

DxfDrawing drawingFrom(const std::string& bytes)
{
    auto d = DxfDrawing::fromBytes(bytes);
    EXPECT_TRUE(d.ok()) << (d.ok() ? "" : d.error().description);
    return std::move(d).value();
}

}  // namespace

TEST(OcsTest, AxesAreARightHandedOrthonormalFrameAroundTheExtrusion)
{
    for (const Vec3 n : {Vec3{0, 0, 1}, Vec3{0, 0, -1}, Vec3{1, 0, 0}, Vec3{0.01, 0.005, 1}, Vec3{0.02, 0, 1},
                         Vec3{-3, 4, 12}}) {
        const Ocs o(n);
        const double len = std::sqrt(dot(n, n));
        expectVec(o.z, {n[0] / len, n[1] / len, n[2] / len});
        EXPECT_NEAR(dot(o.x, o.x), 1, 1e-12);
        EXPECT_NEAR(dot(o.y, o.y), 1, 1e-12);
        EXPECT_NEAR(dot(o.x, o.y), 0, 1e-12);
        EXPECT_NEAR(dot(o.x, o.z), 0, 1e-12);
        // x cross y is z.
        expectVec({o.x[1] * o.y[2] - o.x[2] * o.y[1], o.x[2] * o.y[0] - o.x[0] * o.y[2], o.x[0] * o.y[1] - o.x[1] * o.y[0]},
                  o.z);
        // The x axis lies in the world's x-y plane except near the z axis, where it is
        // built from the world's y axis, so it has no y part.
        const bool nearZ = std::abs(o.z[0]) < 1.0 / 64 && std::abs(o.z[1]) < 1.0 / 64;
        EXPECT_NEAR(nearZ ? o.x[1] : o.x[2], 0, 1e-12);
    }
    expectVec(Ocs({0, 0, -1}).x, {-1, 0, 0});
    expectVec(Ocs({1, 0, 0}).x, {0, 1, 0});
    expectVec(Ocs({1, 0, 0}).toWorld({2, 3, 7}), {7, 2, 3});
    // No direction at all is the world's.
    EXPECT_TRUE(Ocs({0, 0, 0}).identity());
}

TEST(DxfStyleTest, LayersAndColoursResolveAsCadProgramsResolveThem)
{
    const DxfDrawing d = drawingFrom(
        "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n"
        "0\nLAYER\n2\nWalls\n70\n0\n62\n-3\n6\nDASHED\n"
        "0\nLAYER\n2\nICE\n70\n1\n62\n5\n6\nCONTINUOUS\n"
        "0\nLAYER\n2\nBAD\n70\n0\n62\n900\n"
        "0\nENDTAB\n0\nENDSEC\n0\nEOF\n");
    const LayerTable layers(d);
    EXPECT_FALSE(layers.layer("WALLS").on);
    EXPECT_EQ(layers.layer("walls").color, 3);  // an off layer keeps its colour
    EXPECT_FALSE(layers.shown("Walls"));
    EXPECT_TRUE(layers.layer("ice").frozen);
    EXPECT_FALSE(layers.shown("ICE"));
    EXPECT_EQ(layers.layer("BAD").color, 7);
    EXPECT_TRUE(layers.shown("missing"));

    const std::vector<DxfTag> byLayer{{0, "LINE"}, {8, "walls"}, {1001, "APP"}, {1070, "3"}};
    const EntityStyle s = entityStyle(byLayer);
    EXPECT_EQ(s.layer, "walls");
    EXPECT_TRUE(s.color.byLayer());  // the 1070 of the extended data is not a colour
    EXPECT_EQ(layers.resolvedColor(s), 3);
    EXPECT_EQ(layers.resolvedLinetype(s), "DASHED");

    const std::vector<DxfTag> own{{0, "LINE"}, {8, "ICE"}, {62, "1"}, {6, "HIDDEN"}, {62, "2"}};
    EXPECT_EQ(layers.resolvedColor(entityStyle(own)), 1);
    EXPECT_EQ(layers.resolvedLinetype(entityStyle(own)), "HIDDEN");
    const std::vector<DxfTag> byBlock{{0, "LINE"}, {62, "0"}, {6, "BYBLOCK"}};
    EXPECT_EQ(entityStyle(byBlock).layer, "0");
    EXPECT_EQ(layers.resolvedColor(entityStyle(byBlock), 4), 4);
    // A negative entity colour is not a colour an entity can have: by layer.
    const std::vector<DxfTag> negative{{0, "LINE"}, {8, "ICE"}, {62, "-1"}};
    EXPECT_EQ(layers.resolvedColor(entityStyle(negative)), 5);
}

TEST(DxfDrawingGroupsTest, RepeatedGroupsAreReplacedInPlaceAndTheRestKept)
{
    DxfDrawing d = drawingFrom(
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLWPOLYLINE\n8\n0\n90\n2\n10\n0\n20\n0\n40\n1\n10\n1\n20\n1\n210\n0\n220\n0\n230\n1\n1001\nAPP\n1010\n9\n1020\n9\n"
        "0\nLWPOLYLINE\n8\n0\n1001\nAPP\n"
        "0\nENDSEC\n0\nEOF\n");
    static constexpr int kVertex[] = {10, 20, 40};
    d.replaceEntityGroups(0, kVertex, {{10, "5.0"}, {20, "6.0"}});
    d.replaceEntityGroups(1, kVertex, {{10, "7.0"}, {20, "8.0"}});
    const auto a = d.entityTags(0);
    const std::vector<DxfTag> expectedA{{0, "LWPOLYLINE"}, {8, "0"},   {90, "2"},     {10, "5.0"},    {20, "6.0"},
                                        {210, "0"},        {220, "0"}, {230, "1"},    {1001, "APP"},  {1010, "9"},
                                        {1020, "9"}};
    EXPECT_EQ(std::vector<DxfTag>(a.begin(), a.end()), expectedA);
    const auto b = d.entityTags(1);
    const std::vector<DxfTag> expectedB{{0, "LWPOLYLINE"}, {8, "0"}, {10, "7.0"}, {20, "8.0"}, {1001, "APP"}};
    EXPECT_EQ(std::vector<DxfTag>(b.begin(), b.end()), expectedB);
    auto again = DxfDrawing::fromBytes(*d.toBytes());
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->entityTags(0).size(), expectedA.size());
}
