// The materials of a glTF file being written: one per surface its primitives
// use, shared by every mesh of the file. A surface with a look (see
// host/scene/surface_look.h) gets it whole: factors, textures with their
// samplers and images, alpha, sides, extensions and extras; one without gets
// a plain material with its name. Each image is written once however many
// textures use it: inside a GLB as a buffer view after all other data, beside
// a .gltf as a file of its own (see look_image_files.h), which appears with
// the .gltf or not at all.
#pragma once

#include <tiny_gltf.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host/scene/scene.h"
#include "io/atomic_file.h"
#include "io/look_image_files.h"

namespace sowfield::io::detail {

class GltfMaterials {
public:
    // `binary`: the images go into the GLB's buffer; otherwise into files
    // beside `out`'s target, companions of `out`. `reserved`: the names of
    // the files the output itself writes there.
    GltfMaterials(const host::Scene &scene, AtomicFile &out, bool binary, std::set<std::string> reserved);

    // The material of `surface` in `model` for a mesh of `uv_sets` UV sets
    // (TEXCOORD_0 to TEXCOORD_n-1), added on first use. A texture needs its
    // UV set: one the mesh lacks is left out of the material.
    int material_for(tinygltf::Model &model, uint32_t surface, unsigned uv_sets);

    // Once every mesh is described: the images' buffer views (GLB) from
    // `binary_size` on, which it advances, and the extensions the materials
    // use.
    void finish(tinygltf::Model &model, uint64_t &binary_size);

    // The images' bytes in the order of their buffer views (GLB), each padded
    // to a multiple of four bytes.
    void write_images(const std::function<void(const void *, size_t)> &write) const;

private:
    int texture_for(tinygltf::Model &model, const host::LookTexture &texture);
    int image_for(tinygltf::Model &model, const std::shared_ptr<const host::LookImage> &image);
    int sampler_for(tinygltf::Model &model, const host::LookSampler &sampler);
    template <class Info>
    void fill_slot(tinygltf::Model &model, const std::optional<host::LookTexture> &texture, unsigned uv_sets,
                   Info &info);
    void describe_look(tinygltf::Model &model, const host::SurfaceLook &look, unsigned uv_sets,
                       tinygltf::Material &material);
    tinygltf::Value parsed(const std::string &json, const std::string &what) const;
    void renumber_textures(tinygltf::Model &model, tinygltf::Value &value, const host::SurfaceLook &look,
                           unsigned uv_sets);
    void note_extensions(const tinygltf::Value &extensions);

    const host::Scene &scene_;
    const AtomicFile &out_;
    bool binary_;
    std::unique_ptr<LookImageFiles> files_;  // beside a .gltf
    std::map<std::pair<uint32_t, unsigned>, int> material_of_;  // by surface and UV sets
    std::map<const host::LookImage *, int> image_of_;
    std::map<std::tuple<int, int, int, int>, int> sampler_of_;
    // By image, sampler and the images extensions offer.
    std::map<std::tuple<int, int, std::vector<std::pair<std::string, int>>>, int> texture_of_;
    std::vector<std::shared_ptr<const host::LookImage>> images_;  // in image order
    std::set<std::string> extensions_used_;
    std::set<std::string> extensions_required_;  // offering the only image of some texture
};

}  // namespace sowfield::io::detail
