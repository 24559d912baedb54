#include "host/panel/basic_panel.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace sowfield::host {

// ------------------------------------------------------------- PanelValues

const PanelValues::Control *PanelValues::find(uint32_t id) const {
    for (const Control &control : controls_)
        if (control.id == id) return &control;
    return nullptr;
}

PanelValues::Control *PanelValues::find(uint32_t id) {
    for (Control &control : controls_)
        if (control.id == id) return &control;
    return nullptr;
}

const PanelValues::Control *PanelValues::find(std::string_view label) const {
    for (const Control &control : controls_)
        if (control.label == label) return &control;
    return nullptr;
}

std::optional<PanelValue> PanelValues::get(std::string_view label) const {
    const Control *control = find(label);
    if (control == nullptr) return {};
    return control->value;
}

bool PanelValues::set(std::string_view label, PanelValue value) {
    for (Control &control : controls_) {
        if (control.label != label) continue;
        if (!control.value || control.value->index() != value.index()) return false;
        control.value = value;
        return true;
    }
    return false;
}

// ------------------------------------------------------------- the service

struct BasicPanelService::Panel {
    PanelValues values;
};

namespace {

// Far above any real panel; a table without its end row stops here.
constexpr size_t kMaxRows = 4096;

std::string hex(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
    return text;
}

}  // namespace

struct BasicPanelCalls {
    using Panel = BasicPanelService::Panel;

    static void misuse(BasicPanelService &service, std::string what) {
        if (service.log_ != nullptr) service.log_->record(std::move(what));
    }

    // The panel behind a handle of the current service, or null (recorded).
    static Panel *find(sf_panel *handle, const char *operation, BasicPanelService *&service) {
        service = BasicPanelService::get();
        if (service == nullptr) return nullptr;
        for (const auto &panel : service->panels_)
            if (reinterpret_cast<sf_panel *>(panel.get()) == handle) return panel.get();
        misuse(*service, std::string(operation) + ": a panel this host did not create, or destroyed already");
        return nullptr;
    }

    static sf_panel *create(int32_t kind, const sf_panel_control *controls) {
        BasicPanelService *service = BasicPanelService::get();
        if (service == nullptr) return nullptr;
        if (kind != SF_PANEL_FORM || controls == nullptr) {
            misuse(*service, "panel_create: kind " + std::to_string(kind) + (controls ? "" : " without a control table"));
            return nullptr;
        }
        try {
            auto panel = std::make_unique<Panel>();
            for (size_t row = 0; row < kMaxRows && controls[row].id != 0; ++row)
                panel->values.rows().push_back({controls[row].id, controls[row].label ? controls[row].label : "",
                                                controls[row].kind ? controls[row].kind : "", {}});
            ++service->created_;
            service->panels_.push_back(std::move(panel));
            return reinterpret_cast<sf_panel *>(service->panels_.back().get());
        } catch (...) {
            return nullptr;
        }
    }

    static void destroy(sf_panel *handle) {
        BasicPanelService *service = nullptr;
        Panel *panel = find(handle, "panel_destroy", service);
        if (panel == nullptr) return;
        auto &list = service->panels_;
        list.erase(std::find_if(list.begin(), list.end(), [&](const auto &p) { return p.get() == panel; }));
        ++service->destroyed_;
    }

    static void describe(sf_panel *handle, const sf_panel_control *data, void *, void *) {
        BasicPanelService *service = nullptr;
        Panel *panel = find(handle, "panel_describe", service);
        if (panel == nullptr) return;
        if (data == nullptr) {
            misuse(*service, "panel_describe: no data table");
            return;
        }
        for (size_t row = 0; row < kMaxRows && data[row].id != 0; ++row) {
            PanelValues::Control *control = panel->values.find(data[row].id);
            const std::string kind = data[row].kind ? data[row].kind : "";
            if (control == nullptr) {
                misuse(*service, "panel_describe: control " + hex(data[row].id) + " is not in the control table");
            } else if (kind == "integer") {
                control->value = int32_t{0};
            } else if (kind == "float") {
                control->value = 0.0;
            } else if (kind != "vButton") {
                misuse(*service, "panel_describe: unknown data kind \"" + kind + "\" for control " + hex(data[row].id));
            }
        }
    }

    static void hint(sf_panel *handle, uint32_t, const sf_hint_word *) {
        BasicPanelService *service = nullptr;
        find(handle, "panel_hint", service);  // the layout is not drawn; only the handle is checked
    }

    static const void *get(sf_panel *handle, uint32_t id) {
        BasicPanelService *service = nullptr;
        Panel *panel = find(handle, "panel_get", service);
        if (panel == nullptr) return nullptr;
        PanelValues::Control *control = panel->values.find(id);
        if (control == nullptr) {
            misuse(*service, "panel_get: unknown control " + hex(id));
            return nullptr;
        }
        if (!control->value) return nullptr;
        if (auto *integer = std::get_if<int32_t>(&*control->value)) return integer;
        return std::get_if<double>(&*control->value);
    }

    static void set(sf_panel *handle, uint32_t id, const void *value) {
        BasicPanelService *service = nullptr;
        Panel *panel = find(handle, "panel_set", service);
        if (panel == nullptr) return;
        PanelValues::Control *control = panel->values.find(id);
        if (control == nullptr || !control->value || value == nullptr) {
            misuse(*service, "panel_set: control " + hex(id) +
                                 (control == nullptr ? " is unknown" : value ? " holds no value" : " given no value"));
            return;
        }
        if (std::holds_alternative<int32_t>(*control->value))
            control->value = *static_cast<const int32_t *>(value);
        else
            control->value = *static_cast<const double *>(value);
    }

    static int32_t post(sf_panel *handle) {
        BasicPanelService *service = nullptr;
        Panel *panel = find(handle, "panel_post", service);
        if (panel == nullptr) return 0;
        try {
            BasicPanelService::Post record;
            record.opening = panel->values;
            record.accepted = service->hook_ ? service->hook_(panel->values) : true;
            record.closing = panel->values;
            const bool accepted = record.accepted;
            service->posts_.push_back(std::move(record));
            return accepted ? 1 : 0;
        } catch (...) {
            return 0;  // a hook that fails cancels the panel
        }
    }
};

namespace {
const sf_panel_service kTable = {BasicPanelCalls::create, BasicPanelCalls::destroy, BasicPanelCalls::describe,
                                 BasicPanelCalls::hint,   BasicPanelCalls::get,     BasicPanelCalls::set,
                                 BasicPanelCalls::post};
}  // namespace

BasicPanelService::BasicPanelService(ContractLog *log) : log_(log) {}

BasicPanelService::~BasicPanelService() = default;

const sf_panel_service *BasicPanelService::table() { return &kTable; }

}  // namespace sowfield::host
