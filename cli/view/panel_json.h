// A posted panel as the page draws it: everything the page shows comes from
// this description, so the same page draws any plug-in's panel.
#pragma once

#include <nlohmann/json.hpp>

#include "host/panel/panel_snapshot.h"

namespace sowfield::cli::view {

// {"title", "outside": [control...], "groups": [{"label", "tab", "controls":
// [control...]}]}, each control {"label", "kind", "button", "display",
// "choices", "enabled", "disabled_message", "divider_after"}, controls in
// the panel's order. Values are display texts, as the panel service reads
// them back.
nlohmann::json panel_json(const host::PanelSnapshot &panel);

}  // namespace sowfield::cli::view
