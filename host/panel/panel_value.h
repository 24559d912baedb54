// A control's value as a panel holds it, and the kinds of control a panel
// knows.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sowfield::host {

// The control kinds a panel knows, by their names in a control table.
enum class ControlKind { integer, boolean, percent, number, angle, popup, button };

// The kind named `name` ("integer", "iBoolean", "percent", "float", "angle",
// "iPopChoice", "vButton"), or nothing for another name.
std::optional<ControlKind> control_kind(std::string_view name);

// A 32-bit integer or a double, as the panel's data table says. The one value
// type of the panel service: what the plug-in reads with panel_get, what a
// snapshot shows and what a front end sets. Made from either kind of number,
// so that a list of values reads as the panel's settings would.
struct PanelValue {
    bool holds_integer = false;
    int32_t integer = 0;   // when holds_integer
    double number = 0.0;   // when !holds_integer

    PanelValue() = default;
    PanelValue(int32_t value) : holds_integer(true), integer(value) {}  // NOLINT(google-explicit-constructor)
    PanelValue(double value) : number(value) {}                        // NOLINT(google-explicit-constructor)

    bool operator==(const PanelValue &) const = default;
};

}  // namespace sowfield::host
