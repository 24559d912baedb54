#include "io/gltf_look_reader.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "io/gltf_record.h"
#include "io/look_image_files.h"

namespace sowfield::io::detail {

namespace {

using tinygltf::Value;

bool starts_with(const std::vector<unsigned char> &bytes, const char *prefix, size_t length, size_t at = 0) {
    return bytes.size() >= at + length && std::memcmp(bytes.data() + at, prefix, length) == 0;
}

host::AlphaMode alpha_mode(const std::string &mode) {
    if (mode == "MASK") return host::AlphaMode::mask;
    if (mode == "BLEND") return host::AlphaMode::blend;
    return host::AlphaMode::opaque;
}

const tinygltf::ExtensionMap kEmptyExtensions;
const Value kNoExtras;

Value extension_object(const tinygltf::ExtensionMap &extensions) {
    Value::Object members(extensions.begin(), extensions.end());
    return Value(std::move(members));
}


}  // namespace

namespace {

bool same_image(const std::shared_ptr<const host::LookImage> &a, const std::shared_ptr<const host::LookImage> &b) {
    return a == b || (a && b && a->bytes == b->bytes && a->mime_type == b->mime_type);
}

bool same_texture(const std::optional<host::LookTexture> &a, const std::optional<host::LookTexture> &b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    const auto sampler = [](const host::LookSampler &s) {
        return std::tie(s.mag_filter, s.min_filter, s.wrap_s, s.wrap_t);
    };
    const auto same_extension_image = [](const host::LookExtensionImage &x, const host::LookExtensionImage &y) {
        return x.extension == y.extension && same_image(x.image, y.image);
    };
    return same_image(a->image, b->image) &&
           std::equal(a->extension_images.begin(), a->extension_images.end(), b->extension_images.begin(),
                      b->extension_images.end(), same_extension_image) &&
           sampler(a->sampler) == sampler(b->sampler) && a->tex_coord == b->tex_coord && a->scale == b->scale &&
           a->extensions_json == b->extensions_json && a->extras_json == b->extras_json;
}

}  // namespace

bool same_look(const host::SurfaceLook &a, const host::SurfaceLook &b) {
    if (a.extension_textures.size() != b.extension_textures.size()) return false;
    for (size_t i = 0; i < a.extension_textures.size(); ++i)
        if (!same_texture(a.extension_textures[i], b.extension_textures[i])) return false;
    return a.base_colour == b.base_colour && a.metallic == b.metallic && a.roughness == b.roughness &&
           a.emissive == b.emissive && a.alpha_mode == b.alpha_mode && a.alpha_cutoff == b.alpha_cutoff &&
           a.double_sided == b.double_sided && same_texture(a.base_colour_texture, b.base_colour_texture) &&
           same_texture(a.metallic_roughness_texture, b.metallic_roughness_texture) &&
           same_texture(a.normal_texture, b.normal_texture) && same_texture(a.occlusion_texture, b.occlusion_texture) &&
           same_texture(a.emissive_texture, b.emissive_texture) && same_texture(a.alpha_texture, b.alpha_texture) &&
           a.extensions_json == b.extensions_json && a.extras_json == b.extras_json;
}

bool keep_image_bytes(tinygltf::Image *image, int, std::string *, std::string *, int, int,
                      const unsigned char *bytes, int size, void *) {
    image->image.assign(bytes, bytes + size);
    image->as_is = true;
    return true;
}

bool texture_reference(const std::string &key, const Value &value) {
    return key.size() > 7 && key.ends_with("Texture") && value.IsObject() && value.Get("index").IsInt();
}

std::string image_mime_type(const std::vector<unsigned char> &bytes) {
    if (starts_with(bytes, "\x89PNG\r\n\x1a\n", 8)) return "image/png";
    if (starts_with(bytes, "\xFF\xD8\xFF", 3)) return "image/jpeg";
    if (starts_with(bytes, "RIFF", 4) && starts_with(bytes, "WEBP", 4, 8)) return "image/webp";
    if (starts_with(bytes, "\xABKTX 20\xBB", 8)) return "image/ktx2";
    return {};
}

std::shared_ptr<const host::SurfaceLook> LookReader::look_of(int index) {
    const tinygltf::Material &material = model_.materials[static_cast<size_t>(index)];
    const std::string where = "material " + std::to_string(index);
    auto look = std::make_shared<host::SurfaceLook>();
    const tinygltf::PbrMetallicRoughness &pbr = material.pbrMetallicRoughness;
    if (pbr.baseColorFactor.size() == 4)
        std::copy(pbr.baseColorFactor.begin(), pbr.baseColorFactor.end(), look->base_colour.begin());
    look->metallic = pbr.metallicFactor;
    look->roughness = pbr.roughnessFactor;
    if (material.emissiveFactor.size() == 3)
        std::copy(material.emissiveFactor.begin(), material.emissiveFactor.end(), look->emissive.begin());
    look->alpha_mode = alpha_mode(material.alphaMode);
    look->alpha_cutoff = material.alphaCutoff;
    look->double_sided = material.doubleSided;

    const auto slot = [](const auto &info, double scale) {
        return Slot{info.index, info.texCoord, scale, &info.extensions, &info.extras};
    };
    look->base_colour_texture = texture(slot(pbr.baseColorTexture, 1.0), where + " base colour texture");
    look->metallic_roughness_texture =
        texture(slot(pbr.metallicRoughnessTexture, 1.0), where + " metallic-roughness texture");
    look->normal_texture =
        texture(slot(material.normalTexture, material.normalTexture.scale), where + " normal texture");
    look->occlusion_texture =
        texture(slot(material.occlusionTexture, material.occlusionTexture.strength), where + " occlusion texture");
    look->emissive_texture = texture(slot(material.emissiveTexture, 1.0), where + " emissive texture");

    look->extensions_json = extension_texts(material.extensions, *look, where);
    look->extras_json = gltf::json_text(material.extras);
    // A material that says nothing but its name (as our writer gives a
    // surface that came without a look): the surface has no look to keep.
    if (same_look(*look, host::SurfaceLook{})) return nullptr;
    return look;
}

std::optional<host::LookTexture> LookReader::texture(const Slot &slot, const std::string &where) {
    if (slot.index < 0) return std::nullopt;
    if (static_cast<size_t>(slot.index) >= model_.textures.size())
        fail_(where + " refers to texture " + std::to_string(slot.index) + ", but only " +
              std::to_string(model_.textures.size()) + " exist");
    const tinygltf::Texture &texture = model_.textures[static_cast<size_t>(slot.index)];
    host::LookTexture out;
    // Images in other formats (WebP, KTX2, ...) come through extensions of
    // the texture, beside a core image or instead of it.
    for (const auto &[extension, value] : texture.extensions) {
        if (!value.IsObject() || !value.Get("source").IsInt()) continue;
        if (auto offered = image(value.Get("source").Get<int>(), where))
            out.extension_images.push_back({extension, std::move(offered)});
    }
    if (texture.source >= 0) out.image = image(texture.source, where);
    if (!out.has_image()) {
        if (texture.source < 0)
            warnings_.push_back(where + ": texture " + std::to_string(slot.index) + " has no image; it is left out");
        return std::nullopt;
    }
    if (texture.sampler >= 0) {
        if (static_cast<size_t>(texture.sampler) >= model_.samplers.size())
            fail_(where + ": texture " + std::to_string(slot.index) + " refers to sampler " +
                  std::to_string(texture.sampler) + ", but only " + std::to_string(model_.samplers.size()) + " exist");
        const tinygltf::Sampler &sampler = model_.samplers[static_cast<size_t>(texture.sampler)];
        out.sampler = {std::max(sampler.magFilter, 0), std::max(sampler.minFilter, 0), sampler.wrapS, sampler.wrapT};
    }
    out.tex_coord = slot.tex_coord;
    out.scale = slot.scale;
    if (!slot.extensions->empty()) out.extensions_json = gltf::json_text(extension_object(*slot.extensions));
    out.extras_json = gltf::json_text(*slot.extras);
    return out;
}

std::shared_ptr<const host::LookImage> LookReader::image(int index, const std::string &where) {
    if (static_cast<size_t>(index) >= model_.images.size())
        fail_(where + " refers to image " + std::to_string(index) + ", but only " +
              std::to_string(model_.images.size()) + " exist");
    const auto known = images_.find(index);
    if (known != images_.end()) return known->second;
    const tinygltf::Image &source = model_.images[static_cast<size_t>(index)];
    std::shared_ptr<host::LookImage> image;
    if (source.image.empty()) {
        warnings_.push_back("image " + std::to_string(index) +
                            (source.uri.empty() ? std::string() : " (" + source.uri + ")") +
                            " cannot be read; the textures that use it are left out");
    } else {
        image = std::make_shared<host::LookImage>();
        image->name = source.name;
        image->bytes = source.image;
        image->mime_type = source.mimeType.empty() ? image_mime_type(image->bytes) : source.mimeType;
        if (!source.uri.empty() && source.uri.rfind("data:", 0) != 0) image->file_name = source.uri;
    }
    images_[index] = image;
    return image;
}

std::string LookReader::extension_texts(const tinygltf::ExtensionMap &extensions, host::SurfaceLook &look,
                                        const std::string &where) {
    if (extensions.empty()) return {};
    Value object = extension_object(extensions);
    renumber_textures(object, look, where);
    return gltf::json_text(object);
}

// Every texture an extension refers to joins the look's extension textures,
// its "index" renumbered to its place there; one that cannot be kept loses
// its reference (the extension then goes without that texture).
void LookReader::renumber_textures(Value &value, host::SurfaceLook &look, const std::string &where) {
    if (value.IsArray()) {
        for (Value &item : value.Get<Value::Array>()) renumber_textures(item, look, where);
        return;
    }
    if (!value.IsObject()) return;
    Value::Object &members = value.Get<Value::Object>();
    for (auto member = members.begin(); member != members.end();) {
        if (!texture_reference(member->first, member->second)) {
            renumber_textures(member->second, look, where);
            ++member;
            continue;
        }
        Value::Object &info = member->second.Get<Value::Object>();
        const std::optional<host::LookTexture> kept =
            texture(Slot{info["index"].Get<int>(), 0, 1.0, &kEmptyExtensions, &kNoExtras},
                    where + " " + member->first);
        if (!kept) {
            member = members.erase(member);
            continue;
        }
        info["index"] = Value(static_cast<int>(look.extension_textures.size()));
        look.extension_textures.push_back(*kept);
        ++member;
    }
}

}  // namespace sowfield::io::detail
