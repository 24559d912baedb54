// The plug-in's view of the host's services for the length of one run: the
// global services, the edit session, the count of target faces and the
// failure kept by a guarded callback. Valid only while `activate` runs; every
// stage of the run reads them from here. The lowest layer of the plug-in
// beside numeric/: settings/, surface/ and clone/ may include it.
#pragma once

#include <cstdint>
#include <exception>

#include "sowfield_host.h"

namespace sowfield {

extern const sf_message_service *message_service;        // may be null
extern const sf_scene_objects_service *scene_objects_service;
extern const sf_panel_service *panel_service;
extern const sf_monitor_service *monitor_service;        // may be null
extern sf_edit_session *edit_session;

// Selected foreground polygons of type "FACE"; after the collection, the
// number of target polygons.
extern int32_t foreground_face_count;

// Shows an error of one or two lines (`line2` may be null) when the host
// offers the message service; otherwise does nothing.
void report_error(const char *line1, const char *line2);

// An exception raised inside a function the host calls back (a scan visitor,
// a button action) must not unwind through the host's frames. It is kept here
// and the host is asked to stop; the driver rethrows it once the host call has
// returned.
extern std::exception_ptr pending_failure;

// Rethrows and clears a failure kept by a guarded callback.
void rethrow_pending_failure();

// A scan visitor wrapped so that an exception stops the scan (non-zero result)
// instead of crossing the host.
template <int (*Visitor)(void *, const sf_polygon_record *)>
int guarded_visitor(void *context, const sf_polygon_record *polygon) noexcept {
    try {
        return Visitor(context, polygon);
    } catch (...) {
        if (!pending_failure) pending_failure = std::current_exception();
        return 1;
    }
}

// Forgets the services and the session at the end of a run, so nothing of a
// finished run can be reached by mistake.
void clear_host_services();

}  // namespace sowfield
