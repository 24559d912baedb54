// One run of the command, in the order it happens: services and session, the
// checks on the layers, the map lists, the panel, the target surface, the
// sites, the clones, and the release of everything the run made.
#include "plugin/activate.h"

#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "clone/clone_transform.h"
#include "clone/geometry_copy.h"
#include "plugin/host_services.h"
#include "plugin/run_data.h"
#include "settings/options_panel.h"
#include "settings/params.h"
#include "settings/vmap_catalogue.h"
#include "surface/polygon_weight.h"
#include "surface/site_distribution.h"
#include "surface/target_polygons.h"

namespace sowfield {

namespace {

// Ends the edit session exactly once. Should the run be cut short by an
// exception (memory exhausted), the session is ended with an error code so the
// host discards the half-built clones instead of keeping them.
class EditSessionEnd {
public:
    explicit EditSessionEnd(sf_edit_session *session) : session_(session) {}
    EditSessionEnd(const EditSessionEnd &) = delete;
    EditSessionEnd &operator=(const EditSessionEnd &) = delete;
    ~EditSessionEnd() { end(kAbandoned); }

    void end(int32_t code) {
        if (session_ == nullptr) return;
        sf_edit_session *session = session_;
        session_ = nullptr;
        session->end_edit(session->state, code, 0);
    }

private:
    static constexpr int32_t kAbandoned = -1;
    sf_edit_session *session_;
};

// The catalogue and the per-run lists, released on every path past the panel.
struct RunData {
    std::unique_ptr<vmap_catalogue> catalogue;
    std::vector<const char *> weightmap_choices;

    ~RunData() {
        release_run_data();
        if (catalogue) catalogue->release();
    }
};

void obtain_services(sf_get_global_fn get_global) {
    message_service = static_cast<const sf_message_service *>(get_global(SF_MESSAGE_SERVICE_NAME, 0));
    scene_objects_service = static_cast<const sf_scene_objects_service *>(get_global(SF_SCENE_OBJECTS_SERVICE_NAME, 0));
    panel_service = static_cast<const sf_panel_service *>(get_global(SF_PANEL_SERVICE_NAME, 0));
    monitor_service = static_cast<const sf_monitor_service *>(get_global(SF_MONITOR_SERVICE_NAME, 0));
}

int check_foreground_polygon(void * /*session*/, const sf_polygon_record *polygon) {
    if ((polygon->flags & SF_POLY_SELECTED) != 0 && polygon->type != SF_POLY_FACE) --foreground_face_count;
    return 0;
}

// The three checks on the layers, in this order: polygons, their types,
// background points. Shows the failing check's message and ends the session.
bool layers_are_usable(EditSessionEnd &session_end, int32_t &edit_code) {
    sf_edit_session &edit = *edit_session;
    if (edit.count_polygons(edit.state, SF_LAYERS_FOREGROUND, SF_COUNT_ALL) == 0) {
        report_error("Need some polys to clone on them", nullptr);
        session_end.end(0);
        return false;
    }
    foreground_face_count = edit.count_polygons(edit.state, SF_LAYERS_FOREGROUND, SF_COUNT_SELECTED);
    edit_code = edit.scan_polygons(edit.state, guarded_visitor<check_foreground_polygon>, &edit, SF_LAYERS_FOREGROUND);
    rethrow_pending_failure();
    if (foreground_face_count == 0) {
        report_error("NURBS not supported in Foreground Layer", nullptr);
        session_end.end(0);
        return false;
    }
    if (edit.count_points(edit.state, SF_LAYERS_BACKGROUND, SF_COUNT_ALL) == 0) {
        report_error("Need geometry in background layer(s) to clone", nullptr);
        session_end.end(edit_code);
        return false;
    }
    return true;
}

void build_catalogue(RunData &run) {
    run.catalogue = std::make_unique<vmap_catalogue>(edit_session);
    run.weightmap_choices = build_weightmap_choices(*run.catalogue, scene_objects_service);
    list_vmaps(scene_objects_service, SF_VMAP_TXUV, txuv_maps);
    list_vmaps(scene_objects_service, SF_VMAP_WGHT, wght_maps);
    list_vmaps(scene_objects_service, SF_VMAP_MORF, morf_maps);
    list_vmaps(scene_objects_service, SF_VMAP_MNVW, mnvw_maps);
    list_vmaps(scene_objects_service, SF_VMAP_SPOT, spot_maps);
}

// Shows the panel; on acceptance copies it back into `params`. The panel is
// destroyed either way.
bool ask_settings(const RunData &run) {
    const int32_t accepted = show_options_panel(params, run.weightmap_choices.data());
    rethrow_pending_failure();
    if (accepted != 0) params_from_panel(params);
    if (options_panel != nullptr) {
        panel_service->panel_destroy(options_panel);
        options_panel = nullptr;
    }
    return accepted != 0;
}

int32_t collect_targets() {
    allocate_target_polygons(foreground_face_count);
    target_count = 0;
    sf_edit_session &edit = *edit_session;
    const int32_t edit_code =
        edit.scan_polygons(edit.state, guarded_visitor<collect_target_polygon>, &params, SF_LAYERS_FOREGROUND);
    rethrow_pending_failure();
    foreground_face_count = target_count;
    return edit_code;
}

// Said once a run, after the clones: what the clones could not hold because
// it was not a finite number (see non_finite_left_out).
void report_left_out() {
    if (non_finite_left_out == 0 || message_service == nullptr) return;
    const std::string line1 = "Sowfield left out " + std::to_string(non_finite_left_out) +
                              " clone points or values that were not finite numbers.";
    message_service->show_info(line1.c_str(),
                               "Look for coordinates at infinity or not a number, or lower the size and jitter.");
}

void build_clones() {
    sf_monitor *monitor = nullptr;
    if (monitor_service != nullptr) monitor = monitor_service->monitor_create("Hello", "Randomising positions...");
    if (monitor != nullptr) monitor->monitor_init(monitor->state, params.clone_count);
    current_site = site_list;
    non_finite_left_out = 0;
    // The distribution makes one site per clone; should the list end early,
    // the loop ends with it rather than build a clone on no site.
    for (int32_t i = 0; i < params.clone_count && current_site != nullptr; ++i) {
        if (monitor != nullptr) monitor->monitor_step(monitor->state, 1);
        params.current_clone = i;
        build_clone(params);
        rethrow_pending_failure();
        current_site = current_site->next;
    }
    current_site = nullptr;
    if (monitor != nullptr) {
        monitor->monitor_done(monitor->state);
        monitor_service->monitor_destroy(monitor);
    }
    report_left_out();
}

int run_command(sf_get_global_fn get_global, sf_begin_edit_fn begin_edit) {
    obtain_services(get_global);
    edit_session = begin_edit(0, 0, 1);
    if (edit_session == nullptr) return SF_AFUNC_BADAPP;
    // Declared before the session's end so that, on every path, the session
    // is ended before the run's data is released.
    RunData run;
    EditSessionEnd session_end(edit_session);

    int32_t edit_code = 0;
    if (!layers_are_usable(session_end, edit_code)) return SF_AFUNC_OK;

    build_catalogue(run);
    if (!ask_settings(run)) {
        session_end.end(edit_code);
        return SF_AFUNC_OK;
    }

    edit_code = collect_targets();
    if (target_count == 0) {
        // With slope limits off every counted face is collected, so an empty
        // collection means the slope limits left nothing.
        if (params.slope_limits == 1)
            report_error("Change slope angle settings", "There are no valid polys to clone on.");
        session_end.end(edit_code);
        return SF_AFUNC_OK;
    }
    if (params.size_weightmap > 0) compute_size_weights(target_count, *run.catalogue, params.size_weightmap);
    distribute_sites(*run.catalogue, params);
    build_clones();
    session_end.end(edit_code);
    return SF_AFUNC_OK;
}

}  // namespace

void *startup() { return reinterpret_cast<void *>(static_cast<uintptr_t>(4)); }

void shutdown(void * /*token*/) {}

int activate(int32_t /*version*/, sf_get_global_fn get_global, sf_begin_edit_fn begin_edit, void * /*server_data*/) {
    // Nothing may unwind into the host: an exception there would end the
    // user's whole session. The guards inside run_command have already ended
    // the edit (discarding a half-built result) and released the run's data.
    int result = SF_AFUNC_OK;
    try {
        result = run_command(get_global, begin_edit);
    } catch (const std::bad_alloc &) {
        report_error("Sowfield ran out of memory.", "Nothing was added; try fewer clones.");
    } catch (const std::exception &failure) {
        report_error("Sowfield stopped on an internal error.", failure.what());
    } catch (...) {
        report_error("Sowfield stopped on an internal error.", nullptr);
    }
    clear_host_services();
    return result;
}

}  // namespace sowfield
