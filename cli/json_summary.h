// The machine-readable account of one scatter or demo run that --json prints
// on standard output: what was added, what the plug-in said, how long each
// phase took and where the result went.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/memory_guard.h"
#include "host/services/message_service.h"

namespace sowfield::cli {

struct RunSummary {
    std::string command;  // "scatter" or "demo"
    int exit_code = 0;
    std::optional<std::string> error;  // the tool's own message when it failed
    std::string plugin;                // the module's path
    std::vector<std::string> inputs;   // files read, surface first

    int64_t clones = 0;  // "Number of Clones" as the panel handed it back
    int64_t points_added = 0;
    int64_t polygons_added = 0;
    int64_t maps_added = 0;      // vertex maps the run created in the foreground
    int64_t values_written = 0;  // vertex-map values written
    std::vector<host::Message> messages;  // shown by the plug-in, in order
    std::vector<std::string> panel_errors;
    std::vector<std::string> warnings;  // before the run: what the reading went without, surprising settings

    // With --instances: the mode, clones written as instances and as real
    // geometry, and why those were not instanced (reason, clones).
    struct Instances {
        std::string mode;
        uint64_t instanced = 0;
        uint64_t realized = 0;
        std::vector<std::pair<std::string, uint64_t>> reasons;
    };
    std::optional<Instances> instances;

    std::optional<std::string> output;  // written file, absent when nothing was written
    uint64_t output_bytes = 0;
    bool clones_only = false;

    int64_t clock = 0;  // the calendar time the plug-in was given (--clock repeats the run)

    std::optional<MemoryEstimate> memory;
    std::optional<MemoryLimit> memory_limit;
    // How far the process's resident memory rose above where it stood when
    // the run began, at its highest (run and write), when the system says.
    std::optional<uint64_t> measured_peak;

    // Wall-clock seconds of each phase (0 when it did not happen).
    double read_seconds = 0.0;
    double run_seconds = 0.0;
    double write_seconds = 0.0;
};

// The summary as one JSON object followed by a newline. Keys: command,
// status ("ok", "usage", "bad input", "plug-in", "refused", "write failed",
// "memory", "interrupted"), exit_code, error, plugin, inputs, clock, clones, added
// {points, polygons, maps, values}, messages [{kind, line1, line2}],
// panel_errors, warnings, output {path, bytes, clones_only} or null, instances {mode,
// instanced, realized, reasons [{reason, clones}]} or null, memory {estimate
// parts, limit, limit_source, measured_peak} or null, seconds {read, run, write}.
std::string summary_json(const RunSummary &summary);

// The line a run that went well prints: "17 clones: 85 points and 85
// polygons added in 0.00 s".
std::string added_line(const RunSummary &summary);

// How a written file was made, for its format to keep (io::write_mesh_file):
// {"sowfield": {"version", "command", "clock", "settings"}}, the settings as
// --save-settings writes them (`settings_json`).
std::string provenance_json(const RunSummary &summary, const std::string &settings_json);

// The status word of an exit code, as in summary_json.
const char *status_word(int exit_code);

}  // namespace sowfield::cli
