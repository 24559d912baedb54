// The memory guard for runs started from the page: OK is refused, with the
// panel left open and the reason shown, when the run the panel describes would
// not fit in the memory the machine has, before the plug-in builds anything.
#pragma once

#include <optional>
#include <string>

#include "cli/system_memory.h"
#include "host/panel/panel_snapshot.h"
#include "host/scene/scene.h"

namespace sowfield::cli::view {

// The reason to refuse OK for the panel `accepted` on `scene` (as the run will
// find it) under `limit`, or an empty string when the run fits or no limit is
// known.
std::string memory_refusal(const host::Scene &scene, const host::PanelSnapshot &accepted,
                           const std::optional<MemoryLimit> &limit);

}  // namespace sowfield::cli::view
