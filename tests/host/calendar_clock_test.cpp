// The host's clock reaches a loaded plug-in: the module seeds its generator
// from the calendar time when it is loaded, and that call must land in the
// host's time(), not the C library's.
#include "host/services/calendar_clock.h"

#include <gtest/gtest.h>

#include "host/loader/plugin_loader.h"

namespace sowfield::host {
namespace {

TEST(CalendarClock, TheLoadedModuleReadsTheHostsClock) {
    set_calendar_clock(1234567);
    const uint64_t reads_before = calendar_clock_reads().count;
    {
        const PluginLibrary library = PluginLibrary::open(SOWFIELD_MODULE_PATH);
        const ClockReads reads = calendar_clock_reads();
        EXPECT_GT(reads.count, reads_before);
        EXPECT_EQ(reads.last, 1234567);
    }
    // Back on the real clock, time() answers it again.
    set_calendar_clock(std::nullopt);
    const int64_t real = real_calendar_time();
    const auto now = static_cast<int64_t>(::time(nullptr));
    EXPECT_GE(now, real);
    EXPECT_EQ(calendar_clock_reads().last, now);
}

}  // namespace
}  // namespace sowfield::host
