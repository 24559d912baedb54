#pragma once
// What a mesh file said about a surface's look, kept so that the writers can
// put it back: a physically based material in the shape glTF gives it, which
// an OBJ material library maps onto as well. The host only keeps it; the file
// formats fill it in and read it out. Everything here is plain data, so a look
// read from one format can be written by another.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sowfield::host {

// An image a texture samples: the file's bytes as they came (PNG, JPEG, ...),
// never decoded. Shared by every texture and surface that uses it, so a writer
// stores it once.
struct LookImage {
    std::string name;                 // as the file named it; may be empty
    std::string mime_type;            // "image/png", "image/jpeg", ... ; empty when unknown
    std::string file_name;            // the file it was read from, for writers that refer to files
    std::vector<unsigned char> bytes;
};

// How a texture is sampled, with glTF's numbers (0 where the file set none).
struct LookSampler {
    int mag_filter = 0;
    int min_filter = 0;
    int wrap_s = 10497;  // repeat
    int wrap_t = 10497;
};

// An image a texture offers through an extension of its own ("EXT_texture_webp"
// and the like), for readers that know the extension.
struct LookExtensionImage {
    std::string extension;
    std::shared_ptr<const LookImage> image;
};

// One texture slot of a material.
struct LookTexture {
    std::shared_ptr<const LookImage> image;  // null when only extensions offer one
    std::vector<LookExtensionImage> extension_images;
    LookSampler sampler;
    int tex_coord = 0;      // which UV set
    double scale = 1.0;     // normal map scale, or occlusion strength
    // The slot's own extensions (a texture transform, say) and extras, as
    // JSON text the reader did not interpret; empty when none.
    std::string extensions_json;
    std::string extras_json;

    bool has_image() const { return image || !extension_images.empty(); }
    // The image to name where one file must do: the core one, else the
    // first an extension offers; null when there is none.
    const std::shared_ptr<const LookImage> &any_image() const {
        return image || extension_images.empty() ? image : extension_images.front().image;
    }
};

enum class AlphaMode { opaque, mask, blend };

struct SurfaceLook {
    std::array<double, 4> base_colour{1.0, 1.0, 1.0, 1.0};
    double metallic = 1.0;
    double roughness = 1.0;
    std::array<double, 3> emissive{0.0, 0.0, 0.0};
    AlphaMode alpha_mode = AlphaMode::opaque;
    double alpha_cutoff = 0.5;
    bool double_sided = false;

    std::optional<LookTexture> base_colour_texture;
    std::optional<LookTexture> metallic_roughness_texture;
    std::optional<LookTexture> normal_texture;
    std::optional<LookTexture> occlusion_texture;
    std::optional<LookTexture> emissive_texture;
    // Alpha in a texture of its own (OBJ's map_d); glTF takes alpha from the
    // base colour texture and has no place for it.
    std::optional<LookTexture> alpha_texture;

    // The material's extensions and extras, as JSON text the reader did not
    // interpret (kept and written back as they came); empty when none.
    std::string extensions_json;
    std::string extras_json;
    // Textures the extensions above refer to: in extensions_json a texture's
    // "index" is its place in this list, so a writer renumbers it to where it
    // wrote the texture.
    std::vector<LookTexture> extension_textures;

    // One line for people, such as "base colour 0.2 0.6 0.1, roughness 0.8,
    // 1 texture, double-sided".
    std::string summary() const;
};

}  // namespace sowfield::host
