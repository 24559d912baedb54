#include "surface/polygon_weight.h"

namespace sowfield {

std::unique_ptr<double[]> size_weights;

const vmap_name_node *weightmap_at(const vmap_catalogue &, int32_t) { return nullptr; }
double polygon_weight(const vmap_catalogue &, sf_polygon_id, const char *) { return 1.0; }
void compute_size_weights(int32_t, const vmap_catalogue &, int32_t) {}

}  // namespace sowfield
