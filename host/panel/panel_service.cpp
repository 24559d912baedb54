#include "host/panel/panel_service.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <set>
#include <utility>

#include "host/common/text.h"
#include "host/panel/panel_hints.h"
#include "host/panel/panel_view.h"
#include "host/panel/raw_values_face.h"

namespace sowfield::host {

namespace {

// Far above any real panel; a table without its end row stops here.
constexpr std::size_t kMaxControls = 4096;

}  // namespace

struct PanelService::Panel {
    struct Control {
        uint32_t id = 0;
        std::string label;
        std::string kind_name;
        ControlKind kind = ControlKind::number;
        bool described = false;  // the data table gave it a value kind
        PanelValue value;
    };

    // Fixed at creation: panel_get hands out addresses into it.
    std::vector<Control> controls;
    bool described = false;
    bool hinted = false;
    PanelLayout layout;
    std::vector<std::string> errors;  // a malformed description; the panel will not open
    bool posting = false;

    const Control *control(uint32_t id) const {
        for (const Control &c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
    Control *control(uint32_t id) { return const_cast<Control *>(std::as_const(*this).control(id)); }
    Control *control_by_label(std::string_view label) {
        for (Control &c : controls)
            if (c.label == label) return &c;
        for (Control &c : controls)
            if (equal_ignoring_case(c.label, label)) return &c;
        return nullptr;
    }
    const std::vector<std::string> &choices(uint32_t id) const {
        static const std::vector<std::string> none;
        auto found = layout.string_lists.find(id);
        return found == layout.string_lists.end() ? none : found->second;
    }
    // The first rule that disables `id` in the current state, or null.
    const PanelLayout::EnableRule *disabling_rule(uint32_t id) const {
        for (const PanelLayout::EnableRule &rule : layout.rules) {
            if (std::find(rule.governed.begin(), rule.governed.end(), id) == rule.governed.end()) continue;
            const Control *controlling = control(rule.controlling);
            if (controlling == nullptr) continue;
            const PanelValue &v = controlling->value;
            if (v.holds_integer ? v.integer == 0 : v.number == 0.0) return &rule;
        }
        return nullptr;
    }
    std::string button_labels() const {
        std::string text;
        for (const Control &c : controls)
            if (c.kind == ControlKind::button) text += (text.empty() ? "" : ", ") + in_quotes(c.label);
        return text.empty() ? "none" : text;
    }
    std::string value_labels() const {
        std::string text;
        for (const Control &c : controls)
            if (c.kind != ControlKind::button) text += (text.empty() ? "" : ", ") + in_quotes(c.label);
        return text;
    }
};

// The panel being posted, as its face sees it.
class PostedPanel final : public RawPanel {
public:
    PostedPanel(sf_panel *handle, PanelService::Panel &panel) : handle_(handle), panel_(panel) {}
    virtual ~PostedPanel() = default;

    PanelSnapshot snapshot() const override;
    std::string set(std::string_view label, std::string_view display_text) override;
    std::string press(std::string_view button_label) override;
    bool set_value(std::string_view label, PanelValue value) override;

private:
    std::string unknown(std::string_view label) const {
        return "no control " + in_quotes(label) + " in the panel; its controls are " + panel_.value_labels() +
               ", and its buttons " + panel_.button_labels();
    }

    sf_panel *handle_;
    PanelService::Panel &panel_;
};

// The C side of the service: each function finds the current service, checks
// the handle, and keeps every exception on this side of the boundary.
struct PanelCalls {
    using Panel = PanelService::Panel;

    static Panel *checked(PanelService *service, sf_panel *handle, const char *call) {
        auto *panel = reinterpret_cast<Panel *>(handle);
        for (const auto &owned : service->panels_)
            if (owned.get() == panel) return panel;
        service->log_.record(std::string(call) + ": the panel handle was not made by this host or is destroyed");
        return nullptr;
    }

    static void fail_panel(PanelService *service, Panel *panel, std::string message) {
        panel->errors.push_back(message);
        service->log_.record(std::move(message));
    }

    template <class Body>
    static auto guarded(const char *call, Body body, decltype(body(nullptr)) fallback) noexcept {
        PanelService *service = PanelService::get();
        if (service == nullptr) return fallback;
        try {
            return body(service);
        } catch (const std::exception &failure) {
            try {
                service->log_.record(std::string(call) + ": " + failure.what());
            } catch (...) {
            }
        } catch (...) {
        }
        return fallback;
    }

    static sf_panel *create(int32_t kind, const sf_panel_control *table) {
        return guarded("panel_create", [&](PanelService *service) -> sf_panel * {
            if (kind != SF_PANEL_FORM) {
                service->log_.record("panel_create: panel kind " + std::to_string(kind) +
                                          " is not offered (only forms, kind 2)");
                return nullptr;
            }
            if (table == nullptr) {
                service->log_.record("panel_create: the control table is null");
                return nullptr;
            }
            auto panel = std::make_unique<Panel>();
            std::set<uint32_t> ids;
            for (std::size_t row = 0;; ++row) {
                if (row == kMaxControls) {
                    service->log_.record("panel_create: the control table has no end row within " +
                                              std::to_string(kMaxControls) + " rows");
                    return nullptr;
                }
                const sf_panel_control &entry = table[row];
                if (entry.id == 0) break;
                std::string where = "panel_create: control row " + std::to_string(row) + " (" + hex(entry.id) + ")";
                if (entry.label == nullptr || entry.kind == nullptr) {
                    service->log_.record(where + " has no label or no kind");
                    return nullptr;
                }
                const auto control_kind_found = control_kind(std::string(entry.kind, strnlen(entry.kind, 64)));
                if (!control_kind_found) {
                    service->log_.record(where + ": unknown control kind \"" + std::string(entry.kind, strnlen(entry.kind, 64)) + '"');
                    return nullptr;
                }
                if (!ids.insert(entry.id).second) {
                    service->log_.record(where + ": the id is used twice");
                    return nullptr;
                }
                Panel::Control control;
                control.id = entry.id;
                control.label.assign(entry.label, strnlen(entry.label, kMaxHintText));
                control.kind_name = entry.kind;
                control.kind = *control_kind_found;
                panel->controls.push_back(std::move(control));
            }
            service->panels_.push_back(std::move(panel));
            return reinterpret_cast<sf_panel *>(service->panels_.back().get());
        }, nullptr);
    }

    static void destroy(sf_panel *handle) {
        guarded("panel_destroy", [&](PanelService *service) {
            Panel *panel = checked(service, handle, "panel_destroy");
            if (panel == nullptr) return 0;
            if (panel->posting) {
                service->log_.record("panel_destroy: the panel is still open (called from a button action)");
                return 0;
            }
            std::erase_if(service->panels_, [panel](const std::unique_ptr<Panel> &p) { return p.get() == panel; });
            return 0;
        }, 0);
    }

    static void describe(sf_panel *handle, const sf_panel_control *data, void *get_value, void *set_value) {
        guarded("panel_describe", [&](PanelService *service) {
            Panel *panel = checked(service, handle, "panel_describe");
            if (panel == nullptr) return 0;
            if (get_value != nullptr || set_value != nullptr)
                fail_panel(service, panel, "panel_describe: a form takes no value callbacks");
            if (data == nullptr) {
                fail_panel(service, panel, "panel_describe: the data table is null");
                return 0;
            }
            for (std::size_t row = 0;; ++row) {
                if (row == kMaxControls) {
                    fail_panel(service, panel, "panel_describe: the data table has no end row");
                    return 0;
                }
                const sf_panel_control &entry = data[row];
                if (entry.id == 0) break;
                const std::string where = "panel_describe: data row " + std::to_string(row) + " (" + hex(entry.id) + ")";
                Panel::Control *control = panel->control(entry.id);
                if (control == nullptr) {
                    fail_panel(service, panel, where + " is no control of the panel");
                    return 0;
                }
                const std::string kind = entry.kind ? std::string(entry.kind, strnlen(entry.kind, 64)) : std::string();
                const bool button = control->kind == ControlKind::button;
                const bool whole = control->kind == ControlKind::boolean || control->kind == ControlKind::popup;
                const bool fits = button ? kind == "vButton"
                                         : kind == "integer" || (kind == "float" && !whole);
                if (!fits) {
                    fail_panel(service, panel, where + ": a \"" + control->kind_name + "\" control cannot hold \"" +
                                                   kind + "\" data");
                    return 0;
                }
                control->described = true;
                control->value = kind == "integer" ? PanelValue(int32_t{0}) : PanelValue(0.0);
            }
            for (const Panel::Control &control : panel->controls)
                if (!control.described && control.kind != ControlKind::button)
                    fail_panel(service, panel,
                               "panel_describe: control " + in_quotes(control.label) + " has no row in the data table");
            panel->described = true;
            return 0;
        }, 0);
    }

    static void hint(sf_panel *handle, uint32_t control_id, const sf_hint_word *hints) {
        guarded("panel_hint", [&](PanelService *service) {
            Panel *panel = checked(service, handle, "panel_hint");
            if (panel == nullptr) return 0;
            if (control_id != 0) {
                fail_panel(service, panel, "panel_hint: hints are taken for the whole panel (id 0) only, not for " +
                                               hex(control_id));
                return 0;
            }
            if (hints == nullptr) {
                fail_panel(service, panel, "panel_hint: the hint list is null");
                return 0;
            }
            std::vector<HintControl> controls;
            for (const Panel::Control &c : panel->controls)
                controls.push_back({c.id, c.kind == ControlKind::button, c.kind == ControlKind::popup});
            // The list carries no length; the reader stops at its final 0
            // word or at the first malformed hint, and never beyond the bound.
            const std::string error = read_hint_list({hints, kMaxHintWords}, controls, panel->layout);
            if (!error.empty()) fail_panel(service, panel, "panel_hint: malformed hint list: " + error);
            panel->hinted = true;
            return 0;
        }, 0);
    }

    static const void *get(sf_panel *handle, uint32_t control_id) {
        return guarded("panel_get", [&](PanelService *service) -> const void * {
            Panel *panel = checked(service, handle, "panel_get");
            if (panel == nullptr) return nullptr;
            Panel::Control *control = panel->control(control_id);
            if (control == nullptr) {
                service->log_.record("panel_get: " + hex(control_id) + " is no control of the panel");
                return nullptr;
            }
            if (control->kind == ControlKind::button || !control->described) return nullptr;
            if (control->value.holds_integer) return &control->value.integer;
            return &control->value.number;
        }, nullptr);
    }

    static void set(sf_panel *handle, uint32_t control_id, const void *value) {
        guarded("panel_set", [&](PanelService *service) {
            Panel *panel = checked(service, handle, "panel_set");
            if (panel == nullptr) return 0;
            Panel::Control *control = panel->control(control_id);
            std::string problem;
            if (control == nullptr)
                problem = hex(control_id) + " is no control of the panel";
            else if (control->kind == ControlKind::button)
                problem = in_quotes(control->label) + " is a button and holds no value";
            else if (!control->described)
                problem = in_quotes(control->label) + " has no value kind yet (panel_describe first)";
            else if (value == nullptr)
                problem = "the value for " + in_quotes(control->label) + " is null";
            if (!problem.empty()) {
                service->log_.record("panel_set: " + problem);
                return 0;
            }
            if (control->value.holds_integer)
                std::memcpy(&control->value.integer, value, sizeof(int32_t));
            else
                std::memcpy(&control->value.number, value, sizeof(double));
            return 0;
        }, 0);
    }

    static int32_t post(sf_panel *handle) {
        return guarded("panel_post", [&](PanelService *service) -> int32_t {
            Panel *panel = checked(service, handle, "panel_post");
            if (panel == nullptr) return 0;
            ++service->post_count_;
            service->last_outcome_ = std::make_unique<PanelOutcome>();
            PanelOutcome &outcome = *service->last_outcome_;
            if (!panel->described) fail_panel(service, panel, "panel_post: the panel was never described");
            // A hint list cut short by an error leaves pop-ups without lists;
            // that error is the one to report.
            const bool hints_read = panel->errors.empty();
            for (const Panel::Control &control : panel->controls)
                if (hints_read && control.kind == ControlKind::popup &&
                    panel->layout.string_lists.count(control.id) == 0)
                    fail_panel(service, panel, "panel_post: pop-up " + in_quotes(control.label) + " has no string list");
            if (!panel->errors.empty()) {
                // Already recorded (and shown) when found.
                outcome.errors = panel->errors;
                outcome.errors.push_back("the panel was not shown: its description is malformed");
                return 0;
            }
            outcome.opened = true;
            outcome.opening = snapshot(*panel);
            PostedPanel posted(handle, *panel);
            panel->posting = true;
            struct Closing {
                Panel &panel;
                ~Closing() { panel.posting = false; }
            } closing{*panel};
            outcome.accepted = service->face_ == nullptr || service->face_->answer(posted);
            outcome.closing = snapshot(*panel);
            return outcome.accepted ? 1 : 0;
        }, 0);
    }

    static PanelSnapshot snapshot(const Panel &panel) {
        PanelSnapshot shot;
        shot.title = panel.layout.title.value_or(std::string());
        std::set<uint32_t> dividers(panel.layout.dividers_after.begin(), panel.layout.dividers_after.end());
        for (const Panel::Control &control : panel.controls) {
            ControlSnapshot c;
            c.id = control.id;
            c.label = control.label;
            c.kind = control.kind_name;
            c.is_button = control.kind == ControlKind::button;
            c.value = control.value;
            c.choices = panel.choices(control.id);
            if (!c.is_button) c.display = display_value(control.kind, control.value, c.choices);
            if (const PanelLayout::EnableRule *rule = panel.disabling_rule(control.id)) {
                c.enabled = false;
                const Panel::Control *by = panel.control(rule->controlling);
                c.disabled_by = by ? by->label : hex(rule->controlling);
                c.disabled_message = rule->message;
            }
            c.divider_after = dividers.count(control.id) != 0;
            shot.controls.push_back(std::move(c));
        }
        const auto index_of = [&](uint32_t id) {
            for (std::size_t i = 0; i < panel.controls.size(); ++i)
                if (panel.controls[i].id == id) return i;
            return panel.controls.size();
        };
        const auto group_snapshot = [&](const PanelLayout::Group &group, bool is_tab) {
            GroupSnapshot g;
            auto label = panel.layout.labels.find(group.id);
            g.label = label != panel.layout.labels.end() ? label->second : hex(group.id);
            g.is_tab = is_tab;
            for (uint32_t member : group.members) g.controls.push_back(index_of(member));
            return g;
        };
        std::set<uint32_t> tabbed;
        for (const PanelLayout::TabSet &tabs : panel.layout.tab_sets)
            for (uint32_t id : tabs.groups)
                for (const PanelLayout::Group &group : panel.layout.groups)
                    if (group.id == id) {
                        shot.groups.push_back(group_snapshot(group, true));
                        tabbed.insert(id);
                    }
        std::set<uint32_t> grouped;
        for (const PanelLayout::Group &group : panel.layout.groups) {
            grouped.insert(group.members.begin(), group.members.end());
            if (tabbed.count(group.id) == 0) shot.groups.push_back(group_snapshot(group, false));
        }
        for (std::size_t i = 0; i < panel.controls.size(); ++i)
            if (grouped.count(panel.controls[i].id) == 0) shot.outside.push_back(i);
        return shot;
    }
};

PanelSnapshot PostedPanel::snapshot() const { return PanelCalls::snapshot(panel_); }

std::string PostedPanel::set(std::string_view label, std::string_view display_text) {
    PanelService::Panel::Control *control = panel_.control_by_label(label);
    if (control == nullptr) return unknown(label);
    PanelValue value = control->value;
    const std::string problem =
        parse_display_value(control->kind, display_text, panel_.choices(control->id), value);
    if (!problem.empty()) return in_quotes(control->label) + " " + problem + ", not " + in_quotes(display_text);
    control->value = value;
    return {};
}

std::string PostedPanel::press(std::string_view button_label) {
    PanelService::Panel::Control *control = panel_.control_by_label(button_label);
    if (control == nullptr) return unknown(button_label);
    if (control->kind != ControlKind::button)
        return in_quotes(control->label) + " is not a button; the buttons are " + panel_.button_labels();
    if (const PanelLayout::EnableRule *rule = panel_.disabling_rule(control->id))
        return in_quotes(control->label) + ": " + rule->message;
    auto action = panel_.layout.actions.find(control->id);
    if (action != panel_.layout.actions.end()) action->second(handle_, control->id);
    return {};
}

bool PostedPanel::set_value(std::string_view label, PanelValue value) {
    for (PanelService::Panel::Control &control : panel_.controls) {
        if (control.label != label) continue;
        if (control.kind == ControlKind::button || !control.described ||
            control.value.holds_integer != value.holds_integer)
            return false;
        control.value = value;
        return true;
    }
    return false;
}

namespace {

const sf_panel_service kTable = {
    PanelCalls::create, PanelCalls::destroy, PanelCalls::describe, PanelCalls::hint,
    PanelCalls::get,    PanelCalls::set,     PanelCalls::post,
};

}  // namespace

PanelService::PanelService(ContractLog &log) : log_(log) {}
PanelService::~PanelService() = default;

const sf_panel_service *PanelService::table() { return &kTable; }

int PanelService::open_panel_count() const { return static_cast<int>(panels_.size()); }

void PanelService::reset() {
    last_outcome_.reset();
    post_count_ = 0;
}

}  // namespace sowfield::host
