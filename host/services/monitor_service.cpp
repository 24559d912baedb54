#include "host/services/monitor_service.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace sowfield::host {

struct MonitorService::Monitor {
    sf_monitor record{};
    MonitorService *owner = nullptr;
    std::string title;
    std::string caption;
    int32_t total = 0;
    int64_t done = 0;
    int shown_percent = -1;  // last percentage drawn; -1 before the first
    bool bar = false;        // drawing on the terminal
};

// The C entry points. A monitor's own calls reach it through its state word;
// create and destroy reach the current service.
struct MonitorCalls {
    using Monitor = MonitorService::Monitor;

    static void draw(Monitor &m) {
        if (!m.bar) return;
        const int64_t total = std::max<int64_t>(m.total, 1);
        const int percent = static_cast<int>(std::clamp<int64_t>(m.done * 100 / total, 0, 100));
        if (percent == m.shown_percent) return;
        m.shown_percent = percent;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", m.caption.c_str(), filled, "##############################",
                     kWidth - filled, "", percent);
        std::fflush(stderr);
    }

    static void init(void *state, int32_t total) {
        Monitor &m = *static_cast<Monitor *>(state);
        ++m.owner->record_.init_calls;
        m.owner->record_.last_total = total;
        m.total = total;
        m.done = 0;
        m.shown_percent = -1;
        draw(m);
    }

    static int32_t step(void *state, int32_t increment) {
        Monitor &m = *static_cast<Monitor *>(state);
        ++m.owner->record_.step_calls;
        m.owner->record_.steps += increment;
        m.done += increment;
        draw(m);
        return 0;  // this host never asks a plug-in to cancel
    }

    static void done(void *state) {
        Monitor &m = *static_cast<Monitor *>(state);
        ++m.owner->record_.done_calls;
        if (m.bar && m.shown_percent >= 0) {
            m.done = std::max<int64_t>(m.done, m.total);
            draw(m);
            std::fputc('\n', stderr);
            m.shown_percent = -1;
        }
    }

    static sf_monitor *create(const char *title, const char *caption) {
        MonitorService *service = MonitorService::get();
        if (service == nullptr || service->refuse_) return nullptr;
        try {
            auto monitor = std::make_unique<Monitor>();
            monitor->record = {monitor.get(), init, step, done};
            monitor->owner = service;
            monitor->title = title != nullptr ? title : "";
            monitor->caption = caption != nullptr ? caption : "";
            monitor->bar = service->draw_ && isatty(STDERR_FILENO) != 0;
            ++service->record_.created;
            service->record_.titles.push_back(monitor->title);
            service->record_.captions.push_back(monitor->caption);
            service->monitors_.push_back(std::move(monitor));
            return &service->monitors_.back()->record;
        } catch (...) {
            return nullptr;
        }
    }

    static void destroy(sf_monitor *monitor) {
        MonitorService *service = MonitorService::get();
        if (service == nullptr) return;
        auto &list = service->monitors_;
        auto found = std::find_if(list.begin(), list.end(), [&](const auto &m) { return &m->record == monitor; });
        if (found == list.end()) {
            service->log_.record("monitor_destroy: a monitor this host did not create, or destroyed already");
            return;
        }
        ++service->record_.destroyed;
        list.erase(found);
    }
};

namespace {
const sf_monitor_service kTable = {MonitorCalls::create, MonitorCalls::destroy};
}  // namespace

MonitorService::MonitorService(ContractLog &log, bool draw) : log_(log), draw_(draw) {}

MonitorService::~MonitorService() = default;

const sf_monitor_service *MonitorService::table() { return &kTable; }

void MonitorService::reset() {
    record_ = {};
    monitors_.clear();
}

}  // namespace sowfield::host
