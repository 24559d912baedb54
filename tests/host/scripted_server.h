// A server whose activation runs a test's lambda, so a test can act as a
// plug-in (or a misbehaving one) against a Host.
#pragma once

#include <functional>

#include "sowfield_host.h"

namespace sowfield::host {

struct PluginSide {
    sf_get_global_fn get_global;
    sf_begin_edit_fn begin_edit;

    template <class Service>
    const Service *service(const char *name) const {
        return static_cast<const Service *>(get_global(name, 0));
    }
};

inline std::function<int(const PluginSide &)> &script() {
    static std::function<int(const PluginSide &)> body;
    return body;
}

inline int scripted_activate(int32_t, sf_get_global_fn get_global, sf_begin_edit_fn begin_edit, void *) {
    return script()(PluginSide{get_global, begin_edit});
}

inline const sf_server_record scripted_server{SF_MESH_EDIT_CLASS, "Scripted", scripted_activate, nullptr};

}  // namespace sowfield::host
