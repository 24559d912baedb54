// The stand-in host: runs a plug-in's server over a Scene, handing it the
// edit session and the global services, and records what the run did.
//
//     host::Scene scene = ...;
//     host::PluginLibrary library = host::PluginLibrary::open(path);
//     host::Host host(scene, {.progress = host::ProgressStyle::terminal});
//     int result = host.run(library.server(SF_MESH_EDIT_CLASS, "Sowfield"));
//     for (const host::Message &m : host.messages()) ...
//
// Services offered by name: "Info Messages 2", "Scene Objects 6", "LWXPanel"
// (answered by the face given to panels()) and "LWM: Dynamic Monitor"; any
// other name gives null.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/edit/edit_session.h"
#include "host/panel/panel_service.h"
#include "host/scene/scene.h"
#include "host/services/contract_log.h"
#include "host/services/message_service.h"
#include "host/services/monitor_service.h"
#include "host/services/scene_objects_service.h"
#include "sowfield_host.h"

namespace sowfield::host {

enum class ProgressStyle {
    none,      // no progress display
    terminal,  // a bar on standard error, when it is a terminal
};

struct HostOptions {
    // Record contract misuse (see ContractLog); misuse is refused either way.
    bool strict = true;
    ProgressStyle progress = ProgressStyle::none;
    std::ostream *info_out = nullptr;   // info messages; null: standard output
    std::ostream *error_out = nullptr;  // error messages; null: standard error
    // Told of the progress monitors' changes, on the run's thread (a
    // graphical front end draws them); may be null. Held by pointer so the
    // options stay a plain record: the caller keeps the observer for the run.
    const MonitorService::Observer *on_progress = nullptr;
};

class Host {
public:
    explicit Host(Scene &scene, HostOptions options = {});
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // Calls the server's activate with this host's get_global and begin_edit
    // and returns its result. The records below are reset first. A session
    // the plug-in left open is recorded as misuse and discarded.
    int run(const sf_server_record &server);

    // For testing how a plug-in copes: hide a service (get_global answers
    // null for it), refuse the edit session (begin_edit answers null).
    void hide_service(std::string_view name, bool hidden = true);
    void refuse_edit(bool refuse = true) { refuse_edit_ = refuse; }

    // What the last run did.
    const std::vector<Message> &messages() const { return messages_.messages(); }
    int begin_edit_calls() const { return begin_edit_calls_; }
    const std::vector<int32_t> &end_codes() const { return session_.end_codes(); }
    int64_t points_added() const { return session_.stats().points_added; }
    int64_t polygons_added() const { return session_.stats().polygons_added; }
    int64_t values_written() const { return session_.stats().values_written; }
    const std::vector<std::string> &violations() const { return log_.entries(); }
    const MonitorRecord &monitor() const { return monitors_.record(); }

    // The panel service: give it a face before the run, read its outcome after.
    PanelService &panels() { return panels_; }
    const PanelService &panels() const { return panels_; }
    EditSession &edit_session() { return session_; }
    Scene &scene() { return scene_; }
    const HostOptions &options() const { return options_; }

private:
    struct Calls;  // the C entry points
    friend struct Calls;

    const void *global(const char *name);
    sf_edit_session *begin_edit();

    Scene &scene_;
    HostOptions options_;
    ContractLog log_;
    EditSession session_;
    MessageService messages_;
    SceneObjectsService scene_objects_;
    MonitorService monitors_;
    PanelService panels_;
    std::set<std::string, std::less<>> hidden_;
    bool refuse_edit_ = false;
    int begin_edit_calls_ = 0;
};

}  // namespace sowfield::host
