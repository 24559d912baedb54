// The edit session's C entry points: each forwards to its member function,
// and no exception (memory exhausted, a limit of the scene) ever unwinds into
// the plug-in: the call is refused instead. Instantiated in the file that
// defines the member functions, so that the forwarding call inlines.
#pragma once

#include <exception>
#include <string>

#include "host/edit/edit_session.h"

namespace sowfield::host {

template <auto Method>
struct SessionCall;

template <class R, class... Args, R (EditSession::*Method)(Args...)>
struct SessionCall<Method> {
    static R call(void *state, Args... args) noexcept {
        if (state == nullptr) [[unlikely]]
            return R();
        EditSession &session = *static_cast<EditSession *>(state);
        try {
            return (session.*Method)(args...);
        } catch (...) {
            // Out of line, so that what the handler needs does not weigh on
            // the call that succeeds.
            return failed(session);
        }
    }

    // Records the exception being handled; the call's refusal.
    [[gnu::cold, gnu::noinline]] static R failed(EditSession &session) noexcept {
        try {
            throw;
        } catch (const std::exception &failure) {
            session.log_.record(std::string("the host could not complete a call: ") + failure.what());
        } catch (...) {
            session.log_.record("the host could not complete a call");
        }
        return R();
    }
};

}  // namespace sowfield::host
