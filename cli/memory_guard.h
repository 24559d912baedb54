// The memory guard: before the plug-in runs, an estimate of the memory its
// result will take (memory_estimate.h), compared with what the machine has
// free (system_memory.h), so that a run too large to finish is refused up
// front instead of ending in the kernel's out-of-memory killer with the
// user's work half done.
#pragma once

#include <cstdint>
#include <string>

#include "cli/memory_estimate.h"
#include "host/panel/panel_snapshot.h"
#include "host/scene/scene.h"
#include "cli/size_text.h"
#include "cli/system_memory.h"

namespace sowfield::cli {

struct GuardVerdict {
    bool refused = false;
    MemoryEstimate estimate;
    // When refused: a first line with what it needs and what there is, a
    // second with what to do instead.
    std::string message;
    int64_t clones_that_fit = 0;  // the largest clone count within the limit
};

// The value an integer control holds in a panel, or `fallback`.
int32_t integer_setting(const host::PanelSnapshot &panel, std::string_view label, int32_t fallback);

// What a run of the plug-in on `scene` with the settings of the accepted
// panel will ask for; the foreground layer must be as the run will find it.
MemoryRequest run_memory_request(const host::Scene &scene, const host::PanelSnapshot &accepted, OutputPlan output,
                                 bool clones_only);

// Refuses when the estimate exceeds the limit.
GuardVerdict check_memory(const MemoryRequest &request, const MemoryLimit &limit);

}  // namespace sowfield::cli
