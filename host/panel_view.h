// Text views of a panel snapshot: the panel as the host draws it, and the
// accepted values as a settings file that can be read back as answers.
#pragma once

#include <string>
#include <vector>

#include "host/panel_service.h"

namespace sowfield::host {

// The panel as text: the title, the buttons outside the tabs, then each tab
// (or group) with its controls in order, dividers, current values in display
// units, each pop-up's entries, and for a disabled control the rule's message
// and the control that disables it. Ends with a newline.
std::string render_panel(const PanelSnapshot &panel);

// {"Label": value, ...} for every value control, in table order, values in
// display units: numbers for "integer", "percent", "float" and "angle"
// controls, true/false for "iBoolean", the entry's name for "iPopChoice" (its
// index when the value lies beyond the list). Reading it back as `set`
// answers reproduces the stored values.
std::string settings_json(const PanelSnapshot &panel);

// The same values as `set` answers, in table order (the form a settings
// file's entries take once read).
std::vector<PanelAnswer> settings_answers(const PanelSnapshot &panel);

}  // namespace sowfield::host
