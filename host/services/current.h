// The instance of a service that the host's plain C entry points reach.
//
// The contract's service tables are bare function pointers without a state
// argument (show_error, count_vmaps, panel_create...), so each table's
// functions find their object through a thread-local "current" pointer that
// the host sets for the length of one activation. Scopes nest and restore the
// previous instance, so a test may run a host inside another.
#pragma once

namespace sowfield::host {

template <class Service>
class Current {
public:
    // The instance made current on this thread, or null outside any scope.
    static Service *get() { return current_; }

    class Scope {
    public:
        explicit Scope(Service &service) : previous_(current_) { current_ = &service; }
        ~Scope() { current_ = previous_; }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        Service *previous_;
    };

private:
    static inline thread_local Service *current_ = nullptr;
};

}  // namespace sowfield::host
