#include "host/services/calendar_clock.h"

#include <time.h>

#include <atomic>

namespace sowfield::host {
namespace {

// Any thread may ask the time, so the answer and the record are atomics.
std::atomic<bool> clock_fixed{false};
std::atomic<int64_t> fixed_seconds{0};
std::atomic<uint64_t> read_count{0};
std::atomic<int64_t> last_answer{0};

int64_t answer_time() {
    const int64_t seconds = clock_fixed.load() ? fixed_seconds.load() : real_calendar_time();
    last_answer.store(seconds);
    read_count.fetch_add(1);
    return seconds;
}

}  // namespace

void set_calendar_clock(std::optional<int64_t> seconds) {
    fixed_seconds.store(seconds.value_or(0));
    clock_fixed.store(seconds.has_value());
}

int64_t real_calendar_time() {
    // clock_gettime, not time(): the latter is the function defined below.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec);
}

ClockReads calendar_clock_reads() { return {read_count.load(), last_answer.load()}; }

}  // namespace sowfield::host

// The C library's time(), replaced for the whole process (see the header).
extern "C" time_t time(time_t *out) noexcept {
    const auto seconds = static_cast<time_t>(sowfield::host::answer_time());
    if (out != nullptr) *out = seconds;
    return seconds;
}
