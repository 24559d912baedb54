#include "cli/system_memory.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace sowfield::cli {
namespace {

// A "Key:   1234 kB" line's value in bytes, from a /proc text.
std::optional<uint64_t> kib_field(std::string_view text, std::string_view key) {
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.starts_with(key)) continue;
        line.remove_prefix(key.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        uint64_t kib = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), kib);
        if (error != std::errc{}) return std::nullopt;
        const std::string_view unit(rest, static_cast<size_t>(line.data() + line.size() - rest));
        if (unit != " kB") return std::nullopt;
        uint64_t bytes = 0;
        if (__builtin_mul_overflow(kib, uint64_t{1024}, &bytes)) return std::nullopt;
        return bytes;
    }
    return std::nullopt;
}

std::string file_text(const char *path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<uint64_t> read_number_file(const char *path) {
    std::ifstream in(path);
    std::string text;
    if (!(in >> text)) return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;  // "max": no limit
    return value;
}

}  // namespace

std::optional<uint64_t> parse_mem_available(std::string_view meminfo) { return kib_field(meminfo, "MemAvailable:"); }

std::optional<MemoryLimit> available_memory() {
    std::optional<MemoryLimit> limit;
    if (const auto available = parse_mem_available(file_text("/proc/meminfo")))
        limit = MemoryLimit{*available, "MemAvailable in /proc/meminfo"};
    // A container's cgroup limit can be far below what the machine has free.
    const auto maximum = read_number_file("/sys/fs/cgroup/memory.max");
    const auto current = read_number_file("/sys/fs/cgroup/memory.current");
    if (maximum && current) {
        const uint64_t room = *maximum > *current ? *maximum - *current : 0;
        if (!limit || room < limit->bytes) limit = MemoryLimit{room, "the cgroup limit in /sys/fs/cgroup/memory.max"};
    }
    return limit;
}

std::optional<uint64_t> resident_bytes() { return kib_field(file_text("/proc/self/status"), "VmRSS:"); }

std::optional<uint64_t> peak_resident_bytes() { return kib_field(file_text("/proc/self/status"), "VmHWM:"); }

bool restart_peak_resident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

}  // namespace sowfield::cli
