// A face that answers every posted panel from a script given before the run:
// the tool's --set, --press and settings files, and tests.
//
// Values are display texts: "percent" controls take percent ("25" or "25%"),
// "angle" controls take degrees, "iBoolean" controls on/off/true/false/yes/
// no/1/0, "iPopChoice" controls an entry of their list (exact case first,
// then any case), "none", or an index into the list, "integer" a whole number
// in the 32-bit range, "float" a number. A value from a JSON settings file is
// passed as the number's literal text, "true"/"false", or the string's
// content. Labels are matched ignoring case.
#pragma once

#include <string>
#include <vector>

#include "host/panel/panel_face.h"

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

// The answers in order, then OK, or Cancel when `cancel` is set.
struct PanelScript {
    std::vector<PanelAnswer> answers;
    bool cancel = false;
};

class ScriptedFace : public PanelFace {
public:
    explicit ScriptedFace(PanelScript script) : script_(std::move(script)) {}

    // Gives every answer; a refused one is noted and the rest still given.
    // Once all are in, a value changed on a control that the result disables
    // is refused too (so the answers' order does not decide it). OK only when
    // nothing was refused and the script does not cancel.
    bool answer(OpenPanel &panel) override;

    // The answers refused at the last panel, one message each.
    const std::vector<std::string> &refusals() const { return refusals_; }

private:
    PanelScript script_;
    std::vector<std::string> refusals_;
};

}  // namespace sowfield::host
