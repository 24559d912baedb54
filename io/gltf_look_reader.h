// A glTF material as the host keeps it (host::SurfaceLook): factors, the five
// texture slots with their samplers and images, alpha, sides, and the
// extensions and extras as JSON text, with the textures those extensions
// refer to. Images keep the bytes the file holds (a buffer view of a GLB, a
// data: URI or a file beside a .gltf), never decoded, and each image is read
// once however many textures and materials use it.
#pragma once

#include <tiny_gltf.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/scene/surface_look.h"
#include "io/gltf_accessor.h"

namespace sowfield::io::detail {

// The image loader for tinygltf: keeps the bytes as they are (`as_is`)
// rather than decoding them.
bool keep_image_bytes(tinygltf::Image *image, int index, std::string *error, std::string *warning, int width,
                      int height, const unsigned char *bytes, int size, void *user_data);

// A member of an extension that refers to a texture: "...Texture" holding an
// object with an "index", as every KHR_materials_ extension names them.
bool texture_reference(const std::string &key, const tinygltf::Value &value);

// True when two looks say the same (images compared by their bytes).
bool same_look(const host::SurfaceLook &a, const host::SurfaceLook &b);

class LookReader {
public:
    // Faults in the model's links (a texture or image that does not exist)
    // go to `fail`; what the run can go on without (an image file that
    // cannot be read) is added to `warnings`, one line each, and that
    // texture left out.
    LookReader(const tinygltf::Model &model, const LoadFailure &fail, std::vector<std::string> &warnings)
        : model_(model), fail_(fail), warnings_(warnings) {}

    // Null for a material that gives nothing but its name.
    std::shared_ptr<const host::SurfaceLook> look_of(int material);

private:
    struct Slot {
        int index = -1;
        int tex_coord = 0;
        double scale = 1.0;
        const tinygltf::ExtensionMap *extensions = nullptr;
        const tinygltf::Value *extras = nullptr;
    };
    std::optional<host::LookTexture> texture(const Slot &slot, const std::string &where);
    std::shared_ptr<const host::LookImage> image(int index, const std::string &where);
    std::string extension_texts(const tinygltf::ExtensionMap &extensions, host::SurfaceLook &look,
                                const std::string &where);
    void renumber_textures(tinygltf::Value &value, host::SurfaceLook &look, const std::string &where);

    const tinygltf::Model &model_;
    const LoadFailure &fail_;
    std::vector<std::string> &warnings_;
    std::map<int, std::shared_ptr<const host::LookImage>> images_;  // null: unreadable, already reported
};

}  // namespace sowfield::io::detail
