#include <cstring>
#include <set>
#include <vector>

#include "tests/host/session_fixture.h"

namespace sowfield::host {
namespace {

// ------------------------------------------------------------------ counts

TEST_F(EditSessionTest, CountsByLayerSetAndSelection) {
    add_floor(world.fg);
    add_floor(world.fg, 1.0, {.selected = false});
    add_cube(world.bg, {0, 0, 0}, 1.0, {.selected = false});
    begin();
    EXPECT_EQ(count_polygons(SF_LAYERS_FOREGROUND, SF_COUNT_ALL), 2);
    EXPECT_EQ(count_polygons(SF_LAYERS_FOREGROUND, SF_COUNT_SELECTED), 1);
    EXPECT_EQ(count_points(SF_LAYERS_FOREGROUND, SF_COUNT_ALL), 8);
    EXPECT_EQ(count_polygons(SF_LAYERS_BACKGROUND, SF_COUNT_ALL), 6);
    EXPECT_EQ(count_polygons(SF_LAYERS_BACKGROUND, SF_COUNT_SELECTED), 0);
    EXPECT_EQ(count_points(SF_LAYERS_BACKGROUND, SF_COUNT_ALL), 8);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(EditSessionTest, SelectedPointsAreThoseOfSelectedPolygonsCountedOnce) {
    const uint32_t first = add_cube(world.bg, {0, 0, 0}, 1.0, {.selected = false});
    begin();
    EXPECT_EQ(count_points(SF_LAYERS_BACKGROUND, SF_COUNT_SELECTED), 0);
    world.bg.set_polygon_flags(first, SF_POLY_SELECTED);  // the -z face
    EXPECT_EQ(count_points(SF_LAYERS_BACKGROUND, SF_COUNT_SELECTED), 4);
    world.bg.set_polygon_flags(first + 2, SF_POLY_SELECTED);  // the -y face shares an edge with it
    EXPECT_EQ(count_points(SF_LAYERS_BACKGROUND, SF_COUNT_SELECTED), 6);
}

TEST_F(EditSessionTest, UnknownLayerSetOrModeIsRecorded) {
    add_floor(world.fg);
    begin();
    EXPECT_EQ(count_points(3, SF_COUNT_ALL), 0);
    EXPECT_EQ(count_polygons(SF_LAYERS_FOREGROUND, 7), 0);
    ASSERT_EQ(log.entries().size(), 2u);
    EXPECT_THAT(log.entries()[0], HasSubstr("unknown layer set 3"));
    EXPECT_THAT(log.entries()[1], HasSubstr("unknown count mode 7"));
}

// ------------------------------------------------------------------ scans

struct Visit {
    explicit Visit(sf_edit_session *session) : edit(session) {}
    sf_edit_session *edit;
    std::vector<sf_polygon_record> records;
    std::vector<std::vector<Vec3>> corners;
    int stop_after = -1;  // return 5 from this visit on
    bool add_copies = false;
};

int remember(void *context, const sf_polygon_record *polygon) {
    Visit &visit = *static_cast<Visit *>(context);
    visit.records.push_back(*polygon);
    std::vector<Vec3> corners;
    for (int32_t k = 0; k < polygon->point_count; ++k) {
        const sf_point_record *point = visit.edit->point_info(visit.edit->state, polygon->points[k]);
        corners.push_back({point->position[0], point->position[1], point->position[2]});
    }
    visit.corners.push_back(corners);
    if (visit.add_copies) {
        std::vector<sf_point_id> copies;
        for (const Vec3 &c : corners) {
            const double up[3] = {c[0], c[1] + 10, c[2]};
            copies.push_back(visit.edit->add_point(visit.edit->state, up));
        }
        visit.edit->add_polygon(visit.edit->state, polygon->type, polygon->id, nullptr, polygon->point_count,
                                copies.data());
    }
    return visit.stop_after >= 0 && static_cast<int>(visit.records.size()) > visit.stop_after ? 5 : 0;
}

TEST_F(EditSessionTest, ScanHandsOverEachPolygonWithItsPointsTypeAndFlags) {
    add_floor(world.fg);
    add_triangle(world.fg, {0, 0, 0}, {2, 0, 0}, {0, 0, -2}, {.selected = false, .type = SF_ID4('P', 'T', 'C', 'H')});
    begin();
    Visit visit(edit);
    EXPECT_EQ(edit->scan_polygons(edit->state, remember, &visit, SF_LAYERS_FOREGROUND), 0);
    ASSERT_EQ(visit.records.size(), 2u);
    EXPECT_EQ(visit.records[0].type, SF_POLY_FACE);
    EXPECT_EQ(visit.records[0].flags, SF_POLY_SELECTED);
    EXPECT_EQ(visit.records[1].type, SF_ID4('P', 'T', 'C', 'H'));
    EXPECT_EQ(visit.records[1].flags, 0u);
    EXPECT_EQ(visit.corners[0], (std::vector<Vec3>{{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}));
    EXPECT_EQ(visit.corners[1], (std::vector<Vec3>{{0, 0, 0}, {2, 0, 0}, {0, 0, -2}}));
    EXPECT_NE(visit.records[0].id, visit.records[1].id);
}

TEST_F(EditSessionTest, ScanDoesNotVisitPolygonsAddedDuringIt) {
    add_floor(world.fg);
    add_floor(world.fg, 1.0);
    begin();
    Visit visit(edit);
    visit.add_copies = true;  // each visit adds a polygon to the layer being scanned
    visit.stop_after = 10;    // a scan that chased its own additions would stop here, with 5
    EXPECT_EQ(edit->scan_polygons(edit->state, remember, &visit, SF_LAYERS_FOREGROUND), 0);
    EXPECT_EQ(visit.records.size(), 2u);
    EXPECT_EQ(count_polygons(SF_LAYERS_FOREGROUND, SF_COUNT_ALL), 4);
    EXPECT_EQ(session.stats().polygons_added, 2);
    EXPECT_EQ(session.stats().points_added, 8);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(EditSessionTest, NonZeroVisitorResultStopsTheScanAndIsItsResult) {
    for (int i = 0; i < 4; ++i) add_floor(world.bg, i);
    begin();
    Visit visit(edit);
    visit.stop_after = 1;
    EXPECT_EQ(edit->scan_polygons(edit->state, remember, &visit, SF_LAYERS_BACKGROUND), 5);
    EXPECT_EQ(visit.records.size(), 2u);
}

struct Nested {
    explicit Nested(sf_edit_session *session) : edit(session), inner(session) {}
    sf_edit_session *edit;
    std::vector<sf_point_id> outer_before, outer_after;
    Visit inner;
};

int scan_inside(void *context, const sf_polygon_record *polygon) {
    Nested &n = *static_cast<Nested *>(context);
    n.outer_before.assign(polygon->points, polygon->points + polygon->point_count);
    n.edit->scan_polygons(n.edit->state, remember, &n.inner, SF_LAYERS_BACKGROUND);
    n.outer_after.assign(polygon->points, polygon->points + polygon->point_count);
    return 0;
}

TEST_F(EditSessionTest, NestedScanLeavesTheOuterRecordIntact) {
    add_floor(world.fg);
    add_cube(world.bg, {0, 0, 0}, 1.0);
    begin();
    Nested nested(edit);
    edit->scan_polygons(edit->state, scan_inside, &nested, SF_LAYERS_FOREGROUND);
    EXPECT_EQ(nested.inner.records.size(), 6u);
    EXPECT_EQ(nested.outer_before, nested.outer_after);
}

// ------------------------------------------------------------------ normals

Vec3 normal_of(sf_edit_session *edit, sf_polygon_id polygon, int32_t &ok) {
    double n[3] = {9, 9, 9};
    ok = edit->polygon_normal(edit->state, polygon, n);
    return {n[0], n[1], n[2]};
}

TEST_F(EditSessionTest, PolygonNormalFollowsTheRightHandRule) {
    const uint32_t up = add_floor(world.fg);
    const uint32_t down = add_quad(world.fg, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 0, 0});  // the floor, clockwise
    begin();
    int32_t ok = 0;
    EXPECT_EQ(normal_of(edit, session.polygon_id(0, up), ok), (Vec3{0, 1, 0}));
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(normal_of(edit, session.polygon_id(0, down), ok), (Vec3{0, -1, 0}));
    EXPECT_EQ(ok, 1);
}

TEST_F(EditSessionTest, PolygonNormalIsZeroForDegenerateOrUnknownPolygons) {
    const uint32_t line = add_triangle(world.fg, {0, 0, 0}, {1, 1, 1}, {2, 2, 2});  // collinear: no area
    const uint32_t a = world.fg.add_point({0, 0, 0}), b = world.fg.add_point({1, 0, 0});
    const uint32_t two[2] = {a, b};
    const uint32_t edge = world.fg.add_polygon(SF_POLY_FACE, two);
    begin();
    int32_t ok = 1;
    EXPECT_EQ(normal_of(edit, session.polygon_id(0, line), ok), (Vec3{0, 0, 0}));
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(normal_of(edit, session.polygon_id(0, edge), ok), (Vec3{0, 0, 0}));
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(normal_of(edit, reinterpret_cast<sf_polygon_id>(session.point_id(0, 0)), ok), (Vec3{0, 0, 0}));
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(log.entries().size(), 1u);  // only the point id passed as a polygon is misuse
}

// ------------------------------------------------------------ vertex-map reads

TEST_F(EditSessionTest, SelectedMapIsReadInEveryLayer) {
    add_floor(world.fg);
    add_floor(world.bg);
    set_weight(world.fg, "w", 1, 0.5f);
    set_weight(world.bg, "w", 2, 0.75f);
    begin();
    EXPECT_NE(edit->select_vmap(edit->state, nullptr, SF_VMAP_WGHT, "w"), nullptr);
    const sf_point_record *fg1 = edit->point_info(edit->state, session.point_id(0, 1));
    ASSERT_NE(fg1->vmap_value, nullptr);
    EXPECT_EQ(*fg1->vmap_value, 0.5f);
    const sf_point_record *bg2 = edit->point_info(edit->state, session.point_id(1, 2));
    ASSERT_NE(bg2->vmap_value, nullptr);
    EXPECT_EQ(*bg2->vmap_value, 0.75f);
    EXPECT_EQ(edit->point_info(edit->state, session.point_id(1, 1))->vmap_value, nullptr);

    float value = -1.0f;
    EXPECT_EQ(edit->get_point_vmap(edit->state, session.point_id(1, 2), &value), 1);
    EXPECT_EQ(value, 0.75f);
    EXPECT_EQ(edit->get_point_vmap(edit->state, session.point_id(1, 0), &value), 0);
    EXPECT_EQ(value, 0.75f);  // left alone
}

TEST_F(EditSessionTest, SelectingAMissingMapSelectsNothingAndIsNoMisuse) {
    add_floor(world.fg);
    set_weight(world.fg, "w", 0, 0.5f);
    begin();
    edit->select_vmap(edit->state, nullptr, SF_VMAP_WGHT, "w");
    EXPECT_EQ(edit->select_vmap(edit->state, nullptr, SF_VMAP_WGHT, "absent"), nullptr);
    EXPECT_EQ(edit->select_vmap(edit->state, nullptr, SF_VMAP_TXUV, "w"), nullptr);  // same name, other type
    EXPECT_EQ(edit->point_info(edit->state, session.point_id(0, 0))->vmap_value, nullptr);
    float value = -1.0f;
    EXPECT_EQ(edit->get_point_vmap(edit->state, session.point_id(0, 0), &value), 0);
    EXPECT_EQ(value, -1.0f);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(EditSessionTest, PolygonRecordSurvivesPointInfoCalls) {
    add_floor(world.fg);
    begin();
    const sf_polygon_record *polygon = edit->polygon_info(edit->state, session.polygon_id(0, 0));
    ASSERT_NE(polygon, nullptr);
    const std::vector<sf_point_id> before(polygon->points, polygon->points + polygon->point_count);
    for (sf_point_id point : before) edit->point_info(edit->state, point);
    EXPECT_EQ(std::vector<sf_point_id>(polygon->points, polygon->points + polygon->point_count), before);
}

}  // namespace
}  // namespace sowfield::host
