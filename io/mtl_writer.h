// The material library written beside an OBJ file: the same name with
// ".mtl", one material per surface the written polygons use, and the images
// of their textures as files beside it (see look_image_files.h), all
// companions of the OBJ (they appear with it or not at all).
//
// A look maps back as the reader maps it in (mtl_reader.h): Kd and d from
// the base colour, Ns = 1000 (1 - roughness)^2 and Pr, Pm, Ke, map_Kd,
// map_Ke, map_d, and the normal texture as map_Bump with -bm for its scale.
// What OBJ cannot say (a metallic-roughness or occlusion texture, the alpha
// cut-off, double sides, samplers, extensions) is left out. A surface
// without a look gets a plain light grey material of its name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"
#include "io/atomic_file.h"

namespace sowfield::io::detail {

// Writes the library for `surfaces` (in that order) as a companion of the
// OBJ `out`; returns its file name, for the "mtllib" line.
std::string write_material_library(AtomicFile &out, const host::Scene &scene, const std::vector<uint32_t> &surfaces);

}  // namespace sowfield::io::detail
