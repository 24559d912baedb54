// The materials an OBJ file brings: its "mtllib" statements name material
// libraries (.mtl, relative to the OBJ's folder), and each surface that a
// "usemtl" statement names takes the look of the library material of that
// name. A library that is missing is a warning: the surfaces keep their
// names and come without a look.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"
#include "io/format_io.h"

namespace sowfield::io::detail {

// The library files one "mtllib" statement names, in `folder`. Names are
// separated by white space; a space inside a name is written "\ " or the
// name is put in double quotes; and where the whole statement names a file
// that exists, it is that one file (exporters write a name with spaces as it
// is).
std::vector<std::filesystem::path> library_paths(std::string_view names, const std::filesystem::path &folder);

class ObjMaterials {
public:
    ObjMaterials(const std::filesystem::path &obj, ReadWarnings &warnings) : obj_(obj), warnings_(warnings) {}

    // Reads the libraries of one "mtllib" statement (the text after the
    // keyword) at line `line`. Each library is read once.
    void add_libraries(std::string_view names, size_t line);

    // Gives each surface of `used` the look of the material of its name,
    // where it has none yet (a surface shared by files keeps the first look
    // read). Names that no library defines are warned about, unless a library
    // was missing (which has been warned about already).
    void apply(host::Scene &scene, const std::set<uint32_t> &used) const;

private:
    const std::filesystem::path &obj_;
    ReadWarnings &warnings_;
    std::set<std::filesystem::path> read_;
    bool any_library_ = false;
    bool all_found_ = true;
    std::map<std::string, std::shared_ptr<const host::SurfaceLook>, std::less<>> looks_;
};

}  // namespace sowfield::io::detail
