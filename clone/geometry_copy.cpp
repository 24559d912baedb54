#include "clone/geometry_copy.h"

namespace sowfield {

int32_t morph_suffix = 0;

void build_clone(const params_typ &) {}
int copy_polygon(void *, const sf_polygon_record *) { return 0; }
void release_point_map() {}

}  // namespace sowfield
