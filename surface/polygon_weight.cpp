// Weight-map values per polygon, read through the run's edit session.
#include "surface/polygon_weight.h"

#include <cassert>
#include <vector>

#include "surface/target_polygons.h"

namespace sowfield {

std::unique_ptr<double[]> size_weights;

const vmap_name_node *weightmap_at(const vmap_catalogue &catalogue, int32_t k) {
    if (k < 1) return nullptr;
    int32_t position = 1;
    for (const vmap_name_node *node = catalogue.weightmap_names; node != nullptr; node = node->next, ++position)
        if (position == k) return node;
    return nullptr;
}

double polygon_weight(const vmap_catalogue &catalogue, sf_polygon_id polygon, const char *name) {
    sf_edit_session *edit = catalogue.session;
    if (catalogue.weightmap_names == nullptr || name == nullptr || edit == nullptr || edit->state == nullptr)
        return 1.0;
    edit->select_vmap(edit->state, nullptr, SF_VMAP_WGHT, name);
    const sf_polygon_record *record = edit->polygon_info(edit->state, polygon);
    if (record == nullptr) return 0.0;

    // The record stays valid while point_info is asked about its points (the
    // contract: only the next polygon_info replaces it). Its ids are still
    // copied out, so the mean below depends on nothing but the ids; the
    // buffer is reused, since weights are read at every attempt of the
    // distribution, on the host's one thread.
    static std::vector<sf_point_id> ids;
    const int32_t count = record->point_count;
    if (count <= 0) {
        // A polygon without points has no values: like a polygon whose points
        // carry none, it weighs 0 (and not the 0/0 that the mean would give).
        return 0.0;
    }
    ids.assign(record->points, record->points + count);

    float sum = 0.0f;
    for (const sf_point_id id : ids) {
        const sf_point_record *point = edit->point_info(edit->state, id);
        if (point != nullptr && point->vmap_value != nullptr) sum = sum + point->vmap_value[0];
    }
    const float mean = sum / static_cast<float>(count);
    return static_cast<double>(mean);
}

void compute_size_weights(int32_t count, const vmap_catalogue &catalogue, int32_t k) {
    assert(count <= target_count && "one size weight per collected target polygon");
    size_weights.reset();
    const size_t entries = count > 0 ? static_cast<size_t>(count) : 0;
    size_weights = std::make_unique<double[]>(entries);
    const vmap_name_node *node = weightmap_at(catalogue, k);
    const char *name = node != nullptr ? node->name : nullptr;
    for (size_t i = 0; i < entries; ++i)
        size_weights[i] = name != nullptr ? polygon_weight(catalogue, target_polygons[i].polygon, name) : 1.0;
}

}  // namespace sowfield
