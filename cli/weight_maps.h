// The scene's weight maps as the tool's user names them: the pop-up settings
// that choose one, and --weight-range, which turns a painted 0..1 mask into
// the weights the run expects.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/panel/scripted_face.h"
#include "host/scene/scene.h"

namespace sowfield::cli {

// The names of the scene's weight maps, each once, in the order the panel's
// pop-ups list them (layer by layer, map by map).
std::vector<std::string> weight_map_names(const host::Scene &scene);

// The weight map `name` stands for: the exact name when there is one, else
// the one name equal ignoring case. Empty, with `error` set, when there is
// none or several.
std::string find_weight_map(const std::vector<std::string> &names, std::string_view name, std::string &error);

// Rewrites the values of the answers that choose a weight map ("none" and
// entry numbers pass as they are) to the map's exact name. Returns an
// error message naming the setting and the scene's weight maps, or saying
// how to bring one; empty when every answer names a map.
std::string resolve_weight_map_answers(const host::Scene &scene, std::vector<host::PanelAnswer> &answers);

// --weight-range NAME=LO:HI: a weight map's values v become LO + v * (HI - LO).
struct WeightRange {
    std::string map;
    float low = 0.0f;
    float high = 1.0f;
};

// Reads "NAME=LO:HI"; throws SettingsError saying what is expected.
WeightRange parse_weight_range(std::string_view argument);

// Remaps the named map's values in every layer that has it. Returns an error
// message when the scene has no such weight map; empty otherwise.
std::string apply_weight_range(host::Scene &scene, const WeightRange &range);

}  // namespace sowfield::cli
