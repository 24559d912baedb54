// The session's life: begin, end with keep or rollback, the C record, and the
// checks shared by every operation.
#include "host/edit_session.h"

#include <cstdio>
#include <exception>
#include <string>

namespace sowfield::host {

// The C entry points: each forwards to its member function, and no exception
// (memory exhausted, a limit of the scene) ever unwinds into the plug-in: the
// call is refused instead.
template <auto Method>
struct SessionCall;

template <class R, class... Args, R (EditSession::*Method)(Args...)>
struct SessionCall<Method> {
    static R call(void *state, Args... args) noexcept {
        if (state == nullptr) return R();
        EditSession &session = *static_cast<EditSession *>(state);
        try {
            return (session.*Method)(args...);
        } catch (const std::exception &failure) {
            session.log_.record(std::string("the host could not complete a call: ") + failure.what());
        } catch (...) {
            session.log_.record("the host could not complete a call");
        }
        return R();
    }
};

EditSession::EditSession(Scene &scene, ContractLog &log) : scene_(scene), log_(log) {
    record_.state = this;
    record_.end_edit = &SessionCall<&EditSession::end_edit>::call;
    record_.count_points = &SessionCall<&EditSession::count_points>::call;
    record_.count_polygons = &SessionCall<&EditSession::count_polygons>::call;
    record_.scan_polygons = &SessionCall<&EditSession::scan_polygons>::call;
    record_.point_info = &SessionCall<&EditSession::point_info>::call;
    record_.polygon_info = &SessionCall<&EditSession::polygon_info>::call;
    record_.polygon_normal = &SessionCall<&EditSession::polygon_normal>::call;
    record_.add_point = &SessionCall<&EditSession::add_point>::call;
    record_.set_point_vmap = &SessionCall<&EditSession::set_point_vmap>::call;
    record_.add_polygon = &SessionCall<&EditSession::add_polygon>::call;
    record_.select_vmap = &SessionCall<&EditSession::select_vmap>::call;
    record_.get_point_vmap = &SessionCall<&EditSession::get_point_vmap>::call;
}

sf_edit_session *EditSession::begin() {
    if (active_) {
        log_.record("begin_edit called while an edit session is open");
        return nullptr;
    }
    if (scene_.layer_count() > IdCodec::kMaxLayers) return nullptr;
    ids_.next_generation();
    active_ = true;
    ended_ = false;
    marks_.resize(scene_.layer_count());
    for (size_t i = 0; i < scene_.layer_count(); ++i) {
        const Layer &layer = scene_.layer(i);
        marks_[i] = {layer.point_count(), layer.polygon_count(), layer.vmap_count()};
    }
    surface_mark_ = scene_.surface_count();
    undo_.clear();
    stats_ = {};
    end_codes_.clear();
    forget_lookups();
    return &record_;
}

void EditSession::end(int32_t code) {
    if (!active_) return;
    if (code != 0) rollback();
    undo_.clear();
    active_ = false;
    ended_ = true;
    forget_lookups();
    ids_.next_generation();  // every id of this session is stale from now on
}

void EditSession::end_edit(int32_t code, int32_t reserved) {
    if (!active_) {
        log_.record(ended_ ? "end_edit called twice" : "end_edit called outside an edit session");
        return;
    }
    if (reserved != 0) log_.record("end_edit: second argument is " + std::to_string(reserved) + ", not 0");
    end_codes_.push_back(code);
    end(code);
}

void EditSession::rollback() {
    // Old values first, newest write first, while every map still exists.
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
        if (undo->had_value)
            undo->map->set_value(undo->point, undo->old);
        else
            undo->map->clear_value(undo->point);
    }
    for (size_t i = 0; i < marks_.size(); ++i) {
        Layer &layer = scene_.layer(i);
        layer.truncate(marks_[i].points, marks_[i].polygons);
        layer.truncate_vmaps(marks_[i].vmaps);
    }
    scene_.truncate_surfaces(surface_mark_);
}

void EditSession::forget_lookups() {
    write_cache_.clear();
    select_cache_ = VmapSelectionCache();
    selected_ = nullptr;
}

// ------------------------------------------------------------------ checks

bool EditSession::usable(const char *operation) {
    if (active_) return true;
    log_.record(std::string(operation) + (ended_ ? " called after end_edit" : " called outside an edit session"));
    return false;
}

namespace {

std::string id_text(const void *id) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", id);
    return text;
}

}  // namespace

bool EditSession::resolve(sf_point_id id, const char *operation, ElementRef &out) {
    const IdCodec::Status status = ids_.decode(reinterpret_cast<uintptr_t>(id), ElementKind::point, out);
    if (status == IdCodec::Status::ok && out.layer < scene_.layer_count() &&
        out.index < scene_.layer(out.layer).point_count())
        return true;
    log_.record(std::string(operation) + ": " + (status == IdCodec::Status::stale ? "stale" : "foreign") +
                " point id " + id_text(id));
    return false;
}

bool EditSession::resolve(sf_polygon_id id, const char *operation, ElementRef &out) {
    const IdCodec::Status status = ids_.decode(reinterpret_cast<uintptr_t>(id), ElementKind::polygon, out);
    if (status == IdCodec::Status::ok && out.layer < scene_.layer_count() &&
        out.index < scene_.layer(out.layer).polygon_count())
        return true;
    log_.record(std::string(operation) + ": " + (status == IdCodec::Status::stale ? "stale" : "foreign") +
                " polygon id " + id_text(id));
    return false;
}

const std::vector<size_t> *EditSession::layer_set(int32_t set, const char *operation) {
    if (set == SF_LAYERS_FOREGROUND) return &scene_.foreground;
    if (set == SF_LAYERS_BACKGROUND) return &scene_.background;
    log_.record(std::string(operation) + ": unknown layer set " + std::to_string(set));
    return nullptr;
}

// ------------------------------------------------------------------ ids

sf_point_id EditSession::point_id(uint32_t layer, uint32_t index) const {
    return reinterpret_cast<sf_point_id>(ids_.encode(ElementKind::point, layer, index));
}

sf_polygon_id EditSession::polygon_id(uint32_t layer, uint32_t index) const {
    return reinterpret_cast<sf_polygon_id>(ids_.encode(ElementKind::polygon, layer, index));
}

std::optional<ElementRef> EditSession::find_point(sf_point_id id) const {
    ElementRef ref;
    if (ids_.decode(reinterpret_cast<uintptr_t>(id), ElementKind::point, ref) != IdCodec::Status::ok) return {};
    if (ref.layer >= scene_.layer_count() || ref.index >= scene_.layer(ref.layer).point_count()) return {};
    return ref;
}

std::optional<ElementRef> EditSession::find_polygon(sf_polygon_id id) const {
    ElementRef ref;
    if (ids_.decode(reinterpret_cast<uintptr_t>(id), ElementKind::polygon, ref) != IdCodec::Status::ok) return {};
    if (ref.layer >= scene_.layer_count() || ref.index >= scene_.layer(ref.layer).polygon_count()) return {};
    return ref;
}

}  // namespace sowfield::host
