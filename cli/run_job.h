// One run of the plug-in over a scene, shared by `scatter` and `demo`: the
// options they have in common, the panel answers built from them, and the
// job itself (load the module, ask the panel, guard memory, run, save the
// settings, write the result, summarise).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/json_summary.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/scripted_face.h"
#include "host/scene/scene.h"
#include "io/mesh_file.h"

namespace sowfield::cli {

struct RunOptions {
    std::optional<std::filesystem::path> output;
    bool clones_only = false;
    bool no_output = false;
    std::optional<std::filesystem::path> settings_file;
    std::vector<std::string> set_arguments;    // NAME=VALUE, in order
    std::vector<std::string> press_arguments;  // button labels, in order
    bool cancel = false;
    bool show_panel = false;
    std::optional<std::filesystem::path> save_settings;
    std::optional<std::filesystem::path> plugin;
    bool quiet = false;   // no progress bars
    bool silent = false;  // no progress bars and no result line
    bool no_warnings = false;
    bool json = false;
    bool force = false;
    std::optional<std::string> memory_limit;  // instead of what the system reports free
    double crease_angle = 60.0;               // degrees, for the normals of smooth surfaces
    std::optional<int64_t> clock;             // the calendar time the plug-in is given
    std::optional<std::string> instances;     // "gpu" or "nodes": exact clones as instances (glTF only)
};

// Adds the options above to a command; `default_output` is shown in the
// help of -o when the command has one.
void add_run_options(CLI::App &command, RunOptions &options, const std::string &default_output = {});

// The state of one job, from the command line to the summary.
class Job {
public:
    Job(std::string command, const RunOptions &options);

    // Checks the output's extension and the memory limit's text (exit_usage),
    // that neither the output nor the saved settings would overwrite an
    // input (exit_bad_input), and that both can be written (exit_write_failed),
    // all before the run.
    // Returns exit_ok or the failure's code, after reporting it.
    int check_paths(const std::vector<std::filesystem::path> &inputs);

    // The settings file's answers, then --set and --press in command-line
    // order, appended to `answers`. Reports a bad name (exit_usage).
    int collect_answers(const CLI::App &command, std::vector<host::PanelAnswer> &answers);

    // Finds and opens the module (exit_plugin on failure), giving it the
    // calendar time of --clock, or the real one, which the summary records.
    int load_plugin();

    // Runs the plug-in over `scene` (foreground and background set) with the
    // answers, then saves and writes as the options say.
    int run(host::Scene &scene, std::vector<host::PanelAnswer> answers);

    // Adds warnings to the summary and, unless --no-warnings, reports them
    // on standard error ("sowfield: warning: message").
    void warn(const std::vector<std::string> &warnings);

    // Reports a failure on standard error ("sowfield: message") and returns `code`.
    int fail(int code, const std::string &message);

    // Prints the --json summary for this exit code and returns it.
    int finish(int code);

    RunSummary &summary() { return summary_; }
    const RunOptions &options() const { return options_; }

private:
    int show_panel(host::Scene &scene, const std::vector<host::PanelAnswer> &answers);
    std::optional<host::PanelOutcome> preview(host::Scene &scene, const std::vector<host::PanelAnswer> &answers,
                                              int &refused);
    void warn(const host::Scene &scene, const std::vector<host::PanelAnswer> &answers,
              const host::PanelSnapshot &accepted);
    int guard_memory(host::Scene &scene, const host::PanelSnapshot &accepted);
    int save_settings(const host::PanelSnapshot &accepted);
    int write_output(const host::Scene &scene, uint32_t first_point, uint32_t first_polygon,
                     const host::PanelSnapshot &accepted);
    std::vector<std::filesystem::path> write_instanced(const host::Scene &scene, uint32_t first_point,
                                                       uint32_t first_polygon, io::WriteRange range,
                                                       std::string_view provenance_json, const io::WriteStyle &style);

    const RunOptions &options_;
    RunSummary summary_;
    std::optional<uint64_t> resident_before_run_;
    std::optional<host::PluginLibrary> library_;
};

}  // namespace sowfield::cli
