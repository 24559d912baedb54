// How `sowfield view` runs the plug-in: the host's run helper with the page
// as the panel's face and the monitors shown as progress bars.
#pragma once

#include "cli/view/view_session.h"
#include "host/loader/plugin_loader.h"

namespace sowfield::cli::view {

// Runs the Sowfield server of `library` (which must outlive the result).
RunPlugin plugin_run(const host::PluginLibrary &library);

}  // namespace sowfield::cli::view
