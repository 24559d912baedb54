// The options panel: two static tables describing its 31 controls, the hint
// list that lays them out, and the operations that move values between the
// panel and the parameter record.
#pragma once

#include <cstdint>
#include <vector>

#include "settings/params.h"
#include "sowfield_host.h"

namespace sowfield {

inline constexpr int kPanelControlCount = 31;

// 31 rows plus the end row each, in the panel's order.
extern const sf_panel_control panel_controls[kPanelControlCount + 1];
extern const sf_panel_control panel_data[kPanelControlCount + 1];

// The panel of the current run, or null.
extern sf_panel *options_panel;

// The hint list for a given pop-up list (which must outlive the panel).
std::vector<sf_hint_word> panel_hints(const char *const *weightmap_choices);

// Creates, fills and posts the panel. Non-zero when the user accepted it;
// 0 when cancelled or when no panel could be made.
int32_t show_options_panel(const params_typ &settings, const char *const *weightmap_choices);

void params_to_panel(const params_typ &settings);
void params_from_panel(params_typ &settings);

// Button actions, run by the panel service from within panel_post. They act on
// `options_panel` only, never on `params`.
void reset_values(sf_panel *panel, uint32_t control_id);
void zero_angles(sf_panel *panel, uint32_t control_id);
void show_about(sf_panel *panel, uint32_t control_id);

}  // namespace sowfield
