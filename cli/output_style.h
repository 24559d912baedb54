// How a run's result file is shaped and named: normals split at the crease
// angle, and a --clones-only output named after the object it copies (its
// layer's name and mesh name) rather than the surface.
#pragma once

#include "host/scene/scene.h"
#include "io/mesh_file.h"

namespace sowfield::cli {

// The names point into `scene`, which must outlive the style's use. With
// several objects the output keeps the surface's names: no one object's
// name says what it holds.
io::WriteStyle output_style(const host::Scene &scene, bool clones_only, double crease_degrees);

}  // namespace sowfield::cli
