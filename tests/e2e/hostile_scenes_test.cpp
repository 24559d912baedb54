// Degenerate and hostile scenes and settings, run through the real module as
// a host runs it. Each row states its decided outcome (the one message the
// run stops with, or the clones it builds) and every row is held to the same
// invariants: the edit session is ended exactly once, the host sees no
// misuse, nothing that existed changes, every added coordinate and value is
// finite, and a run that stops or builds no clone adds nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/entries/scene_checks.h"
#include "tests/support/module_fixture.h"

namespace sowfield::testing {
namespace {

using host::PanelValue;
using Settings = std::vector<std::pair<std::string, PanelValue>>;

constexpr uint32_t kPatch = SF_ID4('P', 'T', 'C', 'H');
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kNaNF = std::numeric_limits<float>::quiet_NaN();

// Settings under which a clone is the background moved onto its site and
// nothing else: no turn, no size change, no jitter, no alignment.
Settings plain(int32_t clones) {
    return {{"Number of Clones", clones},
            {"Size Variations", 0.0},
            {"Random rotation H Min", 0.0},
            {"H Max", 0.0},
            {"P Min", 0.0},
            {"P Max", 0.0},
            {"B Min", 0.0},
            {"B Max", 0.0},
            {"H Align with normals", 0},
            {"P Align with normals", 0},
            {"Jitter Cloned points", 0.0}};
}

Settings with(Settings base, const Settings &more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

void add_floor(Layer &layer) { add_quad(layer, {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}); }

void add_polygon(Layer &layer, const std::vector<Vec3> &corners, PolygonStyle style = {}) {
    std::vector<uint32_t> points;
    for (const Vec3 &c : corners) points.push_back(layer.add_point(c));
    layer.add_polygon(style.type, points, style.surface, style.selected ? SF_POLY_SELECTED : 0u);
}

// A regular polygon of `n` corners of radius `r` in the plane y = 0, turning
// so that its normal points up.
std::vector<Vec3> circle(int n, double r) {
    std::vector<Vec3> corners;
    for (int i = 0; i < n; ++i) {
        const double a = -2.0 * M_PI * i / n;
        corners.push_back({r * std::cos(a), 0.0, r * std::sin(a)});
    }
    return corners;
}

// What the background offers a clone: the points its polygons reach and its
// polygons.
struct CloneSize {
    int64_t points = 0;
    int64_t polygons = 0;
};

CloneSize clone_size(const Layer &background) {
    std::set<uint32_t> reached;
    for (uint32_t q = 0; q < background.polygon_count(); ++q)
        for (uint32_t p : background.polygon_points(q)) reached.insert(p);
    return {static_cast<int64_t>(reached.size()), background.polygon_count()};
}

// Where clone `c` stands, under plain settings: its copy of the background's
// first point, less that point.
Vec3 site_of(const Layer &fg, uint32_t first_added, const Layer &bg, int64_t clone, int64_t points_per_clone) {
    const Vec3 &copy = fg.position(first_added + static_cast<uint32_t>(clone * points_per_clone));
    const Vec3 &original = bg.position(bg.polygon_points(0)[0]);
    return {copy[0] - original[0], copy[1] - original[1], copy[2] - original[2]};
}

// What a run left, for the checks of one row.
struct Outcome {
    const TwoLayerScene &world;
    uint32_t first_added;  // the foreground's point count before the run
    CloneSize per_clone;   // what the background offers one clone
    std::vector<std::string> notices;  // first lines of the info messages
};

using Build = std::function<void(TwoLayerScene &)>;
using Check = std::function<void(const Outcome &)>;

struct Hostile {
    const char *name;
    Build build;
    Settings settings;
    std::optional<Lines> stops_with;  // the one message, when the run stops
    bool panel_shown = true;
    // Clones built whole when the run does not stop; none when 0 or less.
    // Rows that leave parts out count with their own check instead.
    std::optional<int> whole_clones;
    Check check;
};

void PrintTo(const Hostile &row, std::ostream *out) { *out << row.name; }

// A row whose run stops with one message and adds nothing.
Hostile stops(const char *name, Build build, Settings settings, Lines message, bool panel_shown) {
    return {name, std::move(build), std::move(settings), std::move(message), panel_shown, 0, {}};
}

// A row whose run builds `clones` whole clones and says nothing.
Hostile builds(const char *name, Build build, Settings settings, int clones, Check check = {}) {
    return {name, std::move(build), std::move(settings), std::nullopt, true, clones, std::move(check)};
}

// A row whose run leaves out what is not finite; `check` counts the rest.
Hostile leaves_out(const char *name, Build build, Settings settings, Check check) {
    return {name, std::move(build), std::move(settings), std::nullopt, true, std::nullopt, std::move(check)};
}

class HostileScene : public ModuleTest, public ::testing::WithParamInterface<Hostile> {
protected:
    std::vector<std::string> notices() const {
        std::vector<std::string> lines;
        for (const host::Message &message : host.messages())
            if (message.kind == host::Message::Kind::info) lines.push_back(message.line1);
        return lines;
    }
};

TEST_P(HostileScene, EndsAsDecidedAndKeepsTheInvariants) {
    const Hostile &c = GetParam();
    c.build(world);
    answer(c.settings);
    const fuzz::SceneMark before = fuzz::mark_scene(world.scene);
    const uint32_t fg_points = world.fg.point_count();

    EXPECT_EQ(run(), SF_AFUNC_OK);

    EXPECT_EQ(host.begin_edit_calls(), 1);
    EXPECT_EQ(host.end_codes(), std::vector<int32_t>{0});
    EXPECT_TRUE(host.violations().empty()) << host.violations().front();
    EXPECT_TRUE(fuzz::unchanged_since(world.scene, before)) << "the run changed what existed";
    for (const std::string &found : fuzz::non_finite_additions(world.scene, before)) ADD_FAILURE() << found;
    EXPECT_EQ(host.panels().post_count(), c.panel_shown ? 1 : 0);

    if (c.stops_with) {
        EXPECT_EQ(errors(), std::vector<Lines>{*c.stops_with});
        EXPECT_FALSE(fuzz::grew_since(world.scene, before)) << "a run that stopped added something";
        return;
    }
    EXPECT_TRUE(errors().empty()) << errors().front().first;
    const Outcome outcome{world, fg_points, clone_size(world.bg), notices()};
    if (c.whole_clones) {
        EXPECT_TRUE(outcome.notices.empty()) << outcome.notices.front();
        EXPECT_EQ(world.fg.point_count() - fg_points, *c.whole_clones * outcome.per_clone.points);
        EXPECT_EQ(host.polygons_added(), *c.whole_clones * outcome.per_clone.polygons);
        if (*c.whole_clones <= 0) {
            EXPECT_FALSE(fuzz::grew_since(world.scene, before)) << "no clone, yet something was added";
        }
    }
    if (c.check) c.check(outcome);
}

// Under plain settings every clone's points are the background's, moved by
// its site; `site_ok` says where a site may lie.
Check sites_where(std::function<bool(const Vec3 &)> site_ok) {
    return [site_ok](const Outcome &o) {
        const int64_t per_clone = o.per_clone.points;
        const int64_t clones = (o.world.fg.point_count() - o.first_added) / per_clone;
        for (int64_t k = 0; k < clones; ++k) {
            const Vec3 site = site_of(o.world.fg, o.first_added, o.world.bg, k, per_clone);
            EXPECT_TRUE(site_ok(site)) << "clone " << k << " stands at (" << site[0] << ", " << site[1] << ", "
                                       << site[2] << ")";
        }
    };
}

bool near(double a, double b) { return std::fabs(a - b) <= 1e-9; }

bool finite(const Vec3 &p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// The number of points and values a run said it left out: 0 without a
// notice; -1 when the notice is not the one expected.
int64_t left_out(const Outcome &o) {
    if (o.notices.empty()) return 0;
    EXPECT_EQ(o.notices.size(), 1u) << "the run should say it once";
    long long count = -1;
    char rest[64] = {};
    if (std::sscanf(o.notices.front().c_str(), "Sowfield left out %lld clone points or values that were %63[^.]", &count,
                    rest) != 2 ||
        std::string(rest) != "not finite numbers")
        ADD_FAILURE() << "unexpected notice: " << o.notices.front();
    return count;
}

// Every clone made the background's finite points, and the polygons whose
// corners are all finite; it left out the others and said how many.
Check finite_parts_of(int clones) {
    return [clones](const Outcome &o) {
        const Layer &bg = o.world.bg;
        std::set<uint32_t> reached;
        int64_t whole_polygons = 0;
        for (uint32_t q = 0; q < bg.polygon_count(); ++q) {
            bool all = true;
            for (uint32_t p : bg.polygon_points(q)) {
                reached.insert(p);
                all = all && finite(bg.position(p));
            }
            whole_polygons += all;
        }
        int64_t finite_points = 0;
        for (uint32_t p : reached) finite_points += finite(bg.position(p));
        const int64_t made = o.world.fg.point_count() - o.first_added;
        EXPECT_EQ(made, clones * finite_points);
        EXPECT_EQ(static_cast<int64_t>(o.world.fg.polygon_count()) - 1, clones * whole_polygons);
        EXPECT_EQ(left_out(o), clones * (static_cast<int64_t>(reached.size()) - finite_points));
    };
}

// Clones whose positions were not finite are missing point for point, and
// the notice counts exactly what is missing.
Check missing_what_was_said(int clones) {
    return [clones](const Outcome &o) {
        const int64_t made = o.world.fg.point_count() - o.first_added;
        EXPECT_EQ(made + left_out(o), clones * o.per_clone.points);
        EXPECT_LE(static_cast<int64_t>(o.world.fg.polygon_count()) - 1, clones * o.per_clone.polygons);
    };
}

void floor_and_cube(TwoLayerScene &w) {
    add_floor(w.fg);
    add_cube(w.bg, {0, 0.5, 0}, 1.0);
}

bool on_floor(const Vec3 &s) { return s[0] >= 0 && s[0] <= 1 && s[2] >= 0 && s[2] <= 1 && near(s[1], 0); }

const Hostile kHostile[] = {
    // Empty layers and foregrounds of other types: the driver's own tests.
    builds(
        "OnlyOtherTypesInTheBackgroundAreCopiedWithTheirType",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_cube(w.bg, {0, 0.5, 0}, 1.0, {.type = kPatch});
        },
        plain(3), 3,
        [](const Outcome &o) {
            for (uint32_t q = 1; q < o.world.fg.polygon_count(); ++q) EXPECT_EQ(o.world.fg.polygon_type(q), kPatch) << q;
        }),
    builds(
        "OneAndTwoPointTargetsPutEveryCloneAtTheOrigin",
        [](TwoLayerScene &w) {
            add_polygon(w.fg, {{5, 0, 5}});
            add_polygon(w.fg, {{-3, 1, 2}, {4, 1, 2}});
            add_cube(w.bg, {0, 0.5, 0}, 1.0);
        },
        plain(4), 4, sites_where([](const Vec3 &s) { return s == Vec3{0, 0, 0}; })),
    builds(
        "OneAndTwoPointPolygonsInTheBackgroundAreCopied",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_polygon(w.bg, {{0, 1, 0}});
            add_polygon(w.bg, {{0, 0, 0}, {0, 2, 0}});
        },
        plain(2), 2),
    builds(
        "CollinearTriangleTargetPutsTheSitesOnItsLine",
        [](TwoLayerScene &w) {
            add_triangle(w.fg, {0, 0, 0}, {1, 0, 0}, {2, 0, 0});
            add_triangle(w.bg, {0, 0, 0}, {0, 1, 0}, {1, 0, 0});
        },
        plain(6), 6,
        sites_where([](const Vec3 &s) { return s[0] >= 0 && s[0] <= 2 && near(s[1], 0) && near(s[2], 0); })),
    builds(
        "CollinearTrianglesInTheBackgroundAreCopied",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_triangle(w.bg, {0, 0, 0}, {1, 1, 1}, {2, 2, 2});
            add_triangle(w.bg, {0, 0, 0}, {0, 0, 0}, {0, 0, 0});
        },
        plain(3), 3),
    builds(
        "TenThousandPointPolygonsAreSpreadOnAndCopied",
        [](TwoLayerScene &w) {
            add_polygon(w.fg, circle(10000, 10.0));
            add_polygon(w.bg, circle(10000, 0.5));
        },
        plain(5), 5,
        sites_where([](const Vec3 &s) { return std::hypot(s[0], s[2]) <= 10.0 + 1e-9 && near(s[1], 0); })),
    builds("ZeroClonesAddNothing", floor_and_cube, plain(0), 0),
    builds("NegativeClonesAddNothing", floor_and_cube, plain(-5), 0),
    builds("MostNegativeCloneCountAddsNothing", floor_and_cube, plain(std::numeric_limits<int32_t>::min()), 0),
    builds("ZeroIterationsTakeEveryFirstAttempt", floor_and_cube, with(plain(8), {{"Iterations", 0}}), 8,
           sites_where(on_floor)),
    builds("NegativeIterationsTakeEveryFirstAttempt", floor_and_cube,
           with(plain(8), {{"Iterations", std::numeric_limits<int32_t>::min()}}), 8, sites_where(on_floor)),
    stops("SlopeMinimumAboveMaximumLeavesNoTarget", floor_and_cube,
          with(plain(3), {{"Slope Angle Limits", 1}, {"Min Slope Angle", 2.0}, {"Max Slope Angle", 1.0}}),
          {"Change slope angle settings", "There are no valid polys to clone on."}, true),
    builds("InvertedAngleBoundsStillBuildEveryClone", floor_and_cube,
           with(plain(4), {{"Random rotation H Min", 3.0}, {"H Max", -3.0}, {"P Min", 1.0}, {"P Max", -1.0}}), 4),
    builds("HugeJitterStaysFinite", floor_and_cube, with(plain(4), {{"Jitter Cloned points", 1e300}}), 4),
    leaves_out(
        "NotANumberInTheBackgroundIsLeftOutOfEveryClone",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_cube(w.bg, {0, 0.5, 0}, 1.0);
            add_triangle(w.bg, {2, 0, 0}, {kNaN, 0, 0}, {2, 1, 0});
            add_triangle(w.bg, {3, 0, 0}, {3, kInf, 0}, {3, 1, 0});
        },
        plain(3), finite_parts_of(3)),
    leaves_out(
        "ValuesThatAreNotFiniteAreNotWritten",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_cube(w.bg, {0, 0.5, 0}, 1.0);
            for (uint32_t p = 0; p < 8; ++p) set_uv(w.bg, "uv", p, p == 0 ? kNaNF : 0.5f, 0.5f);
            set_weight(w.bg, "w", 1, std::numeric_limits<float>::infinity());
            set_morph(w.bg, "smile", 2, 1e30f, 0, 0);  // large, yet a float: kept
        },
        with(plain(2), {{"Size Variations", 0.0}}),
        [](const Outcome &o) {
            const host::VertexMap *uv = o.world.fg.find_vmap(SF_VMAP_TXUV, "uv");
            ASSERT_NE(uv, nullptr);
            EXPECT_EQ(o.world.fg.point_count() - o.first_added, 2 * 8u);
            EXPECT_EQ(uv->value_count(), 2 * 7u);
            EXPECT_EQ(o.world.fg.find_vmap(SF_VMAP_WGHT, "w"), nullptr);
            const host::VertexMap *smile = o.world.fg.find_vmap(SF_VMAP_MORF, "smile");
            ASSERT_NE(smile, nullptr);
            EXPECT_EQ(smile->value_count(), 2u);
            EXPECT_EQ(left_out(o), 2 * 2);
        }),
    leaves_out(
        "NotANumberTargetLeavesTheClonesOnItOut",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_triangle(w.fg, {0, 0, 0}, {0, kNaN, 1}, {1, 0, 1});
            add_cube(w.bg, {0, 0.5, 0}, 1.0);
        },
        plain(6), missing_what_was_said(6)),
    leaves_out(
        "JitterThatOverflowsIsLeftOut",
        [](TwoLayerScene &w) {
            add_floor(w.fg);
            add_cube(w.bg, {0, 500, 0}, 1000.0);
        },
        with(plain(4), {{"Jitter Cloned points", 1e308}}), missing_what_was_said(4)),
};

INSTANTIATE_TEST_SUITE_P(Degenerate, HostileScene, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<Hostile> &row) { return std::string(row.param.name); });

}  // namespace
}  // namespace sowfield::testing
