#include "host/panel/basic_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace sowfield::host {
namespace {

using ::testing::HasSubstr;

const sf_panel_control kControls[] = {
    {0x8001, "About", "vButton"}, {0x8002, "Number of Clones", "integer"}, {0x8003, "Jitter", "float"}, {0, nullptr, nullptr}};
const sf_panel_control kData[] = {
    {0x8001, "About", "vButton"}, {0x8002, "Number of Clones", "integer"}, {0x8003, "Jitter", "float"}, {0, nullptr, nullptr}};

class BasicPanelTest : public ::testing::Test {
protected:
    sf_panel *make() {
        sf_panel *panel = calls.panel_create(SF_PANEL_FORM, kControls);
        calls.panel_describe(panel, kData, nullptr, nullptr);
        return panel;
    }

    ContractLog log;
    BasicPanelService service{&log};
    BasicPanelService::Scope scope{service};
    const sf_panel_service &calls = *BasicPanelService::table();
};

TEST_F(BasicPanelTest, ValuesAreHeldByTheirDataKind) {
    sf_panel *panel = make();
    const int32_t clones = 12;
    const double jitter = 0.125;
    calls.panel_set(panel, 0x8002, &clones);
    calls.panel_set(panel, 0x8003, &jitter);
    EXPECT_EQ(*static_cast<const int32_t *>(calls.panel_get(panel, 0x8002)), 12);
    EXPECT_EQ(*static_cast<const double *>(calls.panel_get(panel, 0x8003)), 0.125);
    EXPECT_EQ(calls.panel_get(panel, 0x8001), nullptr);  // a button holds nothing
    EXPECT_EQ(calls.panel_post(panel), 1);
    calls.panel_destroy(panel);
    EXPECT_EQ(service.created(), 1);
    EXPECT_EQ(service.destroyed(), 1);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(BasicPanelTest, HookActsAsTheUserAndIsRecorded) {
    service.set_post_hook([](PanelValues &values) {
        EXPECT_TRUE(values.set("Number of Clones", int32_t{7}));
        EXPECT_FALSE(values.set("Number of Clones", 7.0));  // wrong kind: refused
        EXPECT_FALSE(values.set("No such control", int32_t{1}));
        return true;
    });
    sf_panel *panel = make();
    const int32_t clones = 3;
    calls.panel_set(panel, 0x8002, &clones);
    EXPECT_EQ(calls.panel_post(panel), 1);
    EXPECT_EQ(*static_cast<const int32_t *>(calls.panel_get(panel, 0x8002)), 7);
    ASSERT_EQ(service.posts().size(), 1u);
    EXPECT_EQ(service.posts()[0].opening.get("Number of Clones"), PanelValue{int32_t{3}});
    EXPECT_EQ(service.posts()[0].closing.get("Number of Clones"), PanelValue{int32_t{7}});
    EXPECT_TRUE(service.posts()[0].accepted);
    calls.panel_destroy(panel);
}

TEST_F(BasicPanelTest, HookCanCancel) {
    service.set_post_hook([](PanelValues &) { return false; });
    sf_panel *panel = make();
    EXPECT_EQ(calls.panel_post(panel), 0);
    EXPECT_FALSE(service.posts().back().accepted);
    calls.panel_destroy(panel);
}

TEST_F(BasicPanelTest, MisuseIsRecorded) {
    sf_panel *panel = make();
    const int32_t value = 1;
    calls.panel_set(panel, 0x9999, &value);
    calls.panel_set(panel, 0x8001, &value);
    calls.panel_destroy(panel);
    calls.panel_destroy(panel);
    EXPECT_EQ(calls.panel_post(panel), 0);
    EXPECT_EQ(calls.panel_create(1, kControls), nullptr);
    ASSERT_EQ(log.entries().size(), 5u);
    EXPECT_THAT(log.entries()[0], HasSubstr("0x9999 is unknown"));
    EXPECT_THAT(log.entries()[1], HasSubstr("0x8001 holds no value"));
    EXPECT_THAT(log.entries()[2], HasSubstr("panel_destroy: a panel this host did not create"));
    EXPECT_THAT(log.entries()[3], HasSubstr("panel_post"));
    EXPECT_THAT(log.entries()[4], HasSubstr("panel_create: kind 1"));
}

}  // namespace
}  // namespace sowfield::host
