#include "cli/interrupts.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "cli/exit_codes.h"

namespace sowfield::cli {
namespace {

// Read by the handler: the path is complete before the flag says so.
char partial_path[PATH_MAX];
volatile std::sig_atomic_t partial_registered = 0;

extern "C" void on_interrupt(int /*signal*/) {
    if (partial_registered != 0) ::unlink(partial_path);
    // End a progress bar's line so the shell prompt starts on its own.
    if (::isatty(STDERR_FILENO) == 1) {
        const char newline = '\n';
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, &newline, 1);
    }
    ::_exit(exit_interrupted);
}

sigset_t interrupt_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void clear_registration() {
    partial_registered = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

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

PartialFile::PartialFile(const std::filesystem::path &path) {
    const std::string &text = path.native();
    if (text.empty() || text.size() >= sizeof partial_path) return;
    // The handler must never see a half-copied path: say "none" while copying.
    clear_registration();
    std::memcpy(partial_path, text.c_str(), text.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    partial_registered = 1;
    registered_ = true;
}

PartialFile::~PartialFile() { release(); }

void PartialFile::release() {
    if (registered_) clear_registration();
    registered_ = false;
}

InterruptsHeld::InterruptsHeld() {
    const sigset_t signals = interrupt_signals();
    held_ = ::pthread_sigmask(SIG_BLOCK, &signals, &previous_) == 0;
}

InterruptsHeld::~InterruptsHeld() { release(); }

void InterruptsHeld::release() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    held_ = false;
}

}  // namespace sowfield::cli
