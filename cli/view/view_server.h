// The local web server of `sowfield view`: the page's own files, the scene
// and the session's few actions, behind the request guard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/view/view_session.h"
#include "cli/view/web_files.h"

namespace sowfield::cli::view {

class ViewServer {
public:
    ViewServer(ViewSession &session, WebFiles files, std::string token);
    ~ViewServer();
    ViewServer(const ViewServer &) = delete;
    ViewServer &operator=(const ViewServer &) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port the system picks) and
    // returns the port; throws std::runtime_error when it cannot.
    uint16_t bind(uint16_t port);

    // The address to open, with the access token.
    std::string address() const;

    // Answers requests until stop(); call from one thread.
    void serve();
    void stop();

private:
    struct Routes;
    std::unique_ptr<Routes> routes_;
    uint16_t port_ = 0;
    std::string token_;
};

}  // namespace sowfield::cli::view
