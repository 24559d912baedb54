#include "plugin/host_services.h"

namespace sowfield {

const sf_message_service *message_service = nullptr;
const sf_scene_objects_service *scene_objects_service = nullptr;
const sf_panel_service *panel_service = nullptr;
const sf_monitor_service *monitor_service = nullptr;
sf_edit_session *edit_session = nullptr;
int32_t foreground_face_count = 0;
std::exception_ptr pending_failure;

void rethrow_pending_failure() {
    if (!pending_failure) return;
    std::exception_ptr failure = pending_failure;
    pending_failure = nullptr;
    std::rethrow_exception(failure);
}

void report_error(const char *line1, const char *line2) {
    if (message_service != nullptr) message_service->show_error(line1, line2);
}

void clear_host_services() {
    message_service = nullptr;
    scene_objects_service = nullptr;
    panel_service = nullptr;
    monitor_service = nullptr;
    edit_session = nullptr;
    foreground_face_count = 0;
    pending_failure = nullptr;
}

}  // namespace sowfield
