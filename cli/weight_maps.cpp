#include "cli/weight_maps.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "cli/setting_names.h"
#include "host/common/text.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

using host::in_quotes;

std::string quoted_names(const std::vector<std::string> &names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + in_quotes(names[i]);
    return list;
}

// Why a name matched no weight map, and what the scene offers instead.
std::string no_such_map(const std::vector<std::string> &names, std::string_view name) {
    if (names.empty())
        return "the scene has no weight maps, so there is no " + in_quotes(name) +
               "; bring one as a glTF vertex attribute of one float named \"_" + std::string(name) +
               "\" (Blender exports a painted float attribute that way; OBJ files cannot carry weights)";
    return "the scene has no weight map " + in_quotes(name) + "; its weight maps are " + quoted_names(names);
}

// "none" or an entry number, which the panel reads itself.
bool passes_as_given(std::string_view value) {
    if (host::equal_ignoring_case(value, "none")) return true;
    int index = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), index);
    return error == std::errc() && end == value.data() + value.size();
}

bool read_float(std::string_view text, float &out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

}  // namespace

std::vector<std::string> weight_map_names(const host::Scene &scene) {
    std::vector<std::string> names;
    for (size_t l = 0; l < scene.layer_count(); ++l) {
        const host::Layer &layer = scene.layer(l);
        for (size_t m = 0; m < layer.vmap_count(); ++m) {
            const host::VertexMap &map = layer.vmap(m);
            if (map.type() == SF_VMAP_WGHT && std::find(names.begin(), names.end(), map.name()) == names.end())
                names.push_back(map.name());
        }
    }
    return names;
}

std::string find_weight_map(const std::vector<std::string> &names, std::string_view name, std::string &error) {
    if (std::find(names.begin(), names.end(), name) != names.end()) return std::string(name);
    std::vector<std::string> alike;
    for (const std::string &candidate : names)
        if (host::equal_ignoring_case(candidate, name)) alike.push_back(candidate);
    if (alike.size() == 1) return alike.front();
    error = alike.empty() ? no_such_map(names, name)
                          : in_quotes(name) + " could be any of the weight maps " + quoted_names(alike) +
                                ", which differ only in case; give the exact name";
    return {};
}

std::string resolve_weight_map_answers(const host::Scene &scene, std::vector<host::PanelAnswer> &answers) {
    const std::vector<std::string> names = weight_map_names(scene);
    for (host::PanelAnswer &answer : answers) {
        const SettingName *setting = find_setting(answer.label);
        if (answer.kind != host::PanelAnswer::Kind::set || setting == nullptr || !names_weight_map(*setting) ||
            passes_as_given(answer.value))
            continue;
        std::string error;
        const std::string exact = find_weight_map(names, answer.value, error);
        if (exact.empty()) return in_quotes(setting->label) + ": " + error;
        answer.value = exact;
    }
    return {};
}

WeightRange parse_weight_range(std::string_view argument) {
    const size_t equals = argument.rfind('=');
    const size_t colon = equals == std::string_view::npos ? equals : argument.find(':', equals);
    WeightRange range;
    if (equals == 0 || colon == std::string_view::npos ||
        !read_float(argument.substr(equals + 1, colon - equals - 1), range.low) ||
        !read_float(argument.substr(colon + 1), range.high))
        throw SettingsError("--weight-range " + in_quotes(argument) +
                            ": expected NAME=LO:HI, a weight map's name and the two values that its 0 and 1 become "
                            "(for example rockiness=-1:1)");
    range.map = std::string(argument.substr(0, equals));
    return range;
}

std::string apply_weight_range(host::Scene &scene, const WeightRange &range) {
    std::string error;
    const std::string name = find_weight_map(weight_map_names(scene), range.map, error);
    if (name.empty()) return "--weight-range: " + error;
    for (size_t l = 0; l < scene.layer_count(); ++l) {
        host::VertexMap *map = scene.layer(l).find_vmap(SF_VMAP_WGHT, name);
        if (map == nullptr) continue;
        for (uint32_t point = 0; point < scene.layer(l).point_count(); ++point) {
            const float *value = map->value(point);
            if (value == nullptr) continue;
            const double low = range.low;
            const auto remapped = static_cast<float>(low + double{*value} * (double{range.high} - low));
            map->set_value(point, &remapped);
        }
    }
    return {};
}

}  // namespace sowfield::cli
