#include "host/scene/surface_look.h"

#include <cstdio>

namespace sowfield::host {

namespace {

// A factor as people read it: up to three decimals, no trailing zeros.
std::string factor_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

size_t texture_count(const SurfaceLook &look) {
    size_t count = look.extension_textures.size();
    for (const std::optional<LookTexture> *slot :
         {&look.base_colour_texture, &look.metallic_roughness_texture, &look.normal_texture,
          &look.occlusion_texture, &look.emissive_texture, &look.alpha_texture})
        if (slot->has_value()) ++count;
    return count;
}

}  // namespace

std::string SurfaceLook::summary() const {
    std::string text = "base colour " + factor_text(base_colour[0]) + " " + factor_text(base_colour[1]) + " " +
                       factor_text(base_colour[2]);
    if (base_colour[3] != 1.0) text += " alpha " + factor_text(base_colour[3]);
    text += ", metallic " + factor_text(metallic) + ", roughness " + factor_text(roughness);
    if (const size_t textures = texture_count(*this); textures > 0)
        text += ", " + std::to_string(textures) + (textures == 1 ? " texture" : " textures");
    if (alpha_mode == AlphaMode::mask) text += ", alpha mask at " + factor_text(alpha_cutoff);
    if (alpha_mode == AlphaMode::blend) text += ", alpha blended";
    if (double_sided) text += ", double-sided";
    if (!extensions_json.empty()) text += ", with extensions";
    return text;
}

}  // namespace sowfield::host
