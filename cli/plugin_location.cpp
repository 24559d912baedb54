#include "cli/plugin_location.h"

#include <string>
#include <system_error>

namespace sowfield::cli {
namespace {

std::string looked_list(const std::vector<std::filesystem::path> &looked) {
    std::string message = "the plug-in module libsowfield.so was not found; looked at:";
    for (const std::filesystem::path &place : looked) message += "\n  " + place.string();
    if (looked.empty()) message += "\n  (nowhere: the tool's own location is unknown)";
    return message + "\ngive its path with --plugin PATH";
}

}  // namespace

PluginNotFound::PluginNotFound(const std::vector<std::filesystem::path> &looked)
    : std::runtime_error(looked_list(looked)), looked_(looked) {}

std::filesystem::path current_executable() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : self;
}

std::vector<std::filesystem::path> plugin_candidates(const std::filesystem::path &executable) {
    if (executable.empty()) return {};
    const std::filesystem::path directory = executable.parent_path();
    return {
        directory.parent_path() / "libsowfield.so",               // the build tree
        directory.parent_path() / "lib" / "sowfield" / "libsowfield.so",  // an install
    };
}

std::filesystem::path locate_plugin(const std::optional<std::filesystem::path> &given,
                                    const std::filesystem::path &executable) {
    if (given) return *given;
    const std::vector<std::filesystem::path> candidates = plugin_candidates(executable);
    for (const std::filesystem::path &candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    }
    throw PluginNotFound(candidates);
}

}  // namespace sowfield::cli
