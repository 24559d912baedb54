#include "host/loader/host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/host/scripted_server.h"
#include "tests/support/scene_builders.h"

namespace sowfield::host {
namespace {

using sowfield::testing::add_cube;
using sowfield::testing::TwoLayerScene;
using ::testing::HasSubstr;

class HostTest : public ::testing::Test {
protected:
    int run(std::function<int(const PluginSide &)> body) {
        script() = std::move(body);
        return host.run(scripted_server);
    }

    TwoLayerScene world;
    std::ostringstream info, errors;
    Host host{world.scene, {.info_out = &info, .error_out = &errors}};
};

TEST_F(HostTest, OffersTheFourServicesByNameAndNothingElse) {
    run([](const PluginSide &p) {
        EXPECT_EQ(p.get_global(SF_MESSAGE_SERVICE_NAME, 0), MessageService::table());
        EXPECT_EQ(p.get_global(SF_SCENE_OBJECTS_SERVICE_NAME, 0), SceneObjectsService::table());
        EXPECT_EQ(p.get_global(SF_MONITOR_SERVICE_NAME, 0), MonitorService::table());
        EXPECT_EQ(p.get_global(SF_PANEL_SERVICE_NAME, 0), PanelService::table());
        EXPECT_EQ(p.get_global("Info Messages", 0), nullptr);
        EXPECT_EQ(p.get_global("", 0), nullptr);
        EXPECT_EQ(p.get_global(nullptr, 0), nullptr);
        return 0;
    });
}

TEST_F(HostTest, HiddenServiceAnswersNullUntilShownAgain) {
    host.hide_service(SF_MESSAGE_SERVICE_NAME);
    run([](const PluginSide &p) {
        EXPECT_EQ(p.get_global(SF_MESSAGE_SERVICE_NAME, 0), nullptr);
        EXPECT_NE(p.get_global(SF_MONITOR_SERVICE_NAME, 0), nullptr);
        return 0;
    });
    host.hide_service(SF_MESSAGE_SERVICE_NAME, false);
    run([](const PluginSide &p) {
        EXPECT_NE(p.get_global(SF_MESSAGE_SERVICE_NAME, 0), nullptr);
        return 0;
    });
}

TEST_F(HostTest, RunReturnsTheActivationResultAndCountsSessionCalls) {
    add_cube(world.fg, {0, 0, 0}, 1);
    EXPECT_EQ(run([](const PluginSide &p) {
                  sf_edit_session *edit = p.begin_edit(0, 0, 1);
                  EXPECT_NE(edit, nullptr);
                  edit->end_edit(edit->state, 0, 0);
                  return 42;
              }),
              42);
    EXPECT_EQ(host.begin_edit_calls(), 1);
    EXPECT_EQ(host.end_codes(), std::vector<int32_t>{0});
    EXPECT_TRUE(host.violations().empty());
}

TEST_F(HostTest, RefusedEditGivesNullSession) {
    host.refuse_edit();
    run([](const PluginSide &p) {
        EXPECT_EQ(p.begin_edit(0, 0, 1), nullptr);
        return SF_AFUNC_BADAPP;
    });
    EXPECT_EQ(host.begin_edit_calls(), 1);
    EXPECT_TRUE(host.end_codes().empty());
}

TEST_F(HostTest, SessionLeftOpenIsDiscardedAndRecorded) {
    run([](const PluginSide &p) {
        sf_edit_session *edit = p.begin_edit(0, 0, 1);
        const double at[3] = {1, 1, 1};
        edit->add_point(edit->state, at);
        return 0;
    });
    EXPECT_EQ(world.fg.point_count(), 0u);
    EXPECT_EQ(host.points_added(), 1);
    EXPECT_TRUE(host.end_codes().empty());
    ASSERT_EQ(host.violations().size(), 1u);
    EXPECT_THAT(host.violations()[0], HasSubstr("without ending its edit session"));
}

TEST_F(HostTest, PanelLeftOpenAndPanelMisuseReachTheContractLog) {
    run([](const PluginSide &p) {
        const auto *panels = p.service<sf_panel_service>(SF_PANEL_SERVICE_NAME);
        const sf_panel_control controls[] = {{1, "Count", "integer"}, {0, nullptr, nullptr}};
        panels->panel_create(SF_PANEL_FORM, controls);
        int not_a_panel = 0;
        panels->panel_get(reinterpret_cast<sf_panel *>(&not_a_panel), 1);
        return 0;
    });
    ASSERT_EQ(host.violations().size(), 2u);
    EXPECT_THAT(host.violations()[0], HasSubstr("panel_get: the panel handle was not made by this host"));
    EXPECT_THAT(host.violations()[1], HasSubstr("with a panel not destroyed"));
}

TEST_F(HostTest, ServicesReachNoHostOutsideARun) {
    // A plug-in that kept the records and calls them later finds nothing.
    EXPECT_EQ(SceneObjectsService::table()->count_vmaps(SF_VMAP_WGHT), 0);
    EXPECT_EQ(MonitorService::table()->monitor_create("late", "late"), nullptr);
    MessageService::table()->show_error("late", nullptr);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(errors.str().empty());
}

TEST_F(HostTest, MessagesArePrintedToTheirStreamsAndRecorded) {
    run([](const PluginSide &p) {
        const auto *messages = p.service<sf_message_service>(SF_MESSAGE_SERVICE_NAME);
        messages->show_info("Done", nullptr);
        messages->show_error("Change slope angle settings", "There are no valid polys to clone on.");
        return 0;
    });
    const std::vector<Message> expected{
        {Message::Kind::info, "Done", std::nullopt},
        {Message::Kind::error, "Change slope angle settings", "There are no valid polys to clone on."}};
    EXPECT_EQ(host.messages(), expected);
    EXPECT_EQ(info.str(), "Done\n");
    EXPECT_EQ(errors.str(), "Error: Change slope angle settings\n  There are no valid polys to clone on.\n");
}

TEST_F(HostTest, RecordsAreResetAtEachRun) {
    run([](const PluginSide &p) {
        p.service<sf_message_service>(SF_MESSAGE_SERVICE_NAME)->show_error("first", nullptr);
        sf_edit_session *edit = p.begin_edit(0, 0, 1);
        edit->end_edit(edit->state, 1, 0);
        edit->end_edit(edit->state, 1, 0);
        return 0;
    });
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.violations().size(), 1u);
    run([](const PluginSide &) { return 0; });
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.violations().empty());
    EXPECT_EQ(host.begin_edit_calls(), 0);
}

TEST_F(HostTest, MonitorCallsAreCountedAndForeignMonitorsRecorded) {
    run([](const PluginSide &p) {
        const auto *monitors = p.service<sf_monitor_service>(SF_MONITOR_SERVICE_NAME);
        sf_monitor *m = monitors->monitor_create("Hello", "Randomising positions...");
        EXPECT_NE(m, nullptr);
        m->monitor_init(m->state, 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(m->monitor_step(m->state, 1), 0);
        m->monitor_done(m->state);
        monitors->monitor_destroy(m);
        monitors->monitor_destroy(m);  // twice
        return 0;
    });
    const MonitorRecord &r = host.monitor();
    EXPECT_EQ(r.created, 1);
    EXPECT_EQ(r.destroyed, 1);
    EXPECT_EQ(r.init_calls, 1);
    EXPECT_EQ(r.last_total, 3);
    EXPECT_EQ(r.step_calls, 3);
    EXPECT_EQ(r.steps, 3);
    EXPECT_EQ(r.done_calls, 1);
    EXPECT_EQ(r.titles, std::vector<std::string>{"Hello"});
    ASSERT_EQ(host.violations().size(), 1u);
    EXPECT_THAT(host.violations()[0], HasSubstr("monitor_destroy"));
}

TEST_F(HostTest, ProgressObserverHearsTheStartEachThousandthAndTheEnd) {
    std::vector<MonitorProgress> heard;
    const MonitorService::Observer hear = [&](const MonitorProgress &p) { heard.push_back(p); };
    Host observed{world.scene, {.info_out = &info, .error_out = &errors, .on_progress = &hear}};
    script() = [](const PluginSide &p) {
        const auto *monitors = p.service<sf_monitor_service>(SF_MONITOR_SERVICE_NAME);
        sf_monitor *m = monitors->monitor_create("Hello", "Randomising positions...");
        m->monitor_init(m->state, 4000);
        for (int i = 0; i < 4000; ++i) m->monitor_step(m->state, 1);
        m->monitor_done(m->state);
        monitors->monitor_destroy(m);
        return 0;
    };
    observed.run(scripted_server);
    ASSERT_EQ(heard.size(), 1u + 1000u + 1u);  // the start, every fourth step, the end
    EXPECT_EQ(heard.front().done, 0);
    EXPECT_EQ(heard[1].done, 4);
    EXPECT_EQ(heard.back().done, 4000);
    EXPECT_TRUE(heard.back().finished);
    EXPECT_EQ(heard.back().title, "Hello");
    EXPECT_EQ(heard.back().caption, "Randomising positions...");
    EXPECT_EQ(heard.back().total, 4000);
}

}  // namespace
}  // namespace sowfield::host
