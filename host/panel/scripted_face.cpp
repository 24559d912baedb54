#include "host/panel/scripted_face.h"

#include <cstring>
#include <set>

namespace sowfield::host {

namespace {

bool same_bits(const PanelValue &a, const PanelValue &b) {
    return a.holds_integer ? a.integer == b.integer : std::memcmp(&a.number, &b.number, sizeof(double)) == 0;
}

}  // namespace

bool ScriptedFace::answer(OpenPanel &panel) {
    refusals_.clear();
    struct Change {
        uint32_t id;
        PanelValue before;
    };
    std::vector<Change> changes;
    for (const PanelAnswer &given : script_.answers) {
        if (given.kind == PanelAnswer::Kind::press) {
            if (std::string refused = panel.press(given.label); !refused.empty()) refusals_.push_back(std::move(refused));
            continue;
        }
        const PanelSnapshot before = panel.snapshot();
        const ControlSnapshot *control = before.find(given.label);
        if (std::string refused = panel.set(given.label, given.value); !refused.empty()) {
            refusals_.push_back(std::move(refused));
            continue;
        }
        changes.push_back({control->id, control->value});
    }
    const PanelSnapshot after = panel.snapshot();
    std::set<uint32_t> refused;
    for (const Change &change : changes) {
        for (const ControlSnapshot &control : after.controls) {
            if (control.id != change.id || control.enabled || refused.count(change.id) != 0) continue;
            if (same_bits(control.value, change.before)) continue;
            refused.insert(change.id);
            refusals_.push_back('"' + control.label + "\": " + control.disabled_message);
        }
    }
    return refusals_.empty() && !script_.cancel;
}

}  // namespace sowfield::host
