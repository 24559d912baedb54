#include "cli/interrupts.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "cli/exit_codes.h"

namespace sowfield::cli {
namespace {

// The handler may run in any thread that does not block the signals (a
// library's helper thread, say), at the same time as the main thread works,
// so the flags it shares are lock-free atomics, with sequentially consistent
// order between threads.
static_assert(std::atomic<int>::is_always_lock_free, "the handler's flags must be usable in a signal handler");

// The files to remove: their paths are complete before the count says so.
char partial_paths[PartialFile::kMaxPartialFiles][PATH_MAX];
std::atomic<int> partial_registered{0};  // how many of partial_paths
// Blocking the signals holds them back only in the thread that blocks them,
// so while a hold is on, a handler running elsewhere defers: it records the
// interrupt, and the hold acts on it at its end. Each side stores its own
// flag and then reads the other's; with sequential consistency at least one
// of them sees the other's store, so no interrupt is lost.
std::atomic<int> holding{0};
std::atomic<int> deferred{0};

[[noreturn]] void end_interrupted() {
    const int registered = partial_registered.load();
    for (int i = 0; i < registered; ++i) ::unlink(partial_paths[i]);
    // On a line of its own: on a terminal a progress bar or a caption may
    // hold the line, so go back to its start and clear it first.
    static constexpr char kClearLine[] = "\r\033[K";
    static constexpr char kMessage[] = "sowfield: interrupted: nothing written\n";
    if (::isatty(STDERR_FILENO) == 1) {
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
    }
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    ::_exit(exit_interrupted);
}

extern "C" void on_interrupt(int /*signal*/) {
    deferred.store(1);
    if (holding.load() != 0) return;  // the hold's end acts on it
    end_interrupted();
}

sigset_t interrupt_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void clear_registration() { partial_registered.store(0); }

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    // While one handler removes the file, the other signal waits.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

PartialFile::PartialFile(const std::filesystem::path &path) : PartialFile(std::vector<std::filesystem::path>{path}) {}

PartialFile::PartialFile(const std::vector<std::filesystem::path> &paths) {
    // The handler must never see a half-copied path: say "none" while copying.
    clear_registration();
    int count = 0;
    for (const std::filesystem::path &path : paths) {
        const std::string &text = path.native();
        if (text.empty() || text.size() >= PATH_MAX || count == static_cast<int>(kMaxPartialFiles)) continue;
        std::memcpy(partial_paths[count++], text.c_str(), text.size() + 1);
    }
    if (count == 0) return;
    partial_registered.store(count);
    registered_ = true;
}

PartialFile::~PartialFile() { release(); }

void PartialFile::release() {
    if (registered_) clear_registration();
    registered_ = false;
}

InterruptsHeld::InterruptsHeld() {
    holding.store(1);
    holding_ = true;
    // Blocked in this thread too, so that none of its calls is cut short.
    const sigset_t signals = interrupt_signals();
    held_ = ::pthread_sigmask(SIG_BLOCK, &signals, &previous_) == 0;
}

InterruptsHeld::~InterruptsHeld() { release(); }

void InterruptsHeld::release() {
    if (!holding_) return;
    holding_ = false;
    holding.store(0);
    if (held_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);  // one blocked here arrives now
    held_ = false;
    if (deferred.load() != 0) end_interrupted();  // one that another thread took meanwhile
}

}  // namespace sowfield::cli
