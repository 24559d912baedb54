// OBJ output, formatted straight into the file's buffer: each number in its
// shortest form that reads back to the same double (or float, for UVs).
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "io/format_io.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

// The longest shortest-form double is 24 characters ("-2.2250738585072014e-308").
constexpr size_t kNumberRoom = 26;
constexpr size_t kIndexRoom = 11;

char *put(char *at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

template <class Number>
char *put_number(char *at, Number value) {
    return std::to_chars(at, at + kNumberRoom, value).ptr;
}

// A name on a line of its own: a line break inside would start a new statement.
void check_single_line(const AtomicFile &out, const std::string &name, const char *what) {
    if (name.find_first_of("\r\n") != std::string::npos)
        out.fail(std::string(what) + " \"" + name + "\" contains a line break, which OBJ cannot hold");
}

const host::VertexMap *first_uv_map(const host::Layer &layer) {
    for (size_t i = 0; i < layer.vmap_count(); ++i)
        if (layer.vmap(i).type() == SF_VMAP_TXUV && layer.vmap(i).dimension() == 2) return &layer.vmap(i);
    return nullptr;
}

}  // namespace

void write_obj(AtomicFile &out, const host::Scene &scene, const host::Layer &layer, WriteRange range) {
    const WriteSelection selection = select_for_writing(out, layer, range);
    const host::VertexMap *uv = first_uv_map(layer);

    out.write("# Sowfield mesh: " + std::to_string(selection.point_count()) + " points, " +
              std::to_string(selection.polygon_end - selection.first_polygon) + " polygons\n");
    if (!layer.name.empty()) {
        check_single_line(out, layer.name, "the layer name");
        out.write("o " + layer.name + "\n");
    }

    for (uint32_t point = selection.first_point; point < selection.point_end; ++point) {
        const host::Vec3 &p = layer.position(point);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            out.fail("point " + std::to_string(point) + " has a coordinate that is not finite");
        char *const line = out.reserve(3 + 3 * kNumberRoom);
        char *at = put(line, "v ");
        at = put_number(at, p[0]);
        *at++ = ' ';
        at = put_number(at, p[1]);
        *at++ = ' ';
        at = put_number(at, p[2]);
        *at++ = '\n';
        out.advance(static_cast<size_t>(at - line));
    }

    // Texture coordinates, one per point that has a UV. While every point has
    // one, a point's "vt" number is its own; the first point without one
    // starts an explicit numbering.
    std::vector<uint32_t> vt_number;  // 1-based, 0 = no UV; empty while numbering is implicit
    if (uv) {
        uint32_t written = 0;
        for (uint32_t point = selection.first_point; point < selection.point_end; ++point) {
            const float *value = uv->value(point);
            if (!value) {
                if (vt_number.empty()) {
                    vt_number.resize(selection.point_count());
                    for (uint32_t i = 0; i < point - selection.first_point; ++i) vt_number[i] = i + 1;
                }
                continue;
            }
            if (!std::isfinite(value[0]) || !std::isfinite(value[1]))
                out.fail("point " + std::to_string(point) + " has a UV in \"" + uv->name() + "\" that is not finite");
            ++written;
            if (!vt_number.empty()) vt_number[point - selection.first_point] = written;
            char *const line = out.reserve(4 + 2 * kNumberRoom);
            char *at = put(line, "vt ");
            at = put_number(at, value[0]);
            *at++ = ' ';
            at = put_number(at, value[1]);
            *at++ = '\n';
            out.advance(static_cast<size_t>(at - line));
        }
    }

    uint32_t surface = 0;  // a reader starts on the default surface
    for (uint32_t polygon = selection.first_polygon; polygon < selection.polygon_end; ++polygon) {
        const uint32_t polygon_surface = layer.polygon_surface(polygon);
        if (polygon_surface != surface) {
            surface = polygon_surface;
            const std::string &name = scene.surface_name(surface);
            check_single_line(out, name, "the surface name");
            out.write("usemtl " + name + "\n");
        }
        const std::span<const uint32_t> points = layer.polygon_points(polygon);
        // One point is a point element, two a line, more a face.
        out.write(points.size() == 1 ? std::string_view("p") : points.size() == 2 ? "l" : "f");
        for (uint32_t point : points) {
            char *const start = out.reserve(3 + 2 * kIndexRoom);
            char *at = start;
            *at++ = ' ';
            const uint32_t local = point - selection.first_point;
            at = std::to_chars(at, at + kIndexRoom, uint64_t{local} + 1).ptr;
            if (uv) {
                const uint32_t vt = vt_number.empty() ? local + 1 : vt_number[local];
                if (vt != 0) {
                    *at++ = '/';
                    at = std::to_chars(at, at + kIndexRoom, vt).ptr;
                }
            }
            out.advance(static_cast<size_t>(at - start));
        }
        out.put('\n');
    }
}

}  // namespace sowfield::io::detail
