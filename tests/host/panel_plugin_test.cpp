// The options panel end to end: the real plug-in module, loaded the way a host
// loads it, run by the host over a tiny scene, its panel answered by the panel
// service as the user would. Each test loads its own copy of the module, so
// each starts from a freshly loaded library (the settings live as long as the
// library stays loaded).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sowfield_version.h"

#include "host/loader/plugin_run.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/scripted_face.h"
#include "host/panel/panel_view.h"

namespace sowfield::host {
namespace {

using A = PanelAnswer;

// A selected quad in the foreground, a triangle in the background, and
// weight maps of the given names on the foreground.
Scene small_scene(const std::vector<std::string> &weight_maps) {
    Scene scene;
    Layer &ground = scene.add_layer("ground");
    const uint32_t a = ground.add_point({0, 0, 0}), b = ground.add_point({1, 0, 0}),
                   c = ground.add_point({1, 0, 1}), d = ground.add_point({0, 0, 1});
    const uint32_t quad[] = {a, d, c, b};
    ground.add_polygon(SF_POLY_FACE, quad, 0, SF_POLY_SELECTED);
    for (const std::string &name : weight_maps) ground.add_vmap(SF_VMAP_WGHT, name, 1);
    Layer &object = scene.add_layer("object");
    const uint32_t tri[] = {object.add_point({0, 0, 0}), object.add_point({0.1, 0, 0}), object.add_point({0, 0.1, 0})};
    object.add_polygon(SF_POLY_FACE, tri);
    scene.foreground = {0};
    scene.background = {1};
    return scene;
}

// One freshly loaded copy of the module.
class FreshPlugin {
public:
    FreshPlugin() : path_(copy_module()), library_(PluginLibrary::open(path_)) {}
    ~FreshPlugin() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    FreshPlugin(const FreshPlugin &) = delete;
    FreshPlugin &operator=(const FreshPlugin &) = delete;

    const sf_server_record &server() const { return library_.server(SF_MESH_EDIT_CLASS, "Sowfield"); }

private:
    static std::filesystem::path copy_module() {
        static int copies = 0;
        const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                           ("sowfield_panel_" + std::string(test->name()) + "_" +
                                            std::to_string(::getpid()) + "_" + std::to_string(copies++) + ".so");
        std::filesystem::copy_file(SOWFIELD_MODULE_PATH, path, std::filesystem::copy_options::overwrite_existing);
        return path;
    }

    std::filesystem::path path_;
    PluginLibrary library_;
};

// One run of the command with its panel answered by `script`.
struct PanelRun {
    int result = -1;
    PanelOutcome outcome;
    std::vector<std::string> refusals;  // the answers the panel refused
    int64_t points_added = 0;
    std::size_t edits_ended = 0;
    std::vector<std::string> violations;
    std::vector<Message> messages;
    int posts = 0;
    MonitorRecord monitor;  // the clone loop's progress shows the clone count the run used

    const ControlSnapshot &opening(const std::string &label) const { return *found(outcome.opening, label); }
    const ControlSnapshot &closing(const std::string &label) const { return *found(outcome.closing, label); }

private:
    static const ControlSnapshot *found(const PanelSnapshot &panel, const std::string &label) {
        const ControlSnapshot *control = panel.find(label);
        if (control == nullptr) throw std::runtime_error("no control " + label);
        return control;
    }
};

PanelRun run_panel(const FreshPlugin &plugin, Scene &scene, PanelScript script) {
    ScriptedFace face(std::move(script));
    std::ostringstream quiet;
    const PluginRun plugin_run =
        run_plugin(plugin.server(), scene, {.host = {.info_out = &quiet, .error_out = &quiet}, .face = &face});
    PanelRun run;
    run.result = plugin_run.result;
    if (plugin_run.panel) run.outcome = *plugin_run.panel;
    run.refusals = face.refusals();
    run.points_added = plugin_run.points_added;
    run.edits_ended = plugin_run.end_codes.size();
    run.violations = plugin_run.violations;
    run.messages = plugin_run.messages;
    run.posts = plugin_run.panel_posts;
    run.monitor = plugin_run.monitor;
    return run;
}

// Checks that hold for every run whose panel was not accepted.
void expect_nothing_added(const PanelRun &run) {
    EXPECT_EQ(run.result, SF_AFUNC_OK);
    EXPECT_EQ(run.monitor.created, 0);  // nothing ran past the panel
    EXPECT_EQ(run.posts, 1);
    EXPECT_FALSE(run.outcome.accepted);
    EXPECT_EQ(run.points_added, 0);
    EXPECT_EQ(run.edits_ended, 1u);
    EXPECT_TRUE(run.violations.empty()) << run.violations.front();
}

std::vector<std::string> labels_of(const PanelSnapshot &panel, const std::vector<std::size_t> &indices) {
    std::vector<std::string> labels;
    for (std::size_t i : indices) labels.push_back(panel.controls[i].label);
    return labels;
}

std::set<std::string> disabled(const PanelSnapshot &panel) {
    std::set<std::string> labels;
    for (const ControlSnapshot &control : panel.controls)
        if (!control.enabled) labels.insert(control.label);
    return labels;
}

// The stored value of every value control, by label.
std::map<std::string, std::string> values(const PanelSnapshot &panel) {
    std::map<std::string, std::string> out;
    for (const ControlSnapshot &control : panel.controls)
        if (!control.is_button)
            out[control.label] = control.value.holds_integer ? std::to_string(control.value.integer)
                                                       : std::to_string(std::bit_cast<uint64_t>(control.value.number));
    return out;
}

TEST(PanelPlugin, FirstRunShowsTheDefaultsInTwoTabs) {
    FreshPlugin plugin;
    Scene scene = small_scene({});
    const PanelRun run = run_panel(plugin, scene, {{}, true});
    expect_nothing_added(run);
    ASSERT_TRUE(run.outcome.opened);
    const PanelSnapshot &panel = run.outcome.opening;

    EXPECT_EQ(panel.title, "Sowfield 1.6");
    EXPECT_EQ(labels_of(panel, panel.outside), (std::vector<std::string>{"About", "Reset Values"}));
    ASSERT_EQ(panel.groups.size(), 2u);
    EXPECT_EQ(panel.groups[0].label, "Basic");
    EXPECT_EQ(panel.groups[1].label, "Advanced");
    EXPECT_TRUE(panel.groups[0].is_tab && panel.groups[1].is_tab);
    // Which control sits in which tab, and the dividers, are the hint
    // list's (the options panel's own test has it word for word).
    EXPECT_EQ(disabled(panel), (std::set<std::string>{"Y", "Z", "Size WeightMap Influence", "Dependence Power",
                                                      "Min Slope Angle", "Max Slope Angle"}));
    EXPECT_TRUE(run.opening("P angle weightmap").enabled);

    // The values of a freshly loaded library (the record's defaults and
    // their copy into the panel have tests of their own), as shown.
    EXPECT_EQ(run.opening("Size Variations").display, "25");
    EXPECT_EQ(run.opening("Distribution").display, "80");
    EXPECT_EQ(run.opening("Size WeightMap").display, "none");
    EXPECT_EQ(run.opening("H Align with normals").display, "on");
}

TEST(PanelPlugin, EachEnableRuleRefusesChangesToItsControlsWithItsMessage) {
    FreshPlugin plugin;
    Scene scene = small_scene({"Moss", "Rock", "Sand"});
    struct Case {
        std::vector<PanelAnswer> answers;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{A::set("Y", "30")}, "\"Y\": Size axes are linked"},
        {{A::set("z", "30%")}, "\"Z\": Size axes are linked"},
        {{A::set("Max Slope Angle", "60")}, "\"Max Slope Angle\": Slope Angle is Disabled"},
        {{A::set("Min Slope Angle", "5")}, "\"Min Slope Angle\": Slope Angle is Disabled"},
        {{A::set("Size WeightMap Influence", "10")}, "\"Size WeightMap Influence\": Choose any weightmap first"},
        {{A::set("Dependence Power", "10")},
         "\"Dependence Power\": Control is disabled. Select 'Size Depends on Poly Area' first"},
        {{A::set("P angle weightmap", "Rock"), A::set("P Align with normals", "off")},
         "\"P angle weightmap\": P Align should be enabled."},
    };
    for (const Case &c : cases) {
        const PanelRun run = run_panel(plugin, scene, {c.answers, false});
        expect_nothing_added(run);
        EXPECT_EQ(run.refusals, std::vector<std::string>{c.message});
    }

    // Turning the controlling control on first, or last, lets the change through.
    const PanelRun enabled = run_panel(plugin, scene,
                                       {{A::set("Y", "30"), A::set("Independent Sizes", "on"), A::set("Z", "40"),
                                         A::set("Size WeightMap", "Sand"), A::set("Size WeightMap Influence", "10"),
                                         A::set("P Align with normals", "off"), A::set("Absolute", "on")},
                                        true});
    EXPECT_TRUE(enabled.refusals.empty()) << enabled.refusals.front();
    EXPECT_EQ(disabled(enabled.outcome.closing),
              (std::set<std::string>{"Dependence Power", "Min Slope Angle", "Max Slope Angle", "P angle weightmap"}));
    EXPECT_EQ(enabled.closing("Y").value.number, 0.3);
    EXPECT_EQ(enabled.closing("Absolute").value.integer, 1);  // governed by no rule
    // Choosing "none" again disables the influence.
    const PanelRun none_again =
        run_panel(plugin, scene, {{A::set("Size WeightMap", "Sand"), A::set("Size WeightMap", "none")}, true});
    EXPECT_FALSE(none_again.closing("Size WeightMap Influence").enabled);
}

TEST(PanelPlugin, ZeroAnglesSetsExactlyTheSixRotationBounds) {
    FreshPlugin plugin;
    Scene scene = small_scene({"Moss"});
    const PanelRun run = run_panel(plugin, scene, {{A::press("Zero Angles")}, true});
    expect_nothing_added(run);
    std::map<std::string, std::string> expected = values(run.outcome.opening);
    for (const char *label : {"Random rotation H Min", "H Max", "P Min", "P Max", "B Min", "B Max"}) {
        EXPECT_NE(run.opening(label).value.number, 0.0) << label;
        expected[label] = std::to_string(std::bit_cast<uint64_t>(0.0));
    }
    EXPECT_EQ(values(run.outcome.closing), expected);
}

// Sets every value control away from its default.
std::vector<PanelAnswer> everything_changed() {
    return {A::set("Number of Clones", "3"),       A::set("Independent Sizes", "on"),
            A::set("Size Variations", "10"),       A::set("Y", "11"),
            A::set("Z", "12"),                     A::set("Size WeightMap", "Moss"),
            A::set("Size WeightMap Influence", "13"), A::set("Size depends on Poly Area", "on"),
            A::set("Dependence Power", "14"),      A::set("Density WeightMap", "Rock"),
            A::set("Random rotation H Min", "-1"), A::set("H Max", "2"),
            A::set("P Min", "-3"),                 A::set("P Max", "4"),
            A::set("B Min", "-5"),                 A::set("B Max", "6"),
            A::set("H Align with normals", "off"), A::set("P Align with normals", "on"),
            A::set("Jitter Cloned points", "0.01"), A::set("Slope Angle Limits", "on"),
            A::set("Min Slope Angle", "1"),        A::set("Max Slope Angle", "89"),
            A::set("Distribution", "50"),          A::set("Iterations", "4"),
            A::set("Random Seed", "-99"),          A::set("Auto morph maps", "2"),
            A::set("P angle weightmap", "Sand"),   A::set("Absolute", "on")};
}

TEST(PanelPlugin, ResetValuesRestoresEveryValueControlAndCancelKeepsTheSettings) {
    FreshPlugin plugin;
    Scene scene = small_scene({"Moss", "Rock", "Sand"});
    const PanelRun first = run_panel(plugin, scene, {{}, true});
    const std::map<std::string, std::string> defaults = values(first.outcome.opening);

    std::vector<PanelAnswer> answers = everything_changed();
    answers.push_back(A::press("Reset Values"));
    const PanelRun reset = run_panel(plugin, scene, {answers, true});
    expect_nothing_added(reset);
    EXPECT_TRUE(reset.refusals.empty()) << reset.refusals.front();
    EXPECT_EQ(values(reset.outcome.closing), defaults);
    EXPECT_EQ(reset.closing("Random Seed").value.integer, 25);
    EXPECT_EQ(reset.closing("Number of Clones").value.integer, 30);

    // The changed values alone, then cancel, then a button and cancel: the
    // next run opens on the same settings each time.
    const PanelRun changed = run_panel(plugin, scene, {everything_changed(), true});
    for (const auto &[label, value] : values(changed.outcome.closing))
        if (label != "P Align with normals") {  // kept on: "P angle weightmap" needs it
            EXPECT_NE(value, defaults.at(label)) << label << " was not changed by the test's answers";
        }
    const PanelRun zeroed = run_panel(plugin, scene, {{A::press("Zero Angles")}, true});
    expect_nothing_added(zeroed);
    const PanelRun after = run_panel(plugin, scene, {{}, true});
    EXPECT_EQ(values(after.outcome.opening), defaults);
}

TEST(PanelPlugin, AcceptingAfterResetValuesKeepsTheDefaultsForTheNextRun) {
    FreshPlugin plugin;
    Scene scene = small_scene({"Moss", "Rock", "Sand"});
    const std::map<std::string, std::string> defaults = values(run_panel(plugin, scene, {{}, true}).outcome.opening);

    // Accept other settings (few clones, no weight maps, so the run is quick).
    const PanelRun accepted = run_panel(plugin, scene,
                                        {{A::set("Number of Clones", "2"), A::set("Random Seed", "7"),
                                          A::set("Distribution", "50"), A::set("H Max", "45")},
                                         false});
    ASSERT_TRUE(accepted.outcome.accepted) << accepted.refusals.front();
    EXPECT_EQ(accepted.edits_ended, 1u);
    EXPECT_EQ(accepted.monitor.last_total, 2);
    const PanelRun kept = run_panel(plugin, scene, {{}, true});
    EXPECT_EQ(kept.opening("Number of Clones").value.integer, 2);
    EXPECT_EQ(kept.opening("Random Seed").value.integer, 7);
    EXPECT_EQ(kept.opening("H Max").display, "45");

    const PanelRun reset = run_panel(plugin, scene, {{A::press("Reset Values")}, false});
    ASSERT_TRUE(reset.outcome.accepted);
    EXPECT_EQ(reset.edits_ended, 1u);
    EXPECT_EQ(reset.monitor.last_total, 30);  // this very run already used the defaults
    const PanelRun next = run_panel(plugin, scene, {{}, true});
    EXPECT_EQ(values(next.outcome.opening), defaults);
}

TEST(PanelPlugin, PopUpsOfferTheSceneWeightMaps) {
    FreshPlugin plugin;
    Scene bare = small_scene({});
    const PanelRun none = run_panel(plugin, bare, {{A::set("Density WeightMap", "Moss")}, true});
    for (const char *popup : {"Size WeightMap", "Density WeightMap", "P angle weightmap"})
        EXPECT_EQ(none.opening(popup).choices, std::vector<std::string>{"none"}) << popup;
    ASSERT_EQ(none.refusals.size(), 1u);
    EXPECT_EQ(none.refusals[0],
              "\"Density WeightMap\" takes one of \"none\", or an index from 0 to 0, not \"Moss\"");

    Scene three = small_scene({"Moss", "Rock", "Sand"});
    const PanelRun listed = run_panel(plugin, three, {{A::set("Density WeightMap", "sand")}, true});
    for (const char *popup : {"Size WeightMap", "Density WeightMap", "P angle weightmap"})
        EXPECT_EQ(listed.opening(popup).choices, (std::vector<std::string>{"none", "Moss", "Rock", "Sand"})) << popup;
    EXPECT_EQ(listed.closing("Density WeightMap").value.integer, 3);
    EXPECT_EQ(listed.closing("Density WeightMap").display, "Sand");
}

TEST(PanelPlugin, AnIndexKeptFromAnEarlierRunIsShownAgainstTheCurrentList) {
    FreshPlugin plugin;
    Scene three = small_scene({"Moss", "Rock", "Sand"});
    // Accepted with no clones so that the map is only remembered, not used.
    const PanelRun accepted =
        run_panel(plugin, three, {{A::set("Size WeightMap", "Sand"), A::set("Number of Clones", "0")}, false});
    ASSERT_TRUE(accepted.outcome.accepted) << accepted.refusals.front();

    Scene other = small_scene({"Ash", "Birch", "Cedar", "Dune"});
    const PanelRun renamed = run_panel(plugin, other, {{}, true});
    EXPECT_EQ(renamed.opening("Size WeightMap").value.integer, 3);
    EXPECT_EQ(renamed.opening("Size WeightMap").display, "Cedar");

    Scene one = small_scene({"Ash"});
    const PanelRun shorter = run_panel(plugin, one, {{}, true});
    EXPECT_EQ(shorter.opening("Size WeightMap").value.integer, 3);
    const std::string text = render_panel(shorter.outcome.opening);
    EXPECT_NE(text.find("3 (beyond the list of 2 entries)    [none | Ash]"), std::string::npos) << text;
}

TEST(PanelPlugin, AboutShowsItsMessageAndChangesNothing) {
    FreshPlugin plugin;
    Scene scene = small_scene({});
    const PanelRun run = run_panel(plugin, scene, {{A::press("About")}, true});
    expect_nothing_added(run);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].kind, Message::Kind::info);
    // The project and the build's version; no web address.
    EXPECT_TRUE(run.messages[0].line1.starts_with("Sowfield " SOWFIELD_VERSION " ")) << run.messages[0].line1;
    ASSERT_TRUE(run.messages[0].line2.has_value());
    EXPECT_EQ((run.messages[0].line1 + *run.messages[0].line2).find("://"), std::string::npos);
    EXPECT_EQ(values(run.outcome.closing), values(run.outcome.opening));
}

TEST(PanelPlugin, SavedSettingsReadBackAsTheSameValues) {
    FreshPlugin plugin;
    Scene scene = small_scene({"Moss", "Rock", "Sand"});
    const PanelRun changed = run_panel(plugin, scene, {everything_changed(), true});
    ASSERT_TRUE(changed.refusals.empty()) << changed.refusals.front();
    const PanelRun again = run_panel(plugin, scene, {settings_answers(changed.outcome.closing), true});
    EXPECT_TRUE(again.refusals.empty()) << again.refusals.front();
    EXPECT_EQ(values(again.outcome.closing), values(changed.outcome.closing));
    const std::string json = settings_json(changed.outcome.closing);
    EXPECT_NE(json.find("\"Size WeightMap\": \"Moss\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"Absolute\": true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"Size Variations\": 10,"), std::string::npos) << json;
}

}  // namespace
}  // namespace sowfield::host
