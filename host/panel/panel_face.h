// The contract between the panel service and its front ends: the service
// posts a panel, a face answers it as a user would.
#pragma once

#include <string>
#include <string_view>

#include "host/panel/panel_snapshot.h"

namespace sowfield::host {

// The posted panel as a front end sees it; valid only during PanelFace::answer,
// and only on the thread that called answer (the run's thread).
class OpenPanel {
public:
    virtual PanelSnapshot snapshot() const = 0;                 // title, tabs, controls, values, rules
    // Sets a control from display text (percent, degrees, on/off, a pop-up entry);
    // returns an error message, or an empty string when accepted.
    virtual std::string set(std::string_view label, std::string_view display_text) = 0;
    virtual std::string press(std::string_view button_label) = 0;  // runs the button's action
protected:
    ~OpenPanel() = default;
};

// A front end of the one panel service: a script, a test, a browser page.
class PanelFace {
public:
    virtual ~PanelFace() = default;
    // Called inside panel_post on the run's thread; true answers OK, false Cancel.
    virtual bool answer(OpenPanel &panel) = 0;
};

}  // namespace sowfield::host
