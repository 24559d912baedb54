// Text views of a panel snapshot: the panel as the host draws it, and the
// accepted values as a settings file that can be read back as answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/panel/panel_snapshot.h"
#include "host/panel/panel_value.h"
#include "host/panel/scripted_face.h"

namespace sowfield::host {

// Reads `text`, typed in display units, into `value` (whose holds_integer says
// which member to fill). `choices` is a pop-up's list. Returns an empty string
// on success, else a message that names what the control accepts (without the
// control's label). Angles are converted as degrees * pi / 180 with the real
// pi. Percentages are read as the decimal moved two places (the double nearest
// percent / 100, with no second rounding), so that every stored fraction has a
// percent text that reads back exactly.
std::string parse_display_value(ControlKind kind, std::string_view text, const std::vector<std::string> &choices,
                                PanelValue &value);

// The stored value in display units, as the user would type it back: parsing
// the result gives the same stored value bit for bit whenever any text can.
// On/off for check boxes; a pop-up's entry name (or its index when the value
// lies beyond the list).
std::string display_value(ControlKind kind, const PanelValue &value, const std::vector<std::string> &choices);

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
