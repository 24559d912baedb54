// The plug-in's entry points as the module descriptor lists them.
#pragma once

#include <cstdint>

#include "sowfield_host.h"

namespace sowfield {

// Returns the constant token 4; nothing else to set up.
void *startup();

// Does nothing.
void shutdown(void *token);

// Runs one whole command: checks the layers, lists the maps, asks the panel,
// collects the surface, chooses the sites, builds the clones, releases.
// Returns SF_AFUNC_BADAPP when no edit session could be begun, else SF_AFUNC_OK.
int activate(int32_t version, sf_get_global_fn get_global, sf_begin_edit_fn begin_edit, void *server_data);

}  // namespace sowfield
