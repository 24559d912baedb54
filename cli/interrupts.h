// Ctrl-C and SIGTERM end the tool at once with status 130 and leave no
// partial output behind.
//
// The handler may only do async-signal-safe work, so the one file it must
// remove is registered beforehand in a fixed buffer:
//
//     install_interrupt_handlers();             // first thing in main
//     ...
//     PartialFile guard(temp_path);             // a half-written file
//     write(temp_path); rename(temp_path, final);
//     guard.release();                          // complete: keep it
//
// Mesh files are written atomically by the io layer, which does not tell
// where its temporary file is; interrupts are held back while it writes
// (InterruptsHeld), so its temporary file is either renamed into place or
// removed by io itself, and an interrupt that arrived meanwhile is then
// acted on: the handler removes the finished output and exits 130.
#pragma once

#include <csignal>
#include <cstddef>
#include <filesystem>
#include <vector>

namespace sowfield::cli {

// SIGINT and SIGTERM: remove the registered file, if any, say
// "sowfield: interrupted: nothing written" on standard error, and _exit(130).
void install_interrupt_handlers();

// Registers `path` (or `paths`, a file and its companions) for removal on
// interrupt for the guard's lifetime (or until release()). One guard at a
// time; a new guard replaces the previous registration, and its destruction
// clears it. Paths longer than the handler's buffer (PATH_MAX), and paths
// beyond the first kMaxPartialFiles, are not registered: an interrupt then
// leaves that file.
class PartialFile {
public:
    static constexpr size_t kMaxPartialFiles = 16;
    explicit PartialFile(const std::filesystem::path &path);
    explicit PartialFile(const std::vector<std::filesystem::path> &paths);
    ~PartialFile();
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    // The file is complete: an interrupt no longer removes it.
    void release();

private:
    bool registered_ = false;
};

// Holds SIGINT and SIGTERM back for its lifetime; one that arrives meanwhile
// is acted on when the hold ends (or at release()), whichever thread of the
// process it reached. One hold at a time: holds do not nest.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld &) = delete;
    InterruptsHeld &operator=(const InterruptsHeld &) = delete;

    // Ends the hold early; a pending interrupt is delivered now.
    void release();

private:
    sigset_t previous_{};
    bool held_ = false;     // the signals are blocked in this thread
    bool holding_ = false;  // the handler defers to this hold
};

}  // namespace sowfield::cli
