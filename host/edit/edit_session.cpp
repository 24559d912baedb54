// The session's life: begin, end with keep or rollback, the C record, and the
// checks shared by every operation.
#include "host/edit/edit_session.h"

#include <cstdio>
#include <string>

#include "host/edit/session_call.h"

namespace sowfield::host {

EditSession::EditSession(Scene &scene, ContractLog &log) : scene_(scene), log_(log) {
    record_.state = this;
    record_.end_edit = &SessionCall<&EditSession::end_edit>::call;
    bind_queries();
    bind_writes();
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
    layers_.resize(scene_.layer_count());
    layer_count_ = static_cast<uint32_t>(scene_.layer_count());
    marks_.resize(scene_.layer_count());
    for (size_t i = 0; i < scene_.layer_count(); ++i) {
        Layer &layer = scene_.layer(i);
        layers_[i] = &layer;
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

bool EditSession::refuse_closed(const char *operation) noexcept {
    note([&] {
        return std::string(operation) + (ended_ ? " called after end_edit" : " called outside an edit session");
    });
    return false;
}

namespace {

std::string id_text(const void *id) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", id);
    return text;
}

}  // namespace

bool EditSession::refuse_id(const void *id, ElementKind kind, const char *operation) noexcept {
    // An id that decodes but names no element of the scene is foreign too.
    ElementRef ref;
    const IdCodec::Status status = ids_.decode(reinterpret_cast<uintptr_t>(id), kind, ref);
    note([&] {
        return std::string(operation) + ": " + (status == IdCodec::Status::stale ? "stale " : "foreign ") +
               (kind == ElementKind::point ? "point" : "polygon") + " id " + id_text(id);
    });
    return false;
}

const std::vector<size_t> *EditSession::layer_set(int32_t set, const char *operation) {
    if (set == SF_LAYERS_FOREGROUND) return &scene_.foreground;
    if (set == SF_LAYERS_BACKGROUND) return &scene_.background;
    log_.record(std::string(operation) + ": unknown layer set " + std::to_string(set));
    return nullptr;
}

// ------------------------------------------------------------------ ids

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
