// Material libraries (.mtl) that OBJ files name with "mtllib", read into the
// host's neutral look (host::SurfaceLook).
//
// Statements used (keys in any case): newmtl; Kd (base colour; white under a
// map_Kd without one, as Blender writes a textured material); d, or Tr as
// 1 - d (alpha, blended when below 1); Ns (roughness = 1 - sqrt(Ns / 1000),
// Ns clamped to 0..1000, the mapping Blender reads and writes); the PBR
// extension's Pr (roughness, before Ns) and Pm (metallic, else 0); Ke
// (emission); map_Kd, map_Ke, map_d, and map_Bump / bump / norm (a normal
// map, its -bm as the scale). Texture options before the file name are
// skipped (-o, -s and -t take up to three numbers, -mm two, the others one);
// a name in double quotes loses them. Factors are clamped to 0..1, the range
// glTF allows. Other statements (Ka, Ks, Ni, illum, ...) are ignored, as
// other programs ignore what they do not know. A value that is not a number,
// a statement before the first newmtl, or an image that cannot be read is a
// warning naming the line; the rest of the library is read.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/surface_look.h"
#include "io/format_io.h"

namespace sowfield::io::detail {

struct MtlMaterial {
    std::string name;
    host::SurfaceLook look;
};

// The image a library names (as written after the texture options), or null
// when there is none to read.
using MtlImageSource = std::function<std::shared_ptr<const host::LookImage>(const std::string &file_name)>;

// The materials of a library's text, in the order defined. Warnings name
// `library` and the line.
std::vector<MtlMaterial> parse_material_library(std::string_view text, const std::filesystem::path &library,
                                                const MtlImageSource &images, ReadWarnings &warnings);

// Reads the library file and the images it names, from its own folder. A
// library that cannot be read is a warning and gives no materials.
std::vector<MtlMaterial> read_material_library(const std::filesystem::path &library, ReadWarnings &warnings);

}  // namespace sowfield::io::detail
