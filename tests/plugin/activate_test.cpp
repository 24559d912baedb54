// The activation driver, run through the real module as a host runs it: the
// checks on the layers in their order with their exact messages, the edit
// session ended exactly once with the right code, nothing added on any path
// that stops, and the settings kept from one run to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace sowfield::testing {
namespace {

using host::PanelSnapshot;
using host::PanelValue;

constexpr uint32_t kPatch = SF_ID4('P', 'T', 'C', 'H');
constexpr double kHalfPi = 1.5707963267948966;

// A floor facing up and a wall facing +z, both selected faces.
void add_floor(Layer &layer) { add_quad(layer, {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}); }
void add_wall(Layer &layer) { add_quad(layer, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}); }

class ActivateTest : public ModuleTest {
protected:
    // The run ended its session exactly once with `code`, added nothing and
    // misused nothing.
    void expect_stopped_cleanly(int32_t code = 0) {
        EXPECT_EQ(host.begin_edit_calls(), 1);
        EXPECT_EQ(host.end_codes(), std::vector<int32_t>{code});
        EXPECT_EQ(host.points_added(), 0);
        EXPECT_EQ(host.polygons_added(), 0);
        EXPECT_EQ(world.fg.point_count(), fg_points);
        EXPECT_EQ(world.fg.polygon_count(), fg_polygons);
        EXPECT_EQ(world.fg.vmap_count(), fg_maps);
        EXPECT_TRUE(host.violations().empty()) << host.violations().front();
    }
    // Remembers the foreground as it was before the run.
    void snapshot() {
        fg_points = world.fg.point_count();
        fg_polygons = world.fg.polygon_count();
        fg_maps = world.fg.vmap_count();
    }
    uint32_t fg_points = 0;
    uint32_t fg_polygons = 0;
    size_t fg_maps = 0;
};

// ------------------------------------------------------- the checks, in order

TEST_F(ActivateTest, EmptyForegroundAndBackgroundShowOnlyTheFirstMessage) {
    snapshot();
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_EQ(errors(), (std::vector<Lines>{{"Need some polys to clone on them", std::nullopt}}));
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.panels().post_count(), 0);
    expect_stopped_cleanly(0);
}

TEST_F(ActivateTest, SelectedPolygonsOfAnotherTypeAreRefusedBeforeTheBackgroundIsChecked) {
    add_quad(world.fg, {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {.type = kPatch});
    add_quad(world.fg, {0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {.selected = false});  // a face, unselected
    snapshot();
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_EQ(errors(), (std::vector<Lines>{{"NURBS not supported in Foreground Layer", std::nullopt}}));
    EXPECT_EQ(host.panels().post_count(), 0);
    expect_stopped_cleanly(0);
}

TEST_F(ActivateTest, NoSelectedPolygonAtAllGivesTheTypeMessage) {
    add_quad(world.fg, {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {.selected = false});
    add_cube(world.bg, {0, 0, 0}, 1.0);
    snapshot();
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_EQ(errors(), (std::vector<Lines>{{"NURBS not supported in Foreground Layer", std::nullopt}}));
    expect_stopped_cleanly(0);
}

TEST_F(ActivateTest, EmptyBackgroundIsRefusedAfterTheForegroundChecks) {
    add_floor(world.fg);
    add_quad(world.fg, {0, 2, 0}, {0, 2, 1}, {1, 2, 1}, {1, 2, 0}, {.type = kPatch});  // one non-face among faces
    snapshot();
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_EQ(errors(), (std::vector<Lines>{{"Need geometry in background layer(s) to clone", std::nullopt}}));
    EXPECT_EQ(host.panels().post_count(), 0);
    expect_stopped_cleanly(0);
}

TEST_F(ActivateTest, SlopeLimitsLeavingNothingShowTheTwoLineMessage) {
    add_wall(world.fg);  // slope pi/2
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    snapshot();
    answer({{"Slope Angle Limits", int32_t{1}}, {"Min Slope Angle", 0.0}, {"Max Slope Angle", kHalfPi / 2}});
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_EQ(errors(), (std::vector<Lines>{{"Change slope angle settings", "There are no valid polys to clone on."}}));
    ASSERT_EQ(host.panels().post_count(), 1);
    EXPECT_EQ(host.panels().open_panel_count(), 0);  // the panel was destroyed
    expect_stopped_cleanly(0);
}

TEST_F(ActivateTest, WithinTheSlopeLimitsTheRunGoesThrough) {
    add_wall(world.fg);
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    answer({{"Number of Clones", int32_t{3}},
            {"Slope Angle Limits", int32_t{1}},
            {"Min Slope Angle", 0.0},
            {"Max Slope Angle", kHalfPi}});  // the limit itself is inside
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(host.end_codes(), std::vector<int32_t>{0});
    EXPECT_TRUE(host.violations().empty()) << host.violations().front();
    // The clone loop's monitor comes last and counts one step per clone.
    const host::MonitorRecord &monitor = host.monitor();
    EXPECT_EQ(monitor.created, monitor.destroyed);
    ASSERT_FALSE(monitor.titles.empty());
    EXPECT_EQ(monitor.titles.back(), "Hello");
    EXPECT_EQ(monitor.last_total, 3);
}

TEST_F(ActivateTest, NoClonesStillInitialisesFinishesAndDestroysTheMonitor) {
    add_floor(world.fg);
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    answer({{"Number of Clones", int32_t{0}}, {"Slope Angle Limits", int32_t{0}}});
    snapshot();
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_TRUE(errors().empty());
    const host::MonitorRecord &monitor = host.monitor();
    ASSERT_FALSE(monitor.titles.empty());
    EXPECT_EQ(monitor.titles.back(), "Hello");
    EXPECT_EQ(monitor.last_total, 0);
    EXPECT_EQ(monitor.created, monitor.destroyed);
    EXPECT_EQ(monitor.init_calls, monitor.done_calls);
    expect_stopped_cleanly(0);  // nothing to build, so nothing added
}

// ----------------------------------------------------------- other stops

TEST_F(ActivateTest, RefusedSessionReturnsBadAppWithoutMessageOrEnd) {
    add_floor(world.fg);
    add_cube(world.bg, {0, 0, 0}, 1.0);
    host.refuse_edit();
    EXPECT_EQ(run(), SF_AFUNC_BADAPP);
    EXPECT_EQ(host.begin_edit_calls(), 1);
    EXPECT_TRUE(host.end_codes().empty());
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.panels().post_count(), 0);
}

TEST_F(ActivateTest, WithoutTheMessageServiceTheSamePathsAreTakenSilently) {
    host.hide_service(SF_MESSAGE_SERVICE_NAME);
    snapshot();
    EXPECT_EQ(run(), SF_AFUNC_OK);  // empty foreground
    EXPECT_TRUE(host.messages().empty());
    expect_stopped_cleanly(0);

    add_wall(world.fg);
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    snapshot();
    answer({{"Slope Angle Limits", int32_t{1}}, {"Min Slope Angle", 0.0}, {"Max Slope Angle", 0.5}});
    EXPECT_EQ(run(), SF_AFUNC_OK);  // slope limits leave nothing
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.panels().post_count(), 1);
    expect_stopped_cleanly(0);
    EXPECT_TRUE(error_text.str().empty());
}

TEST_F(ActivateTest, WithoutTheMonitorServiceTheClonesAreBuiltAnyway) {
    host.hide_service(SF_MONITOR_SERVICE_NAME);
    add_floor(world.fg);
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    answer({{"Number of Clones", int32_t{2}}, {"Slope Angle Limits", int32_t{0}}});
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(host.monitor().created, 0);
    EXPECT_EQ(host.end_codes(), std::vector<int32_t>{0});
}

// ------------------------------------------------------ settings between runs

TEST_F(ActivateTest, SecondRunOpensWithTheValuesAcceptedInTheFirst) {
    add_wall(world.fg);
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    answer({{"Number of Clones", int32_t{7}},
            {"Jitter Cloned points", 0.125},
            {"Slope Angle Limits", int32_t{1}},
            {"Min Slope Angle", 0.0},
            {"Max Slope Angle", 0.25}});
    run();
    ASSERT_EQ(errors().size(), 1u);  // the wall is outside the limits: nothing built

    answer({}, /*accept=*/false);
    run();
    const PanelSnapshot &second = *last_opening();
    EXPECT_EQ(second.find("Number of Clones")->value, PanelValue{int32_t{7}});
    EXPECT_EQ(second.find("Jitter Cloned points")->value, PanelValue{0.125});
    EXPECT_EQ(second.find("Slope Angle Limits")->value, PanelValue{int32_t{1}});
    EXPECT_EQ(second.find("Max Slope Angle")->value, PanelValue{0.25});
}

TEST_F(ActivateTest, CancelledPanelAddsNothingAndKeepsTheEarlierSettings) {
    add_floor(world.fg);
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    answer({{"Number of Clones", int32_t{5}},
            {"Slope Angle Limits", int32_t{1}},
            {"Min Slope Angle", 0.0},
            {"Max Slope Angle", 0.0}});
    run();  // the floor (slope 0) is within [0, 0]: accepted and run
    EXPECT_TRUE(errors().empty());

    snapshot();
    answer({{"Number of Clones", int32_t{9}}}, /*accept=*/false);
    EXPECT_EQ(run(), SF_AFUNC_OK);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.panels().open_panel_count(), 0);
    expect_stopped_cleanly(0);

    answer({}, /*accept=*/false);
    run();
    EXPECT_EQ(last_opening()->find("Number of Clones")->value, PanelValue{int32_t{5}});
}

}  // namespace
}  // namespace sowfield::testing
