// What our glTF files record beyond the format, in `extras`, so that reading
// our own file gives back the layer that was written. Files from elsewhere
// lack the record and are read by the format's conventions alone.
//
// mesh.extras
//   "targetNames": [name, ...]       the morph targets' names (a common convention)
//   "sowfield": {
//     "version": 3,
//     "maps": [{"type": "WGHT", "name": "height", "attribute": "_WEIGHT_0",
//               "missing": [first, count, ...]}, ...]
//                                    every vertex map in layer order; a morph map has
//                                    "target": k instead of "attribute"; "missing" lists
//                                    runs of points without a value; a UV map whose
//                                    TEXCOORD_n (1 - v) does not give back every value
//                                    has "exact": "_UV_EXACT_n", the values as stored
//     "polygon_order": [primitive, count, ...]
//                                    runs of polygons in layer order (when there is more
//                                    than one primitive)
//     "polygon_types": [type, count, ...]
//                                    runs of polygon types in layer order (when any
//                                    polygon is not "FACE")
//     "split_vertices": accessor     the points (unsigned ints) of the vertices after the
//                                    layer's own, which a point gets for each further
//                                    normal its corners have (version 3; when any)
//   }
// asset.extras                     how the file was made, as the program that wrote it
//                                    described it (see write_mesh_file)
// primitive.extras
//   "sowfield": {"polygon_sizes": [size, count, ...]}
//                                    runs of polygon sizes of a triangle primitive whose
//                                    polygons were fan-triangulated
//   "sowfield": {"points_only": true}
//                                    the points of a layer without polygons
//
// Empty arrays are left out (the JSON writer would turn them into null).
// Types are the four letters ("TXUV") or, when not printable, the number.
#pragma once

#include <tiny_gltf.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace sowfield::io::detail::gltf {

inline constexpr const char *kTargetNames = "targetNames";
inline constexpr const char *kRecord = "sowfield";
// Version 2 writes TEXCOORD_n as 1 - v; version 1 wrote v as stored.
// Version 3 may split points into several vertices (split_vertices).
inline constexpr int kRecordVersion = 3;
inline constexpr const char *kVersion = "version";
inline constexpr const char *kMaps = "maps";
inline constexpr const char *kPolygonOrder = "polygon_order";
inline constexpr const char *kPolygonTypes = "polygon_types";
inline constexpr const char *kPolygonSizes = "polygon_sizes";
inline constexpr const char *kPointsOnly = "points_only";
inline constexpr const char *kSplitVertices = "split_vertices";

// A count or index as a JSON number: an integer while it fits the library's
// int, a double (exact up to 2^53) beyond.
tinygltf::Value number_value(uint64_t n);
// The value of a JSON number that must be a whole number in [0, limit];
// false otherwise.
bool whole_number(const tinygltf::Value &value, uint64_t limit, uint64_t &out);

tinygltf::Value type_value(uint32_t code);
bool parse_type(const tinygltf::Value &value, uint32_t &code);
std::string type_text(uint32_t code);  // for messages

// The attribute name of a map that is neither UV nor morph: "_WEIGHT_n" for
// "WGHT", "_SUBDIV_WEIGHT_n" for "MNVW", "_SPOT_n" for "SPOT", "_VMAP_n" for
// other types (the leading underscore marks an application-specific attribute).
std::string attribute_name(uint32_t type, unsigned ordinal);

bool valid_utf8(std::string_view text);

// A file name as a relative URI: unreserved characters as they are, every
// other byte percent-encoded.
std::string relative_uri(const std::string &name);

// Vertex maps that hold what other programs put in a glTF file and that the
// plug-in does not copy: "COLOR_n" colours (named after the attribute) and
// application-specific attributes that are not weights (named after the
// attribute, leading underscore included), each written back as it came.
inline constexpr uint32_t kColorType = 0x52474241u;      // "RGBA"
inline constexpr uint32_t kAttributeType = 0x41545452u;  // "ATTR"

// An application-specific attribute ("_name") of one component, float or
// normalized unsigned integer, is a weight map; `components`,
// `component_type` and `normalized` describe its accessor.
bool weight_like(int components, int component_type, bool normalized);
// The weight map's name: the attribute's without its leading underscores,
// case kept ("__ROCKINESS" gives "ROCKINESS"); empty when nothing is left.
std::string weight_map_name(std::string_view attribute);
// "_" + the map's name when that makes an attribute name other programs
// accept (letters, digits and underscores) and keep as written.
std::string named_weight_attribute(std::string_view map_name);
// True for the names this writer makes up (attribute_name's and the exact
// UV copies'), which a map's own name must not take.
bool made_up_attribute(std::string_view attribute);

// A JSON text as a tinygltf value, for extras the writer is handed as text.
// Throws std::invalid_argument when the text is not JSON.
tinygltf::Value json_value(std::string_view json);
// The other way: a tinygltf value as compact JSON text ("" for no value), for
// what the host keeps as text (a material's extensions and extras).
std::string json_text(const tinygltf::Value &value);

}  // namespace sowfield::io::detail::gltf
