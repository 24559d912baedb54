// The memory guard: before the plug-in runs, an estimate of the memory its
// result will take (memory_estimate.h), compared with what the machine has
// free (system_memory.h), so that a run too large to finish is refused up
// front instead of ending in the kernel's out-of-memory killer with the
// user's work half done.
#pragma once

#include <cstdint>
#include <string>

#include "cli/memory_estimate.h"
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

// Refuses when the estimate exceeds the limit.
GuardVerdict check_memory(const MemoryRequest &request, const MemoryLimit &limit);

}  // namespace sowfield::cli
