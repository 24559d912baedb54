// The readers and writers of each format, behind the dispatcher in
// mesh_file.cpp. Readers fill a fresh layer (and may add surface names, which
// the dispatcher takes back on failure); writers fill an AtomicFile that the
// dispatcher commits.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"
#include "io/atomic_file.h"
#include "io/mesh_file.h"

namespace tinygltf {
class Model;
}

namespace sowfield::io::detail {

// Throws MeshFileError "Error loading <path>: <detail>".
[[noreturn]] void fail_loading(const std::filesystem::path &path, const std::string &detail);

// What a reader went on without, one line each ("<path>: <detail>"); the
// dispatcher hands them on once the whole read has succeeded.
using ReadWarnings = std::vector<std::string>;
void warn_loading(ReadWarnings &warnings, const std::filesystem::path &path, const std::string &detail);

// Marks the surfaces as having come with normals; readers call it once the
// whole file has been read, so a file that fails marks nothing.
void mark_smooth(host::Scene &scene, const std::set<uint32_t> &surfaces);

// Runs `write` on a new AtomicFile for `path` and commits it; any failure
// becomes a MeshFileError and leaves no file. Returns the files written
// (AtomicFile::targets).
std::vector<std::filesystem::path> write_atomically(const std::filesystem::path &path, const std::function<void(AtomicFile &)> &write);

void read_obj(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer, ReadWarnings &warnings);
void write_obj(AtomicFile &out, const host::Scene &scene, const host::Layer &layer, WriteRange range, WriteStyle style);

// Reads .gltf and .glb alike: the content, not the extension, tells which.
void read_gltf(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer, ReadWarnings &warnings);
// More in a glTF file than the layer's mesh: one more mesh, without a node of
// its own, and what places it (see gltf_instancing.h).
class GltfAddition {
public:
    virtual ~GltfAddition() = default;
    // Written as one more mesh, after the layer's.
    virtual const host::Layer &shared_mesh() const = 0;
    // Adds what uses mesh `mesh` (nodes go into scene 0); its data goes into
    // buffer 0 from `binary_size` on, which it advances.
    virtual void describe(tinygltf::Model &model, int mesh, uint64_t &binary_size) const = 0;
    // That data's bytes, in order.
    virtual void write_binary(const std::function<void(const void *, size_t)> &write) const = 0;
};
void write_gltf(AtomicFile &out, const host::Scene &scene, const host::Layer &layer, WriteRange range, bool binary,
                std::string_view provenance_json = {}, const GltfAddition *addition = nullptr, WriteStyle style = {});

// The parts of a layer that a WriteRange selects, checked: the range lies in
// the layer and every selected polygon uses only selected points.
struct WriteSelection {
    uint32_t first_point;
    uint32_t point_end;
    uint32_t first_polygon;
    uint32_t polygon_end;
    uint32_t point_count() const { return point_end - first_point; }
};
WriteSelection select_for_writing(const AtomicFile &out, const host::Layer &layer, WriteRange range);

}  // namespace sowfield::io::detail
