// The words a user may give for the panel's settings, turned into the answers
// the host's panel service gives the plug-in's panel.
//
// A setting is named by its panel label ("Number of Clones") or by the field
// of the plug-in's parameter record it edits ("clone_count"), ignoring case.
// Values stay display texts ("25%", degrees, "on", a weight map's name): the
// panel service converts them with the control's kind and refuses what does
// not fit, so the tool and the host never disagree about units.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/panel/scripted_face.h"

namespace sowfield::cli {

// One control of the plug-in's panel: its label and the name the user may
// give instead. Buttons are named after their label (about, zero_angles, ...).
struct SettingName {
    std::string_view field;
    std::string_view label;
    bool button = false;
    // A shorter name the user may give, where the label carries words its
    // neighbours lack ("H Min" beside "H Max"); empty otherwise.
    std::string_view short_name = {};
};

// Every control of the panel, value controls and buttons, in the panel's
// table order.
std::span<const SettingName> setting_names();

// The control named `name` (a label, short name or field name, any case,
// surrounding blanks ignored), or null.
const SettingName *find_setting(std::string_view name);

// The panel's pop-ups choose a weight map of the scene (or none).
bool names_weight_map(const SettingName &setting);

// A name or value the user gave that cannot be used. The message says what
// is accepted.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "NAME=VALUE" (split at the first '=', blanks around either part ignored)
// as a `set` answer on the control's label. Throws SettingsError for a
// missing '=' or value, an unknown name (listing every accepted name), or a
// button.
host::PanelAnswer parse_set(std::string_view argument);

// A button's label or name as a `press` answer. Throws SettingsError for an
// unknown name (listing the buttons) or a value control.
host::PanelAnswer parse_press(std::string_view name);

// A settings file's text: one JSON object of name -> value, names as for
// parse_set, values a number (passed as written, so every digit counts),
// true/false, or a string ("25%", "none", a weight map's name). Entries in
// file order. Throws SettingsError naming `source` and, for malformed JSON,
// the line.
std::vector<host::PanelAnswer> parse_settings_json(std::string_view text, std::string_view source);

// Reads and parses a settings file; a file that cannot be read is a
// SettingsError naming it.
std::vector<host::PanelAnswer> read_settings_file(const std::filesystem::path &path);

// The accepted names, one control a line: "  Label (field_name)".
std::string accepted_setting_names();

}  // namespace sowfield::cli
