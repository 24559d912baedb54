// One clone: a transformed copy of every background polygon, with its points
// and their vertex-map values, added to the foreground.
#pragma once

#include <cstdint>

#include "settings/params.h"
#include "sowfield_host.h"

namespace sowfield {

// The number the current clone appends to morph-map names; 0 for none.
extern int32_t morph_suffix;

void build_clone(const params_typ &settings);

// Scan visitor over the background; `context` is the params_typ. Always 0.
int copy_polygon(void *context, const sf_polygon_record *polygon);

// Empties the point map and gives back its memory (end of run).
void release_point_map();

}  // namespace sowfield
