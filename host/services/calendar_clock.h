// The calendar time the host gives the libraries it loads.
//
// A plug-in may read the calendar time once, when its library is loaded (to
// seed a random generator, say), through the C library's time(). The host's
// executables define and export time() themselves (calendar_clock.cpp; the
// build exports the symbol from every executable that links the host), so the
// dynamic linker binds a loaded library's call to the host's function before
// the C library's. That lets a tool answer a chosen time and repeat a run
// exactly, without any change to the plug-in:
//
//     host::set_calendar_clock(1767225600);
//     host::PluginLibrary library = host::PluginLibrary::open(path);  // reads 1767225600
//
// Executables that never call into this file keep the C library's time().
#pragma once

#include <cstdint>
#include <optional>

namespace sowfield::host {

// From now on time() answers `seconds` (whole seconds since 1970);
// nullopt: the real clock again.
void set_calendar_clock(std::optional<int64_t> seconds);

// The real calendar time in whole seconds since 1970, whatever time() answers.
int64_t real_calendar_time();

// How often time() was called in this process, and its last answer.
struct ClockReads {
    uint64_t count = 0;
    int64_t last = 0;
};
ClockReads calendar_clock_reads();

}  // namespace sowfield::host
