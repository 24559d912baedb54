// The edit session a plug-in receives from begin_edit: every operation of the
// contract's sf_edit_session over one Scene, with rollback.
//
// Between begin() and end_edit the session records what it must undo: the
// element and map counts of every layer, the surface-name count, and the old
// value of every vertex-map write to a point that existed before. end_edit
// with code 0 keeps everything; any other code restores the scene exactly as
// it was (added points, polygons, maps, surface names and values gone, old
// values back).
//
// Ids: see element_ids.h. Additions go to the first foreground layer. A scan
// visits the polygons that existed when it started. Maps are found by
// (type, name) through a small cache keyed by the name's address and
// confirmed against the name's text (see vmap_cache.h), so a plug-in that
// passes the same name pointer again pays no hashing and no allocation;
// values are written into contiguous block arrays, whose blocks come from
// block_pool.
//
// Misuse (foreign or stale ids, calls after end_edit, end_edit twice, a
// dimension that does not match the map) is refused and recorded in the
// ContractLog. Selecting a map that does not exist is not misuse.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "host/edit/vmap_cache.h"
#include "host/scene/element_ids.h"
#include "host/scene/scene.h"
#include "host/services/contract_log.h"
#include "sowfield_host.h"

namespace sowfield::host {

class EditSession {
public:
    EditSession(Scene &scene, ContractLog &log);
    EditSession(const EditSession &) = delete;
    EditSession &operator=(const EditSession &) = delete;

    // Starts a session over the scene as it is now and returns its record,
    // which stays addressable for the life of this object (so late calls are
    // caught, not crashes). Null when a session is already active or the
    // scene has more layers than ids can address; the former is recorded.
    sf_edit_session *begin();
    bool active() const { return active_; }

    // Ends the session as end_edit(code) would, without counting as a call
    // of the plug-in (end_codes is unchanged). For the host, e.g. when a
    // plug-in returned without ending its session.
    void end(int32_t code);

    // What the current (or last) session did. Counts include additions that a
    // non-zero end code later discarded.
    struct Stats {
        int64_t points_added = 0;
        int64_t polygons_added = 0;
        int64_t values_written = 0;
    };
    const Stats &stats() const { return stats_; }
    // The code of every end_edit call of the current (or last) session.
    const std::vector<int32_t> &end_codes() const { return end_codes_; }

    // For testing how a plug-in copes with a host that declines or differs,
    // as Host::hide_service and Host::refuse_edit do for services and the
    // session. Each holds in every session of this object:
    // point_info answers null for the point at (layer, index);
    void withhold_point(uint32_t layer, uint32_t index);
    // add_point refuses (answers null, no misuse) once `count` points have
    // been added in the session;
    void refuse_points_after(int64_t count) { point_limit_ = count; }
    // polygon_normal reports `normal` for the polygon at (layer, index).
    void report_normal(uint32_t layer, uint32_t index, const Vec3 &normal);

    // Ids of the current session, for tests and the host's own checks.
    sf_point_id point_id(uint32_t layer, uint32_t index) const {
        return reinterpret_cast<sf_point_id>(ids_.encode(ElementKind::point, layer, index));
    }
    sf_polygon_id polygon_id(uint32_t layer, uint32_t index) const {
        return reinterpret_cast<sf_polygon_id>(ids_.encode(ElementKind::polygon, layer, index));
    }
    // The element behind an id of the current session, or nothing.
    std::optional<ElementRef> find_point(sf_point_id id) const;
    std::optional<ElementRef> find_polygon(sf_polygon_id id) const;

    // The operations of the contract (see sowfield_host.h), callable directly.
    void end_edit(int32_t code, int32_t reserved);
    int32_t count_points(int32_t layer_set, int32_t mode);
    int32_t count_polygons(int32_t layer_set, int32_t mode);
    int32_t scan_polygons(sf_polygon_visitor_fn visitor, void *context, int32_t layer_set);
    const sf_point_record *point_info(sf_point_id point);
    const sf_polygon_record *polygon_info(sf_polygon_id polygon);
    int32_t polygon_normal(sf_polygon_id polygon, double normal[3]);
    sf_point_id add_point(const double position[3]);
    int32_t set_point_vmap(sf_point_id point, uint32_t type, const char *name, int32_t dimension, const float *values);
    sf_polygon_id add_polygon(uint32_t type, sf_polygon_id template_polygon, const char *surface, int32_t point_count,
                              const sf_point_id *points);
    void *select_vmap(void *map_handle, uint32_t type, const char *name);
    int32_t get_point_vmap(sf_point_id point, float *values);

private:
    struct LayerMark {
        uint32_t points = 0;
        uint32_t polygons = 0;
        size_t vmaps = 0;
    };
    struct UndoValue {
        VertexMap *map;
        uint32_t point;
        bool had_value;
        float old[4];
    };

    // Checks that the session is open; records `operation` otherwise.
    bool usable(const char *operation) {
        if (active_) [[likely]]
            return true;
        return refuse_closed(operation);
    }
    // Decodes and range-checks an id; records a violation naming `operation`.
    bool resolve(sf_point_id id, const char *operation, ElementRef &out) {
        if (ids_.decode_current(reinterpret_cast<uintptr_t>(id), ElementKind::point, out) &&
            out.layer < layer_count_ && out.index < layers_[out.layer]->point_count()) [[likely]]
            return true;
        return refuse_id(reinterpret_cast<const void *>(id), ElementKind::point, operation);
    }
    bool resolve(sf_polygon_id id, const char *operation, ElementRef &out) {
        if (ids_.decode_current(reinterpret_cast<uintptr_t>(id), ElementKind::polygon, out) &&
            out.layer < layer_count_ && out.index < layers_[out.layer]->polygon_count()) [[likely]]
            return true;
        return refuse_id(reinterpret_cast<const void *>(id), ElementKind::polygon, operation);
    }
    // The operations' bodies, inlined into their C entry points and into the
    // members above (each defined in the file of its member).
    const sf_point_record *op_point_info(sf_point_id point);
    void *op_select_vmap(void *map_handle, uint32_t type, const char *name);
    int32_t op_get_point_vmap(sf_point_id point, float *values);
    sf_point_id op_add_point(const double position[3]);
    int32_t op_set_point_vmap(sf_point_id point, uint32_t type, const char *name, int32_t dimension,
                              const float *values);
    sf_polygon_id op_add_polygon(uint32_t type, sf_polygon_id template_polygon, const char *surface,
                                 int32_t point_count, const sf_point_id *points);
    // Refusals: each records what was wrong and returns what the operation
    // answers on refusal. Out of line and cold, so that the operations'
    // common paths stay short.
    // They never throw (a description that cannot be built for want of
    // memory is dropped), so the common paths need no unwinding state.
    [[gnu::cold]] bool refuse_closed(const char *operation) noexcept;
    [[gnu::cold]] bool refuse_id(const void *id, ElementKind kind, const char *operation) noexcept;
    [[gnu::cold]] sf_point_id refuse_null_position() noexcept;
    [[gnu::cold]] int32_t refuse_value(uint32_t type, const char *name, int32_t dimension,
                                       const float *values) noexcept;
    [[gnu::cold]] int32_t refuse_dimension(const VertexMap &map, uint32_t type, const char *name,
                                           int32_t dimension) noexcept;
    [[gnu::cold]] sf_polygon_id refuse_polygon_size(int32_t point_count, const sf_point_id *points) noexcept;
    [[gnu::cold]] sf_polygon_id refuse_corner(size_t corner, sf_point_id point, uint32_t layer) noexcept;
    [[gnu::cold]] int32_t refuse_null_output(const char *operation) noexcept;
    // Records what `describe` returns, unless building it fails.
    template <class Describe>
    void note(Describe describe) noexcept {
        try {
            log_.record(describe());
        } catch (...) {
        }
    }
    [[gnu::cold]] void *select_unusual(void *map_handle, uint32_t type, const char *name);
    // The layer's map of (type, name) for set_point_vmap, created when
    // missing, and remembered in the write cache.
    [[gnu::noinline]] VertexMap &write_map(uint32_t layer, uint32_t type, const char *name, int32_t dimension);
    // Records the point's value in `map` (or its absence) for rollback.
    [[gnu::noinline]] void keep_for_undo(const VertexMap &map, uint32_t point);
    // select_vmap's lookup of a non-null name, cached.
    void *select_by_name(uint32_t type, const char *name);
    // Fill the C record's entries (each in the file that defines them).
    void bind_queries();
    void bind_writes();
    const std::vector<size_t> *layer_set(int32_t set, const char *operation);
    // Fills `record` (its points in `ids`) from polygon `ref`.
    void describe(const ElementRef &ref, sf_polygon_record &record, std::vector<sf_point_id> &ids) const;
    void rollback();
    void forget_lookups();

    // Scratch of one scan: the polygon counts it visits and its record's ids.
    struct ScanFrame {
        std::vector<uint32_t> counts;
        std::vector<sf_point_id> ids;
    };
    template <auto Method>
    friend struct SessionCall;

    Scene &scene_;
    std::vector<Layer *> layers_;  // the scene's layers, taken at begin()
    uint32_t layer_count_ = 0;     // layers_.size()
    ContractLog &log_;
    IdCodec ids_;
    sf_edit_session record_{};
    bool active_ = false;
    bool ended_ = false;  // end_edit was called in the current session
    std::vector<LayerMark> marks_;
    uint32_t surface_mark_ = 0;
    std::vector<UndoValue> undo_;
    Stats stats_;
    std::vector<int32_t> end_codes_;

    VmapCache write_cache_;                      // (layer, type, name) -> map, for set_point_vmap
    VmapSelectionCache select_cache_;
    const VmapSelection *selected_ = nullptr;  // what select_vmap chose, or null

    // The test switches above.
    [[gnu::cold]] bool withheld(const ElementRef &point) const;
    std::set<std::pair<uint32_t, uint32_t>> withheld_points_;
    int64_t point_limit_ = INT64_MAX;
    std::map<std::pair<uint32_t, uint32_t>, Vec3> reported_normals_;

    sf_point_record point_record_{};
    sf_polygon_record polygon_record_{};
    std::vector<sf_point_id> polygon_ids_;  // points of polygon_record_
    std::vector<uint32_t> corners_;         // add_polygon's point indices
    std::deque<ScanFrame> scan_frames_;     // one per nesting depth; a deque never moves them
    size_t scan_depth_ = 0;
};

}  // namespace sowfield::host
