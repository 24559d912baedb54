#include "clone/geometry_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "clone/clone_transform.h"
#include "numeric/random.h"
#include "plugin/host_services.h"
#include "surface/polygon_weight.h"

#include "tests/clone/clone_settings.h"
#include "tests/support/run_host.h"

namespace sowfield {
namespace {

using host::Vec3;
using testing::identity_settings;

constexpr double kHalfPi = std::numbers::pi / 2.0;
constexpr int32_t kSeed = 4711;
constexpr uint32_t kPatch = SF_ID4('P', 'T', 'C', 'H');

clone_site site_at(double x, double y, double z) {
    clone_site site;
    site.position = {x, y, z};
    return site;
}

// The object is the background; the clones go to the empty foreground, so
// the n-th point or polygon added is the foreground's n-th.
class GeometryCopy : public testing::RunTest {
protected:
    void SetUp() override {
        generator.reseed(kSeed);
        expected.reseed(kSeed);
        mean_area = 1.0;
    }

    // One clone per site, numbered as the driver numbers them.
    void build(std::vector<clone_site> &sites) {
        settings.clone_count = static_cast<int32_t>(sites.size());
        for (size_t i = 0; i < sites.size(); ++i) {
            settings.current_clone = static_cast<int32_t>(i);
            current_site = &sites[i];
            build_clone(settings);
        }
    }

    // a b c d: the corners of a unit square; triangles abc and bdc share bc,
    // on surfaces 1 and 2 for telling their copies apart.
    void two_triangles() {
        a = world.bg.add_point({0, 0, 0});
        b = world.bg.add_point({1, 0, 0});
        c = world.bg.add_point({0, 1, 0});
        d = world.bg.add_point({1, 1, 0});
        const uint32_t abc[] = {a, b, c};
        const uint32_t bdc[] = {b, d, c};
        world.bg.add_polygon(SF_POLY_FACE, abc, world.scene.surface_index("first"));
        world.bg.add_polygon(kPatch, bdc, world.scene.surface_index("second"));
    }

    void set_value(uint32_t point, uint32_t type, const char *map, std::vector<float> values) {
        world.bg.add_vmap(type, map, static_cast<int>(values.size())).set_value(point, values.data());
    }

    Vec3 added(uint32_t point) const { return world.fg.position(point); }
    std::vector<uint32_t> corners(uint32_t polygon) const {
        const auto points = world.fg.polygon_points(polygon);
        return {points.begin(), points.end()};
    }
    // An added point's value in a foreground map, or empty.
    std::vector<float> value_of(uint32_t point, uint32_t type, const std::string &map) const {
        const host::VertexMap *found = world.fg.find_vmap(type, map);
        const float *value = found != nullptr ? found->value(point) : nullptr;
        if (value == nullptr) return {};
        return {value, value + found->dimension()};
    }
    // The morph maps holding values of clone k's four points (two_triangles), once per value.
    std::multiset<std::string> morphs_of_clone(uint32_t k) const {
        std::multiset<std::string> names;
        for (uint32_t point = 4 * k; point < 4 * k + 4; ++point)
            for (size_t m = 0; m < world.fg.vmap_count(); ++m) {
                const host::VertexMap &map = world.fg.vmap(m);
                if (map.type() == SF_VMAP_MORF && map.value(point) != nullptr) names.insert(map.name());
            }
        return names;
    }
    // The foreground's maps of `type`.
    std::set<std::string> maps_written(uint32_t type) const {
        std::set<std::string> names;
        for (size_t k = 0; k < world.fg.vmap_count(); ++k)
            if (world.fg.vmap(k).type() == type) names.insert(std::string(world.fg.vmap(k).name()));
        return names;
    }

    params_typ settings = identity_settings();
    random expected;  // the same seed as `generator`, drawn by hand
    uint32_t a{}, b{}, c{}, d{};
};

TEST_F(GeometryCopy, SharedPointsAreMadeOncePerCloneAndNeverShared) {
    two_triangles();
    begin();
    std::vector<clone_site> sites{site_at(10, 0, 0), site_at(20, 0, 5), site_at(30, 1, 0)};
    build(sites);
    ASSERT_EQ(world.fg.point_count(), 12u);
    ASSERT_EQ(world.fg.polygon_count(), 6u);
    std::set<uint32_t> used;
    for (uint32_t k = 0; k < 3; ++k) {
        const std::vector<uint32_t> one = corners(2 * k), two = corners(2 * k + 1);
        EXPECT_EQ(one[1], two[0]) << "clone " << k << " does not share b";
        EXPECT_EQ(one[2], two[2]) << "clone " << k << " does not share c";
        used.insert(one.begin(), one.end());
        used.insert(two.begin(), two.end());
    }
    EXPECT_EQ(used.size(), 12u) << "a point is shared between clones";
}

TEST_F(GeometryCopy, PolygonsKeepTypeTemplateAndVertexOrder) {
    two_triangles();
    begin();
    std::vector<clone_site> sites{site_at(3, 4, 5)};
    build(sites);
    ASSERT_EQ(world.fg.polygon_count(), 2u);
    EXPECT_EQ(world.fg.polygon_type(0), SF_POLY_FACE);
    EXPECT_EQ(world.fg.polygon_type(1), kPatch);
    // No surface name is given: each copy takes its template's surface.
    EXPECT_EQ(world.fg.polygon_surface(0), world.bg.polygon_surface(0));
    EXPECT_EQ(world.fg.polygon_surface(1), world.bg.polygon_surface(1));
    // With the identity transform each new point is its source moved to the site.
    const Vec3 sources[] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<uint32_t> two = corners(1);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(added(two[i]), (Vec3{sources[i][0] + 3, sources[i][1] + 4, sources[i][2] + 5})) << i;
}

TEST_F(GeometryCopy, LoosePointsAreNotCopiedYetEveryCloneDraws) {
    world.bg.add_point({7, 7, 7});
    begin();
    settings.h_min = -1.0, settings.h_max = 1.0;
    std::vector<clone_site> sites{site_at(0, 0, 0), site_at(1, 0, 0)};
    build(sites);
    EXPECT_EQ(world.fg.point_count(), 0u);
    EXPECT_EQ(world.fg.polygon_count(), 0u);
    expected.next_unit();  // one heading per clone
    expected.next_unit();
    EXPECT_EQ(generator.next_unit(), expected.next_unit());

    session.end(0);
    two_triangles();
    begin();
    build(sites);
    EXPECT_EQ(world.fg.point_count(), 8u) << "the loose point was copied";
}

TEST_F(GeometryCopy, BackgroundOriginLandsExactlyOnTheSite) {
    two_triangles();
    begin();
    settings.h_min = -2, settings.h_max = 1, settings.p_min = 0.5, settings.p_max = 2;
    settings.b_min = -1, settings.b_max = 3;
    settings.independent_sizes = 1;
    settings.size_variation_x = settings.size_variation_y = settings.size_variation_z = 0.4;
    settings.jitter = 0.2;
    settings.h_align_normals = settings.p_align_normals = 1;
    clone_site site = site_at(0.1, -2.7, 3.3);
    site.pitch = 0.8, site.heading = -1.9;
    std::vector<clone_site> sites{site};
    build(sites);
    EXPECT_EQ(added(corners(0)[0]), (Vec3{0.1, -2.7, 3.3}));  // the copy of a
}

TEST_F(GeometryCopy, CloneIndexGoesAfterTheCopiedWeightsOnEveryPoint) {
    two_triangles();
    set_value(a, SF_VMAP_WGHT, "SF_index", {0.9f});
    begin();
    std::vector<clone_site> sites{site_at(0, 0, 0), site_at(1, 0, 0), site_at(2, 0, 0), site_at(3, 0, 0)};
    build(sites);
    ASSERT_EQ(world.fg.point_count(), 16u);
    const float values[] = {0.0f, 0.25f, 0.5f, 0.75f};
    for (uint32_t k = 0; k < 16; ++k)
        EXPECT_EQ(value_of(k, SF_VMAP_WGHT, "SF_index"), std::vector<float>{values[k / 4]}) << "point " << k;
    // a's own value was copied to each of its four copies, then replaced.
    EXPECT_EQ(session.stats().values_written, 16 + 4);
    EXPECT_EQ(maps_written(SF_VMAP_WGHT), std::set<std::string>{"SF_index"});
    for (uint32_t type : {SF_VMAP_TXUV, SF_VMAP_MORF, SF_VMAP_MNVW, SF_VMAP_SPOT}) EXPECT_TRUE(maps_written(type).empty());
}

TEST_F(GeometryCopy, MorphMapsTakeOneNumberPerClone) {
    two_triangles();
    for (uint32_t p : {a, b, c, d}) set_value(p, SF_VMAP_MORF, "smile", {0.5f, 0, 0});
    set_value(d, SF_VMAP_MORF, "frown", {0, -0.5f, 0});
    begin();
    settings.auto_morph_maps = 3;
    std::vector<clone_site> sites(30, site_at(0, 0, 0));
    build(sites);
    std::set<int32_t> seen;
    for (uint32_t k = 0; k < sites.size(); ++k) {
        const int32_t suffix = expected.int_between(0, 3) + 1;  // the clone's only draw
        seen.insert(suffix);
        const std::string number = std::to_string(suffix);
        EXPECT_EQ(morphs_of_clone(k), (std::multiset<std::string>{"smile" + number, "smile" + number, "smile" + number,
                                                                  "smile" + number, "frown" + number}))
            << "clone " << k;
    }
    EXPECT_EQ(seen, (std::set<int32_t>{1, 2, 3}));
    EXPECT_EQ(maps_written(SF_VMAP_MORF).count("smile"), 0u);

    // Switched off after a numbered run: the list's own names again.
    settings.auto_morph_maps = 0;
    std::vector<clone_site> more{site_at(0, 0, 0)};
    build(more);
    EXPECT_EQ(morph_suffix, 0);
    EXPECT_EQ(morphs_of_clone(30), (std::multiset<std::string>{"smile", "smile", "smile", "smile", "frown"}));
}

TEST_F(GeometryCopy, MorphDisplacementsTurnWithTheCloneButStayOffTheSite) {
    two_triangles();
    set_value(b, SF_VMAP_MORF, "bulge", {1, 0, 0});
    begin();
    settings.h_min = settings.h_max = kHalfPi;  // a quarter turn of heading, drawn from equal bounds
    std::vector<clone_site> sites{site_at(5, 6, 7)};
    build(sites);
    const uint32_t copy = corners(0)[1];
    const std::vector<float> m = value_of(copy, SF_VMAP_MORF, "bulge");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NEAR(m[0], 0.0, 1e-7);
    EXPECT_EQ(m[1], 0.0f);
    EXPECT_NEAR(m[2], 1.0, 1e-7);
    EXPECT_NEAR(added(copy)[0], 5.0, 1e-15);
    EXPECT_NEAR(added(copy)[2], 8.0, 1e-15);
}

TEST_F(GeometryCopy, OtherValuesAreCopiedAsTheyAreAndOnlyWherePresent) {
    two_triangles();
    set_value(a, SF_VMAP_TXUV, "uv", {0.25f, 0.75f});
    set_value(c, SF_VMAP_TXUV, "uv", {0.5f, 1.0f});
    set_value(b, SF_VMAP_WGHT, "w", {-0.3f});
    set_value(d, SF_VMAP_MNVW, "crease", {0.8f});
    for (uint32_t p : {a, b, c, d}) set_value(p, SF_VMAP_SPOT, "rest", {10.0f, 20.0f, 30.0f});
    begin();
    settings.h_min = -3, settings.h_max = 3;
    settings.size_variation_x = 0.5;
    std::vector<clone_site> sites{site_at(9, 9, 9), site_at(-4, 2, 0)};
    build(sites);
    for (uint32_t k = 0; k < 2; ++k) {
        const std::vector<uint32_t> one = corners(2 * k);  // copies of a, b, c
        const uint32_t d_copy = corners(2 * k + 1)[1];
        EXPECT_EQ(value_of(one[0], SF_VMAP_TXUV, "uv"), (std::vector<float>{0.25f, 0.75f}));
        EXPECT_TRUE(value_of(one[1], SF_VMAP_TXUV, "uv").empty()) << "b has no UV and must get none";
        EXPECT_EQ(value_of(one[2], SF_VMAP_TXUV, "uv"), (std::vector<float>{0.5f, 1.0f}));
        EXPECT_EQ(value_of(one[1], SF_VMAP_WGHT, "w"), std::vector<float>{-0.3f});
        EXPECT_TRUE(value_of(one[0], SF_VMAP_WGHT, "w").empty());
        EXPECT_EQ(value_of(d_copy, SF_VMAP_MNVW, "crease"), std::vector<float>{0.8f});
        for (uint32_t p : {one[0], one[1], one[2], d_copy})
            EXPECT_EQ(value_of(p, SF_VMAP_SPOT, "rest"), (std::vector<float>{10.0f, 20.0f, 30.0f}));
    }
}

TEST_F(GeometryCopy, APolygonWithAWithheldPointIsLeftOutWhole) {
    two_triangles();
    session.withhold_point(1, d);
    begin();
    std::vector<clone_site> sites{site_at(0, 0, 0)};
    build(sites);
    EXPECT_EQ(world.fg.point_count(), 3u) << "points of the left-out polygon were made";
    ASSERT_EQ(world.fg.polygon_count(), 1u);
    EXPECT_EQ(world.fg.polygon_type(0), SF_POLY_FACE);
}

TEST_F(GeometryCopy, RefusedPointsGetNoValuesAndTheirPolygonsAreLeftOut) {
    two_triangles();
    for (uint32_t p : {a, b, c, d}) set_value(p, SF_VMAP_TXUV, "uv", {0.1f, 0.2f});
    session.refuse_points_after(2);  // a and b are made, c and d refused
    begin();
    std::vector<clone_site> sites{site_at(0, 0, 0)};
    build(sites);
    EXPECT_EQ(world.fg.point_count(), 2u);
    EXPECT_EQ(world.fg.polygon_count(), 0u);
    EXPECT_EQ(session.stats().values_written, 4);  // uv and index of a and b
}

// A whole clone checked without the transform's own code: every number is
// worked out here from the generator's raw draws and the plain rotation
// formulas.
Point turn_z(const Point &p, double a) {
    if (a == 0.0) return p;
    return {p.x * std::cos(a) + p.y * std::sin(a), p.y * std::cos(a) - p.x * std::sin(a), p.z};
}
Point turn_x(const Point &p, double a) {
    if (a == 0.0) return p;
    return {p.x, p.y * std::cos(a) + p.z * std::sin(a), p.z * std::cos(a) - p.y * std::sin(a)};
}
Point turn_y(const Point &p, double a) {
    return {p.x * std::cos(a) - p.z * std::sin(a), p.y, p.z * std::cos(a) + p.x * std::sin(a)};
}

TEST_F(GeometryCopy, WholeCloneMatchesHandWorkedArithmetic) {
    const uint32_t p0 = world.bg.add_point({0.5, 0.0, -0.25});
    const uint32_t p1 = world.bg.add_point({1.5, 0.25, 0.0});
    const uint32_t p2 = world.bg.add_point({1.0, 1.0, 0.75});
    const uint32_t p3 = world.bg.add_point({-0.5, 2.0, 0.125});
    const uint32_t quad[] = {p0, p1, p2, p3}, back[] = {p2, p1, p0};
    world.bg.add_polygon(SF_POLY_FACE, quad);
    world.bg.add_polygon(SF_POLY_FACE, back);
    set_value(p1, SF_VMAP_MORF, "lift", {0.0f, 0.5f, 0.25f});
    set_value(p3, SF_VMAP_MORF, "lift", {-0.125f, 0.0f, 1.0f});
    begin();

    settings.h_min = -0.5, settings.h_max = 1.25;
    settings.p_min = 0.1, settings.p_max = 0.6;
    settings.b_min = 2.0, settings.b_max = -1.0;
    settings.independent_sizes = 1;
    settings.size_variation_x = 0.3, settings.size_variation_y = 0.1, settings.size_variation_z = 0.2;
    settings.jitter = 0.05;
    settings.size_weightmap = 1;
    settings.size_weightmap_influence = 0.4;
    settings.h_align_normals = settings.p_align_normals = 1;
    settings.auto_morph_maps = 4;
    size_weights = std::make_unique<double[]>(2);
    size_weights[1] = -0.6;
    clone_site site = site_at(2.0, -1.0, 0.5);
    site.polygon_index = 1, site.pitch = 0.35, site.heading = -2.2;
    std::vector<clone_site> sites{site};
    build(sites);

    auto draw = [&](double lo, double hi) { return expected.next_unit() * (hi - lo) + lo; };
    const double heading = draw(-0.5, 1.25), pitch = draw(0.1, 0.6), bank = draw(-1.0, 2.0);
    const double sx = draw(0.7, 1.3), sy = draw(0.9, 1.1), sz = draw(0.8, 1.2);
    const int32_t suffix = static_cast<int32_t>(expected.next_unit() * 4.0) + 1;
    const double g = -0.6 * 0.5 * 0.4 + 1.0;
    auto turn = [&](const Point &v) {
        const double j = draw(0.95, 1.05);
        Point p{v.x * sx * j * g, v.y * sy * j * g, v.z * sz * j * g};
        return turn_y(turn_z(turn_y(turn_x(turn_z(p, bank), pitch), heading), 0.35), -2.2);
    };
    struct made {
        Point source;
        bool morph;
        Point displacement;
    };
    const made order[] = {{{0.5, 0.0, -0.25}, false, {}},
                          {{1.5, 0.25, 0.0}, true, {0.0, 0.5, 0.25}},
                          {{1.0, 1.0, 0.75}, false, {}},
                          {{-0.5, 2.0, 0.125}, true, {-0.125, 0.0, 1.0}}};
    ASSERT_EQ(world.fg.point_count(), 4u);
    for (uint32_t k = 0; k < 4; ++k) {
        const Point q = turn(order[k].source);
        EXPECT_EQ(added(k), (Vec3{q.x + 2.0, q.y + -1.0, q.z + 0.5})) << "point " << k;
        if (!order[k].morph) continue;
        const Point m = turn(order[k].displacement);
        EXPECT_EQ(value_of(k, SF_VMAP_MORF, "lift" + std::to_string(suffix)),
                  (std::vector<float>{static_cast<float>(m.x), static_cast<float>(m.y), static_cast<float>(m.z)}))
            << "point " << k;
    }
    EXPECT_EQ(generator.next_unit(), expected.next_unit()) << "the clone drew a different count of numbers";
    ASSERT_EQ(world.fg.polygon_count(), 2u);
    EXPECT_EQ(corners(1), (std::vector<uint32_t>{2, 1, 0}));
}

}  // namespace
}  // namespace sowfield
