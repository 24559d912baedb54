#include "clone/geometry_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "clone/clone_transform.h"
#include "fake_edit.h"
#include "numeric/random.h"
#include "plugin/host_services.h"
#include "surface/polygon_weight.h"

#include "tests/clone/clone_settings.h"

namespace sowfield {
namespace {

using testing::fake_edit;
using testing::map_lists;

constexpr double kHalfPi = std::numbers::pi / 2.0;
constexpr int32_t kSeed = 4711;

using testing::identity_settings;

clone_site site_at(double x, double y, double z) {
    clone_site site;
    site.position = {x, y, z};
    return site;
}

class GeometryCopy : public ::testing::Test {
protected:
    void SetUp() override {
        edit_session = scene.session();
        generator.reseed(kSeed);
        expected.reseed(kSeed);
        mean_area = 1.0;
    }
    void TearDown() override {
        release_point_map();
        size_weights.reset();
        edit_session = nullptr;
        current_site = nullptr;
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

    // a b c d: the corners of a unit square; triangles abc and bdc share bc.
    void two_triangles() {
        a = scene.add_point({0, 0, 0});
        b = scene.add_point({1, 0, 0});
        c = scene.add_point({0, 1, 0});
        d = scene.add_point({1, 1, 0});
        first = scene.add_polygon({a, b, c});
        second = scene.add_polygon({b, d, c}, SF_ID4('P', 'T', 'C', 'H'));
    }

    fake_edit scene;
    params_typ settings = identity_settings();
    random expected;  // the same seed as `generator`, drawn by hand
    sf_point_id a{}, b{}, c{}, d{};
    sf_polygon_id first{}, second{};
};

TEST_F(GeometryCopy, SharedPointsAreMadeOncePerCloneAndNeverShared) {
    two_triangles();
    std::vector<clone_site> sites{site_at(10, 0, 0), site_at(20, 0, 5), site_at(30, 1, 0)};
    build(sites);
    ASSERT_EQ(scene.added_points.size(), 12u);
    ASSERT_EQ(scene.added_polygons.size(), 6u);
    std::set<sf_point_id> used;
    for (size_t k = 0; k < 3; ++k) {
        const auto &one = scene.added_polygons[2 * k];
        const auto &two = scene.added_polygons[2 * k + 1];
        EXPECT_EQ(one.points[1], two.points[0]) << "clone " << k << " does not share b";
        EXPECT_EQ(one.points[2], two.points[2]) << "clone " << k << " does not share c";
        used.insert(one.points.begin(), one.points.end());
        used.insert(two.points.begin(), two.points.end());
    }
    EXPECT_EQ(used.size(), 12u) << "a point is shared between clones";
    EXPECT_TRUE(scene.misuse.empty()) << scene.misuse.front();
}

TEST_F(GeometryCopy, PolygonsKeepTypeTemplateAndVertexOrder) {
    two_triangles();
    std::vector<clone_site> sites{site_at(3, 4, 5)};
    build(sites);
    ASSERT_EQ(scene.added_polygons.size(), 2u);
    const auto &one = scene.added_polygons[0];
    const auto &two = scene.added_polygons[1];
    EXPECT_EQ(one.type, SF_POLY_FACE);
    EXPECT_EQ(two.type, SF_ID4('P', 'T', 'C', 'H'));
    EXPECT_EQ(one.template_polygon, first);
    EXPECT_EQ(two.template_polygon, second);
    EXPECT_FALSE(one.surface_given || two.surface_given);
    // With the identity transform each new point is its source moved to the site.
    const Point corners[] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (size_t i = 0; i < 3; ++i) {
        const Point p = scene.position_of(two.points[i]);
        EXPECT_EQ(p.x, corners[i].x + 3);
        EXPECT_EQ(p.y, corners[i].y + 4);
        EXPECT_EQ(p.z, corners[i].z + 5);
    }
}

TEST_F(GeometryCopy, LoosePointsAreNotCopiedYetEveryCloneDraws) {
    scene.add_point({7, 7, 7});
    settings.h_min = -1.0, settings.h_max = 1.0;
    std::vector<clone_site> sites{site_at(0, 0, 0), site_at(1, 0, 0)};
    build(sites);
    EXPECT_TRUE(scene.added_points.empty());
    EXPECT_TRUE(scene.added_polygons.empty());
    expected.next_unit();  // one heading per clone
    expected.next_unit();
    EXPECT_EQ(generator.next_unit(), expected.next_unit());

    two_triangles();
    build(sites);
    EXPECT_EQ(scene.added_points.size(), 8u) << "the loose point was copied";
}

TEST_F(GeometryCopy, BackgroundOriginLandsExactlyOnTheSite) {
    two_triangles();
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
    const Point p = scene.position_of(scene.added_polygons[0].points[0]);  // the copy of a
    EXPECT_EQ(p.x, 0.1);
    EXPECT_EQ(p.y, -2.7);
    EXPECT_EQ(p.z, 3.3);
}

TEST_F(GeometryCopy, CloneIndexGoesAfterTheCopiedWeightsOnEveryPoint) {
    map_lists lists({}, {"SF_index"}, {}, {}, {});
    two_triangles();
    scene.set_value(a, SF_VMAP_WGHT, "SF_index", {0.9f});
    std::vector<clone_site> sites{site_at(0, 0, 0), site_at(1, 0, 0), site_at(2, 0, 0), site_at(3, 0, 0)};
    build(sites);
    ASSERT_EQ(scene.added_points.size(), 16u);
    const float values[] = {0.0f, 0.25f, 0.5f, 0.75f};
    for (size_t k = 0; k < 16; ++k)
        EXPECT_EQ(scene.value_of(scene.added_points[k].first, SF_VMAP_WGHT, "SF_index"),
                  std::vector<float>{values[k / 4]})
            << "point " << k;
    // The background's own value was copied first, then replaced.
    ASSERT_GE(scene.written.size(), 2u);
    EXPECT_EQ(scene.written[0].values, std::vector<float>{0.9f});
    EXPECT_EQ(scene.written[1].values, std::vector<float>{0.0f});
    EXPECT_EQ(scene.maps_written(SF_VMAP_WGHT), std::set<std::string>{"SF_index"});
    for (uint32_t type : {SF_VMAP_TXUV, SF_VMAP_MORF, SF_VMAP_MNVW, SF_VMAP_SPOT})
        EXPECT_TRUE(scene.maps_written(type).empty());
}

TEST_F(GeometryCopy, MorphMapsTakeOneNumberPerClone) {
    map_lists lists({}, {}, {"smile", "frown"}, {}, {});
    two_triangles();
    for (sf_point_id p : {a, b, c, d}) scene.set_value(p, SF_VMAP_MORF, "smile", {0.5f, 0, 0});
    scene.set_value(d, SF_VMAP_MORF, "frown", {0, -0.5f, 0});
    settings.auto_morph_maps = 3;
    std::vector<clone_site> sites(30, site_at(0, 0, 0));
    build(sites);
    std::set<int32_t> seen;
    for (size_t k = 0; k < sites.size(); ++k) {
        const int32_t suffix = expected.int_between(0, 3) + 1;  // the clone's only draw
        seen.insert(suffix);
        std::multiset<std::string> names;  // four copies of a, b, c, d per clone
        for (size_t i = 4 * k; i < 4 * k + 4; ++i)
            for (const auto &w : scene.written)
                if (w.point == scene.added_points[i].first && w.type == SF_VMAP_MORF) names.insert(w.map);
        const std::string number = std::to_string(suffix);
        EXPECT_EQ(names, (std::multiset<std::string>{"smile" + number, "smile" + number, "smile" + number,
                                                     "smile" + number, "frown" + number}))
            << "clone " << k;
    }
    EXPECT_EQ(seen, (std::set<int32_t>{1, 2, 3}));
    EXPECT_EQ(scene.maps_written(SF_VMAP_MORF).count("smile"), 0u);

    // Switched off after a numbered run: the list's own names again.
    scene.written.clear();
    settings.auto_morph_maps = 0;
    std::vector<clone_site> more{site_at(0, 0, 0)};
    build(more);
    EXPECT_EQ(morph_suffix, 0);
    EXPECT_EQ(scene.maps_written(SF_VMAP_MORF), (std::set<std::string>{"smile", "frown"}));
}

TEST_F(GeometryCopy, MorphDisplacementsTurnWithTheCloneButStayOffTheSite) {
    map_lists lists({}, {}, {"bulge"}, {}, {});
    two_triangles();
    scene.set_value(b, SF_VMAP_MORF, "bulge", {1, 0, 0});
    settings.h_min = settings.h_max = kHalfPi;  // a quarter turn of heading, drawn from equal bounds
    std::vector<clone_site> sites{site_at(5, 6, 7)};
    build(sites);
    const sf_point_id copy = scene.added_polygons[0].points[1];
    const std::vector<float> m = scene.value_of(copy, SF_VMAP_MORF, "bulge");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NEAR(m[0], 0.0, 1e-7);
    EXPECT_EQ(m[1], 0.0f);
    EXPECT_NEAR(m[2], 1.0, 1e-7);
    const Point p = scene.position_of(copy);
    EXPECT_NEAR(p.x, 5.0, 1e-15);
    EXPECT_NEAR(p.z, 8.0, 1e-15);
}

TEST_F(GeometryCopy, OtherValuesAreCopiedAsTheyAreAndOnlyWherePresent) {
    map_lists lists({"uv"}, {"w"}, {}, {"crease"}, {"rest"});
    two_triangles();
    scene.set_value(a, SF_VMAP_TXUV, "uv", {0.25f, 0.75f});
    scene.set_value(c, SF_VMAP_TXUV, "uv", {0.5f, 1.0f});
    scene.set_value(b, SF_VMAP_WGHT, "w", {-0.3f});
    scene.set_value(d, SF_VMAP_MNVW, "crease", {0.8f});
    for (sf_point_id p : {a, b, c, d}) scene.set_value(p, SF_VMAP_SPOT, "rest", {10.0f, 20.0f, 30.0f});
    settings.h_min = -3, settings.h_max = 3;
    settings.size_variation_x = 0.5;
    std::vector<clone_site> sites{site_at(9, 9, 9), site_at(-4, 2, 0)};
    build(sites);
    for (size_t k = 0; k < 2; ++k) {
        const auto &one = scene.added_polygons[2 * k].points;  // copies of a, b, c
        const sf_point_id d_copy = scene.added_polygons[2 * k + 1].points[1];
        EXPECT_EQ(scene.value_of(one[0], SF_VMAP_TXUV, "uv"), (std::vector<float>{0.25f, 0.75f}));
        EXPECT_TRUE(scene.value_of(one[1], SF_VMAP_TXUV, "uv").empty()) << "b has no UV and must get none";
        EXPECT_EQ(scene.value_of(one[2], SF_VMAP_TXUV, "uv"), (std::vector<float>{0.5f, 1.0f}));
        EXPECT_EQ(scene.value_of(one[1], SF_VMAP_WGHT, "w"), std::vector<float>{-0.3f});
        EXPECT_TRUE(scene.value_of(one[0], SF_VMAP_WGHT, "w").empty());
        EXPECT_EQ(scene.value_of(d_copy, SF_VMAP_MNVW, "crease"), std::vector<float>{0.8f});
        for (sf_point_id p : {one[0], one[1], one[2], d_copy})
            EXPECT_EQ(scene.value_of(p, SF_VMAP_SPOT, "rest"), (std::vector<float>{10.0f, 20.0f, 30.0f}));
    }
}

TEST_F(GeometryCopy, APolygonWithAnUndescribedPointIsLeftOutWhole) {
    two_triangles();
    scene.undescribed.insert(d);
    std::vector<clone_site> sites{site_at(0, 0, 0)};
    build(sites);
    EXPECT_EQ(scene.added_points.size(), 3u) << "points of the left-out polygon were made";
    ASSERT_EQ(scene.added_polygons.size(), 1u);
    EXPECT_EQ(scene.added_polygons[0].template_polygon, first);
    EXPECT_TRUE(scene.misuse.empty());
}

TEST_F(GeometryCopy, RefusedPointsGetNoValuesAndTheirPolygonsAreLeftOut) {
    map_lists lists({"uv"}, {}, {}, {}, {});
    two_triangles();
    for (sf_point_id p : {a, b, c, d}) scene.set_value(p, SF_VMAP_TXUV, "uv", {0.1f, 0.2f});
    scene.refuse_points_from = 3;  // a and b are made, c and d refused
    std::vector<clone_site> sites{site_at(0, 0, 0)};
    build(sites);
    EXPECT_EQ(scene.added_points.size(), 2u);
    EXPECT_TRUE(scene.added_polygons.empty());
    EXPECT_EQ(scene.written.size(), 4u);  // uv and index of a and b
    EXPECT_TRUE(scene.misuse.empty()) << scene.misuse.front();
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
    map_lists lists({}, {}, {"lift"}, {}, {});
    const sf_point_id p0 = scene.add_point({0.5, 0.0, -0.25});
    const sf_point_id p1 = scene.add_point({1.5, 0.25, 0.0});
    const sf_point_id p2 = scene.add_point({1.0, 1.0, 0.75});
    const sf_point_id p3 = scene.add_point({-0.5, 2.0, 0.125});
    scene.add_polygon({p0, p1, p2, p3});
    scene.add_polygon({p2, p1, p0});
    scene.set_value(p1, SF_VMAP_MORF, "lift", {0.0f, 0.5f, 0.25f});
    scene.set_value(p3, SF_VMAP_MORF, "lift", {-0.125f, 0.0f, 1.0f});

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
    ASSERT_EQ(scene.added_points.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        const Point q = turn(order[k].source);
        const Point got = scene.added_points[k].second;
        EXPECT_EQ(got.x, q.x + 2.0) << "point " << k;
        EXPECT_EQ(got.y, q.y + -1.0) << "point " << k;
        EXPECT_EQ(got.z, q.z + 0.5) << "point " << k;
        if (!order[k].morph) continue;
        const Point m = turn(order[k].displacement);
        EXPECT_EQ(scene.value_of(scene.added_points[k].first, SF_VMAP_MORF, "lift" + std::to_string(suffix)),
                  (std::vector<float>{static_cast<float>(m.x), static_cast<float>(m.y), static_cast<float>(m.z)}))
            << "point " << k;
    }
    EXPECT_EQ(generator.next_unit(), expected.next_unit()) << "the clone drew a different count of numbers";
    ASSERT_EQ(scene.added_polygons.size(), 2u);
    const auto &back = scene.added_polygons[1].points;
    EXPECT_EQ(back, (std::vector<sf_point_id>{scene.added_points[2].first, scene.added_points[1].first,
                                               scene.added_points[0].first}));
}

}  // namespace
}  // namespace sowfield
