#include "clone/geometry_copy.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "clone/background_points.h"
#include "clone/clone_transform.h"
#include "numeric/point.h"
#include "numeric/random.h"
#include "plugin/host_services.h"
#include "settings/vmap_catalogue.h"

namespace sowfield {

int32_t morph_suffix = 0;
point_id_map point_map;
int64_t non_finite_left_out = 0;

namespace {

// Values per point of each map type the clones carry over.
constexpr int32_t kUvValues = 2;
constexpr int32_t kWeightValues = 1;
constexpr int32_t kMorphValues = 3;
constexpr int32_t kSubpatchWeightValues = 1;
constexpr int32_t kSpotValues = 3;
constexpr int32_t kMostValues = 3;
// A host copies as many floats as its map holds, which need not be the count
// the map's type implies (a file may bring a three-value UV map). Reading
// into room for any map a host may keep means such a map can never write past
// the buffer; only the type's own count is passed on.
constexpr int32_t kReadRoom = 64;
static_assert(kReadRoom >= kMostValues);

// What stays the same for every point of one clone, worked out once when the
// clone starts.
struct clone_constants {
    float index_value = 0.0f;  // the "SF_index" value
    // The name each "MORF" map is written under, in list order: the list's
    // own text, or a numbered copy held in `numbered_names`.
    std::vector<const char *> morph_names;
    std::vector<std::string> numbered_names;
};

// One vertex of the polygon being copied, as the first pass found it.
struct vertex_plan {
    bool create = false;  // no copy in this clone yet
    sf_point_id source = nullptr;
    uint32_t number = 0;  // in the point map and the background table
    Point position;  // in the background
    Point placed;    // on the site, when the frame draws no jitter
};

clone_constants constants;
// The background as read by the first clone that met each point.
background_point_table background;
// The clone's transform, worked out once when the clone starts.
clone_frame frame;
// Scratch of one polygon, kept so that copying allocates nothing once the
// largest polygon has been seen. Only grows: a polygon uses its first
// point-count entries.
std::vector<vertex_plan> plans;
std::vector<sf_point_id> new_points;

// The counted draw is one less than the suffix; wrapping keeps the top of the
// 32-bit range defined (it cannot be reached with sane settings).
int32_t plus_one(int32_t n) { return static_cast<int32_t>(static_cast<uint32_t>(n) + 1u); }

void prepare_constants(const params_typ &settings) {
    constants.index_value = static_cast<float>(settings.current_clone) / static_cast<float>(settings.clone_count);
    constants.morph_names.clear();
    if (morph_suffix == 0) {
        for (const vmap_name_node *node = morf_maps; node != nullptr; node = node->next)
            constants.morph_names.push_back(node->name);
        return;
    }
    char digits[16];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, morph_suffix);
    size_t count = 0;
    for (const vmap_name_node *node = morf_maps; node != nullptr; node = node->next) ++count;
    // Sized before any name is taken: growing the vector later would move
    // the strings and leave the pointers behind.
    if (constants.numbered_names.size() < count) constants.numbered_names.resize(count);
    size_t k = 0;
    for (const vmap_name_node *node = morf_maps; node != nullptr; node = node->next, ++k) {
        std::string &name = constants.numbered_names[k];
        name.assign(node->name);
        name.append(digits, written.ptr);
        constants.morph_names.push_back(name.c_str());
    }
}

// Every one of the `count` values is finite.
bool all_finite(const float *values, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

// Writes one value of a made point, unless it is not finite: the point then
// has no value in that map, and the run counts what it left out.
void write_value(sf_edit_session &edit, sf_point_id to, uint32_t type, const char *name, int32_t dimension,
                 const float *values) {
    if (to == nullptr) return;
    if (!all_finite(values, dimension)) {
        ++non_finite_left_out;
        return;
    }
    edit.set_point_vmap(edit.state, to, type, name, dimension, values);
}

// The point's value in the named map, when it has one.
bool read_value(sf_edit_session &edit, uint32_t type, const char *name, sf_point_id point, float *values) {
    edit.select_vmap(edit.state, nullptr, type, name);
    return edit.get_point_vmap(edit.state, point, values) != 0;
}

// The maps the clones carry, in copy order: "TXUV", "WGHT", "MORF", "MNVW",
// "SPOT", each list in its own order.
struct carried_list {
    const vmap_name_node *const *list;
    uint32_t type;
    int32_t dimension;
};
const carried_list kCarriedLists[] = {
    {&txuv_maps, SF_VMAP_TXUV, kUvValues},         {&wght_maps, SF_VMAP_WGHT, kWeightValues},
    {&morf_maps, SF_VMAP_MORF, kMorphValues},      {&mnvw_maps, SF_VMAP_MNVW, kSubpatchWeightValues},
    {&spot_maps, SF_VMAP_SPOT, kSpotValues},
};

size_t carried_map_count() {
    size_t count = 0;
    for (const carried_list &carried : kCarriedLists)
        for (const vmap_name_node *node = *carried.list; node != nullptr; node = node->next) ++count;
    return count;
}

// Reads `from`'s value in every carried map, in copy order. A host map with
// fewer values than its type leaves the rest at zero, not at whatever an
// earlier read left in the buffer.
void read_values(sf_edit_session &edit, sf_point_id from, background_value *into) {
    float values[kReadRoom];
    for (const carried_list &carried : kCarriedLists)
        for (const vmap_name_node *node = *carried.list; node != nullptr; node = node->next, ++into) {
            std::fill_n(values, carried.dimension, 0.0f);
            into->present = read_value(edit, carried.type, node->name, from, values);
            if (into->present) std::copy_n(values, carried.dimension, into->values);
        }
}

// Writes the values of a list's maps, unchanged. A refused point (null) has
// nowhere to take them.
const background_value *write_maps(sf_edit_session &edit, const vmap_name_node *list, uint32_t type,
                                   int32_t dimension, const background_value *value, sf_point_id to) {
    for (const vmap_name_node *node = list; node != nullptr; node = node->next, ++value)
        if (value->present) write_value(edit, to, type, node->name, dimension, value->values);
    return value;
}

// Morph displacements turn with the clone but are not moved to the site:
// they are offsets from the point, not positions.
const background_value *write_morphs(sf_edit_session &edit, const background_value *value, sf_point_id to) {
    size_t k = 0;
    for (const vmap_name_node *node = morf_maps; node != nullptr; node = node->next, ++k, ++value) {
        if (!value->present) continue;
        const Point d = apply_frame(frame, {value->values[0], value->values[1], value->values[2]});
        const float turned[kMorphValues] = {static_cast<float>(d.x), static_cast<float>(d.y),
                                            static_cast<float>(d.z)};
        write_value(edit, to, SF_VMAP_MORF, constants.morph_names[k], kMorphValues, turned);
    }
    return value;
}

// The values of background point `number` (read from `from` the first time)
// written to its copy `to`. The index value goes after the copied weight
// maps, so it wins over a background map that happens to share its name.
void copy_vertex_maps(sf_edit_session &edit, uint32_t number, sf_point_id from, sf_point_id to) {
    background_point &point = background.point(number);
    const background_value *value = background.values(number);
    if (!point.valued) {
        read_values(edit, from, background.values(number));
        point.valued = true;
    }
    value = write_maps(edit, txuv_maps, SF_VMAP_TXUV, kUvValues, value, to);
    value = write_maps(edit, wght_maps, SF_VMAP_WGHT, kWeightValues, value, to);
    if (to != nullptr)
        edit.set_point_vmap(edit.state, to, SF_VMAP_WGHT, kCloneIndexMap, kWeightValues, &constants.index_value);
    value = write_morphs(edit, value, to);
    value = write_maps(edit, mnvw_maps, SF_VMAP_MNVW, kSubpatchWeightValues, value, to);
    write_maps(edit, spot_maps, SF_VMAP_SPOT, kSpotValues, value, to);
}

// A background position moved into the clone and onto its site.
Point place(const Point &position) { return apply_frame(frame, position) + current_site->position; }

// First pass over a polygon: which vertices need a new point, and where they
// are. False when the host cannot describe one of them; nothing is made then.
bool plan_vertices(sf_edit_session &edit, const sf_polygon_record &polygon) {
    const auto count = static_cast<size_t>(polygon.point_count);
    if (plans.size() < count) {
        plans.resize(count);
        new_points.resize(count);
    }
    // The scratch does not move during the polygon: its addresses are read
    // once, not again after every call into the host.
    vertex_plan *const plan_of = plans.data();
    sf_point_id *const made_of = new_points.data();
    for (size_t i = 0; i < count; ++i) {
        vertex_plan &plan = plan_of[i];
        if (const sf_point_id *known = point_map.find(polygon.points[i])) {
            plan.create = false;
            made_of[i] = *known;
            continue;
        }
        const uint32_t number = point_map.number(polygon.points[i]);
        background_point &point = background.point(number);
        if (!point.described) {
            const sf_point_record *record = edit.point_info(edit.state, polygon.points[i]);
            if (record == nullptr) return false;
            point.position = {record->position[0], record->position[1], record->position[2]};
            point.id = record->id;
            point.described = true;
        }
        plan.create = true;
        plan.source = point.id;
        plan.number = number;
        plan.position = point.position;
        // Without jitter the transform draws nothing, so it can run here,
        // where the vertices' chains of dependent multiplications overlap
        // instead of each waiting at the point it is added. With jitter it
        // runs as each point is made, keeping the order of the draws.
        if (!frame.jitter) plan.placed = place(plan.position);
    }
    return true;
}

}  // namespace

void build_clone(const params_typ &settings) {
    assert(edit_session != nullptr && current_site != nullptr && "the driver sets the session and the site");
    draw_clone_transform(settings);
    frame = current_clone_frame(settings);
    point_map.reset();
    background.prepare(point_map.numbering(), carried_map_count());
    morph_suffix = settings.auto_morph_maps != 0 ? plus_one(generator.int_between(0, settings.auto_morph_maps)) : 0;
    prepare_constants(settings);
    sf_edit_session &edit = *edit_session;
    // copy_polygon works from the frame and constants prepared above; it
    // takes no context from the scan.
    edit.scan_polygons(edit.state, guarded_visitor<copy_polygon>, nullptr, SF_LAYERS_BACKGROUND);
}

int copy_polygon(void * /*context*/, const sf_polygon_record *polygon) {
    sf_edit_session &edit = *edit_session;
    if (polygon->point_count < 1 || !plan_vertices(edit, *polygon)) return 0;

    const auto count = static_cast<size_t>(polygon->point_count);
    const vertex_plan *const plan_of = plans.data();
    sf_point_id *const made_of = new_points.data();
    for (size_t i = 0; i < count; ++i) {
        const vertex_plan &plan = plan_of[i];
        if (!plan.create) continue;
        const sf_point_id vertex = polygon->points[i];
        // A polygon that lists a point twice meets it again here, already made.
        if (const sf_point_id *known = point_map.find(vertex)) {
            made_of[i] = *known;
            continue;
        }
        const Point q = frame.jitter ? place(plan.position) : plan.placed;
        // A position that is not finite is not made: the polygons over it are
        // left out as over a point the host refuses. Its values are still
        // read (and its morphs turned), so the clone's draws stay in order.
        const bool finite = all_finite(q);
        if (!finite) ++non_finite_left_out;
        const sf_point_id made = finite ? edit.add_point(edit.state, q.data()) : nullptr;
        point_map.insert(plan.source, made);
        made_of[i] = made;
        copy_vertex_maps(edit, plan.number, vertex, made);
    }
    for (size_t i = 0; i < count; ++i)
        if (made_of[i] == nullptr) return 0;  // the host refused one of its points
    edit.add_polygon(edit.state, polygon->type, polygon->id, nullptr, polygon->point_count, made_of);
    return 0;
}

void release_point_map() {
    point_map.release();
    background.release();
    constants = {};
    frame = {};
    plans = {};
    new_points = {};
}

}  // namespace sowfield
