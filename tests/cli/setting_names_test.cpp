// The names and values the tool accepts for the panel's settings: parsing of
// --set, --press and settings files, and, through the real module, that every
// name reaches the control it means and values arrive in stored units.
#include "cli/setting_names.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "host/loader/plugin_run.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/scripted_face.h"
#include "tests/support/scene_builders.h"

namespace sowfield::cli {
namespace {

using host::PanelAnswer;
using ::testing::HasSubstr;

bool same_answer(const PanelAnswer &a, const PanelAnswer &b) {
    return a.kind == b.kind && a.label == b.label && a.value == b.value;
}

std::string error_of(auto &&action) {
    try {
        action();
    } catch (const SettingsError &error) {
        return error.what();
    }
    return "(no error)";
}

TEST(SettingNames, SetAcceptsLabelsAndFieldNamesInAnyCase) {
    const std::vector<std::pair<std::string, PanelAnswer>> cases = {
        {"Number of Clones=12", PanelAnswer::set("Number of Clones", "12")},
        {"clone_count=12", PanelAnswer::set("Number of Clones", "12")},
        {"CLONE_COUNT=12", PanelAnswer::set("Number of Clones", "12")},
        {"number of clones = 12 ", PanelAnswer::set("Number of Clones", "12")},
        {"size_variation_x=25%", PanelAnswer::set("Size Variations", "25%")},
        {"y=10", PanelAnswer::set("Y", "10")},
        {"h_min=-20", PanelAnswer::set("Random rotation H Min", "-20")},
        {"H Min=-20", PanelAnswer::set("Random rotation H Min", "-20")},
        {"p min=-20", PanelAnswer::set("P Min", "-20")},
        {"B Min=-20", PanelAnswer::set("B Min", "-20")},
        {"p_angle_absolute=on", PanelAnswer::set("Absolute", "on")},
        {"Density WeightMap=a=b", PanelAnswer::set("Density WeightMap", "a=b")},  // split at the first '='
    };
    for (const auto &[argument, expected] : cases) {
        SCOPED_TRACE(argument);
        EXPECT_TRUE(same_answer(parse_set(argument), expected));
    }
}

TEST(SettingNames, SetRejectsWithWhatIsAccepted) {
    const std::string unknown = error_of([] { parse_set("clones=12"); });
    EXPECT_THAT(unknown, HasSubstr("unknown setting \"clones\""));
    EXPECT_THAT(unknown, HasSubstr("Number of Clones (clone_count)"));
    EXPECT_THAT(unknown, HasSubstr("Absolute (p_angle_absolute)"));
    EXPECT_THAT(unknown, ::testing::Not(HasSubstr("Zero Angles")));  // buttons take no value

    EXPECT_THAT(error_of([] { parse_set("clone_count"); }), HasSubstr("expected NAME=VALUE"));
    EXPECT_THAT(error_of([] { parse_set("clone_count= "); }), HasSubstr("no value given for \"Number of Clones\""));
    EXPECT_THAT(error_of([] { parse_set("Zero Angles=1"); }), HasSubstr("is a button"));
}

TEST(SettingNames, PressTakesButtonsOnly) {
    EXPECT_TRUE(same_answer(parse_press("Zero Angles"), PanelAnswer::press("Zero Angles")));
    EXPECT_TRUE(same_answer(parse_press("reset_values"), PanelAnswer::press("Reset Values")));
    EXPECT_TRUE(same_answer(parse_press("about"), PanelAnswer::press("About")));
    EXPECT_THAT(error_of([] { parse_press("clone_count"); }), HasSubstr("is a setting, not a button"));
    const std::string unknown = error_of([] { parse_press("Randomise"); });
    EXPECT_THAT(unknown, HasSubstr("unknown button"));
    EXPECT_THAT(unknown, HasSubstr("Reset Values (reset_values)"));
}

TEST(SettingNames, SettingsFileKeepsOrderAndNumbersAsWritten) {
    const std::vector<PanelAnswer> answers = parse_settings_json(R"({
        "clone_count": 200,
        "Size Variations": 12.50,
        "jitter": 1e-3,
        "Random Seed": -7,
        "Independent Sizes": true,
        "Density WeightMap": "meadow",
        "Y": "40%",
        "clone_count": 18446744073709551615
    })",
                                                                 "s.json");
    const std::vector<PanelAnswer> expected = {
        PanelAnswer::set("Number of Clones", "200"),
        PanelAnswer::set("Size Variations", "12.50"),
        PanelAnswer::set("Jitter Cloned points", "1e-3"),
        PanelAnswer::set("Random Seed", "-7"),
        PanelAnswer::set("Independent Sizes", "true"),
        PanelAnswer::set("Density WeightMap", "meadow"),
        PanelAnswer::set("Y", "40%"),
        PanelAnswer::set("Number of Clones", "18446744073709551615"),  // the panel refuses it, not the reader
    };
    ASSERT_EQ(answers.size(), expected.size());
    for (size_t i = 0; i < answers.size(); ++i) EXPECT_TRUE(same_answer(answers[i], expected[i])) << i;
    EXPECT_TRUE(parse_settings_json("{}", "empty.json").empty());
}

TEST(SettingNames, SettingsFileRejectsWhatIsNotAFlatObject) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"clone_count": null})", "the value of \"clone_count\" has no value"},
        {R"({"clone_count": [1, 2]})", "the value of \"clone_count\" is a list"},
        {R"({"clone_count": {"v": 1}})", "the value of \"clone_count\" is an object"},
        {R"([1, 2])", "expected one JSON object"},
        {R"(30)", "expected one JSON object"},
        {R"({"clones": 30})", "unknown setting \"clones\""},
        {R"({"About": true})", "is a button"},
        {"{\n  \"clone_count\": 30,\n  \"jitter\" 0.1\n}", "malformed JSON near line 3"},
        {"", "malformed JSON near line 1"},
        {R"({"jitter": 1e999})", "malformed JSON"},
    };
    for (const auto &[text, message] : cases) {
        SCOPED_TRACE(text);
        const std::string error = error_of([&] { parse_settings_json(text, "bad.json"); });
        EXPECT_THAT(error, HasSubstr("settings file bad.json: "));
        EXPECT_THAT(error, HasSubstr(message));
    }
    EXPECT_THAT(error_of([] { read_settings_file("/nonexistent/settings.json"); }), HasSubstr("cannot be opened"));
    EXPECT_THAT(error_of([] { read_settings_file("/"); }), HasSubstr("is a directory"));
}

// Through the loaded module: the panel's controls, and the values answers
// give them.
class SettingNamesModule : public ::testing::Test {
protected:
    SettingNamesModule() : library(host::PluginLibrary::open(SOWFIELD_MODULE_PATH)) {
        testing::add_quad(world.fg, {0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1});
        testing::set_weight(world.fg, "grass", 0, 0.5f);
        testing::set_weight(world.fg, "Meadow", 1, 0.5f);
        testing::add_triangle(world.bg, {0, 0, 0}, {0.1, 0, 0}, {0, 0.1, 0});
    }

    // The panel after the answers, cancelled so nothing runs.
    host::PanelOutcome ask(std::vector<PanelAnswer> answers) {
        host::ScriptedFace face({std::move(answers), true});
        std::ostringstream silent;
        const host::PluginRun run =
            host::run_plugin(library.server(SF_MESH_EDIT_CLASS, "Sowfield"), world.scene,
                             {.host = {.info_out = &silent, .error_out = &silent}, .face = &face});
        if (!run.panel) throw std::runtime_error("no panel was posted");
        host::PanelOutcome outcome = *run.panel;
        outcome.errors.insert(outcome.errors.end(), face.refusals().begin(), face.refusals().end());
        return outcome;
    }

    testing::TwoLayerScene world;
    host::PluginLibrary library;
};

TEST_F(SettingNamesModule, NamesAreThePanelsControlsInOrder) {
    const host::PanelOutcome outcome = ask({});
    const std::vector<host::ControlSnapshot> &controls = outcome.opening.controls;
    ASSERT_EQ(controls.size(), setting_names().size());
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i].label, setting_names()[i].label) << i;
        EXPECT_EQ(controls[i].is_button, setting_names()[i].button) << controls[i].label;
        // Every name finds its own control and no other.
        EXPECT_EQ(find_setting(setting_names()[i].field), &setting_names()[i]);
        EXPECT_EQ(find_setting(controls[i].label), &setting_names()[i]);
    }
}

TEST_F(SettingNamesModule, ValuesArriveInStoredUnits) {
    const host::PanelOutcome outcome = ask({
        parse_set("clone_count=12"),
        parse_set("independent_sizes=on"),
        parse_set("size_variation_x=40%"),
        parse_set("Y=7.5"),
        parse_set("h_min=-20"),
        parse_set("slope_limits=on"),  // else the slope bounds are disabled
        parse_set("max_slope_angle=45"),
        parse_set("size_weightmap=meadow"),  // any case, when no entry matches exactly
        parse_set("density_weightmap=grass"),
        parse_set("p_align_normals=false"),
        parse_set("Random Seed=-3"),
    });
    ASSERT_TRUE(outcome.errors.empty()) << outcome.errors.front();
    const host::PanelSnapshot &panel = outcome.closing;
    const auto integer = [&](const char *label) { return panel.find(label)->value.integer; };
    const auto number = [&](const char *label) { return panel.find(label)->value.number; };
    EXPECT_EQ(integer("Number of Clones"), 12);
    EXPECT_EQ(integer("Independent Sizes"), 1);
    EXPECT_EQ(number("Size Variations"), 0.4);
    EXPECT_EQ(number("Y"), 0.075);
    EXPECT_DOUBLE_EQ(number("Random rotation H Min"), -20.0 * std::numbers::pi / 180.0);
    EXPECT_DOUBLE_EQ(number("Max Slope Angle"), std::numbers::pi / 4.0);
    const std::vector<std::string> &choices = panel.find("Size WeightMap")->choices;
    ASSERT_EQ(choices.front(), "none");
    EXPECT_EQ(choices.at(static_cast<size_t>(integer("Size WeightMap"))), "Meadow");
    EXPECT_EQ(choices.at(static_cast<size_t>(integer("Density WeightMap"))), "grass");
    EXPECT_EQ(integer("P Align with normals"), 0);
    EXPECT_EQ(integer("Random Seed"), -3);
}

TEST_F(SettingNamesModule, ValuesThatDoNotFitAreRefusedByThePanel) {
    const host::PanelOutcome outcome = ask({parse_set("clone_count=many"), parse_set("density_weightmap=forest")});
    ASSERT_EQ(outcome.errors.size(), 2u);
    EXPECT_THAT(outcome.errors[0], HasSubstr("Number of Clones"));
    EXPECT_THAT(outcome.errors[1], HasSubstr("forest"));
    EXPECT_THAT(outcome.errors[1], HasSubstr("grass"));  // lists what the pop-up offers
    EXPECT_FALSE(outcome.accepted);
}

}  // namespace
}  // namespace sowfield::cli
