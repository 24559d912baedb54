#include "cli/memory_guard.h"

#include <algorithm>

#include "cli/size_text.h"
#include "sowfield_host.h"

namespace sowfield::cli {

int32_t integer_setting(const host::PanelSnapshot &panel, std::string_view label, int32_t fallback) {
    const host::ControlSnapshot *control = panel.find(label);
    return control != nullptr && control->value.holds_integer ? control->value.integer : fallback;
}

MemoryRequest run_memory_request(const host::Scene &scene, const host::PanelSnapshot &accepted, OutputPlan output,
                                 bool clones_only) {
    const host::Layer &foreground = scene.layer(scene.foreground.front());
    MemoryRequest request;
    request.clone = measure_clone(scene, scene.background);
    request.clones = integer_setting(accepted, "Number of Clones", 0);
    request.auto_morph_maps = integer_setting(accepted, "Auto morph maps", 0);
    request.foreground = &foreground;
    for (uint32_t p = 0; p < foreground.polygon_count(); ++p)
        if ((foreground.polygon_flags(p) & SF_POLY_SELECTED) != 0) {
            ++request.target_polygons;
            request.target_corners += foreground.polygon_points(p).size();
        }
    request.output = output;
    request.clones_only = clones_only;
    return request;
}

GuardVerdict check_memory(const MemoryRequest &request, const MemoryLimit &limit) {
    GuardVerdict verdict;
    verdict.estimate = estimate_memory(request);
    // The estimate grows with the clone count, so the largest count that fits
    // is found by bisection.
    int64_t low = 0, high = std::max<int64_t>(request.clones, 0);
    MemoryRequest trial = request;
    while (low < high) {
        trial.clones = low + (high - low + 1) / 2;
        if (estimate_memory(trial).total() <= limit.bytes)
            low = trial.clones;
        else
            high = trial.clones - 1;
    }
    verdict.clones_that_fit = low;
    if (verdict.estimate.total() <= limit.bytes) return verdict;

    verdict.refused = true;
    const MemoryEstimate &e = verdict.estimate;
    const auto counted = [](uint64_t n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string message = "this run needs about " + format_bytes(e.total()) + " of memory (" +
                          counted(static_cast<uint64_t>(request.clones), "clone", "clones") + " of " +
                          counted(request.clone.points, "point", "points") + " and " +
                          counted(request.clone.polygons, "polygon", "polygons") + ": " + format_bytes(e.scene_bytes) +
                          " for the result, " + format_bytes(e.plugin_bytes) + " for the plug-in's records";
    // The charts are gone before the result grows: a peak of their own.
    if (e.search_bytes > 0)
        message +=
            ", and " + format_bytes(e.search_bytes) + " of charts while the sites are chosen, before the result grows";
    if (e.writer_bytes > 0) message += ", " + format_bytes(e.writer_bytes) + " to write the output";
    message += "), but only " + format_bytes(limit.bytes) + " is available (" + limit.source + ").\n";
    if (verdict.clones_that_fit > 0)
        message += "Use fewer clones (" + std::to_string(verdict.clones_that_fit) +
                   " fit: --set clone_count=" + std::to_string(verdict.clones_that_fit) + ")";
    else
        message += "Not even one clone fits beside the surface's records: free some memory or use a smaller surface";
    MemoryRequest clones_only = request;
    clones_only.clones_only = true;
    if (estimate_memory(clones_only).total() <= limit.bytes) message += ", write only the clones with --clones-only";
    message += ", or run anyway with --force.";
    verdict.message = std::move(message);
    return verdict;
}

}  // namespace sowfield::cli
