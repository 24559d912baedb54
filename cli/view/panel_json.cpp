#include "cli/view/panel_json.h"

namespace sowfield::cli::view {
namespace {

nlohmann::json control_json(const host::ControlSnapshot &control) {
    return {{"label", control.label},
            {"kind", control.kind},
            {"button", control.is_button},
            {"display", control.display},
            {"choices", control.choices},
            {"enabled", control.enabled},
            {"disabled_message", control.disabled_message},
            {"divider_after", control.divider_after}};
}

nlohmann::json controls_json(const host::PanelSnapshot &panel, const std::vector<std::size_t> &indices) {
    nlohmann::json list = nlohmann::json::array();
    for (const std::size_t index : indices) list.push_back(control_json(panel.controls.at(index)));
    return list;
}

}  // namespace

nlohmann::json panel_json(const host::PanelSnapshot &panel) {
    nlohmann::json groups = nlohmann::json::array();
    for (const host::GroupSnapshot &group : panel.groups)
        groups.push_back({{"label", group.label}, {"tab", group.is_tab}, {"controls", controls_json(panel, group.controls)}});
    return {{"title", panel.title}, {"outside", controls_json(panel, panel.outside)}, {"groups", groups}};
}

}  // namespace sowfield::cli::view
