// The one symbol the library exports. Compiled into the loadable module only,
// so the static library that the unit tests link stays free of it.
#include "plugin/activate.h"
#include "sowfield_host.h"

namespace {

extern "C" int activate_entry(int32_t version, sf_get_global_fn get_global, sf_begin_edit_fn begin_edit,
                              void *server_data) {
    return sowfield::activate(version, get_global, begin_edit, server_data);
}

extern "C" void *startup_entry(void) { return sowfield::startup(); }

extern "C" void shutdown_entry(void *token) { sowfield::shutdown(token); }

const sf_server_tag server_tags[] = {
    {"Sowfield", SF_TAG_USER_NAME | SF_LANG_US_ENGLISH},
    {"Sowfld", SF_TAG_BUTTON_NAME | SF_LANG_US_ENGLISH},
    {"pol", SF_TAG_POLYGON},
    {nullptr, 0},
};

const sf_server_record server_list[] = {
    {SF_MESH_EDIT_CLASS, "Sowfield", activate_entry, server_tags},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const sf_module_descriptor _mod_descrip = {
    SF_MODULE_SYNC, SF_MODULE_VERSION, SF_MACHINE_CODE, startup_entry, shutdown_entry, server_list,
};
