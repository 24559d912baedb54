// `sowfield settings`: every setting the panel offers, with the names --set
// accepts, its kind, the unit values are given in, and its default. The
// defaults are not a table of the tool's: the module is loaded and run over
// a scene of one quad and one triangle, and its panel, cancelled, shows the
// values a freshly loaded plug-in opens with.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/plugin_location.h"
#include "cli/setting_names.h"
#include "host/loader/plugin_run.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/panel_view.h"

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

struct SettingsOptions {
    std::optional<fs::path> plugin;
    bool json = false;
};

constexpr const char *kExamples = R"(
Examples:
  sowfield settings
  sowfield settings --json
)";

// A control's kind in words.
std::string kind_in_words(std::string_view kind) {
    if (kind == "iBoolean") return "on/off";
    if (kind == "iPopChoice") return "choice";
    if (kind == "float") return "number";
    return std::string(kind);  // integer, percent, angle
}

// A default as the table shows it: numbers rounded to three decimals for
// reading (-9.999705074463785 shows as -10); --save-settings and --json keep
// the exact value.
std::string rounded_for_reading(const host::ControlSnapshot &control) {
    if (control.value.holds_integer || control.display.empty()) return control.display;
    char *end = nullptr;
    const double value = std::strtod(control.display.c_str(), &end);
    if (end != control.display.c_str() + control.display.size()) return control.display;
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string rounded = text;
    while (rounded.back() == '0') rounded.pop_back();
    if (rounded.back() == '.') rounded.pop_back();
    return rounded == "-0" ? "0" : rounded;
}

// How values of a kind are written on the command line.
std::string unit_of(std::string_view kind) {
    if (kind == "percent") return "%";
    if (kind == "angle") return "degrees";
    if (kind == "iBoolean") return "on/off";
    if (kind == "iPopChoice") return "weight map or none";
    if (kind == "integer") return "whole number";
    return "number";
}

// The smallest scene the plug-in accepts: a selected quad to scatter on and a
// triangle to copy, with no vertex maps (so every pop-up offers only "none").
void build_probe_scene(host::Scene &scene) {
    host::Layer &ground = scene.add_layer("ground");
    const uint32_t quad[4] = {ground.add_point({0, 0, 0}), ground.add_point({1, 0, 0}), ground.add_point({1, 0, -1}),
                              ground.add_point({0, 0, -1})};
    ground.add_polygon(SF_POLY_FACE, quad, 0, SF_POLY_SELECTED);
    host::Layer &object = scene.add_layer("object");
    const uint32_t triangle[3] = {object.add_point({0, 0, 0}), object.add_point({0.1, 0, 0}),
                                  object.add_point({0, 0.1, 0})};
    object.add_polygon(SF_POLY_FACE, triangle);
    scene.foreground = {0};
    scene.background = {1};
}

// The controls as the panel lays them out, each with its tab: those outside
// the tabs first, then tab by tab.
std::vector<std::pair<size_t, std::string>> in_panel_order(const host::PanelSnapshot &panel) {
    std::vector<std::pair<size_t, std::string>> order;
    for (const size_t index : panel.outside) order.emplace_back(index, "");
    for (const host::GroupSnapshot &group : panel.groups)
        for (const size_t index : group.controls) order.emplace_back(index, group.label);
    return order;
}

int run_settings(const SettingsOptions &options) {
    host::PanelOutcome outcome;
    try {
        const host::PluginLibrary library =
            host::PluginLibrary::open(locate_plugin(options.plugin, current_executable()));
        host::Scene scene;
        build_probe_scene(scene);
        host::ScriptedFace face({{}, /*cancel=*/true});
        std::ostringstream silent;
        const host::PluginRun run = host::run_plugin(library.server(SF_MESH_EDIT_CLASS, "Sowfield"), scene,
                                                     {.host = {.info_out = &silent, .error_out = &silent}, .face = &face});
        if (!run.panel || !run.panel->opened) {
            std::cerr << "sowfield: the plug-in did not show its panel\n" << silent.str();
            return exit_refused;
        }
        outcome = *run.panel;
    } catch (const PluginNotFound &error) {
        std::cerr << "sowfield: " << error.what() << "\n";
        return exit_plugin;
    } catch (const host::LoaderError &error) {
        std::cerr << "sowfield: cannot load the plug-in: " << error.what() << "\n";
        return exit_plugin;
    }

    const host::PanelSnapshot &panel = outcome.opening;
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    std::ostringstream table;
    table << "Settings of \"" << panel.title << "\" (give them as --set NAME=VALUE, NAME the label or the field;\n"
          << "defaults rounded for reading, exact in --json and --save-settings):\n\n";
    char line[256];
    std::snprintf(line, sizeof line, "%-26s %-25s %-11s %-19s %-9s %s\n", "Label", "Field", "Kind", "Unit", "Tab",
                  "Default");
    table << line;
    std::string buttons;
    for (const auto &[index, tab] : in_panel_order(panel)) {
        const host::ControlSnapshot &control = panel.controls[index];
        const SettingName *name = find_setting(control.label);
        const std::string field = name != nullptr ? std::string(name->field) : "?";
        if (control.is_button) {
            buttons += (buttons.empty() ? "" : ", ") + ("\"" + control.label + "\"");
            continue;
        }
        std::snprintf(line, sizeof line, "%-26s %-25s %-11s %-19s %-9s %s\n", control.label.c_str(), field.c_str(),
                      kind_in_words(control.kind).c_str(), unit_of(control.kind).c_str(), tab.c_str(),
                      rounded_for_reading(control).c_str());
        table << line;
        list.push_back({{"label", control.label},
                        {"field", field},
                        {"kind", kind_in_words(control.kind)},
                        {"unit", unit_of(control.kind)},
                        {"tab", tab},
                        {"default", control.display},
                        {"enabled", control.enabled}});
    }
    table << "\nButtons (--press LABEL): " << buttons << "\n";
    if (options.json)
        std::cout << list.dump(2) << "\n";
    else
        std::cout << table.str();
    return exit_ok;
}

}  // namespace

Command add_settings_command(CLI::App &app) {
    auto options = std::make_shared<SettingsOptions>();
    CLI::App *command = app.add_subcommand(
        "settings", "List every setting: label, field name, kind, unit, tab and the plug-in's default");
    command->add_option("--plugin", options->plugin, "The plug-in module to load (default: libsowfield.so beside the tool)")
        ->type_name("PATH");
    command->add_flag("--json", options->json, "Print the list as JSON");
    command->footer(kExamples);
    return {command, [options] { return run_settings(*options); }};
}

}  // namespace sowfield::cli
