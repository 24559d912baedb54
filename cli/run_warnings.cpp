#include "cli/run_warnings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>

#include "host/common/text.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

using host::in_quotes;

// A number for a message: at most four significant digits, no trailing zeros.
std::string number_text(double value) {
    std::ostringstream text;
    text.precision(4);
    text << value;
    return text.str();
}

double float_setting(const host::PanelSnapshot &panel, std::string_view label) {
    const host::ControlSnapshot *control = panel.find(label);
    return control != nullptr && !control->value.holds_integer ? control->value.number : 0.0;
}

int32_t integer_setting(const host::PanelSnapshot &panel, std::string_view label) {
    const host::ControlSnapshot *control = panel.find(label);
    return control != nullptr && control->value.holds_integer ? control->value.integer : 0;
}

// A percent typed as a fraction: "0.4" for 40 %. The panel reads percent, so
// it runs with 0.4 %.
void percent_fractions(const RunPreview &run, std::vector<std::string> &out) {
    for (const host::PanelAnswer &answer : run.answers) {
        if (answer.kind != host::PanelAnswer::Kind::set) continue;
        const host::ControlSnapshot *control = run.accepted.find(answer.label);
        if (control == nullptr || control->kind != "percent") continue;
        const std::string &text = answer.value;
        double value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size()) continue;  // has a % sign, or is not a number
        if (value > 0 && value < 1)
            out.push_back(in_quotes(control->label) + "=" + text + ": " + text + " means " + text + " %; write " +
                          number_text(value * 100) + " for " + number_text(value * 100) + " %");
    }
}

// A variation above 100 % draws factors below zero.
void negative_sizes(const RunPreview &run, std::vector<std::string> &out) {
    const bool independent = integer_setting(run.accepted, "Independent Sizes") != 0;
    std::vector<std::string_view> axes{"Size Variations"};
    if (independent) axes = {"Size Variations", "Y", "Z"};
    for (const std::string_view axis : axes) {
        const double variation = float_setting(run.accepted, axis);
        if (variation > 1.0)
            out.push_back(in_quotes(axis) + " is " + number_text(variation * 100) +
                          " %, above 100 %: sizes can be negative: some clones will be mirrored");
    }
}

void no_clones(const RunPreview &run, std::vector<std::string> &out) {
    const int32_t clones = integer_setting(run.accepted, "Number of Clones");
    if (clones <= 0)
        out.push_back("\"Number of Clones\" is " + std::to_string(clones) +
                      ": no clone is made; the output is the surface alone");
}

// The copy carries polygons and the points they use; a point of no polygon
// is left behind.
void loose_points(const RunPreview &run, std::vector<std::string> &out) {
    for (const size_t index : run.scene.background) {
        const host::Layer &layer = run.scene.layer(index);
        std::vector<bool> used(layer.point_count(), false);
        for (uint32_t p = 0; p < layer.polygon_count(); ++p)
            for (const uint32_t point : layer.polygon_points(p)) used[point] = true;
        const auto loose = static_cast<uint64_t>(std::count(used.begin(), used.end(), false));
        if (loose == 0) continue;
        std::string message = "background " + in_quotes(layer.name) + ": " + std::to_string(loose) + " of its " +
                              std::to_string(layer.point_count()) + " points belong to no polygon and are not copied";
        if (layer.polygon_count() == 0) message += "; it has no polygons, so its clones are empty";
        out.push_back(std::move(message));
    }
}

// The least and greatest mean value of a weight map over the selected
// foreground polygons, as the plug-in weighs a polygon (points without a
// value count as 0); nothing when no point of those polygons has a value.
struct WeightRange {
    double least = std::numeric_limits<double>::infinity();
    double greatest = -std::numeric_limits<double>::infinity();
};
std::optional<WeightRange> weight_range(const host::Scene &scene, const std::string &map_name) {
    if (scene.foreground.empty()) return std::nullopt;
    const host::Layer &layer = scene.layer(scene.foreground.front());
    const host::VertexMap *map = layer.find_vmap(SF_VMAP_WGHT, map_name);
    if (map == nullptr) return std::nullopt;
    WeightRange range;
    bool any_value = false;
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) {
        if ((layer.polygon_flags(p) & SF_POLY_SELECTED) == 0) continue;
        const std::span<const uint32_t> points = layer.polygon_points(p);
        if (points.empty()) continue;
        double sum = 0;
        for (const uint32_t point : points)
            if (const float *value = map->value(point)) {
                sum += *value;
                any_value = true;
            }
        const double mean = sum / static_cast<double>(points.size());
        range.least = std::min(range.least, mean);
        range.greatest = std::max(range.greatest, mean);
    }
    if (!any_value) return std::nullopt;
    return range;
}

// The weight map a pop-up chose, or nothing for "none".
std::optional<std::string> chosen_map(const host::PanelSnapshot &panel, std::string_view label) {
    const host::ControlSnapshot *control = panel.find(label);
    if (control == nullptr || !control->value.holds_integer || control->value.integer <= 0) return std::nullopt;
    return control->display;
}

void weight_maps(const RunPreview &run, std::vector<std::string> &out) {
    for (const std::string_view label : {"Size WeightMap", "Density WeightMap", "P angle weightmap"}) {
        const std::optional<std::string> map = chosen_map(run.accepted, label);
        if (!map) continue;
        const std::optional<WeightRange> range = weight_range(run.scene, *map);
        const std::string named = in_quotes(label) + " " + in_quotes(*map);
        if (!range) {
            out.push_back(named + " has no value on the polygons that receive clones: every one weighs 0");
            continue;
        }
        if (label == "Size WeightMap") {
            // Negative weights scale by w * influence / 2 + 1.
            const double influence = float_setting(run.accepted, "Size WeightMap Influence");
            if (range->least < 0 && range->least * 0.5 * influence + 1 <= 0)
                out.push_back(named + " goes down to " + number_text(range->least) + ", which at an influence of " +
                              number_text(influence * 100) +
                              " % gives clones of zero or negative size: some clones will be mirrored");
        } else if (label == "Density WeightMap" && range->greatest <= -0.8) {
            out.push_back(named + " is -0.8 or less on every polygon, which refuses every tested site: each clone "
                                  "goes where its last attempt falls, as without spacing");
        }
    }
}

}  // namespace

std::vector<std::string> run_warnings(const RunPreview &run) {
    std::vector<std::string> out;
    percent_fractions(run, out);
    negative_sizes(run, out);
    no_clones(run, out);
    loose_points(run, out);
    weight_maps(run, out);
    return out;
}

}  // namespace sowfield::cli
