#include "cli/output_style.h"

namespace sowfield::cli {

io::WriteStyle output_style(const host::Scene &scene, bool clones_only, double crease_degrees) {
    io::WriteStyle style;
    style.crease_degrees = crease_degrees;
    if (clones_only && scene.background.size() == 1) {
        const host::Layer &object = scene.layer(scene.background.front());
        style.name = object.name;
        style.mesh_name = object.mesh_name;
    }
    return style;
}

}  // namespace sowfield::cli
