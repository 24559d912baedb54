// A posted panel as it stood at one moment, and what became of it.
// Self-contained: a snapshot stays readable after the panel is destroyed and
// the plug-in unloaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/panel/panel_value.h"

namespace sowfield::host {

// One control as the panel showed it.
struct ControlSnapshot {
    uint32_t id = 0;
    std::string label;
    std::string kind;       // control kind: "integer", "iBoolean", "percent", "float", "angle", "iPopChoice", "vButton"
    bool is_button = false;
    PanelValue value;       // the stored value (buttons hold nothing)
    // The value in display units as the user would type it back (percent,
    // degrees, the chosen pop-up entry, on/off); parsing it gives the stored
    // value bit for bit whenever some text can. Empty for buttons.
    std::string display;
    std::vector<std::string> choices;  // a pop-up's entries (empty otherwise)
    bool enabled = true;
    std::string disabled_by;       // label of the controlling control, when disabled
    std::string disabled_message;  // the enable rule's message, when disabled
    bool divider_after = false;
};

// A group of controls; in a tab set it is drawn as one tab.
struct GroupSnapshot {
    std::string label;
    std::vector<std::size_t> controls;  // indices into PanelSnapshot::controls, in the group's order
    bool is_tab = false;
};

// The whole panel at one moment.
struct PanelSnapshot {
    std::string title;
    std::vector<ControlSnapshot> controls;  // in the control table's order
    std::vector<std::size_t> outside;       // controls in no group, in table order
    std::vector<GroupSnapshot> groups;      // tabs first (in tab-set order), then other groups

    // The control of this label (exact case first, then any case), or null.
    const ControlSnapshot *find(std::string_view label) const;
};

// What became of the last posted panel.
struct PanelOutcome {
    bool opened = false;    // the panel was well formed and shown
    bool accepted = false;  // panel_post answered OK
    PanelSnapshot opening;  // as shown, before any answer (the plug-in's own values)
    PanelSnapshot closing;  // after the face's answers and button actions (what OK hands back)
    // Why the panel was not shown (its malformed description, also recorded
    // as contract misuse), one message each; empty for a panel shown.
    std::vector<std::string> errors;
};

}  // namespace sowfield::host
