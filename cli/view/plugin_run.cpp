#include "cli/view/plugin_run.h"

#include <algorithm>
#include <chrono>
#include <sstream>

#include "cli/json_summary.h"
#include "host/loader/plugin_run.h"
#include "host/panel/panel_view.h"

namespace sowfield::cli::view {
namespace {

nlohmann::json message_json(const host::Message &message) {
    return {{"kind", message.kind == host::Message::Kind::error ? "error" : "info"},
            {"line1", message.line1},
            {"line2", message.line2 ? nlohmann::json(*message.line2) : nlohmann::json()}};
}

}  // namespace

RunPlugin plugin_run(const host::PluginLibrary &library) {
    return [&library](host::Scene &scene, BrowserFace &face,
                      const std::function<void(const std::vector<ProgressBar> &)> &progress) {
        std::vector<ProgressBar> bars;
        const host::MonitorService::Observer on_progress = [&](const host::MonitorProgress &monitor) {
            auto bar = std::find_if(bars.begin(), bars.end(), [&](const ProgressBar &b) { return b.title == monitor.title; });
            if (bar == bars.end()) bar = bars.insert(bars.end(), {monitor.title, monitor.caption});
            bar->caption = monitor.caption;
            bar->done = monitor.finished ? std::max<int64_t>(monitor.done, monitor.total) : monitor.done;
            bar->total = monitor.total;
            progress(bars);
        };
        // The plug-in's messages go to the page, not to the terminal.
        std::ostringstream info, errors;
        const host::PluginRun run = host::run_plugin(
            library.server(SF_MESH_EDIT_CLASS, "Sowfield"), scene,
            {.host = {.info_out = &info, .error_out = &errors, .on_progress = &on_progress}, .face = &face});

        RunReport report;
        for (const host::Message &message : run.messages) report.messages.push_back(message_json(message));
        if (!run.panel) {
            report.line = "the plug-in refused the run; nothing was added";
            return report;
        }
        if (!run.panel->accepted) {
            report.line = "the panel was cancelled; nothing was added";
            return report;
        }
        const host::ControlSnapshot *count = run.panel->closing.find("Number of Clones");
        RunSummary summary;
        summary.clones = report.clones = count != nullptr && count->value.holds_integer ? count->value.integer : 0;
        summary.points_added = run.points_added;
        summary.polygons_added = run.polygons_added;
        summary.run_seconds = report.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - face.accepted_at()).count();
        report.ok = true;
        report.line = added_line(summary);
        report.settings = host::settings_json(run.panel->closing);
        return report;
    };
}

}  // namespace sowfield::cli::view
