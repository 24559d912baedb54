// A minimal "LWXPanel": it keeps each control's value by the data table's
// kind (int32_t for "integer", double for "float"), reads no hints, draws
// nothing, and accepts every panel unless a hook says otherwise. The host
// uses it when it is given no other panel service; tests use its hook to act
// as the user (change values, cancel) and its record of what was shown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/services/contract_log.h"
#include "host/services/current.h"
#include "sowfield_host.h"

namespace sowfield::host {

using PanelValue = std::variant<int32_t, double>;

// The controls of one panel and their values, in the control table's order.
class PanelValues {
public:
    struct Control {
        uint32_t id = 0;
        std::string label;
        std::string kind;                // control kind from the control table
        std::optional<PanelValue> value;  // none for buttons and before describe
    };

    const std::vector<Control> &controls() const { return controls_; }
    const Control *find(uint32_t id) const;
    const Control *find(std::string_view label) const;  // exact label
    Control *find(uint32_t id);

    // The value of the control of this label, or none.
    std::optional<PanelValue> get(std::string_view label) const;
    // Sets the value of the control of this label. False (and nothing
    // changed) when there is no such control or it holds the other kind.
    bool set(std::string_view label, PanelValue value);

    std::vector<Control> &rows() { return controls_; }

private:
    std::vector<Control> controls_;
};

class BasicPanelService : public Current<BasicPanelService> {
public:
    // Misuse (a foreign or destroyed panel handle, a value for an unknown
    // control or of the wrong kind) is recorded in `log` when given.
    explicit BasicPanelService(ContractLog *log = nullptr);
    ~BasicPanelService();
    BasicPanelService(const BasicPanelService &) = delete;
    BasicPanelService &operator=(const BasicPanelService &) = delete;

    // The C record to hand out; panel_create reaches the current instance
    // and gives null outside a Scope.
    static const sf_panel_service *table();

    // Runs inside panel_post with the posted panel's values, as the user
    // would act on them; returning false cancels the panel.
    using PostHook = std::function<bool(PanelValues &)>;
    void set_post_hook(PostHook hook) { hook_ = std::move(hook); }

    struct Post {
        PanelValues opening;  // as the plug-in set them before posting
        PanelValues closing;  // after the hook
        bool accepted = false;
    };
    // Every panel_post since construction, in order.
    const std::vector<Post> &posts() const { return posts_; }

    int created() const { return created_; }
    int destroyed() const { return destroyed_; }
    int open_count() const { return static_cast<int>(panels_.size()); }

    struct Panel;  // implementation; reached from the C functions

private:
    friend struct BasicPanelCalls;

    ContractLog *log_;
    PostHook hook_;
    std::vector<Post> posts_;
    std::vector<std::unique_ptr<Panel>> panels_;
    int created_ = 0;
    int destroyed_ = 0;
};

}  // namespace sowfield::host
