#include "host/loader/plugin_loader.h"

#include <dlfcn.h>

#include <cstring>
#include <system_error>
#include <utility>

#include "host/common/text.h"

namespace sowfield::host {

namespace {

// Far above any real library; a server list without its end record stops here.
constexpr int kMaxServers = 1024;

// Unloads on every path out of open() that does not hand the library over.
class HandleGuard {
public:
    explicit HandleGuard(void *handle) : handle_(handle) {}
    ~HandleGuard() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    HandleGuard(const HandleGuard &) = delete;
    HandleGuard &operator=(const HandleGuard &) = delete;
    void *get() const { return handle_; }
    void *release() { return std::exchange(handle_, nullptr); }

private:
    void *handle_;
};

}  // namespace

PluginLibrary PluginLibrary::open(const std::filesystem::path &path) {
    const std::string name = path.string();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw LoaderError(LoaderError::Kind::file_missing, name + ": no such plug-in file");

    dlerror();  // clear any earlier message
    HandleGuard handle(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (handle.get() == nullptr) {
        const char *reason = dlerror();
        throw LoaderError(LoaderError::Kind::open_failed,
                          name + ": cannot load the library: " + (reason != nullptr ? reason : "unknown reason"));
    }
    const auto *descriptor = static_cast<const sf_module_descriptor *>(dlsym(handle.get(), SF_MODULE_SYMBOL));
    if (descriptor == nullptr)
        throw LoaderError(LoaderError::Kind::symbol_missing,
                          name + ": no module descriptor (symbol \"" SF_MODULE_SYMBOL "\"); not a plug-in");
    if (descriptor->sync != SF_MODULE_SYNC)
        throw LoaderError(LoaderError::Kind::bad_sync, name + ": module descriptor has sync word " +
                                                           hex(descriptor->sync, 8) + ", expected " + hex(SF_MODULE_SYNC, 8));
    if (descriptor->version != SF_MODULE_VERSION)
        throw LoaderError(LoaderError::Kind::bad_version,
                          name + ": module descriptor version " + std::to_string(descriptor->version) +
                              ", this host speaks version " + std::to_string(SF_MODULE_VERSION));
    if (descriptor->startup == nullptr || descriptor->shutdown == nullptr)
        throw LoaderError(LoaderError::Kind::startup_failed,
                          name + ": module descriptor lacks its " +
                              (descriptor->startup == nullptr ? "startup" : "shutdown") + " function");
    void *token = descriptor->startup();
    if (token == nullptr)
        throw LoaderError(LoaderError::Kind::startup_failed, name + ": the plug-in's startup function failed");
    std::filesystem::path kept = path;  // copied before the handle changes hands: nothing throws after
    return PluginLibrary(std::move(kept), handle.release(), descriptor, token);
}

PluginLibrary::PluginLibrary(std::filesystem::path path, void *handle, const sf_module_descriptor *descriptor,
                             void *token)
    : path_(std::move(path)), handle_(handle), descriptor_(descriptor), token_(token) {}

PluginLibrary::~PluginLibrary() { close(); }

PluginLibrary::PluginLibrary(PluginLibrary &&other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::exchange(other.handle_, nullptr)),
      descriptor_(std::exchange(other.descriptor_, nullptr)),
      token_(std::exchange(other.token_, nullptr)) {}

PluginLibrary &PluginLibrary::operator=(PluginLibrary &&other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, nullptr);
        descriptor_ = std::exchange(other.descriptor_, nullptr);
        token_ = std::exchange(other.token_, nullptr);
    }
    return *this;
}

void PluginLibrary::close() noexcept {
    if (handle_ == nullptr) return;
    descriptor_->shutdown(token_);
    dlclose(handle_);
    handle_ = nullptr;
    descriptor_ = nullptr;
    token_ = nullptr;
}

const sf_server_record &PluginLibrary::server(std::string_view host_class, std::string_view name) const {
    std::string offered;
    const sf_server_record *servers = descriptor_ != nullptr ? descriptor_->servers : nullptr;
    for (int i = 0; servers != nullptr && i < kMaxServers; ++i) {
        const sf_server_record &server = servers[i];
        if (server.host_class == nullptr || server.server_name == nullptr) break;  // the end record
        if (server.host_class == host_class && server.server_name == name) {
            if (server.activate == nullptr)
                throw LoaderError(LoaderError::Kind::server_missing, path_.string() + ": server \"" +
                                                                         std::string(name) + "\" has no activation function");
            return server;
        }
        offered += std::string(offered.empty() ? "" : ", ") + server.host_class + " \"" + server.server_name + "\"";
    }
    throw LoaderError(LoaderError::Kind::server_missing,
                      path_.string() + ": no " + std::string(host_class) + " server named \"" + std::string(name) +
                          "\" (offers " + (offered.empty() ? "none" : offered) + ")");
}

}  // namespace sowfield::host
