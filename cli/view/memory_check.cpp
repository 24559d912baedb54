#include "cli/view/memory_check.h"

#include "cli/memory_guard.h"

namespace sowfield::cli::view {

std::string memory_refusal(const host::Scene &scene, const host::PanelSnapshot &accepted,
                           const std::optional<MemoryLimit> &limit) {
    if (!limit) return {};
    // The page writes only when Save is pressed, after the run: the run itself
    // is what must fit now.
    const GuardVerdict verdict = check_memory(run_memory_request(scene, accepted, OutputPlan::none, false), *limit);
    if (!verdict.refused) return {};
    // The guard's first line says what the run needs and what there is; its
    // advice names command-line options, so the page gets its own.
    std::string reason = verdict.message.substr(0, verdict.message.find('\n'));
    if (!reason.empty()) reason[0] = 'T';
    if (verdict.clones_that_fit > 0)
        return reason + " Lower \"Number of Clones\" to " + std::to_string(verdict.clones_that_fit) + " or fewer.";
    return reason + " Not even one clone fits: free some memory or use a smaller surface.";
}

}  // namespace sowfield::cli::view
