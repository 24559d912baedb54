// Opening a plug-in library the way a host does: load it, read its module
// descriptor, check the sync word and version, start it up, find a server.
//
// Every step is checked and a failure throws LoaderError naming the file and
// what is wrong; the library is unloaded on every failure path. A loaded
// library is shut down and unloaded when its PluginLibrary is destroyed.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sowfield_host.h"

namespace sowfield::host {

class LoaderError : public std::runtime_error {
public:
    enum class Kind {
        file_missing,    // no file at the path
        open_failed,     // the dynamic loader refused it (message holds dlerror())
        symbol_missing,  // no module descriptor symbol
        bad_sync,        // the descriptor's sync word is wrong
        bad_version,     // the descriptor's version is not the one this host speaks
        server_missing,  // no server of the class and name asked for
        startup_failed,  // no startup/shutdown function, or startup gave a null token
    };

    LoaderError(Kind kind, const std::string &message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

class PluginLibrary {
public:
    // Loads the library (RTLD_NOW | RTLD_LOCAL), checks its descriptor and
    // calls its startup function once. Throws LoaderError.
    static PluginLibrary open(const std::filesystem::path &path);

    ~PluginLibrary();
    PluginLibrary(PluginLibrary &&other) noexcept;
    PluginLibrary &operator=(PluginLibrary &&other) noexcept;
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    // The server of this class and name, from the descriptor's server list.
    // Throws LoaderError (server_missing) naming what the library offers.
    const sf_server_record &server(std::string_view host_class, std::string_view name) const;

    const sf_module_descriptor &descriptor() const { return *descriptor_; }
    const std::filesystem::path &path() const { return path_; }

private:
    PluginLibrary(std::filesystem::path path, void *handle, const sf_module_descriptor *descriptor, void *token);
    void close() noexcept;

    std::filesystem::path path_;
    void *handle_ = nullptr;
    const sf_module_descriptor *descriptor_ = nullptr;
    void *token_ = nullptr;
};

}  // namespace sowfield::host
