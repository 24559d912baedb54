#include "fuzz/entries/settings_input.h"

#include <exception>
#include <sstream>
#include <string_view>

#include "cli/setting_names.h"
#include "fuzz/entries/scene_checks.h"
#include "host/loader/plugin_run.h"
#include "host/panel/scripted_face.h"
#include "numeric/random.h"
#include "plugin/activate.h"
#include "settings/params.h"

namespace sowfield::fuzz {

namespace {

// What the tool's answers act on: a floor to clone onto, a cube to clone.
void small_scene(host::Scene &scene) {
    host::Layer &fg = scene.add_layer("foreground");
    host::Layer &bg = scene.add_layer("background");
    scene.foreground = {0};
    scene.background = {1};
    const uint32_t f[4] = {fg.add_point({0, 0, 0}), fg.add_point({0, 0, 1}), fg.add_point({1, 0, 1}),
                           fg.add_point({1, 0, 0})};
    fg.add_polygon(SF_POLY_FACE, f, 0, SF_POLY_SELECTED);
    const float weight = 0.5f;
    fg.add_vmap(SF_VMAP_WGHT, "height", 1).set_value(0, &weight);  // a pop-up entry to name
    uint32_t c[8];
    for (uint32_t i = 0; i < 8; ++i) c[i] = bg.add_point({i & 1 ? 0.5 : -0.5, i & 2 ? 1.0 : 0.0, i & 4 ? 0.5 : -0.5});
    const uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto &face : faces) {
        const uint32_t q[4] = {c[face[0]], c[face[1]], c[face[2]], c[face[3]]};
        bg.add_polygon(SF_POLY_FACE, q, 0, 0);
    }
}

bool known_control(const host::PanelAnswer &answer, std::vector<std::string> &problems) {
    for (const cli::SettingName &name : cli::setting_names()) {
        if (name.label != answer.label) continue;
        if (answer.kind == host::PanelAnswer::Kind::set && name.button)
            problems.push_back("a value was accepted for the button \"" + answer.label + "\"");
        if (answer.kind == host::PanelAnswer::Kind::press && !name.button)
            problems.push_back("the value control \"" + answer.label + "\" was accepted as a button");
        return true;
    }
    problems.push_back("an answer names no control of the panel: \"" + answer.label + "\"");
    return false;
}

// Types the answers into the plug-in's panel, then cancels it.
void answer_panel(const std::vector<host::PanelAnswer> &answers, std::vector<std::string> &problems) {
    host::Scene scene;
    small_scene(scene);
    const SceneMark before = mark_scene(scene);
    params = params_typ();

    std::ostringstream shown;
    host::ScriptedFace face({answers, /*cancel=*/true});
    const sf_server_record server{SF_MESH_EDIT_CLASS, "Sowfield", &activate, nullptr};
    const host::PluginRun run = host::run_plugin(
        server, scene, {.host = {.strict = true, .info_out = &shown, .error_out = &shown}, .face = &face});
    for (const std::string &violation : run.violations) problems.push_back("contract violation: " + violation);
    if (!run.panel || !run.panel->opened) {
        problems.push_back("the plug-in's panel was not shown");
        return;
    }
    if (grew_since(scene, before) || !unchanged_since(scene, before))
        problems.push_back("a cancelled run changed the scene");
}

}  // namespace

std::vector<std::string> run_settings_input(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    const bool file = bytes[0] & 1;
    const std::string_view text(reinterpret_cast<const char *>(bytes.data()) + 1, bytes.size() - 1);

    std::vector<std::string> problems;
    std::vector<host::PanelAnswer> answers;
    try {
        if (file)
            answers = cli::parse_settings_json(text, "fuzz.json");
        else
            answers.push_back(cli::parse_set(text));
    } catch (const cli::SettingsError &error) {
        if (std::string_view(error.what()).empty()) problems.push_back("a SettingsError without a message");
        return problems;
    } catch (const std::exception &other) {
        problems.push_back(std::string("the parser threw something other than SettingsError: ") + other.what());
        return problems;
    }
    bool all_known = true;
    for (const host::PanelAnswer &answer : answers) all_known = known_control(answer, problems) && all_known;
    if (all_known) answer_panel(answers, problems);
    return problems;
}

}  // namespace sowfield::fuzz
