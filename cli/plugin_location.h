// Where the tool finds the plug-in module when the user does not say.
//
// Beside the build: build/<preset>/cli/sowfield loads build/<preset>/libsowfield.so.
// Installed: <prefix>/bin/sowfield loads <prefix>/lib/sowfield/libsowfield.so.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

namespace sowfield::cli {

// No module at any of the places looked; the message lists them.
class PluginNotFound : public std::runtime_error {
public:
    explicit PluginNotFound(const std::vector<std::filesystem::path> &looked);
    const std::vector<std::filesystem::path> &looked() const { return looked_; }

private:
    std::vector<std::filesystem::path> looked_;
};

// The running executable's path, from /proc/self/exe (empty when unreadable).
std::filesystem::path current_executable();

// The places a module is looked for, in order, for an executable at `executable`.
std::vector<std::filesystem::path> plugin_candidates(const std::filesystem::path &executable);

// The module to load: `given` as it is (the loader reports a missing file),
// else the first candidate that is a file. Throws PluginNotFound.
std::filesystem::path locate_plugin(const std::optional<std::filesystem::path> &given,
                                    const std::filesystem::path &executable);

}  // namespace sowfield::cli
