// Mesh files to and from the host's scene. The format follows the file's
// extension: .obj, .gltf or .glb.
//
// What each format keeps:
// - OBJ: positions exactly (shortest round-trip decimal form), polygons of any
//   size ("f"; 2-point polygons as "l", 1-point as "p"), each polygon's
//   surface ("usemtl"), and the first "TXUV" map as "vt" (read back as the
//   "TXUV" map "UV"; a point is split only where its corners disagree on UV).
//   Each surface's look comes from the material libraries ("mtllib", .mtl
//   files beside the OBJ, with the texture images beside them; see
//   mtl_reader.h) and goes out in NAME.mtl beside NAME.obj, with the images
//   as files beside it (see mtl_writer.h). Other maps and polygon types are
//   not kept.
// - glTF 2.0 (.gltf with its data in a .bin beside it, written together or
//   not at all; .glb binary): positions in single precision (the format's
//   only choice: exact for values that are floats, rounded to the nearest
//   float otherwise), materials as surfaces with their whole material as the
//   surface's look (factors, textures with samplers and images as they came,
//   alpha, sides, extensions and extras; see gltf_look_reader.h and
//   gltf_look_writer.h: images embedded in a GLB, files beside a .gltf),
//   every vertex map with its type, name and the points without a value (a
//   weight map under the attribute "_" + its name where that is a plain
//   name), and the polygons (fan-triangulated for the format, their sizes,
//   order and types recorded so that our own files read back polygon for
//   polygon). The node that holds the geometry and its mesh give the
//   layer's name and mesh name. Files from elsewhere give their triangles,
//   lines and points, in world space, and their application-specific
//   attributes of one float as weight maps.
// - Both: a surface that came with normals (glTF NORMAL; OBJ vn or a
//   smoothing group) is written with normals computed from the written
//   geometry (see crease_normals.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"

namespace sowfield::io {

// A file that cannot be read or written. The message names the file and,
// where the format has one, the line or the object at fault.
class MeshFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Format { obj, gltf, glb };

// The format of a path by its extension (case-insensitive); throws
// MeshFileError naming the accepted extensions otherwise.
Format format_for(const std::filesystem::path &path);

// Reads the whole file into a new layer of `scene`, named after the file, and
// returns the layer's index. Surfaces (OBJ materials, glTF materials) are
// added to the scene's surface names. Nothing is added to the scene when
// the file has a problem.
// What the read went on without (a material library or an image that is
// missing, say) is appended to `warnings`, one line each naming the file,
// when the read succeeds; without `warnings` it is not reported.
size_t read_mesh_file(const std::filesystem::path &path, host::Scene &scene,
                      std::vector<std::string> *warnings = nullptr);

// Which part of a layer to write: the points from `first_point` on and the
// polygons from `first_polygon` on (polygons must use only those points).
// The defaults write the whole layer.
struct WriteRange {
    uint32_t first_point = 0;
    uint32_t first_polygon = 0;
};

// How the writers shape what they add: surfaces that came with normals are
// written with normals, split where polygons meet at more than the crease
// angle.
struct WriteStyle {
    double crease_degrees = 60.0;
    // The name the written geometry takes (glTF: its node and scene) and its
    // mesh's name; empty: the layer's own. A clones-only output takes the
    // object's names rather than the surface's.
    std::string_view name;
    std::string_view mesh_name;
};

// Writes one layer atomically: into a temporary file beside `path`, renamed
// into place only once complete, so a failure never leaves a partial file.
// `provenance_json`, when not empty, is a JSON object saying how the layer
// was made (program, settings, clock); glTF keeps it as the asset's extras,
// OBJ has no place for it. Returns every file written: the companions (a
// .gltf's .bin; an OBJ's .mtl and texture images), then `path`; they appear
// together or not at all.
std::vector<std::filesystem::path> write_mesh_file(const std::filesystem::path &path, const host::Scene &scene,
                                                   size_t layer, WriteRange range = {},
                                                   std::string_view provenance_json = {}, WriteStyle style = {});

// True when both paths name the same file: the same existing file (through
// links too), or the same location when either does not exist yet. Lets a
// tool refuse to write its output over one of its inputs.
bool same_file(const std::filesystem::path &a, const std::filesystem::path &b);

}  // namespace sowfield::io
