// The host's "LWXPanel" service: modal forms that a plug-in describes with a
// control table, a data table and a hint list, and that this host answers as
// the user would, from a script given before the run.
//
// Usage (tool or test):
//
//     host::PanelService panels;
//     panels.set_script({{host::PanelAnswer::set("Number of Clones", "12"),
//                         host::PanelAnswer::press("Zero Angles")},
//                        /*cancel=*/false});
//     {
//         host::PanelService::Scope scope(panels);   // panel_create finds `panels`
//         host.run(...);                             // Host given panels.table()
//     }
//     const host::PanelOutcome *outcome = panels.last_outcome();
//     if (outcome && !outcome->errors.empty()) ...   // refused answers: exit non-zero
//     std::string text = host::render_panel(outcome->closing);       // --show-panel
//     std::string json = host::settings_json(outcome->closing);      // --save-settings
//
// - `last_outcome()` is null when the plug-in stopped before its panel (a
//   failed check on the layers): there is nothing to show or save.
// - To show the panel without running, answer with `cancel = true` and draw
//   `closing` (the panel after the given answers) or `opening` (as it opened).
// - Save only an accepted outcome (`accepted`): its `closing` values are the
//   ones the run used. settings_answers() gives the same values as answers.
// - Errors are collected, not thrown; set_error_sink() shows each as it is
//   found (a malformed hint list is found before the panel is posted).
//
// Values that the script gives are display texts: "percent" controls take
// percent ("25" or "25%"), "angle" controls take degrees, "iBoolean" controls
// on/off/true/false/yes/no/1/0, "iPopChoice" controls an entry of their list
// (exact case first, then any case), "none", or an index into the list,
// "integer" a whole number in the 32-bit range, "float" a number. A value from
// a JSON settings file is passed as the number's literal text, "true"/"false",
// or the string's content.
//
// Panel handles are addresses of the service's own records and are checked on
// every call: a handle this service did not hand out, or one already
// destroyed, is recorded as an error and ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/services/current.h"
#include "sowfield_host.h"

namespace sowfield::host {

// One thing the user does in the open panel.
struct PanelAnswer {
    enum class Kind { set, press };
    Kind kind = Kind::set;
    std::string label;  // the control's label; matched ignoring case
    std::string value;  // for `set`: the value as the user types it (display units)

    static PanelAnswer set(std::string label, std::string value) {
        return {Kind::set, std::move(label), std::move(value)};
    }
    static PanelAnswer press(std::string label) { return {Kind::press, std::move(label), {}}; }
};

// How every posted panel is answered until the script is replaced: the
// answers in order, then OK, or Cancel when `cancel` is set.
struct PanelScript {
    std::vector<PanelAnswer> answers;
    bool cancel = false;
};

// One control as the panel showed it at a given moment. Self-contained: it
// stays readable after the panel is destroyed and the plug-in unloaded.
struct ControlSnapshot {
    uint32_t id = 0;
    std::string label;
    std::string kind;       // control kind: "integer", "iBoolean", "percent", "float", "angle", "iPopChoice", "vButton"
    bool is_button = false;
    bool holds_integer = false;  // the data table said "integer" (else "float"; buttons hold nothing)
    int32_t integer_value = 0;   // the stored value, when holds_integer
    double float_value = 0.0;    // the stored value, when !holds_integer
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

    // The control of this label (ignoring case), or null.
    const ControlSnapshot *find(std::string_view label) const;
};

// What became of the last posted panel.
struct PanelOutcome {
    bool opened = false;    // the panel was well formed and shown
    bool accepted = false;  // panel_post answered OK
    PanelSnapshot opening;  // as shown, before any answer (the plug-in's own values)
    PanelSnapshot closing;  // after the answers and button actions (what OK hands back)
    // Host errors about this panel (malformed tables or hint list) and refused
    // answers, one message each. Non-empty means panel_post answered Cancel.
    std::vector<std::string> errors;
};

class PanelService : public Current<PanelService> {
public:
    PanelService();
    ~PanelService();
    PanelService(const PanelService &) = delete;
    PanelService &operator=(const PanelService &) = delete;

    // The C record to hand out as "LWXPanel". Static; valid for the process.
    // Its functions act on the service made current on the calling thread by
    // a Scope; without one, panel_create gives null (no panel can be made)
    // and the other functions do nothing.
    static const sf_panel_service *table();

    // PanelService::Scope (from Current) makes a service the one that the
    // table's functions reach on this thread for the scope's lifetime; scopes
    // nest and restore the previous one.

    void set_script(PanelScript script);
    const PanelScript &script() const { return script_; }

    // Called with each error as it is recorded (e.g. to show it to the user).
    void set_error_sink(std::function<void(const std::string &)> sink);

    // The outcome of the last panel_post, or null when none was posted.
    const PanelOutcome *last_outcome() const { return last_outcome_.get(); }
    int post_count() const { return post_count_; }
    // Panels created and not yet destroyed.
    int open_panel_count() const;

    // Every error recorded since construction: contract misuse (a foreign or
    // destroyed handle, a value for an unknown control), malformed tables and
    // hint lists, refused answers.
    const std::vector<std::string> &errors() const { return errors_; }

    // Implementation; reached from the C functions of table().
    struct Panel;

private:
    friend struct PanelCalls;
    void record_error(std::string message);

    PanelScript script_;
    std::function<void(const std::string &)> error_sink_;
    std::vector<std::unique_ptr<Panel>> panels_;
    std::unique_ptr<PanelOutcome> last_outcome_;
    int post_count_ = 0;
    std::vector<std::string> errors_;
};

}  // namespace sowfield::host
