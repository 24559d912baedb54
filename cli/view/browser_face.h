// The browser page as a face of the host's panel service.
//
// The plug-in posts its panel on the run's thread and waits there, inside
// answer(), for the user. The page's requests arrive on the server's threads:
// each hands one action to the waiting run thread and waits for its reply,
// so the open panel (and through its buttons, the plug-in) is only ever
// touched on the run's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/panel/panel_face.h"

namespace sowfield::cli::view {

// One thing the user does in the open panel.
struct PanelAction {
    enum class Kind { set, press, ok, cancel };
    Kind kind = Kind::set;
    std::string label;
    std::string value;  // for `set`: display text
};

struct PanelReply {
    bool open = false;      // a panel was open to take the action
    std::string error;      // the panel's or the check's message; empty when accepted
    nlohmann::json panel;   // the panel after the action (null once closed)
};

class BrowserFace : public host::PanelFace {
public:
    // `check_ok` may refuse OK with a message (the panel then stays open);
    // `changed` is called, on the run's thread, after every action.
    BrowserFace(std::function<std::string(const host::PanelSnapshot &)> check_ok, std::function<void()> changed);

    // Run thread: shows the panel and carries out the page's actions until
    // OK or Cancel, or Cancel when the face is closed.
    bool answer(host::OpenPanel &panel) override;

    // Server threads: hands the actions to the run thread in order and waits
    // for the reply to the last; stops at the first refused one.
    PanelReply act(std::vector<PanelAction> actions, std::chrono::milliseconds patience);

    // The open panel as the page draws it, or nothing.
    std::optional<nlohmann::json> open_panel() const;

    // Run thread: when the user last answered OK (a run's time starts there,
    // not while the panel waited for the user).
    std::chrono::steady_clock::time_point accepted_at() const { return accepted_at_; }

    // The open panel's values as a settings file, or nothing.
    std::optional<std::string> open_settings() const;

    // From now on every panel is answered Cancel at once (the server stops).
    void close();

private:
    struct Pending {
        std::vector<PanelAction> actions;
        bool done = false;
        PanelReply reply;
        std::string settings;  // the panel's values after the request, as a settings file
    };

    // With the lock held: the panel is gone; every waiting request is told why.
    void drop_queued(const char *why);
    // Carries out one request on the open panel; true when it closed it.
    bool carry_out(host::OpenPanel &panel, Pending &pending, bool &accepted);

    std::function<std::string(const host::PanelSnapshot &)> check_ok_;
    std::function<void()> changed_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Pending>> queue_;
    std::optional<nlohmann::json> shown_;
    std::string shown_settings_;
    bool closed_ = false;
    std::chrono::steady_clock::time_point accepted_at_;  // run thread only
};

}  // namespace sowfield::cli::view
