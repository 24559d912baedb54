// "LWM: Dynamic Monitor": progress displays. Draws a bar on standard error
// when asked to and standard error is a terminal; otherwise silent. Either way
// it counts what the plug-in did, for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/services/contract_log.h"
#include "host/services/current.h"
#include "sowfield_host.h"

namespace sowfield::host {

// What the plug-in did with monitors since the last reset.
struct MonitorRecord {
    int created = 0;
    int destroyed = 0;
    int init_calls = 0;
    int step_calls = 0;
    int done_calls = 0;
    int64_t steps = 0;          // sum of the increments
    int32_t last_total = 0;     // the total of the last monitor_init
    std::vector<std::string> titles;    // of each monitor created, in order
    std::vector<std::string> captions;  // of each monitor created, in order
};

class MonitorService : public Current<MonitorService> {
public:
    // `draw`: show a bar on standard error, when it is a terminal.
    MonitorService(ContractLog &log, bool draw);
    ~MonitorService();
    MonitorService(const MonitorService &) = delete;
    MonitorService &operator=(const MonitorService &) = delete;

    // The C record to hand out; its functions act on the current instance.
    // Outside a Scope monitor_create gives null.
    static const sf_monitor_service *table();

    const MonitorRecord &record() const { return record_; }
    // For testing how a plug-in copes: monitor_create answers null.
    void refuse_monitors(bool refuse = true) { refuse_ = refuse; }
    // Monitors created and not destroyed.
    int open_count() const { return static_cast<int>(monitors_.size()); }
    // Forgets the counts and destroys monitors the plug-in left open.
    void reset();

    struct Monitor;  // implementation; reached from the C functions

private:
    friend struct MonitorCalls;

    ContractLog &log_;
    bool draw_;
    bool refuse_ = false;
    MonitorRecord record_;
    std::vector<std::unique_ptr<Monitor>> monitors_;
};

}  // namespace sowfield::host
