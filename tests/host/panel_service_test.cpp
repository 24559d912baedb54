// The panel service driven the way a plug-in drives it, on a small panel of
// every control kind, answered by the scripted face: answers in display
// units, refusals, enable rules checked after all answers, button actions
// inside panel_post, and the checks on handles and malformed descriptions
// (recorded in the contract log).
#include "host/panel/panel_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "host/panel/panel_view.h"
#include "host/panel/scripted_face.h"

namespace sowfield::host {
namespace {

enum : uint32_t {
    kReset = 0x10,
    kLinked = 0x11,
    kSize = 0x12,
    kY = 0x13,
    kTurn = 0x14,
    kCount = 0x15,
    kMap = 0x16,
    kJitter = 0x17,
    kStrength = 0x18,
    kGroup = 0x20,
    kTabs = 0x21,
};

const sf_panel_control kControls[] = {
    {kReset, "Reset", "vButton"},     {kLinked, "Linked", "iBoolean"}, {kSize, "Size", "percent"},
    {kY, "Y", "percent"},             {kTurn, "Turn", "angle"},        {kCount, "Count", "integer"},
    {kMap, "Map", "iPopChoice"},      {kJitter, "Jitter", "float"},    {kStrength, "Strength", "percent"},
    {0, nullptr, nullptr},
};
const sf_panel_control kData[] = {
    {kReset, "Reset", "vButton"},  {kLinked, "Linked", "integer"}, {kSize, "Size", "float"},
    {kY, "Y", "float"},            {kTurn, "Turn", "float"},       {kCount, "Count", "integer"},
    {kMap, "Map", "integer"},      {kJitter, "Jitter", "float"},   {kStrength, "Strength", "float"},
    {0, nullptr, nullptr},
};
const char *const kMaps[] = {"none", "Weight A", "weight b", nullptr};

const sf_panel_service *service_table() { return PanelService::table(); }

// The reset button's action, as a plug-in writes one: it sets the open panel.
sf_panel *reset_target = nullptr;
void reset_action(sf_panel *panel, uint32_t) {
    const int32_t count = 30;
    service_table()->panel_set(panel, kCount, &count);
    const double y = 0.25;
    service_table()->panel_set(panel, kY, &y);
    reset_target = panel;
}

sf_hint_word w(uint32_t value) { return value; }
sf_hint_word w(const void *pointer) { return reinterpret_cast<sf_hint_word>(pointer); }

std::vector<sf_hint_word> hints() {
    return {w(SF_HINT_LABEL), 0, w("Test panel"), 0,
            w(SF_HINT_GROUP), w(kGroup), w(kLinked), w(kSize), w(kY), w(kTurn), w(kCount), w(kMap), w(kStrength), 0,
            w(SF_HINT_LABEL), w(kGroup), w("Main"), 0,
            w(SF_HINT_TAB_SET), w(kTabs), w(kGroup), 0,
            w(SF_HINT_DIVIDER), w(kY), 0,
            w(SF_HINT_STRING_LIST), w(kMap), w(kMaps), 0,
            w(SF_HINT_BUTTON_ACTION), w(kReset), reinterpret_cast<sf_hint_word>(&reset_action),
            w(SF_HINT_ENABLE_RULE), w(kLinked), w("axes are linked"), 0, 0, w(kY), 0,
            w(SF_HINT_ENABLE_RULE), w(kMap), w("Pick a map"), 0, 0, w(kStrength), 0,
            0};
}

// One run of a plug-in's panel: create, describe, hint, fill, post.
struct PanelRun {
    int32_t result = -1;
    sf_panel *panel = nullptr;
    PanelService *service = nullptr;

    template <class T>
    T value(uint32_t id) const {
        T out{};
        if (const void *p = service_table()->panel_get(panel, id)) std::memcpy(&out, p, sizeof out);
        return out;
    }
};

PanelRun post(PanelService &service, std::vector<sf_hint_word> list = hints()) {
    PanelService::Scope scope(service);
    const sf_panel_service &api = *service_table();
    PanelRun run;
    run.service = &service;
    run.panel = api.panel_create(SF_PANEL_FORM, kControls);
    if (run.panel == nullptr) return run;
    api.panel_describe(run.panel, kData, nullptr, nullptr);
    api.panel_hint(run.panel, 0, list.data());
    const int32_t zero = 0, count = 7;
    const double size = 0.25, y = 0.25, turn = 0.5, jitter = 0.0, strength = 0.5;
    api.panel_set(run.panel, kLinked, &zero);
    api.panel_set(run.panel, kSize, &size);
    api.panel_set(run.panel, kY, &y);
    api.panel_set(run.panel, kTurn, &turn);
    api.panel_set(run.panel, kCount, &count);
    api.panel_set(run.panel, kMap, &zero);
    api.panel_set(run.panel, kJitter, &jitter);
    api.panel_set(run.panel, kStrength, &strength);
    run.result = api.panel_post(run.panel);
    return run;
}

// One panel answered by a script; keeps the service for reading values after
// the post.
struct Posted {
    ContractLog log;
    PanelService service{log};
    ScriptedFace face;
    PanelRun run;
    explicit Posted(PanelScript script, std::vector<sf_hint_word> list = hints()) : face(std::move(script)) {
        service.set_face(&face);
        run = post(service, std::move(list));
    }
    template <class T>
    T value(uint32_t id) {
        PanelService::Scope scope(service);
        return run.value<T>(id);
    }
    const PanelOutcome &outcome() const { return *service.last_outcome(); }
    const std::vector<std::string> &refusals() const { return face.refusals(); }
};

// A service with no face, for calls outside any post.
struct Bare {
    ContractLog log;
    PanelService service{log};
    const std::vector<std::string> &errors() const { return log.entries(); }
};

using A = PanelAnswer;

TEST(PanelService, AnswersInDisplayUnitsReachTheControlsInStoredUnits) {
    Posted p({{A::set("size", "12.5%"), A::set("Linked", "yes"), A::set("Y", " 40 "), A::set("Turn", "-22.5"),
               A::set("COUNT", "+2147483647"), A::set("Map", "WEIGHT B"), A::set("Jitter", "1e-3")}});
    ASSERT_EQ(p.run.result, 1) << (p.refusals().empty() ? "" : p.refusals()[0]);
    EXPECT_TRUE(p.outcome().accepted);
    EXPECT_EQ(p.value<double>(kSize), 12.5 / 100.0);
    EXPECT_EQ(p.value<int32_t>(kLinked), 1);
    EXPECT_EQ(p.value<double>(kY), 0.4);
    EXPECT_EQ(p.value<double>(kTurn), -22.5 * std::numbers::pi / 180.0);
    EXPECT_EQ(p.value<int32_t>(kCount), 2147483647);
    EXPECT_EQ(p.value<int32_t>(kMap), 2);  // no exact match: the case-insensitive one
    EXPECT_EQ(p.value<double>(kJitter), 0.001);
    // The opening snapshot keeps what the plug-in set before any answer.
    EXPECT_EQ(p.outcome().opening.find("Count")->value.integer, 7);
    EXPECT_EQ(p.outcome().closing.find("Count")->value.integer, 2147483647);
}

TEST(PanelService, PopUpsTakeNamesNoneOrIndices) {
    EXPECT_EQ(Posted({{A::set("Map", "Weight A")}}).value<int32_t>(kMap), 1);
    EXPECT_EQ(Posted({{A::set("Map", "2")}}).value<int32_t>(kMap), 2);
    Posted none({{A::set("Map", "1"), A::set("Map", "None")}});
    EXPECT_EQ(none.value<int32_t>(kMap), 0);
}

TEST(PanelService, RefusesValuesThatDoNotFitAndCancels) {
    struct Case {
        PanelAnswer answer;
        const char *message;
    };
    const std::vector<Case> cases = {
        {A::set("Count", "many"), "\"Count\" takes a whole number from -2147483648 to 2147483647, not \"many\""},
        {A::set("Count", "2147483648"), "\"Count\" takes a whole number"},
        {A::set("Count", "2.5"), "\"Count\" takes a whole number"},
        {A::set("Size", "abc%"), "\"Size\" takes a percentage, such as 25 or 25%, not \"abc%\""},
        {A::set("Turn", "north"), "\"Turn\" takes an angle in degrees"},
        {A::set("Jitter", "nan"), "\"Jitter\" takes a number"},
        {A::set("Linked", "maybe"), "\"Linked\" takes on/off, true/false, yes/no or 1/0"},
        {A::set("Map", "Weight C"),
         "\"Map\" takes one of \"none\", \"Weight A\" or \"weight b\", or an index from 0 to 2, not \"Weight C\""},
        {A::set("Map", "3"), "or an index from 0 to 2, not \"3\""},
        {A::set("Reset", "1"), "\"Reset\" is a button: it can be pressed, not set"},
        {A::press("Count"), "\"Count\" is not a button; the buttons are \"Reset\""},
        {A::set("Colour", "red"), "no control \"Colour\" in the panel"},
    };
    for (const Case &c : cases) {
        Posted p({{c.answer, A::set("Count", "3")}});
        EXPECT_EQ(p.run.result, 0) << c.message;
        ASSERT_EQ(p.refusals().size(), 1u) << c.message;
        EXPECT_NE(p.refusals()[0].find(c.message), std::string::npos) << p.refusals()[0];
        EXPECT_FALSE(p.outcome().accepted);
        EXPECT_TRUE(p.log.entries().empty()) << "a refused answer is no misuse";
    }
}

TEST(PanelService, DisabledControlsRefuseChangesWhateverTheOrderOfAnswers) {
    // Opening state: "Linked" off disables "Y"; "Map" on "none" disables "Strength".
    Posted opened({{}, true});
    EXPECT_FALSE(opened.outcome().opening.find("Y")->enabled);
    EXPECT_EQ(opened.outcome().opening.find("Y")->disabled_by, "Linked");
    EXPECT_EQ(opened.outcome().opening.find("Y")->disabled_message, "axes are linked");
    EXPECT_FALSE(opened.outcome().opening.find("Strength")->enabled);
    EXPECT_TRUE(opened.outcome().opening.find("Size")->enabled);

    Posted refused({{A::set("Y", "30"), A::set("Strength", "10")}});
    EXPECT_EQ(refused.run.result, 0);
    EXPECT_EQ(refused.refusals(),
              (std::vector<std::string>{"\"Y\": axes are linked", "\"Strength\": Pick a map"}));

    // Enabling after setting is as good as enabling first.
    Posted later({{A::set("Y", "30"), A::set("Linked", "on"), A::set("Strength", "10"), A::set("Map", "1")}});
    EXPECT_EQ(later.run.result, 1);
    EXPECT_EQ(later.value<double>(kY), 0.3);
    EXPECT_EQ(later.value<double>(kStrength), 0.1);

    // Setting a disabled control to the value it holds changes nothing.
    Posted same({{A::set("Y", "25%")}});
    EXPECT_EQ(same.run.result, 1);

    // Disabling after setting is refused too.
    Posted disabled_last({{A::set("Linked", "on"), A::set("Y", "30"), A::set("Linked", "off")}});
    EXPECT_EQ(disabled_last.refusals(), (std::vector<std::string>{"\"Y\": axes are linked"}));
}

TEST(PanelService, ButtonActionsRunInsidePostInTheOrderGiven) {
    Posted before({{A::set("Count", "5"), A::press("reset")}});
    EXPECT_EQ(before.run.result, 1);
    EXPECT_EQ(before.value<int32_t>(kCount), 30);
    EXPECT_EQ(reset_target, before.run.panel);

    Posted after({{A::press("Reset"), A::set("Count", "5")}});
    EXPECT_EQ(after.value<int32_t>(kCount), 5);

    // Only the end result counts: a disabled control that a button put back
    // to the value it held before the user's change is no change at all.
    Posted linked({{A::set("Linked", "on"), A::set("Y", "60"), A::set("Linked", "off"), A::press("Reset")}});
    EXPECT_EQ(linked.run.result, 1);
    EXPECT_EQ(linked.value<double>(kY), 0.25);

    Posted cancelled({{A::press("Reset")}, true});
    EXPECT_EQ(cancelled.run.result, 0);
    EXPECT_TRUE(cancelled.refusals().empty());
    EXPECT_FALSE(cancelled.outcome().accepted);
    EXPECT_EQ(cancelled.outcome().closing.find("Count")->value.integer, 30);
}

TEST(PanelService, MalformedHintListKeepsThePanelClosed) {
    std::vector<sf_hint_word> broken = hints();
    broken.insert(broken.begin(), {w(SF_HINT_DIVIDER), w(0x99u), 0});
    Posted p({{A::set("Count", "3")}}, broken);
    EXPECT_EQ(p.run.result, 0);
    EXPECT_FALSE(p.outcome().opened);
    const std::string message = "panel_hint: malformed hint list: hint 1 (divider, word 0): divider position 0x99 is "
                                "no control of this panel";
    EXPECT_EQ(p.log.entries(), std::vector<std::string>{message});
    EXPECT_EQ(p.outcome().errors.front(), message);
}

TEST(PanelService, MalformedTablesAreRefused) {
    Bare bare;
    PanelService &service = bare.service;
    PanelService::Scope scope(service);
    const sf_panel_service &api = *service_table();

    const sf_panel_control unknown_kind[] = {{1, "Dial", "knob"}, {0, nullptr, nullptr}};
    EXPECT_EQ(api.panel_create(SF_PANEL_FORM, unknown_kind), nullptr);
    const sf_panel_control twice[] = {{1, "A", "integer"}, {1, "B", "integer"}, {0, nullptr, nullptr}};
    EXPECT_EQ(api.panel_create(SF_PANEL_FORM, twice), nullptr);
    EXPECT_EQ(api.panel_create(1, kControls), nullptr);
    // No end row: refused at the bound, not read beyond it.
    std::vector<sf_panel_control> endless(4096);
    for (std::size_t i = 0; i < endless.size(); ++i) endless[i] = {static_cast<uint32_t>(i + 1), "c", "integer"};
    EXPECT_EQ(api.panel_create(SF_PANEL_FORM, endless.data()), nullptr);
    ASSERT_EQ(bare.errors().size(), 4u);
    EXPECT_NE(bare.errors()[0].find("unknown control kind \"knob\""), std::string::npos);
    EXPECT_NE(bare.errors()[1].find("used twice"), std::string::npos);
    EXPECT_NE(bare.errors()[2].find("only forms"), std::string::npos);
    EXPECT_NE(bare.errors()[3].find("no end row"), std::string::npos);

    // A data table that holds a check box as a double.
    const sf_panel_control bad_data[] = {{kLinked, "Linked", "float"}, {0, nullptr, nullptr}};
    sf_panel *panel = api.panel_create(SF_PANEL_FORM, kControls);
    ASSERT_NE(panel, nullptr);
    api.panel_describe(panel, bad_data, nullptr, nullptr);
    EXPECT_EQ(api.panel_post(panel), 0);
    EXPECT_NE(service.last_outcome()->errors[0].find("cannot hold \"float\" data"), std::string::npos);
    api.panel_destroy(panel);
}

TEST(PanelService, ForeignAndDestroyedHandlesAreRecordedNotFollowed) {
    Bare bare;
    PanelService &service = bare.service;
    {
        const sf_panel_service &api = *service_table();
        EXPECT_EQ(api.panel_create(SF_PANEL_FORM, kControls), nullptr);  // no current service
        PanelService::Scope scope(service);
        sf_panel *panel = api.panel_create(SF_PANEL_FORM, kControls);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(service.open_panel_count(), 1);
        api.panel_destroy(panel);
        EXPECT_EQ(service.open_panel_count(), 0);
        const int32_t one = 1;
        api.panel_set(panel, kCount, &one);
        EXPECT_EQ(api.panel_get(panel, kCount), nullptr);
        EXPECT_EQ(api.panel_post(panel), 0);
        int not_a_panel = 0;
        api.panel_destroy(reinterpret_cast<sf_panel *>(&not_a_panel));
    }
    ASSERT_EQ(bare.errors().size(), 4u);
    for (const std::string &error : bare.errors())
        EXPECT_NE(error.find("not made by this host or is destroyed"), std::string::npos) << error;
    EXPECT_EQ(service.post_count(), 0);
}

TEST(PanelService, ValuesForUnknownControlsAreRecorded) {
    Bare bare;
    PanelService &service = bare.service;
    PanelService::Scope scope(service);
    const sf_panel_service &api = *service_table();
    sf_panel *panel = api.panel_create(SF_PANEL_FORM, kControls);
    const int32_t one = 1;
    api.panel_set(panel, kCount, &one);  // before describe: no value kind yet
    api.panel_describe(panel, kData, nullptr, nullptr);
    api.panel_set(panel, 0x4242, &one);
    api.panel_set(panel, kReset, &one);
    EXPECT_EQ(api.panel_get(panel, kReset), nullptr);  // a button holds nothing; not an error
    EXPECT_EQ(api.panel_get(panel, 0x4343), nullptr);
    ASSERT_EQ(bare.errors().size(), 4u);
    EXPECT_NE(bare.errors()[0].find("panel_describe first"), std::string::npos);
    EXPECT_NE(bare.errors()[1].find("0x4242 is no control"), std::string::npos);
    EXPECT_NE(bare.errors()[2].find("\"Reset\" is a button"), std::string::npos);
    EXPECT_NE(bare.errors()[3].find("panel_get: 0x4343 is no control"), std::string::npos);
    api.panel_destroy(panel);
}

}  // namespace
}  // namespace sowfield::host
