// OBJ output: each number in its shortest form that reads back to the same
// double (or float, for UVs). Formatting those numbers is most of the cost of
// a large file, so each section (points, UVs, polygons) is formatted in
// chunks, two at a time on two threads, and written in order: the file is the
// same byte for byte as one formatted front to back.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/crease_normals.h"
#include "io/format_io.h"
#include "io/mtl_writer.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

// The longest shortest-form double is 24 characters ("-2.2250738585072014e-308").
constexpr size_t kNumberRoom = 26;
constexpr size_t kIndexRoom = 11;
// Elements formatted as one piece: large enough that handing pieces between
// threads costs nothing noticeable, small enough that two pieces in flight
// stay a few megabytes.
constexpr uint32_t kChunkElements = 32768;

// One chunk's text, and the first problem met in it (which stops the chunk:
// the file will not be written).
class Chunk {
public:
    char *reserve(size_t n) {
        if (capacity_ - used_ < n) grow(n);
        return text_.get() + used_;
    }
    void advance(size_t n) { used_ += n; }
    void write(std::string_view text) {
        std::memcpy(reserve(text.size()), text.data(), text.size());
        used_ += text.size();
    }
    void clear() {
        used_ = 0;
        problem.clear();
    }
    std::string_view text() const { return {text_.get(), used_}; }

    std::string problem;

private:
    void grow(size_t n) {
        const size_t capacity = std::max(capacity_ * 2, used_ + n + (size_t{1} << 20));
        auto larger = std::make_unique_for_overwrite<char[]>(capacity);
        if (used_ != 0) std::memcpy(larger.get(), text_.get(), used_);
        text_ = std::move(larger);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> text_;
    size_t capacity_ = 0;
    size_t used_ = 0;
};

// Formats elements [begin, end) with `format(first, last, chunk)` in chunks,
// every second one on another thread, and writes the chunks to `out` in
// order. The first chunk (in file order) with a problem fails the file.
template <class Format>
void write_in_chunks(AtomicFile &out, uint32_t begin, uint32_t end, const Format &format) {
    Chunk mine;
    Chunk theirs;
    auto emit = [&out](const Chunk &chunk) {
        if (!chunk.problem.empty()) out.fail(chunk.problem);
        out.write(chunk.text());
    };
    for (uint32_t first = begin; first < end;) {
        const uint32_t middle = first + std::min(kChunkElements, end - first);
        const uint32_t last = middle + std::min(kChunkElements, end - middle);
        mine.clear();
        theirs.clear();
        // Declared after the chunks: leaving the loop early waits for the
        // other thread before `theirs` goes.
        std::future<void> other;
        if (middle < last) other = std::async(std::launch::async, [&] { format(middle, last, theirs); });
        format(first, middle, mine);
        emit(mine);
        if (other.valid()) {
            other.get();  // rethrows what the other thread met (memory exhausted)
            emit(theirs);
        }
        first = last;
    }
}

char *put(char *at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

template <class Number>
char *put_number(char *at, Number value) {
    return std::to_chars(at, at + kNumberRoom, value).ptr;
}

bool has_line_break(const std::string &name) { return name.find_first_of("\r\n") != std::string::npos; }

// The end of a line that ends in a name: a backslash last on a line would
// continue the statement on the next, so such a name is followed by a space
// (which readers trim).
std::string_view name_line_end(const std::string &name) { return name.ends_with('\\') ? " \n" : "\n"; }

// A name goes on a line of its own: a line break inside would start a new
// statement.
std::string line_break_problem(const std::string &name, const char *what) {
    return std::string(what) + " \"" + name + "\" contains a line break, which OBJ cannot hold";
}

const host::VertexMap *first_uv_map(const host::Layer &layer) {
    for (size_t i = 0; i < layer.vmap_count(); ++i)
        if (layer.vmap(i).type() == SF_VMAP_TXUV && layer.vmap(i).dimension() == 2) return &layer.vmap(i);
    return nullptr;
}

void format_points(const host::Layer &layer, uint32_t first, uint32_t last, Chunk &chunk) {
    for (uint32_t point = first; point < last; ++point) {
        const host::Vec3 &p = layer.position(point);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            chunk.problem = "point " + std::to_string(point) + " has a coordinate that is not finite";
            return;
        }
        char *const line = chunk.reserve(3 + 3 * kNumberRoom);
        char *at = put(line, "v ");
        at = put_number(at, p[0]);
        *at++ = ' ';
        at = put_number(at, p[1]);
        *at++ = ' ';
        at = put_number(at, p[2]);
        *at++ = '\n';
        chunk.advance(static_cast<size_t>(at - line));
    }
}

// Texture coordinates, one per point that has a UV.
void format_uvs(const host::VertexMap &uv, uint32_t first, uint32_t last, Chunk &chunk) {
    for (uint32_t point = first; point < last; ++point) {
        const float *value = uv.value(point);
        if (!value) continue;
        if (!std::isfinite(value[0]) || !std::isfinite(value[1])) {
            chunk.problem = "point " + std::to_string(point) + " has a UV in \"" + uv.name() + "\" that is not finite";
            return;
        }
        char *const line = chunk.reserve(4 + 2 * kNumberRoom);
        char *at = put(line, "vt ");
        at = put_number(at, value[0]);
        *at++ = ' ';
        at = put_number(at, value[1]);
        *at++ = '\n';
        chunk.advance(static_cast<size_t>(at - line));
    }
}

// Each point's "vt" number (1-based, 0 = no UV). While every point has a UV a
// point's number is its own and the list stays empty; the first point
// without one starts the explicit numbering.
std::vector<uint32_t> number_uvs(const host::VertexMap &uv, const WriteSelection &selection) {
    std::vector<uint32_t> vt_number;
    uint32_t written = 0;
    for (uint32_t point = selection.first_point; point < selection.point_end; ++point) {
        const bool has = uv.value(point) != nullptr;
        if (!has && vt_number.empty()) {
            vt_number.resize(selection.point_count());
            for (uint32_t i = 0; i < point - selection.first_point; ++i) vt_number[i] = i + 1;
        }
        if (has) ++written;
        if (!vt_number.empty()) vt_number[point - selection.first_point] = has ? written : 0;
    }
    return vt_number;
}

// The normals of the smooth corners, each distinct one written once as "vn".
struct NormalNumbers {
    std::vector<Normal> distinct;
    std::vector<uint32_t> vn_of_corner;  // 1-based, per corner in CornerNormals order
};

struct NormalBits {
    uint32_t x, y, z;
    bool operator==(const NormalBits &) const = default;
};

struct NormalBitsHash {
    size_t operator()(const NormalBits &n) const {
        return static_cast<size_t>((uint64_t{n.x} * 0x9E3779B97F4A7C15ull ^ n.y) * 0xC2B2AE3D27D4EB4Full ^ n.z);
    }
};

NormalNumbers number_normals(const CornerNormals &corners) {
    NormalNumbers numbers;
    numbers.vn_of_corner.reserve(corners.normals.size());
    std::unordered_map<NormalBits, uint32_t, NormalBitsHash> number_of;
    for (const Normal &n : corners.normals) {
        const NormalBits bits{std::bit_cast<uint32_t>(n[0]), std::bit_cast<uint32_t>(n[1]),
                              std::bit_cast<uint32_t>(n[2])};
        const auto [at, added] = number_of.try_emplace(bits, static_cast<uint32_t>(numbers.distinct.size() + 1));
        if (added) numbers.distinct.push_back(n);
        numbers.vn_of_corner.push_back(at->second);
    }
    return numbers;
}

void format_normals(const std::vector<Normal> &normals, uint32_t first, uint32_t last, Chunk &chunk) {
    for (uint32_t i = first; i < last; ++i) {
        char *const line = chunk.reserve(4 + 3 * kNumberRoom);
        char *at = put(line, "vn ");
        at = put_number(at, normals[i][0]);
        *at++ = ' ';
        at = put_number(at, normals[i][1]);
        *at++ = ' ';
        at = put_number(at, normals[i][2]);
        *at++ = '\n';
        chunk.advance(static_cast<size_t>(at - line));
    }
}

struct PolygonContext {
    const host::Scene &scene;
    const host::Layer &layer;
    const WriteSelection &selection;
    const host::VertexMap *uv;
    const std::vector<uint32_t> &vt_number;
    const CornerNormals &corners;
    const NormalNumbers &normals;
};

// The surfaces the selected polygons use, in order of first use.
std::vector<uint32_t> surfaces_used(const host::Layer &layer, const WriteSelection &selection) {
    std::vector<uint32_t> used;
    std::vector<bool> seen;
    for (uint32_t polygon = selection.first_polygon; polygon < selection.polygon_end; ++polygon) {
        const uint32_t surface = layer.polygon_surface(polygon);
        if (surface >= seen.size()) seen.resize(surface + 1, false);
        if (seen[surface]) continue;
        seen[surface] = true;
        used.push_back(surface);
    }
    return used;
}

constexpr uint32_t kNoSurface = std::numeric_limits<uint32_t>::max();

void format_polygons(const PolygonContext &c, uint32_t first, uint32_t last, Chunk &chunk) {
    // The first polygon names its material, "Default" too, so that every
    // polygon has one of the library's; a chunk starts on the surface of the
    // polygon before it.
    uint32_t surface = first == c.selection.first_polygon ? kNoSurface : c.layer.polygon_surface(first - 1);
    for (uint32_t polygon = first; polygon < last; ++polygon) {
        const uint32_t polygon_surface = c.layer.polygon_surface(polygon);
        if (polygon_surface != surface) {
            surface = polygon_surface;
            const std::string &name = c.scene.surface_name(surface);
            if (has_line_break(name)) {
                chunk.problem = line_break_problem(name, "the surface name");
                return;
            }
            chunk.write("usemtl ");
            chunk.write(name);
            chunk.write(name_line_end(name));
        }
        const std::span<const uint32_t> points = c.layer.polygon_points(polygon);
        const uint32_t offset = polygon - c.selection.first_polygon;
        const bool smooth = c.corners.smooth(offset);
        const uint32_t *vn = smooth ? &c.normals.vn_of_corner[c.corners.first[offset]] : nullptr;
        char *const start = chunk.reserve(3 + points.size() * (4 + 3 * kIndexRoom));
        // One point is a point element, two a line, more a face.
        char *at = start;
        *at++ = points.size() == 1 ? 'p' : points.size() == 2 ? 'l' : 'f';
        for (size_t k = 0; k < points.size(); ++k) {
            const uint32_t point = points[k];
            *at++ = ' ';
            const uint32_t local = point - c.selection.first_point;
            char *const digits = at;
            at = std::to_chars(at, at + kIndexRoom, uint64_t{local} + 1).ptr;
            if (c.uv) {
                if (c.vt_number.empty()) {
                    // The point's own number again: copied, not formatted twice.
                    const auto length = static_cast<size_t>(at - digits);
                    *at++ = '/';
                    std::memcpy(at, digits, length);
                    at += length;
                } else if (const uint32_t vt = c.vt_number[local]; vt != 0) {
                    *at++ = '/';
                    at = std::to_chars(at, at + kIndexRoom, vt).ptr;
                }
            }
            if (vn != nullptr) {
                const bool wrote_vt = c.uv != nullptr && (c.vt_number.empty() || c.vt_number[local] != 0);
                if (!wrote_vt) *at++ = '/';
                *at++ = '/';
                at = std::to_chars(at, at + kIndexRoom, vn[k]).ptr;
            }
        }
        *at++ = '\n';
        chunk.advance(static_cast<size_t>(at - start));
    }
}

}  // namespace

void write_obj(AtomicFile &out, const host::Scene &scene, const host::Layer &layer, WriteRange range,
               WriteStyle style) {
    const WriteSelection selection = select_for_writing(out, layer, range);
    const host::VertexMap *uv = first_uv_map(layer);

    out.write("# Sowfield mesh: " + std::to_string(selection.point_count()) + " points, " +
              std::to_string(selection.polygon_end - selection.first_polygon) + " polygons\n");
    if (const std::vector<uint32_t> surfaces = surfaces_used(layer, selection); !surfaces.empty())
        out.write("mtllib " + write_material_library(out, scene, surfaces) + "\n");
    if (!layer.name.empty()) {
        if (has_line_break(layer.name)) out.fail(line_break_problem(layer.name, "the layer name"));
        out.write("o " + layer.name + std::string(name_line_end(layer.name)));
    }

    write_in_chunks(out, selection.first_point, selection.point_end,
                    [&](uint32_t first, uint32_t last, Chunk &chunk) { format_points(layer, first, last, chunk); });

    std::vector<uint32_t> vt_number;
    if (uv) {
        write_in_chunks(out, selection.first_point, selection.point_end,
                        [&](uint32_t first, uint32_t last, Chunk &chunk) { format_uvs(*uv, first, last, chunk); });
        vt_number = number_uvs(*uv, selection);
    }

    const CornerNormals corners = crease_normals(scene, layer, selection, style.crease_degrees);
    const NormalNumbers normals = number_normals(corners);
    write_in_chunks(out, 0, static_cast<uint32_t>(normals.distinct.size()),
                    [&](uint32_t first, uint32_t last, Chunk &chunk) {
                        format_normals(normals.distinct, first, last, chunk);
                    });

    const PolygonContext context{scene, layer, selection, uv, vt_number, corners, normals};
    write_in_chunks(out, selection.first_polygon, selection.polygon_end,
                    [&](uint32_t first, uint32_t last, Chunk &chunk) { format_polygons(context, first, last, chunk); });
}

}  // namespace sowfield::io::detail
