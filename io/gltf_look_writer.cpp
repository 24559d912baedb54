#include "io/gltf_look_writer.h"

#include <algorithm>
#include <stdexcept>

#include "io/gltf_look_reader.h"
#include "io/gltf_record.h"

namespace sowfield::io::detail {

namespace {

using tinygltf::Value;

constexpr int kRepeat = TINYGLTF_TEXTURE_WRAP_REPEAT;

const char *alpha_mode_name(host::AlphaMode mode) {
    switch (mode) {
    case host::AlphaMode::mask: return "MASK";
    case host::AlphaMode::blend: return "BLEND";
    default: return "OPAQUE";
    }
}

tinygltf::ExtensionMap extension_map(const Value &object) {
    tinygltf::ExtensionMap map;
    if (object.IsObject())
        for (const std::string &key : object.Keys()) map[key] = object.Get(key);
    return map;
}

}  // namespace

GltfMaterials::GltfMaterials(const host::Scene &scene, AtomicFile &out, bool binary, std::set<std::string> reserved)
    : scene_(scene), out_(out), binary_(binary) {
    if (!binary_) files_ = std::make_unique<LookImageFiles>(out, std::move(reserved));
}

int GltfMaterials::material_for(tinygltf::Model &model, uint32_t surface, unsigned uv_sets) {
    const std::shared_ptr<const host::SurfaceLook> &look = scene_.surface_keeping(surface).look;
    if (!look) uv_sets = 0;  // a plain material is the same for every mesh
    const auto known = material_of_.find({surface, uv_sets});
    if (known != material_of_.end()) return known->second;
    const std::string &name = scene_.surface_name(surface);
    if (!gltf::valid_utf8(name)) out_.fail("the name of surface " + std::to_string(surface) + " is not valid UTF-8");
    tinygltf::Material material;
    material.name = name;
    if (look) describe_look(model, *look, uv_sets, material);
    const int index = static_cast<int>(model.materials.size());
    model.materials.push_back(std::move(material));
    material_of_[{surface, uv_sets}] = index;
    return index;
}

void GltfMaterials::describe_look(tinygltf::Model &model, const host::SurfaceLook &look, unsigned uv_sets,
                                  tinygltf::Material &material) {
    tinygltf::PbrMetallicRoughness &pbr = material.pbrMetallicRoughness;
    pbr.baseColorFactor.assign(look.base_colour.begin(), look.base_colour.end());
    pbr.metallicFactor = look.metallic;
    pbr.roughnessFactor = look.roughness;
    material.emissiveFactor.assign(look.emissive.begin(), look.emissive.end());
    material.alphaMode = alpha_mode_name(look.alpha_mode);
    // The cutoff means something only to a mask.
    material.alphaCutoff = look.alpha_mode == host::AlphaMode::mask ? look.alpha_cutoff : 0.5;
    material.doubleSided = look.double_sided;
    fill_slot(model, look.base_colour_texture, uv_sets, pbr.baseColorTexture);
    fill_slot(model, look.metallic_roughness_texture, uv_sets, pbr.metallicRoughnessTexture);
    fill_slot(model, look.normal_texture, uv_sets, material.normalTexture);
    if (look.normal_texture) material.normalTexture.scale = look.normal_texture->scale;
    fill_slot(model, look.occlusion_texture, uv_sets, material.occlusionTexture);
    if (look.occlusion_texture) material.occlusionTexture.strength = look.occlusion_texture->scale;
    fill_slot(model, look.emissive_texture, uv_sets, material.emissiveTexture);
    if (!look.extensions_json.empty()) {
        Value extensions = parsed(look.extensions_json, "extensions");
        renumber_textures(model, extensions, look, uv_sets);
        for (const std::string &name : extensions.Keys()) extensions_used_.insert(name);
        note_extensions(extensions);
        material.extensions = extension_map(extensions);
    }
    if (!look.extras_json.empty()) material.extras = parsed(look.extras_json, "extras");
}

template <class Info>
void GltfMaterials::fill_slot(tinygltf::Model &model, const std::optional<host::LookTexture> &texture,
                              unsigned uv_sets, Info &info) {
    if (!texture || !texture->has_image() || texture->tex_coord < 0 ||
        static_cast<unsigned>(texture->tex_coord) >= uv_sets)
        return;
    info.index = texture_for(model, *texture);
    info.texCoord = texture->tex_coord;
    if (!texture->extensions_json.empty()) {
        const Value extensions = parsed(texture->extensions_json, "texture extensions");
        for (const std::string &name : extensions.Keys()) extensions_used_.insert(name);
        note_extensions(extensions);
        info.extensions = extension_map(extensions);
    }
    if (!texture->extras_json.empty()) info.extras = parsed(texture->extras_json, "texture extras");
}

// A look's JSON text as a value; text that is not a JSON object is refused.
Value GltfMaterials::parsed(const std::string &json, const std::string &what) const {
    try {
        Value value = gltf::json_value(json);
        if (what.find("extensions") != std::string::npos && !value.IsObject())
            out_.fail("a material's " + what + " are not a JSON object");
        return value;
    } catch (const std::invalid_argument &) {
        out_.fail("a material's " + what + " are not JSON");
    }
}

// The look's extension textures, written as textures of the file: each
// reference's "index" (a place in the look's list) becomes the texture's; a
// reference to a UV set the mesh lacks is left out.
void GltfMaterials::renumber_textures(tinygltf::Model &model, Value &value, const host::SurfaceLook &look,
                                      unsigned uv_sets) {
    if (value.IsArray()) {
        for (Value &item : value.Get<Value::Array>()) renumber_textures(model, item, look, uv_sets);
        return;
    }
    if (!value.IsObject()) return;
    Value::Object &members = value.Get<Value::Object>();
    for (auto entry = members.begin(); entry != members.end();) {
        auto &[key, member] = *entry;
        if (!texture_reference(key, member)) {
            renumber_textures(model, member, look, uv_sets);
            ++entry;
            continue;
        }
        Value::Object &info = member.Get<Value::Object>();
        const Value &tex_coord = info["texCoord"];
        if (uv_sets == 0 || (tex_coord.IsInt() && (tex_coord.Get<int>() < 0 ||
                                                   static_cast<unsigned>(tex_coord.Get<int>()) >= uv_sets))) {
            entry = members.erase(entry);
            continue;
        }
        if (tex_coord.Type() == tinygltf::NULL_TYPE) info.erase("texCoord");
        const int place = info["index"].Get<int>();
        if (place < 0 || static_cast<size_t>(place) >= look.extension_textures.size() ||
            !look.extension_textures[static_cast<size_t>(place)].has_image())
            out_.fail("a material's extension refers to texture " + std::to_string(place) + " of its " +
                      std::to_string(look.extension_textures.size()));
        info["index"] = Value(texture_for(model, look.extension_textures[static_cast<size_t>(place)]));
        ++entry;
    }
}

// The extensions named within extension data (a texture transform on a
// clearcoat texture, say), which the file must declare as well.
void GltfMaterials::note_extensions(const Value &value) {
    if (value.IsArray())
        for (size_t i = 0; i < value.ArrayLen(); ++i) note_extensions(value.Get(static_cast<int>(i)));
    if (!value.IsObject()) return;
    for (const std::string &key : value.Keys()) {
        const Value &member = value.Get(key);
        if (key == "extensions" && member.IsObject())
            for (const std::string &name : member.Keys()) extensions_used_.insert(name);
        note_extensions(member);
    }
}

int GltfMaterials::texture_for(tinygltf::Model &model, const host::LookTexture &texture) {
    const int image = texture.image ? image_for(model, texture.image) : -1;
    const int sampler = sampler_for(model, texture.sampler);
    std::vector<std::pair<std::string, int>> offered;
    for (const host::LookExtensionImage &extension : texture.extension_images)
        offered.emplace_back(extension.extension, image_for(model, extension.image));
    const auto [found, added] =
        texture_of_.try_emplace({image, sampler, offered}, static_cast<int>(model.textures.size()));
    if (added) {
        tinygltf::Texture entry;
        entry.source = image;
        entry.sampler = sampler;
        for (const auto &[extension, source] : offered) {
            entry.extensions[extension] = Value(Value::Object{{"source", Value(source)}});
            extensions_used_.insert(extension);
            // Without an image of its own the texture can only be shown by
            // readers that know the extension.
            if (image < 0) extensions_required_.insert(extension);
        }
        model.textures.push_back(std::move(entry));
    }
    return found->second;
}

int GltfMaterials::sampler_for(tinygltf::Model &model, const host::LookSampler &sampler) {
    const bool plain = sampler.mag_filter == 0 && sampler.min_filter == 0 && sampler.wrap_s == kRepeat &&
                       sampler.wrap_t == kRepeat;
    if (plain) return -1;
    const auto [found, added] =
        sampler_of_.try_emplace({sampler.mag_filter, sampler.min_filter, sampler.wrap_s, sampler.wrap_t},
                                static_cast<int>(model.samplers.size()));
    if (added) {
        tinygltf::Sampler entry;
        entry.magFilter = sampler.mag_filter > 0 ? sampler.mag_filter : -1;
        entry.minFilter = sampler.min_filter > 0 ? sampler.min_filter : -1;
        entry.wrapS = sampler.wrap_s;
        entry.wrapT = sampler.wrap_t;
        model.samplers.push_back(std::move(entry));
    }
    return found->second;
}

int GltfMaterials::image_for(tinygltf::Model &model, const std::shared_ptr<const host::LookImage> &image) {
    const auto [found, added] = image_of_.try_emplace(image.get(), static_cast<int>(model.images.size()));
    if (!added) return found->second;
    if (!gltf::valid_utf8(image->name)) out_.fail("the name of an image is not valid UTF-8");
    tinygltf::Image entry;
    entry.name = image->name;
    if (binary_) {
        entry.mimeType = image->mime_type;  // the buffer view comes in finish()
    } else {
        entry.uri = gltf::relative_uri(files_->file_for(image));
    }
    images_.push_back(image);
    model.images.push_back(std::move(entry));
    return found->second;
}

void GltfMaterials::finish(tinygltf::Model &model, uint64_t &binary_size) {
    model.extensionsUsed.insert(model.extensionsUsed.end(), extensions_used_.begin(), extensions_used_.end());
    for (const std::string &extension : extensions_required_)
        if (std::find(model.extensionsRequired.begin(), model.extensionsRequired.end(), extension) ==
            model.extensionsRequired.end())
            model.extensionsRequired.push_back(extension);
    if (!binary_) return;
    for (size_t i = 0; i < images_.size(); ++i) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = binary_size;
        view.byteLength = images_[i]->bytes.size();
        binary_size += (view.byteLength + 3) / 4 * 4;
        model.images[i].bufferView = static_cast<int>(model.bufferViews.size());
        model.bufferViews.push_back(view);
    }
}

void GltfMaterials::write_images(const std::function<void(const void *, size_t)> &write) const {
    static constexpr unsigned char kPadding[3] = {0, 0, 0};
    for (const std::shared_ptr<const host::LookImage> &image : images_) {
        write(image->bytes.data(), image->bytes.size());
        write(kPadding, (4 - image->bytes.size() % 4) % 4);
    }
}

}  // namespace sowfield::io::detail
