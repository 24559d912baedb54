// The points of a glTF mesh instance and their vertex maps, into the layer:
// positions in world space, maps from our record or, for files from
// elsewhere, from the format's attributes and morph targets.
//
// TEXCOORD_n measures v from the top of the image; the host measures it from
// the bottom (as OBJ does), so v is read as 1 - v, except from the exact copy
// that our own files carry when the flip would lose bits (see gltf_writer.cpp).
#pragma once

#include <tiny_gltf.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"
#include "io/gltf_accessor.h"
#include "io/gltf_matrix.h"
#include "io/gltf_mesh_record.h"

namespace sowfield::io::detail {

// The points that one set of vertex accessors gave the layer.
struct PointSet {
    uint32_t base = 0;  // the layer's index of vertex 0
    uint64_t vertex_count = 0;
    uint64_t point_count = 0;  // vertices from point_count on repeat a point (split)
    std::vector<uint32_t> split;
};

// Adds the points of one mesh instance's primitives to a layer.
class PointReader {
public:
    // `world` places the instance; a placed clone of our own (`placing_clones`)
    // keeps its "SPOT" values as they are.
    PointReader(const tinygltf::Model &model, host::Layer &layer, const LoadFailure &fail, const Matrix &world,
                bool placing_clones)
        : model_(model), layer_(layer), fail_(fail), world_(world), placing_clones_(placing_clones) {}

    // The points of one primitive's vertices with their map values; `where`
    // names the primitive in messages.
    PointSet add_points(const tinygltf::Mesh &mesh, const tinygltf::Primitive &primitive, const MeshRecord &record,
                        const std::string &where);

private:
    std::vector<uint32_t> split_points(const MeshRecord &record, uint64_t vertex_count, uint64_t &point_count,
                                       const std::string &where) const;
    PointSet add_positions(const tinygltf::Primitive &primitive, const MeshRecord &record, const std::string &where);
    void add_recorded_maps(const tinygltf::Primitive &primitive, const MeshRecord &record, const PointSet &set,
                           const std::string &where);
    void add_attribute_maps(const tinygltf::Primitive &primitive, const PointSet &set, const std::string &where);
    void add_morph_maps(const tinygltf::Mesh &mesh, const tinygltf::Primitive &primitive, const PointSet &set,
                        const std::string &where);
    bool plain_elements(int accessor) const;
    void follow_node(uint32_t type, const Matrix &world, float *value) const;
    void add_values(uint32_t type, const std::string &name, int accessor, const PointSet &set,
                    const std::vector<Run> &missing, bool recorded, bool flip_v, const Matrix &world,
                    const std::string &where);

    const tinygltf::Model &model_;
    host::Layer &layer_;
    const LoadFailure &fail_;
    const Matrix &world_;
    bool placing_clones_;
};

}  // namespace sowfield::io::detail
