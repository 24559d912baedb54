#include "host/loader/plugin_run.h"

namespace sowfield::host {

PluginRun describe_run(const Host &host, int result) {
    PluginRun run;
    run.result = result;
    run.messages = host.messages();
    if (const PanelOutcome *outcome = host.panels().last_outcome()) run.panel = *outcome;
    run.panel_posts = host.panels().post_count();
    run.violations = host.violations();
    run.end_codes = host.end_codes();
    run.points_added = host.points_added();
    run.polygons_added = host.polygons_added();
    run.values_written = host.values_written();
    run.monitor = host.monitor();
    return run;
}

PluginRun run_plugin(const sf_server_record &server, Scene &scene, const PluginRunOptions &options) {
    Host host(scene, options.host);
    host.panels().set_face(options.face);
    for (const std::string &name : options.hidden_services) host.hide_service(name);
    host.refuse_edit(options.refuse_edit);
    const int result = host.run(server);
    return describe_run(host, result);
}

}  // namespace sowfield::host
