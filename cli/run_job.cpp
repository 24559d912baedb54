#include "cli/run_job.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/interrupts.h"
#include "cli/memory_guard.h"
#include "cli/plugin_location.h"
#include "cli/output_style.h"
#include "cli/result_file.h"
#include "cli/run_warnings.h"
#include "cli/setting_names.h"
#include "cli/stage_caption.h"
#include "host/loader/plugin_run.h"
#include "host/panel/panel_view.h"
#include "host/services/calendar_clock.h"
#include "io/clone_instances.h"
#include "io/gltf_instancing.h"
#include "io/mesh_file.h"

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The result line's account of --instances.
std::string instances_text(const RunSummary::Instances &instances) {
    std::string text = "; " + std::to_string(instances.instanced) + " clones instanced (" + instances.mode + ")";
    if (instances.realized == 0) return text;
    text += ", " + std::to_string(instances.realized) + " written as geometry: ";
    for (size_t i = 0; i < instances.reasons.size(); ++i)
        text += (i > 0 ? "; " : "") + instances.reasons[i].first +
                (instances.reasons.size() > 1 ? " (" + std::to_string(instances.reasons[i].second) + ")" : "");
    return text;
}

// Why the panel refused the run: its malformed description, or the answers
// it refused.
std::vector<std::string> panel_errors(const host::PanelOutcome &outcome, const host::ScriptedFace &face) {
    std::vector<std::string> errors = outcome.errors;
    errors.insert(errors.end(), face.refusals().begin(), face.refusals().end());
    return errors;
}

const sf_server_record &sowfield_server(const host::PluginLibrary &library) {
    return library.server(SF_MESH_EDIT_CLASS, "Sowfield");
}

OutputPlan output_plan(const RunOptions &options) {
    if (options.no_output || !options.output) return OutputPlan::none;
    switch (io::format_for(*options.output)) {
    case io::Format::obj: return OutputPlan::obj;
    case io::Format::gltf: return OutputPlan::gltf;
    case io::Format::glb: return OutputPlan::glb;
    }
    return OutputPlan::none;
}

// Writes `text` to `path` through a temporary file beside it, renamed into
// place once complete; an interrupt removes the temporary file.
void write_text_atomically(const fs::path &path, const std::string &text) {
    const fs::path temp = path.parent_path() / ("." + path.filename().string() + ".tmp-" + std::to_string(::getpid()));
    PartialFile guard(temp);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw std::runtime_error("cannot write " + path.string());
        }
    }
    std::error_code error;
    fs::rename(temp, path, error);
    if (error) {
        fs::remove(temp, error);
        throw std::runtime_error("cannot write " + path.string() + ": " + error.message());
    }
    guard.release();
}

// Why a file cannot be written at `path`, found before the run so that a
// long run does not end in that message; empty when it can be.
std::string unwritable(const fs::path &path) {
    std::error_code error;
    if (fs::is_directory(path, error)) return "cannot write " + path.string() + ": it is a directory";
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (!fs::exists(folder, error))
        return "cannot write " + path.string() + ": the folder " + folder.string() + " does not exist";
    if (!fs::is_directory(folder, error))
        return "cannot write " + path.string() + ": " + folder.string() + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot write " + path.string() + ": no permission to write in the folder " + folder.string();
    return {};
}

}  // namespace

void add_run_options(CLI::App &command, RunOptions &options, const std::string &default_output) {
    auto *output = command.add_option("-o,--output", options.output,
                                      "Output mesh file; .obj, .gltf or .glb picks the format" +
                                          (default_output.empty() ? std::string{} : " (default " + default_output + ")"))
                       ->type_name("FILE");
    command.add_flag("--clones-only", options.clones_only, "Write only what the run added, not the surface");
    command.add_flag("--no-output", options.no_output, "Run and report without writing anything")->excludes(output);
    command.add_option("--settings", options.settings_file, "Read settings from a JSON file (as --save-settings writes)")
        ->type_name("FILE.json");
    command.add_option("--set", options.set_arguments,
                       "Set a panel setting by label or field name, in display units (percent, degrees, on/off, a "
                       "weight map's name); repeatable, applied after --settings in command-line order")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    command.add_option("--press", options.press_arguments,
                       "Press a panel button (About, Zero Angles, Reset Values); repeatable, in order with --set")
        ->type_name("LABEL")
        ->allow_extra_args(false);
    auto *cancel = command.add_flag("--cancel", options.cancel, "Answer the panel with Cancel: nothing is added");
    auto *show = command.add_flag("--show-panel", options.show_panel,
                                  "Print the panel after the given settings, as the host draws it, and do not run");
    command.add_option("--save-settings", options.save_settings,
                       "Write the accepted settings to a JSON file that --settings reads")
        ->type_name("FILE.json");
    command.add_option("--plugin", options.plugin, "The plug-in module to load (default: libsowfield.so beside the tool)")
        ->type_name("PATH");
    command.add_option("--clock", options.clock,
                       "The calendar time given to the plug-in, in seconds since 1970 (default: now); it fixes "
                       "what \"Random Seed\" does not: sizes, angles, jitter, morph numbers, density draws")
        ->type_name("SECONDS")
        ->check(CLI::NonNegativeNumber);
    command.add_flag("-q,--quiet", options.quiet, "No progress bars (the result line stays)");
    command.add_flag("--silent", options.silent, "No progress bars and no result line (warnings and errors stay)");
    command.add_flag("--no-warnings", options.no_warnings,
                     "Do not warn about settings that give surprising results, nor about what the files were read "
                     "without (a missing material library or image); --json still lists them");
    auto *json = command.add_flag("--json", options.json, "Print a machine-readable summary on standard output");
    command.add_flag("--force", options.force, "Run even when the memory guard says the result will not fit");
    command.add_option("--memory-limit", options.memory_limit,
                       "Memory the run may use, e.g. 2G or 512M (default: what the system reports available)")
        ->type_name("SIZE");
    command.add_option("--crease-angle", options.crease_angle,
                       "Surfaces that came with normals are written smooth, sharp where polygons meet at more than "
                       "this angle (default 60)")
        ->type_name("DEGREES")
        ->check(CLI::Range(0.0, 180.0));
    command.add_option("--instances", options.instances,
                       "Write clones that are exact placed copies of the object as instances of one mesh (glTF/GLB "
                       "only): gpu (EXT_mesh_gpu_instancing) or nodes (one node per clone)")
        ->check(CLI::IsMember({"gpu", "nodes"}))
        ->type_name("MODE");
    show->excludes(cancel);
    show->excludes(json);
}

Job::Job(std::string command, const RunOptions &options) : options_(options) {
    summary_.command = std::move(command);
    summary_.clones_only = options.clones_only;
}

int Job::fail(int code, const std::string &message) {
    std::cerr << "sowfield: " << message << "\n";
    if (!summary_.error) summary_.error = message;
    return code;
}

int Job::finish(int code) {
    summary_.exit_code = code;
    const std::optional<uint64_t> peak = peak_resident_bytes();
    if (resident_before_run_ && peak) summary_.measured_peak = *peak - std::min(*peak, *resident_before_run_);
    if (options_.json) {
        std::cout << summary_json(summary_) << std::flush;
    } else if (code == exit_ok && !options_.silent && !options_.show_panel) {
        // One line saying what happened, so that a run that went well is not silent.
        std::ostringstream line;
        line << added_line(summary_);
        if (summary_.output)
            line << "; wrote " << *summary_.output << " (" << format_bytes(summary_.output_bytes) << ")";
        else
            line << "; nothing written (--no-output)";
        if (summary_.instances) line << instances_text(*summary_.instances);
        line << "; repeat with --clock " << summary_.clock;
        std::cout << line.str() << "\n" << std::flush;
    }
    return code;
}

int Job::check_paths(const std::vector<fs::path> &inputs) {
    for (const fs::path &input : inputs) summary_.inputs.push_back(input.string());
    if (options_.memory_limit && !parse_size(*options_.memory_limit))
        return fail(exit_usage, "--memory-limit \"" + *options_.memory_limit +
                                    "\": expected a size such as 2G, 512M or 1500000000");
    if (options_.output && !options_.no_output) {
        std::error_code ignored;
        if (fs::is_directory(*options_.output, ignored))
            return fail(exit_usage, "the output " + options_.output->string() +
                                        " is a directory; give a file name such as result.glb");
        try {
            if (io::format_for(*options_.output) == io::Format::obj && options_.instances)
                return fail(exit_usage, "--instances " + *options_.instances + ": OBJ has no instancing, so " +
                                            options_.output->string() +
                                            " could only hold every clone as real geometry; write .glb or .gltf");
        } catch (const io::MeshFileError &error) {
            return fail(exit_usage, error.what());
        }
    }
    for (const fs::path &input : inputs) {
        if (options_.output && !options_.no_output && io::same_file(*options_.output, input))
            return fail(exit_bad_input, "the output " + options_.output->string() + " is the input " + input.string() +
                                            "; inputs are never overwritten");
        if (options_.save_settings && io::same_file(*options_.save_settings, input))
            return fail(exit_bad_input, "--save-settings " + options_.save_settings->string() + " is the input " +
                                            input.string() + "; inputs are never overwritten");
    }
    if (options_.output && options_.save_settings && io::same_file(*options_.output, *options_.save_settings))
        return fail(exit_usage, "--save-settings and the output are the same file");
    const bool writes_output = !options_.no_output && !options_.cancel && !options_.show_panel;
    for (const std::optional<fs::path> &written : {writes_output ? options_.output : std::nullopt,
                                                   options_.save_settings})
        if (written)
            if (const std::string why = unwritable(*written); !why.empty()) return fail(exit_write_failed, why);
    return exit_ok;
}

int Job::collect_answers(const CLI::App &command, std::vector<host::PanelAnswer> &answers) {
    try {
        if (options_.settings_file) {
            std::vector<host::PanelAnswer> from_file = read_settings_file(*options_.settings_file);
            answers.insert(answers.end(), from_file.begin(), from_file.end());
        }
        const CLI::Option *set = command.get_option("--set");
        const CLI::Option *press = command.get_option("--press");
        size_t next_set = 0, next_press = 0;
        for (const CLI::Option *option : command.parse_order()) {
            if (option == set && next_set < options_.set_arguments.size())
                answers.push_back(parse_set(options_.set_arguments[next_set++]));
            else if (option == press && next_press < options_.press_arguments.size())
                answers.push_back(parse_press(options_.press_arguments[next_press++]));
        }
    } catch (const SettingsError &error) {
        return fail(exit_usage, error.what());
    }
    return exit_ok;
}

int Job::load_plugin() {
    try {
        const fs::path path = locate_plugin(options_.plugin, current_executable());
        summary_.plugin = path.string();
        // The plug-in reads the calendar time as its library loads.
        summary_.clock = options_.clock.value_or(host::real_calendar_time());
        host::set_calendar_clock(summary_.clock);
        library_.emplace(host::PluginLibrary::open(path));
        sowfield_server(*library_);
    } catch (const PluginNotFound &error) {
        return fail(exit_plugin, error.what());
    } catch (const host::LoaderError &error) {
        return fail(exit_plugin, std::string("cannot load the plug-in: ") + error.what());
    }
    return exit_ok;
}

int Job::show_panel(host::Scene &scene, const std::vector<host::PanelAnswer> &answers) {
    host::ScriptedFace face({answers, /*cancel=*/true});
    const host::PluginRun run = host::run_plugin(sowfield_server(*library_), scene, {.face = &face});
    if (!run.panel || !run.panel->opened) return fail(exit_refused, "the plug-in stopped before showing its panel");
    std::cout << host::render_panel(run.panel->closing) << std::flush;
    for (const std::string &error : face.refusals()) std::cerr << "sowfield: " << error << "\n";
    if (!face.refusals().empty()) return fail(exit_refused, "the panel refused the settings above");
    return options_.save_settings ? save_settings(run.panel->closing) : exit_ok;
}

// Asks the panel without running (a cancelled run adds nothing), so that the
// checks before the run see the settings it will use after every answer and
// button. Null when the plug-in stopped before its panel (the real run says
// why) or when the panel refused the answers (reported; `refused` is set).
std::optional<host::PanelOutcome> Job::preview(host::Scene &scene, const std::vector<host::PanelAnswer> &answers,
                                               int &refused) {
    host::ScriptedFace face({answers, /*cancel=*/true});
    std::ostringstream silent;
    const host::PluginRun run = host::run_plugin(sowfield_server(*library_), scene,
                                                 {.host = {.info_out = &silent, .error_out = &silent}, .face = &face});
    if (!run.panel) return std::nullopt;
    const std::vector<std::string> errors = panel_errors(*run.panel, face);
    if (!errors.empty()) {
        summary_.panel_errors = errors;
        for (const std::string &error : errors) std::cerr << "sowfield: " << error << "\n";
        refused = fail(exit_refused, "the panel refused the settings above; nothing was run");
        return std::nullopt;
    }
    return run.panel;
}

void Job::warn(const host::Scene &scene, const std::vector<host::PanelAnswer> &answers,
               const host::PanelSnapshot &accepted) {
    warn(run_warnings({accepted, answers, scene}));
}

void Job::warn(const std::vector<std::string> &warnings) {
    summary_.warnings.insert(summary_.warnings.end(), warnings.begin(), warnings.end());
    if (options_.no_warnings) return;
    for (const std::string &warning : warnings) std::cerr << "sowfield: warning: " << warning << "\n";
}

int Job::guard_memory(host::Scene &scene, const host::PanelSnapshot &accepted) {
    const MemoryRequest request = run_memory_request(scene, accepted, output_plan(options_), options_.clones_only);
    summary_.clones = request.clones;
    summary_.memory = estimate_memory(request);

    const std::optional<MemoryLimit> limit =
        options_.memory_limit ? MemoryLimit{*parse_size(*options_.memory_limit), "--memory-limit"} : available_memory();
    if (!limit) return exit_ok;  // nothing to compare with
    summary_.memory_limit = limit;
    const GuardVerdict verdict = check_memory(request, *limit);
    if (!verdict.refused) return exit_ok;
    if (options_.force) {
        const std::string needs = verdict.message.substr(0, verdict.message.find('\n'));
        std::cerr << "sowfield: warning: " << needs << " Running anyway (--force).\n";
        return exit_ok;
    }
    return fail(exit_memory, verdict.message);
}

int Job::run(host::Scene &scene, std::vector<host::PanelAnswer> answers) {
    if (options_.show_panel) return show_panel(scene, answers);
    // The estimate is of what the run adds to what the process holds now.
    if (restart_peak_resident()) resident_before_run_ = resident_bytes();
    if (!options_.cancel) {
        int refused = exit_ok;
        const std::optional<host::PanelOutcome> accepted = preview(scene, answers, refused);
        if (refused != exit_ok) return refused;
        if (accepted) {
            warn(scene, answers, accepted->closing);
            if (const int guarded = guard_memory(scene, accepted->closing); guarded != exit_ok) return guarded;
        }
    }

    host::Layer &foreground = scene.layer(scene.foreground.front());
    const uint32_t points_before = foreground.point_count();
    const uint32_t polygons_before = foreground.polygon_count();
    const size_t maps_before = foreground.vmap_count();

    host::ScriptedFace face({std::move(answers), options_.cancel});
    const host::HostOptions host_options = {
        .progress = options_.quiet || options_.silent ? host::ProgressStyle::none : host::ProgressStyle::terminal,
        .info_out = options_.json ? &std::cerr : &std::cout,
        .error_out = &std::cerr};
    const auto start = std::chrono::steady_clock::now();
    const host::PluginRun run = host::run_plugin(sowfield_server(*library_), scene, {.host = host_options, .face = &face});
    summary_.run_seconds = seconds_since(start);

    summary_.messages = run.messages;
    summary_.points_added = foreground.point_count() - points_before;
    summary_.polygons_added = foreground.polygon_count() - polygons_before;
    summary_.maps_added = static_cast<int64_t>(foreground.vmap_count() - maps_before);
    summary_.values_written = summary_.points_added > 0 ? run.values_written : 0;
    for (const std::string &error : face.refusals()) std::cerr << "sowfield: " << error << "\n";
    for (const std::string &violation : run.violations)
        std::cerr << "sowfield: warning: the plug-in misused the host: " << violation << "\n";

    const std::optional<host::PanelOutcome> &outcome = run.panel;
    if (outcome) summary_.clones = integer_setting(outcome->closing, "Number of Clones", 0);
    if (outcome) summary_.panel_errors = panel_errors(*outcome, face);
    if (!outcome) return fail(exit_refused, "the plug-in refused the run; nothing was added and nothing written");
    if (!summary_.panel_errors.empty())
        return fail(exit_refused, "the panel refused the settings above; nothing was added and nothing written");
    if (!outcome->accepted) return fail(exit_refused, "the panel was cancelled; nothing was added and nothing written");
    const bool reported_error = std::any_of(summary_.messages.begin(), summary_.messages.end(), [](const auto &m) {
        return m.kind == host::Message::Kind::error;
    });
    if (reported_error && summary_.points_added == 0 && summary_.polygons_added == 0)
        return fail(exit_refused, "the plug-in reported an error and added nothing; nothing written");

    if (options_.save_settings)
        if (const int failed = save_settings(outcome->closing); failed != exit_ok) return failed;
    if (options_.no_output || !options_.output) return exit_ok;
    return write_output(scene, points_before, polygons_before, outcome->closing);
}

std::vector<fs::path> Job::write_instanced(const host::Scene &scene, uint32_t first_point, uint32_t first_polygon,
                                           io::WriteRange range, std::string_view provenance_json,
                                           const io::WriteStyle &style) {
    const size_t foreground = scene.foreground.front();
    const io::CloneInstances found =
        io::find_clone_instances(scene, foreground, scene.background, first_point, first_polygon);
    const io::InstanceMode mode = *options_.instances == "nodes" ? io::InstanceMode::nodes : io::InstanceMode::gpu;
    std::vector<fs::path> written =
        io::write_instanced_gltf(*options_.output, scene, foreground, range, found, mode, provenance_json, style);
    RunSummary::Instances &instances = summary_.instances.emplace();
    instances.mode = *options_.instances;
    instances.instanced = found.placed.size();
    // A run whose geometry could not be split into clones keeps them all.
    instances.realized = found.clones > 0 ? found.realized() : static_cast<uint64_t>(std::max<int64_t>(summary_.clones, 0));
    for (const auto &[reason, clones] : found.not_placed)
        instances.reasons.emplace_back(reason, clones > 0 ? clones : instances.realized);
    return written;
}

int Job::save_settings(const host::PanelSnapshot &accepted) {
    try {
        write_text_atomically(*options_.save_settings, host::settings_json(accepted));
    } catch (const std::exception &error) {
        return fail(exit_write_failed, error.what());
    }
    return exit_ok;
}

int Job::write_output(const host::Scene &scene, uint32_t first_point, uint32_t first_polygon,
                      const host::PanelSnapshot &accepted) {
    const fs::path &path = *options_.output;
    io::WriteRange range;
    if (options_.clones_only) range = {first_point, first_polygon};
    const io::WriteStyle style = output_style(scene, options_.clones_only, options_.crease_angle);
    const auto start = std::chrono::steady_clock::now();
    StageCaption writing(!options_.quiet && !options_.silent, "Writing " + path.string());
    try {
        const std::string provenance = provenance_json(summary_, host::settings_json(accepted));
        write_result_file(path, [&] {
            if (options_.instances) return write_instanced(scene, first_point, first_polygon, range, provenance, style);
            return io::write_mesh_file(path, scene, scene.foreground.front(), range, provenance, style);
        });
    } catch (const io::MeshFileError &error) {
        writing.end(false);
        return fail(exit_write_failed, error.what());
    } catch (const std::exception &error) {
        writing.end(false);
        return fail(exit_write_failed, "cannot write " + path.string() + ": " + error.what());
    }
    writing.end(true);
    summary_.write_seconds = seconds_since(start);
    std::error_code error;
    summary_.output = path.string();
    summary_.output_bytes = fs::file_size(path, error);
    if (error) summary_.output_bytes = 0;
    return exit_ok;
}

}  // namespace sowfield::cli
