#include "host/panel/panel_view.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "host/common/text.h"

namespace sowfield::host {

namespace {

bool strip_suffix(std::string_view &text, std::string_view suffix) {
    if (text.size() < suffix.size() || !equal_ignoring_case(text.substr(text.size() - suffix.size()), suffix))
        return false;
    text.remove_suffix(suffix.size());
    text = trim(text);
    return true;
}

// A whole decimal number; a leading '+' is allowed, nothing may follow.
bool read_whole(std::string_view text, int64_t &value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == ' ') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// A finite decimal number (fixed or scientific).
bool read_number(std::string_view text, double &value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == ' ') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// The shortest text that reads back as exactly `value`.
std::string shortest(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

bool same_bits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// A decimal text moved by `places` powers of ten, exactly: the exponent of
// the text changes, so the result is the double nearest the moved decimal
// (no rounding of a division on top of the rounding of the reading).
bool read_shifted(std::string_view text, int places, double &value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == ' ') return false;
    // Only the form is checked here: the text itself may lie beyond the range
    // of a double while the moved one does not.
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if ((error != std::errc() && error != std::errc::result_out_of_range) || end != text.data() + text.size())
        return false;
    std::string moved(text);
    long exponent = 0;
    const std::size_t e = moved.find_first_of("eE");
    if (e != std::string::npos) {
        const auto [exponent_end, exponent_error] = std::from_chars(
            moved.data() + e + 1 + (moved[e + 1] == '+'), moved.data() + moved.size(), exponent);
        if (exponent_error != std::errc() || exponent_end != moved.data() + moved.size()) return false;
        moved.resize(e);
    }
    moved += 'e' + std::to_string(exponent + places);
    return read_number(moved, value);
}

// `value` times 10^places as the shortest decimal text that reads back, moved
// by `places`, as `value`: shortest digits in, shortest digits out.
std::string shifted_text(double value, int places) {
    char scientific[64];
    const auto result = std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific);
    const std::string_view text(scientific, static_cast<std::size_t>(result.ptr - scientific));
    const std::size_t e = text.find('e');
    bool negative = false;
    std::string digits;
    for (const char c : text.substr(0, e)) {
        if (c == '-') negative = true;
        else if (c != '.') digits += c;
    }
    const std::string sign(negative ? 1 : 0, '-');
    int exponent = 0;
    const std::string_view exponent_text = text.substr(e + 1 + (text[e + 1] == '+'));
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);
    if (digits == "0") return sign + "0";
    exponent += places;
    const int before_point = exponent + 1;  // digits before the decimal point
    const int count = static_cast<int>(digits.size());
    if (exponent < -6 || exponent > 20) {
        std::string out = sign + digits.substr(0, 1);
        if (count > 1) out += '.' + digits.substr(1);
        return out + 'e' + std::to_string(exponent);
    }
    if (before_point <= 0) return sign + "0." + std::string(static_cast<std::size_t>(-before_point), '0') + digits;
    if (before_point >= count) return sign + digits + std::string(static_cast<std::size_t>(before_point - count), '0');
    return sign + digits.substr(0, static_cast<std::size_t>(before_point)) + '.' +
           digits.substr(static_cast<std::size_t>(before_point));
}

double degrees_to_stored(double degrees) { return degrees * std::numbers::pi / 180.0; }

// The display value whose conversion gives back `stored` exactly, shortest
// text first. Converting the stored value out (x * 100, x * 180 / pi) may land
// an ulp or two away from the number that converts back, so nearby doubles are
// tried too; when none converts back exactly the nearest text is returned.
template <class ToStored>
std::string exact_display(double stored, double approximate, ToStored to_stored) {
    if (!std::isfinite(approximate)) return shortest(approximate);
    std::string best;
    const auto consider = [&](double candidate) {
        if (!std::isfinite(candidate) || !same_bits(to_stored(candidate), stored)) return;
        std::string text = shortest(candidate);
        if (best.empty() || text.size() < best.size()) best = std::move(text);
    };
    consider(approximate);
    double up = approximate;
    double down = approximate;
    for (int step = 0; step < 16; ++step) {
        up = std::nextafter(up, std::numeric_limits<double>::infinity());
        down = std::nextafter(down, -std::numeric_limits<double>::infinity());
        consider(up);
        consider(down);
    }
    return best.empty() ? shortest(approximate) : best;
}

std::string quoted_list(const std::vector<std::string> &choices) {
    std::string text;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
        text += '"' + choices[i] + '"';
    }
    return text;
}

// Stores a converted number in the control's storage; integer storage takes
// only whole numbers in range.
std::string store_number(double converted, PanelValue &value) {
    if (!value.holds_integer) {
        value.number = converted;
        return {};
    }
    if (converted != std::trunc(converted) || converted < std::numeric_limits<int32_t>::min() ||
        converted > std::numeric_limits<int32_t>::max())
        return "this control holds whole numbers from -2147483648 to 2147483647";
    value.integer = static_cast<int32_t>(converted);
    return {};
}

std::string store_choice(int32_t index, PanelValue &value) {
    if (value.holds_integer)
        value.integer = index;
    else
        value.number = index;
    return {};
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

double as_double(const PanelValue &value) { return value.holds_integer ? value.integer : value.number; }


// What a controlling control holds when it disables others, as the user sees it.
std::string off_state(const ControlSnapshot &control) {
    const auto kind = control_kind(control.kind);
    if (kind == ControlKind::boolean) return "off";
    if (kind == ControlKind::popup && !control.choices.empty()) return '"' + control.choices.front() + '"';
    return "0";
}

std::string unit_of(ControlKind kind) {
    switch (kind) {
    case ControlKind::percent: return " %";
    case ControlKind::angle: return " deg";
    default: return {};
    }
}

}  // namespace

std::optional<ControlKind> control_kind(std::string_view name) {
    if (name == "integer") return ControlKind::integer;
    if (name == "iBoolean") return ControlKind::boolean;
    if (name == "percent") return ControlKind::percent;
    if (name == "float") return ControlKind::number;
    if (name == "angle") return ControlKind::angle;
    if (name == "iPopChoice") return ControlKind::popup;
    if (name == "vButton") return ControlKind::button;
    return std::nullopt;
}

std::string parse_display_value(ControlKind kind, std::string_view raw, const std::vector<std::string> &choices,
                                PanelValue &value) {
    std::string_view text = trim(raw);
    double number = 0.0;
    switch (kind) {
    case ControlKind::integer: {
        int64_t whole = 0;
        if (!read_whole(text, whole) || whole < std::numeric_limits<int32_t>::min() ||
            whole > std::numeric_limits<int32_t>::max())
            return "takes a whole number from -2147483648 to 2147483647";
        return store_number(static_cast<double>(whole), value);
    }
    case ControlKind::boolean:
        for (const char *on : {"on", "true", "yes", "1"})
            if (equal_ignoring_case(text, on)) return store_choice(1, value);
        for (const char *off : {"off", "false", "no", "0"})
            if (equal_ignoring_case(text, off)) return store_choice(0, value);
        return "takes on/off, true/false, yes/no or 1/0";
    case ControlKind::percent:
        strip_suffix(text, "%");
        if (!read_shifted(text, -2, number)) return "takes a percentage, such as 25 or 25%";
        return store_number(number, value);
    case ControlKind::angle:
        if (!strip_suffix(text, "\xC2\xB0")) strip_suffix(text, "deg");
        if (!read_number(text, number)) return "takes an angle in degrees, such as 10 or -22.5";
        return store_number(degrees_to_stored(number), value);
    case ControlKind::number:
        if (!read_number(text, number)) return "takes a number, such as 0.1 or 2";
        return store_number(number, value);
    case ControlKind::popup: {
        if (choices.empty()) return "has no entries to choose from";
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (choices[i] == text) return store_choice(static_cast<int32_t>(i), value);
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (equal_ignoring_case(choices[i], text)) return store_choice(static_cast<int32_t>(i), value);
        if (equal_ignoring_case(text, "none")) return store_choice(0, value);
        int64_t index = 0;
        if (read_whole(text, index) && index >= 0 && index < static_cast<int64_t>(choices.size()))
            return store_choice(static_cast<int32_t>(index), value);
        return "takes one of " + quoted_list(choices) + ", or an index from 0 to " +
               std::to_string(choices.size() - 1);
    }
    case ControlKind::button: return "is a button: it can be pressed, not set";
    }
    return "has an unknown kind";
}

std::string display_value(ControlKind kind, const PanelValue &value, const std::vector<std::string> &choices) {
    const double number = as_double(value);
    switch (kind) {
    case ControlKind::integer:
        return value.holds_integer ? std::to_string(value.integer) : shortest(value.number);
    case ControlKind::boolean:
        if (number == 0) return "off";
        if (number == 1) return "on";
        return value.holds_integer ? std::to_string(value.integer) : shortest(value.number);
    case ControlKind::percent:
        if (!std::isfinite(number)) return shortest(number);
        return shifted_text(number, 2);
    case ControlKind::angle:
        if (value.holds_integer) return shortest(number * 180.0 / std::numbers::pi);
        return exact_display(number, number * 180.0 / std::numbers::pi, degrees_to_stored);
    case ControlKind::number: return shortest(number);
    case ControlKind::popup:
        if (value.holds_integer && value.integer >= 0 && static_cast<std::size_t>(value.integer) < choices.size())
            return choices[static_cast<std::size_t>(value.integer)];
        return value.holds_integer ? std::to_string(value.integer) : shortest(value.number);
    case ControlKind::button: return {};
    }
    return {};
}

std::string render_panel(const PanelSnapshot &panel) {
    std::size_t width = 0;
    for (const ControlSnapshot &control : panel.controls) width = std::max(width, control.label.size());
    width += 2;

    std::string out;
    const std::string title = panel.title.empty() ? std::string("(untitled panel)") : panel.title;
    out += title + '\n' + std::string(title.size(), '=') + '\n';

    const auto line_of = [&](const ControlSnapshot &control) {
        std::string line = "  ";
        if (control.is_button) {
            line += '[' + control.label + ']';
        } else {
            const auto kind = control_kind(control.kind).value_or(ControlKind::number);
            line += control.label + std::string(width - control.label.size(), ' ') + control.display;
            if (kind == ControlKind::popup) {
                const PanelValue value = control.value;
                const bool listed = value.holds_integer && value.integer >= 0 &&
                                    static_cast<std::size_t>(value.integer) < control.choices.size();
                if (!listed)
                    line += " (beyond the list of " + std::to_string(control.choices.size()) + " entries)";
                std::string entries;
                for (const std::string &choice : control.choices) entries += (entries.empty() ? "" : " | ") + choice;
                line += "    [" + entries + ']';
            } else {
                line += unit_of(kind);
            }
        }
        if (!control.enabled) {
            const ControlSnapshot *by = panel.find(control.disabled_by);
            line += "    (disabled while \"" + control.disabled_by + "\" is " + (by ? off_state(*by) : "0") +
                    ": " + control.disabled_message + ')';
        }
        out += line + '\n';
        if (control.divider_after) out += "  " + std::string(width + 12, '-') + '\n';
    };

    if (!panel.outside.empty()) {
        out += '\n';
        for (std::size_t index : panel.outside) line_of(panel.controls[index]);
    }
    for (const GroupSnapshot &group : panel.groups) {
        out += '\n' + (group.is_tab ? "Tab \"" + group.label + '"' : "Group \"" + group.label + '"') + '\n';
        for (std::size_t index : group.controls) line_of(panel.controls[index]);
    }
    return out;
}

std::vector<PanelAnswer> settings_answers(const PanelSnapshot &panel) {
    std::vector<PanelAnswer> answers;
    for (const ControlSnapshot &control : panel.controls)
        if (!control.is_button) answers.push_back(PanelAnswer::set(control.label, control.display));
    return answers;
}

std::string settings_json(const PanelSnapshot &panel) {
    std::string out = "{";
    bool first = true;
    for (const ControlSnapshot &control : panel.controls) {
        if (control.is_button) continue;
        out += first ? "\n  " : ",\n  ";
        first = false;
        out += json_string(control.label) + ": ";
        const PanelValue value = control.value;
        const double number = as_double(value);
        switch (control_kind(control.kind).value_or(ControlKind::number)) {
        case ControlKind::boolean:
            out += number == 0 ? "false" : number == 1 ? "true" : control.display;
            break;
        case ControlKind::popup: {
            const bool listed = value.holds_integer && value.integer >= 0 &&
                                static_cast<std::size_t>(value.integer) < control.choices.size();
            out += listed ? json_string(control.display) : control.display;
            break;
        }
        default:
            // JSON has no text for infinities or NaN; no answer can set them.
            out += std::isfinite(number) ? control.display : "null";
        }
    }
    return out + "\n}\n";
}

const ControlSnapshot *PanelSnapshot::find(std::string_view label) const {
    for (const ControlSnapshot &control : controls)
        if (control.label == label) return &control;
    for (const ControlSnapshot &control : controls)
        if (equal_ignoring_case(control.label, label)) return &control;
    return nullptr;
}

}  // namespace sowfield::host
