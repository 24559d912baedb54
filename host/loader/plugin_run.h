// One run of a plug-in's server over a scene, with a face for its panel, and
// what happened: the one way the tool, tests, fuzz entries and benchmarks run
// the plug-in.
//
//     host::ScriptedFace face({answers, /*cancel=*/false});
//     const host::PluginRun run = host::run_plugin(server, scene, {.face = &face});
//     if (run.panel && run.panel->accepted) ...
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/loader/host.h"
#include "host/panel/panel_face.h"
#include "host/scene/scene.h"
#include "sowfield_host.h"

namespace sowfield::host {

struct PluginRunOptions {
    HostOptions host = {};
    PanelFace *face = nullptr;  // answers the panel; null accepts it as the plug-in set it
    // For testing how a plug-in copes (see Host::hide_service, Host::refuse_edit).
    std::vector<std::string> hidden_services = {};
    bool refuse_edit = false;
};

struct PluginRun {
    int result = 0;  // what activate returned
    std::vector<Message> messages;
    // The last posted panel's outcome; none when the plug-in stopped before
    // its panel.
    std::optional<PanelOutcome> panel;
    int panel_posts = 0;
    std::vector<std::string> violations;  // contract misuse the host recorded
    std::vector<int32_t> end_codes;
    int64_t points_added = 0;
    int64_t polygons_added = 0;
    int64_t values_written = 0;
    MonitorRecord monitor;  // the last progress monitor the plug-in made
};

// Runs `server` on `scene` in a host made with `options.host`.
PluginRun run_plugin(const sf_server_record &server, Scene &scene, const PluginRunOptions &options = {});

// What `host`'s last run did, `result` being what it returned.
PluginRun describe_run(const Host &host, int result);

}  // namespace sowfield::host
