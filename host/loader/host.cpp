#include "host/loader/host.h"

#include <cstring>
#include <iostream>

#include "host/services/current.h"

namespace sowfield::host {

// The two functions handed to activate. They are plain C function pointers,
// so they find their host through the thread's current one.
struct Host::Calls {
    static const void *get_global(const char *name, int /*use_mode*/) {
        Host *host = Current<Host>::get();
        if (host == nullptr || name == nullptr) return nullptr;
        try {
            return host->global(name);
        } catch (...) {
            return nullptr;
        }
    }

    static sf_edit_session *begin_edit(int /*reserved_a*/, int /*reserved_b*/, int /*mode*/) {
        Host *host = Current<Host>::get();
        if (host == nullptr) return nullptr;
        try {
            return host->begin_edit();
        } catch (...) {
            return nullptr;
        }
    }
};

Host::Host(Scene &scene, HostOptions options)
    : scene_(scene),
      options_(options),
      log_(options.strict),
      session_(scene, log_),
      messages_(options.info_out != nullptr ? *options.info_out : std::cout,
                options.error_out != nullptr ? *options.error_out : std::cerr),
      scene_objects_(scene),
      monitors_(log_, options.progress == ProgressStyle::terminal,
                options.on_progress != nullptr ? *options.on_progress : MonitorService::Observer{}),
      panels_(log_) {}

Host::~Host() = default;

void Host::hide_service(std::string_view name, bool hidden) {
    if (hidden)
        hidden_.emplace(name);
    else if (auto found = hidden_.find(name); found != hidden_.end())
        hidden_.erase(found);
}

const void *Host::global(const char *name) {
    if (hidden_.find(std::string_view(name)) != hidden_.end()) return nullptr;
    if (std::strcmp(name, SF_MESSAGE_SERVICE_NAME) == 0) return MessageService::table();
    if (std::strcmp(name, SF_SCENE_OBJECTS_SERVICE_NAME) == 0) return SceneObjectsService::table();
    if (std::strcmp(name, SF_MONITOR_SERVICE_NAME) == 0) return MonitorService::table();
    if (std::strcmp(name, SF_PANEL_SERVICE_NAME) == 0)
        return PanelService::table();
    return nullptr;
}

sf_edit_session *Host::begin_edit() {
    ++begin_edit_calls_;
    if (refuse_edit_) return nullptr;
    return session_.begin();
}

int Host::run(const sf_server_record &server) {
    messages_.clear();
    scene_objects_.reset();
    monitors_.reset();
    panels_.reset();
    log_.clear();
    begin_edit_calls_ = 0;
    if (server.activate == nullptr) {
        log_.record("the server has no activation function");
        return SF_AFUNC_BADAPP;
    }

    int result = 0;
    {
        Current<Host>::Scope host_scope(*this);
        MessageService::Scope message_scope(messages_);
        SceneObjectsService::Scope objects_scope(scene_objects_);
        MonitorService::Scope monitor_scope(monitors_);
        PanelService::Scope panel_scope(panels_);
        result = server.activate(SF_MODULE_VERSION, &Calls::get_global, &Calls::begin_edit, nullptr);
    }
    if (session_.active()) {
        log_.record("activate returned without ending its edit session; the edits were discarded");
        session_.end(-1);
    }
    if (monitors_.open_count() > 0) log_.record("activate returned with a progress monitor not destroyed");
    if (panels_.open_panel_count() > 0) log_.record("activate returned with a panel not destroyed");
    return result;
}

}  // namespace sowfield::host
