#include "cli/json_summary.h"

#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "sowfield_version.h"

namespace sowfield::cli {

std::string added_line(const RunSummary &summary) {
    std::ostringstream line;
    line.precision(2);
    line << std::fixed << summary.clones << " clones: " << summary.points_added << " points and "
         << summary.polygons_added << " polygons added in " << summary.run_seconds << " s";
    return line.str();
}

const char *status_word(int exit_code) {
    switch (exit_code) {
    case exit_ok: return "ok";
    case exit_usage: return "usage";
    case exit_bad_input: return "bad input";
    case exit_plugin: return "plug-in";
    case exit_refused: return "refused";
    case exit_write_failed: return "write failed";
    case exit_memory: return "memory";
    case exit_interrupted: return "interrupted";
    default: return "failed";
    }
}

std::string summary_json(const RunSummary &summary) {
    using nlohmann::ordered_json;
    ordered_json out;
    out["command"] = summary.command;
    out["status"] = status_word(summary.exit_code);
    out["exit_code"] = summary.exit_code;
    out["error"] = summary.error ? ordered_json(*summary.error) : ordered_json(nullptr);
    out["plugin"] = summary.plugin;
    out["inputs"] = summary.inputs;
    out["clock"] = summary.clock;
    out["clones"] = summary.clones;
    out["added"] = {{"points", summary.points_added},
                    {"polygons", summary.polygons_added},
                    {"maps", summary.maps_added},
                    {"values", summary.values_written}};
    ordered_json messages = ordered_json::array();
    for (const host::Message &message : summary.messages)
        messages.push_back({{"kind", message.kind == host::Message::Kind::error ? "error" : "info"},
                            {"line1", message.line1},
                            {"line2", message.line2 ? ordered_json(*message.line2) : ordered_json(nullptr)}});
    out["messages"] = std::move(messages);
    out["panel_errors"] = summary.panel_errors;
    out["warnings"] = summary.warnings;
    if (summary.output)
        out["output"] = {{"path", *summary.output}, {"bytes", summary.output_bytes}, {"clones_only", summary.clones_only}};
    else
        out["output"] = nullptr;
    if (summary.instances) {
        ordered_json reasons = ordered_json::array();
        for (const auto &[reason, clones] : summary.instances->reasons)
            reasons.push_back({{"reason", reason}, {"clones", clones}});
        out["instances"] = {{"mode", summary.instances->mode},
                            {"instanced", summary.instances->instanced},
                            {"realized", summary.instances->realized},
                            {"reasons", std::move(reasons)}};
    } else {
        out["instances"] = nullptr;
    }
    if (summary.memory) {
        ordered_json memory = {{"estimate", summary.memory->total()},
                               {"scene", summary.memory->scene_bytes},
                               {"plugin", summary.memory->plugin_bytes},
                               {"writer", summary.memory->writer_bytes},
                               {"search", summary.memory->search_bytes}};
        if (summary.memory_limit) {
            memory["limit"] = summary.memory_limit->bytes;
            memory["limit_source"] = summary.memory_limit->source;
        }
        if (summary.measured_peak) memory["measured_peak"] = *summary.measured_peak;
        out["memory"] = std::move(memory);
    } else {
        out["memory"] = nullptr;
    }
    out["seconds"] = {{"read", summary.read_seconds}, {"run", summary.run_seconds}, {"write", summary.write_seconds}};
    // Replace rather than throw on text that is not UTF-8 (a map name from a file).
    return out.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string provenance_json(const RunSummary &summary, const std::string &settings_json) {
    using nlohmann::ordered_json;
    const ordered_json made = {{"version", SOWFIELD_VERSION},
                               {"command", summary.command},
                               {"clock", summary.clock},
                               {"settings", ordered_json::parse(settings_json)}};
    return ordered_json{{"sowfield", made}}.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace sowfield::cli
