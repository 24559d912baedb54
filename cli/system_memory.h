// What the system says about memory: how much a run may still take, and how
// much this process holds and has held at most.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sowfield::cli {

// Memory the run may use, and where that figure came from.
struct MemoryLimit {
    uint64_t bytes = 0;
    std::string source;  // e.g. "MemAvailable in /proc/meminfo"
};

// "MemAvailable:" of a /proc/meminfo text, in bytes.
std::optional<uint64_t> parse_mem_available(std::string_view meminfo);

// The smaller of MemAvailable and the room left under this process's cgroup
// memory limit, when there is one. Nothing when neither can be read.
std::optional<MemoryLimit> available_memory();

// This process's resident memory now (VmRSS) and its high-water mark (VmHWM),
// from /proc/self/status; nothing where the system does not say.
std::optional<uint64_t> resident_bytes();
std::optional<uint64_t> peak_resident_bytes();

// Starts the high-water mark afresh at the resident memory of now (Linux:
// "5" written to /proc/self/clear_refs), so that the peak of one stage can be
// told from what came before. False when the system does not allow it.
bool restart_peak_resident();

}  // namespace sowfield::cli
