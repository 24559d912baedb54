#include "cli/view/browser_face.h"

#include "cli/view/panel_json.h"
#include "host/panel/panel_view.h"

namespace sowfield::cli::view {

BrowserFace::BrowserFace(std::function<std::string(const host::PanelSnapshot &)> check_ok,
                         std::function<void()> changed)
    : check_ok_(std::move(check_ok)), changed_(std::move(changed)) {}

bool BrowserFace::answer(host::OpenPanel &panel) {
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    const host::PanelSnapshot opening = panel.snapshot();
    shown_ = panel_json(opening);
    shown_settings_ = host::settings_json(opening);
    lock.unlock();
    changed_();
    bool accepted = false;
    for (;;) {
        lock.lock();
        wake_.wait(lock, [&] { return closed_ || !queue_.empty(); });
        if (closed_) {
            drop_queued("the view is closing");
            return false;
        }
        const std::shared_ptr<Pending> pending = queue_.front();
        queue_.pop_front();
        lock.unlock();
        const bool finished = carry_out(panel, *pending, accepted);
        lock.lock();
        pending->done = true;
        if (finished)
            drop_queued("the panel has closed");
        else {
            shown_ = pending->reply.panel;
            shown_settings_ = std::move(pending->settings);
        }
        wake_.notify_all();
        lock.unlock();
        changed_();
        if (finished) return accepted;
    }
}

void BrowserFace::drop_queued(const char *why) {
    shown_.reset();
    for (const auto &pending : queue_) {
        pending->reply = {false, why, nullptr};
        pending->done = true;
    }
    queue_.clear();
    wake_.notify_all();
}

bool BrowserFace::carry_out(host::OpenPanel &panel, Pending &pending, bool &accepted) {
    pending.reply.open = true;
    for (const PanelAction &action : pending.actions) {
        switch (action.kind) {
        case PanelAction::Kind::set: pending.reply.error = panel.set(action.label, action.value); break;
        case PanelAction::Kind::press: pending.reply.error = panel.press(action.label); break;
        case PanelAction::Kind::ok:
            pending.reply.error = check_ok_ ? check_ok_(panel.snapshot()) : std::string{};
            if (pending.reply.error.empty()) {
                accepted = true;
                accepted_at_ = std::chrono::steady_clock::now();
                return true;
            }
            break;
        case PanelAction::Kind::cancel: return true;
        }
        if (!pending.reply.error.empty()) break;
    }
    const host::PanelSnapshot now = panel.snapshot();
    pending.reply.panel = panel_json(now);
    pending.settings = host::settings_json(now);
    return false;
}

PanelReply BrowserFace::act(std::vector<PanelAction> actions, std::chrono::milliseconds patience) {
    auto pending = std::make_shared<Pending>();
    pending->actions = std::move(actions);
    std::unique_lock lock(mutex_);
    if (!shown_ || closed_) return {false, "no panel is open", nullptr};
    queue_.push_back(pending);
    wake_.notify_all();
    if (!wake_.wait_for(lock, patience, [&] { return pending->done; }))
        return {true, "the panel did not answer in time", nullptr};
    return pending->reply;
}

std::optional<nlohmann::json> BrowserFace::open_panel() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::optional<std::string> BrowserFace::open_settings() const {
    std::lock_guard lock(mutex_);
    if (!shown_) return std::nullopt;
    return shown_settings_;
}

void BrowserFace::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    wake_.notify_all();
}

}  // namespace sowfield::cli::view
