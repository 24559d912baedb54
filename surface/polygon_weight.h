// One number per polygon from a weight map: the mean of its points' values.
#pragma once

#include <cstdint>
#include <memory>

#include "settings/vmap_catalogue.h"
#include "sowfield_host.h"

namespace sowfield {

// The node at pop-up index k (counted from 1), or null for k < 1 or past the end.
const vmap_name_node *weightmap_at(const vmap_catalogue &catalogue, int32_t k);

// Mean value (single precision) of the named weight map over the polygon's
// points; points without a value count as 0. 1.0 when there is no name or no
// weight map; 0.0 for a polygon the host does not know.
double polygon_weight(const vmap_catalogue &catalogue, sf_polygon_id polygon, const char *name);

// One "Size WeightMap" value per target polygon, in target order; empty when
// the setting names no map.
extern std::unique_ptr<double[]> size_weights;

void compute_size_weights(int32_t count, const vmap_catalogue &catalogue, int32_t k);

}  // namespace sowfield
