// One fuzz input for the mesh-file readers: the bytes written to a file of the
// format's extension and read into a scene that already holds a layer.
//
// The reader must either add one well-formed layer or end in one
// MeshFileError with a message and add nothing: no layer, no surface name,
// and the layer that was there unchanged. Anything else thrown is a problem.
// A layer that was read is then written in the same format and read back; the
// copy must have the same points (bit for bit, or as single-precision floats
// for glTF, the format's only choice) and the same polygons. (A glTF whose
// node transforms carry a point beyond single precision is not written back:
// the format cannot hold it, and the writer says so.)
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sowfield::fuzz {

// The bytes are the whole of an .obj file.
std::vector<std::string> run_obj_input(std::span<const uint8_t> bytes);

// The bytes are the whole of an OBJ's material library (.mtl), whose every
// image exists. The reader must take any bytes: each material named, its
// factors within 0..1, each texture with an image, each warning naming the
// library. The looks, written as an OBJ's library with their images and read
// back, must come back the same.
std::vector<std::string> run_mtl_input(std::span<const uint8_t> bytes);

// The bytes are the whole of a .gltf or .glb file (the reader tells them
// apart by their content).
std::vector<std::string> run_gltf_input(std::span<const uint8_t> bytes);

}  // namespace sowfield::fuzz
