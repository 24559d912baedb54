#include "io/obj_materials.h"

#include <system_error>

#include "host/common/text.h"
#include "io/mtl_reader.h"

namespace sowfield::io::detail {

namespace {

// Splits at white space outside double quotes; "\ " is a space in a name.
std::vector<std::string> split_names(std::string_view names) {
    std::vector<std::string> split;
    std::string name;
    bool quoted = false;
    bool any = false;
    for (size_t i = 0; i < names.size(); ++i) {
        const char c = names[i];
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == '\\' && i + 1 < names.size() && names[i + 1] == ' ') {
            name.push_back(' ');
            ++i;
        } else if (!quoted && host::is_blank(c)) {
            if (!name.empty() || any) split.push_back(std::move(name));
            name.clear();
            any = false;
        } else {
            name.push_back(c);
        }
    }
    if (!name.empty() || any) split.push_back(std::move(name));
    return split;
}

}  // namespace

std::vector<std::filesystem::path> library_paths(std::string_view names, const std::filesystem::path &folder) {
    names = host::trim(names);
    std::vector<std::filesystem::path> paths;
    if (names.empty()) return paths;
    std::error_code error;
    const std::filesystem::path whole = folder / std::string(names);
    if (std::filesystem::is_regular_file(whole, error)) return {whole};
    for (const std::string &name : split_names(names))
        if (!name.empty()) paths.push_back(folder / name);
    return paths;
}

void ObjMaterials::add_libraries(std::string_view names, size_t line) {
    for (const std::filesystem::path &library : library_paths(names, obj_.parent_path())) {
        any_library_ = true;
        if (!read_.insert(library.lexically_normal()).second) continue;
        std::error_code error;
        if (!std::filesystem::is_regular_file(library, error)) {
            all_found_ = false;
            warn_loading(warnings_, obj_,
                         "line " + std::to_string(line) + ": the material library " + library.filename().string() +
                             " is not " + (std::filesystem::exists(library, error) ? "a file" : "there") +
                             "; its materials come without their look");
            continue;
        }
        for (MtlMaterial &material : read_material_library(library, warnings_))
            looks_.try_emplace(std::move(material.name),
                               std::make_shared<const host::SurfaceLook>(std::move(material.look)));
    }
}

void ObjMaterials::apply(host::Scene &scene, const std::set<uint32_t> &used) const {
    if (!any_library_) return;
    for (const uint32_t surface : used) {
        const std::string &name = scene.surface_name(surface);
        const auto found = looks_.find(name);
        if (found == looks_.end()) {
            if (all_found_ && surface != 0)
                warn_loading(warnings_, obj_, "the material \"" + name + "\" is in none of its material libraries");
            continue;
        }
        host::SurfaceKeeping keeping = scene.surface_keeping(surface);
        if (keeping.look) continue;
        keeping.look = found->second;
        scene.set_surface_keeping(surface, std::move(keeping));
    }
}

}  // namespace sowfield::io::detail
