// The dispatcher: picks the format by extension, reads into a fresh layer that
// joins the scene only when complete, and writes through an atomic file.
#include "io/mesh_file.h"

#include <fstream>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>

#include "host/common/text.h"
#include "io/atomic_file.h"
#include "io/format_io.h"

namespace sowfield::io {

namespace detail {

void fail_loading(const std::filesystem::path &path, const std::string &detail) {
    throw MeshFileError("Error loading " + path.string() + ": " + detail);
}

void warn_loading(ReadWarnings &warnings, const std::filesystem::path &path, const std::string &detail) {
    warnings.push_back(path.string() + ": " + detail);
}

void mark_smooth(host::Scene &scene, const std::set<uint32_t> &surfaces) {
    for (const uint32_t surface : surfaces) {
        host::SurfaceKeeping keeping = scene.surface_keeping(surface);
        keeping.smooth = true;
        scene.set_surface_keeping(surface, std::move(keeping));
    }
}

WriteSelection select_for_writing(const AtomicFile &out, const host::Layer &layer, WriteRange range) {
    if (range.first_point > layer.point_count())
        out.fail("the first point to write (" + std::to_string(range.first_point) + ") is beyond the layer's " +
                 std::to_string(layer.point_count()) + " points");
    if (range.first_polygon > layer.polygon_count())
        out.fail("the first polygon to write (" + std::to_string(range.first_polygon) + ") is beyond the layer's " +
                 std::to_string(layer.polygon_count()) + " polygons");
    const WriteSelection selection{range.first_point, layer.point_count(), range.first_polygon, layer.polygon_count()};
    for (uint32_t polygon = selection.first_polygon; polygon < selection.polygon_end; ++polygon) {
        const std::span<const uint32_t> points = layer.polygon_points(polygon);
        if (points.empty()) out.fail("polygon " + std::to_string(polygon) + " has no points");
        for (uint32_t point : points)
            if (point < selection.first_point)
                out.fail("polygon " + std::to_string(polygon) + " uses point " + std::to_string(point) +
                         ", before the first point written (" + std::to_string(selection.first_point) + ")");
    }
    return selection;
}

}  // namespace detail

namespace {

// The first bytes of a regular file (fewer when it is shorter); nothing for
// anything else, which the readers report themselves.
std::optional<std::string> file_start(const std::filesystem::path &path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string start(64, '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<size_t>(in.gcount()));
    return start;
}

// What the start of a file looks like, for a message.
std::string looks_like(std::string_view start) {
    if (start.starts_with("glTF")) return "binary glTF (.glb)";
    const size_t first = start.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && start[first] == '{') return "JSON";
    if (start.find('\0') != std::string_view::npos) return "binary data";
    return "text";
}

// Refuses, before any parsing, what cannot be a mesh file of this format:
// a directory, an empty file, a file whose content is another format.
void check_content(const std::filesystem::path &path, Format format) {
    const std::optional<std::string> start = file_start(path);
    if (!start) return;
    if (start->empty()) detail::fail_loading(path, "the file is empty");
    const std::string kind = looks_like(*start);
    const bool gltf_content = kind == "binary glTF (.glb)" || kind == "JSON";
    if (format == Format::obj && gltf_content)
        detail::fail_loading(path, "named .obj but holds " + kind + "; give it the extension of its format");
    if (format != Format::obj && !gltf_content)
        detail::fail_loading(path, "named " + path.extension().string() + " but holds " + kind +
                                       ", not glTF (a .glb file starts with \"glTF\", a .gltf file with \"{\")");
}

}  // namespace

Format format_for(const std::filesystem::path &path) {
    const std::string extension = host::lower_case(path.extension().string());
    if (extension == ".obj") return Format::obj;
    if (extension == ".gltf") return Format::gltf;
    if (extension == ".glb") return Format::glb;
    throw MeshFileError("Cannot tell the format of " + path.string() +
                        (extension.empty() ? "" : " from \"" + extension + "\"") + ": use a .obj, .gltf or .glb file");
}

size_t read_mesh_file(const std::filesystem::path &path, host::Scene &scene, std::vector<std::string> *warnings) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) detail::fail_loading(path, "is a directory");
    const Format format = format_for(path);
    check_content(path, format);
    const uint32_t surfaces_before = scene.surface_count();
    host::Layer layer(path.stem().string());
    detail::ReadWarnings read_warnings;
    try {
        if (format == Format::obj)
            detail::read_obj(path, scene, layer, read_warnings);
        else
            detail::read_gltf(path, scene, layer, read_warnings);
    } catch (const MeshFileError &) {
        scene.truncate_surfaces(surfaces_before);
        throw;
    } catch (const std::bad_alloc &) {
        scene.truncate_surfaces(surfaces_before);
        detail::fail_loading(path, "not enough memory");
    } catch (const std::exception &failure) {
        // The scene's own limits (polygon size, surface count, a map name
        // used with two dimensions) reach us as standard exceptions.
        scene.truncate_surfaces(surfaces_before);
        detail::fail_loading(path, failure.what());
    }
    const size_t index = scene.layer_count();
    std::string name = layer.name;
    scene.add_layer(std::move(name)) = std::move(layer);
    if (warnings) warnings->insert(warnings->end(), read_warnings.begin(), read_warnings.end());
    return index;
}

std::vector<std::filesystem::path> write_mesh_file(const std::filesystem::path &path, const host::Scene &scene,
                                                   size_t layer, WriteRange range, std::string_view provenance_json,
                                                   WriteStyle style) {
    const Format format = format_for(path);
    if (layer >= scene.layer_count())
        throw MeshFileError("Error writing " + path.string() + ": the scene has no layer " + std::to_string(layer));
    return detail::write_atomically(path, [&](AtomicFile &out) {
        if (format == Format::obj)
            detail::write_obj(out, scene, scene.layer(layer), range, style);
        else
            detail::write_gltf(out, scene, scene.layer(layer), range, format == Format::glb, provenance_json, nullptr,
                               style);
    });
}

std::vector<std::filesystem::path> detail::write_atomically(const std::filesystem::path &path,
                                                            const std::function<void(AtomicFile &)> &write) {
    AtomicFile out(path);
    try {
        write(out);
    } catch (const MeshFileError &) {
        throw;
    } catch (const std::bad_alloc &) {
        out.fail("not enough memory");
    } catch (const std::exception &failure) {
        out.fail(failure.what());
    }
    out.commit();
    return out.targets();
}

bool same_file(const std::filesystem::path &a, const std::filesystem::path &b) {
    std::error_code error;
    if (std::filesystem::exists(a, error) && std::filesystem::exists(b, error)) {
        const bool same = std::filesystem::equivalent(a, b, error);
        if (!error) return same;
    }
    const std::filesystem::path canonical_a = std::filesystem::weakly_canonical(a, error);
    if (error) return a.lexically_normal() == b.lexically_normal();
    const std::filesystem::path canonical_b = std::filesystem::weakly_canonical(b, error);
    if (error) return a.lexically_normal() == b.lexically_normal();
    return canonical_a == canonical_b;
}

}  // namespace sowfield::io
