// OBJ input. Numbers are read with std::from_chars, which rounds correctly, so
// coordinates that were written in shortest round-trip form come back bit for
// bit (general-purpose OBJ parsers accumulate digits in floating point and are
// off in the last bits for most such numbers).
//
// Statements used: v, vt, vn (counted, for index checks), f, l, p, usemtl,
// s (a face in a smoothing group, or with normals, makes its surface
// smooth), mtllib (see obj_materials.h); others (o, g, ...) are ignored. A
// backslash at the end of a line continues the statement on the next.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "host/common/text.h"
#include "io/format_io.h"
#include "io/mapped_file.h"
#include "io/obj_materials.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

using host::is_blank;
using host::trim;

class ObjReader {
public:
    ObjReader(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer, ReadWarnings &warnings)
        : path_(path), scene_(scene), layer_(layer), materials_(path, warnings) {}

    void read(std::string_view text) {
        std::string joined;  // a statement continued over several lines
        size_t at = 0;
        size_t line_number = 0;
        while (at < text.size()) {
            const size_t newline = text.find('\n', at);
            const size_t end = newline == std::string_view::npos ? text.size() : newline;
            std::string_view line = text.substr(at, end - at);
            at = end + 1;
            line_ = ++line_number;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (!line.empty() && line.back() == '\\') {
                joined.assign(line.substr(0, line.size() - 1));
                bool more = true;
                while (more && at < text.size()) {
                    const size_t next_newline = text.find('\n', at);
                    const size_t next_end = next_newline == std::string_view::npos ? text.size() : next_newline;
                    std::string_view next = text.substr(at, next_end - at);
                    at = next_end + 1;
                    ++line_number;
                    if (!next.empty() && next.back() == '\r') next.remove_suffix(1);
                    more = !next.empty() && next.back() == '\\';
                    joined.push_back(' ');
                    joined.append(more ? next.substr(0, next.size() - 1) : next);
                }
                statement(joined);
            } else {
                statement(line);
            }
        }
        mark_smooth(scene_, smooth_);
        materials_.apply(scene_, used_surfaces_);
    }

private:
    [[noreturn]] void fail(const std::string &detail) const {
        fail_loading(path_, "line " + std::to_string(line_) + ": " + detail);
    }

    void statement(std::string_view line) {
        const char *p = line.data();
        const char *const end = p + line.size();
        while (p < end && is_blank(*p)) ++p;
        const char *const keyword = p;
        while (p < end && !is_blank(*p)) ++p;
        const std::string_view word(keyword, static_cast<size_t>(p - keyword));
        if (word == "v")
            vertex(p, end);
        else if (word == "vt")
            texture_coordinate(p, end);
        else if (word == "vn")
            ++normal_count_;
        else if (word == "f" || word == "l" || word == "p")
            element(word[0], p, end);
        else if (word == "usemtl")
            material(trim(std::string_view(p, static_cast<size_t>(end - p))));
        else if (word == "s")
            smoothing(trim(std::string_view(p, static_cast<size_t>(end - p))));
        else if (word == "mtllib")
            materials_.add_libraries(std::string_view(p, static_cast<size_t>(end - p)), line_);
        // Anything else (comments, groups, free-form geometry) carries
        // nothing the scene keeps.
    }

    static bool next_token(const char *&p, const char *end) {
        while (p < end && is_blank(*p)) ++p;
        return p < end;
    }

    static std::string token_at(const char *p, const char *end) {
        const char *stop = p;
        while (stop < end && !is_blank(*stop)) ++stop;
        return std::string(p, stop);
    }

    template <class Real>
    Real number(const char *&p, const char *end, const char *what) {
        const char *const start = p;
        const char *digits = p;
        if (*digits == '+' && digits + 1 < end && digits[1] != '-') ++digits;  // from_chars takes no '+'
        Real value{};
        const auto [stop, error] = std::from_chars(digits, end, value);
        if (error == std::errc::invalid_argument || (stop < end && !is_blank(*stop)))
            fail(std::string(what) + " \"" + token_at(start, end) + "\" is not a number");
        if (error == std::errc::result_out_of_range) {
            // Too small is harmless (it rounds to zero or a subnormal, as
            // strtod gives it); too large is not a coordinate.
            const std::string token(digits, stop);
            const Real rounded = std::is_same_v<Real, float> ? std::strtof(token.c_str(), nullptr)
                                                             : static_cast<Real>(std::strtod(token.c_str(), nullptr));
            if (std::isinf(rounded)) fail(std::string(what) + " \"" + token_at(start, end) + "\" is out of range");
            value = rounded;
        }
        if (!std::isfinite(value)) fail(std::string(what) + " \"" + token_at(start, end) + "\" is not finite");
        p = stop;
        return value;
    }

    void vertex(const char *p, const char *end) {
        host::Vec3 position{};
        for (int axis = 0; axis < 3; ++axis) {
            if (!next_token(p, end)) fail("a vertex needs three coordinates");
            position[static_cast<size_t>(axis)] = number<double>(p, end, "coordinate");
        }
        // A fourth value (w) or a colour may follow; neither is kept.
        const uint32_t point = layer_.add_point(position);
        if (aligned_ != kAllAligned) late_points_.push_back(point);
        ++vertex_count_;
    }

    void texture_coordinate(const char *p, const char *end) {
        std::array<float, 2> uv{0.0f, 0.0f};
        if (!next_token(p, end)) fail("a texture coordinate needs at least one value");
        uv[0] = number<float>(p, end, "texture coordinate");
        if (next_token(p, end)) uv[1] = number<float>(p, end, "texture coordinate");
        texture_coordinates_.push_back(uv);
    }

    // A carriage return inside a name (only "\r\n" ends a line here) could
    // not be written back to an OBJ file, so it is refused on the way in.
    void material(std::string_view name) {
        if (name.find('\r') != std::string_view::npos)
            fail("the material name \"" + std::string(name.substr(0, name.find('\r'))) +
                 "...\" contains a carriage return");
        surface_ = name.empty() ? 0 : scene_.surface_index(name);
        if (!name.empty()) used_surfaces_.insert(surface_);
    }

    // "s off" and "s 0" end smoothing; any group number starts it.
    void smoothing(std::string_view group) { smoothing_ = !(group.empty() || group == "off" || group == "0"); }

    // One index of a corner: 1-based, or negative counting back from the
    // latest element of its kind.
    int64_t index(const char *&p, const char *end, uint64_t count, char kind, const char *element) {
        const char *const start = p;
        int64_t value = 0;
        const auto [stop, error] = std::from_chars(p, end, value);
        if (error != std::errc() || (stop < end && !is_blank(*stop) && *stop != '/'))
            fail(std::string(element) + " has a malformed vertex \"" + token_at(start, end) + "\"");
        p = stop;
        const char *const noun = kind == 'v' ? "vertex" : kind == 't' ? "texture coordinate" : "normal";
        if (value == 0) fail(std::string(element) + " refers to " + noun + " 0, but indices start at 1");
        const int64_t resolved = value > 0 ? value - 1 : static_cast<int64_t>(count) + value;
        if (resolved < 0 || static_cast<uint64_t>(resolved) >= count)
            fail(std::string(element) + " refers to " + noun + " " + std::to_string(value) + ", but only " +
                 std::to_string(count) + " exist");
        return resolved;
    }

    void element(char kind, const char *p, const char *end) {
        const char *const name = kind == 'f' ? "face" : kind == 'l' ? "line" : "point element";
        corners_.clear();
        bool normals = false;
        while (next_token(p, end)) {
            const auto vertex = static_cast<uint32_t>(index(p, end, vertex_count_, 'v', name));
            int64_t texture = -1;
            if (p < end && *p == '/') {
                ++p;
                if (p < end && *p != '/') texture = index(p, end, texture_coordinates_.size(), 't', name);
                if (p < end && *p == '/') {
                    ++p;
                    index(p, end, normal_count_, 'n', name);
                    normals = true;
                }
            }
            corners_.push_back(corner_point(vertex, texture));
        }
        if (corners_.empty()) fail(std::string(name) + " has no vertices");
        if (kind == 'f') {
            if ((normals || smoothing_) && corners_.size() >= 3) smooth_.insert(surface_);
            if (corners_.size() > host::Layer::kMaxCorners)
                fail("face has " + std::to_string(corners_.size()) + " vertices, more than the " +
                     std::to_string(host::Layer::kMaxCorners) + " a polygon can have");
            layer_.add_polygon(SF_POLY_FACE, corners_, surface_, SF_POLY_SELECTED);
        } else if (kind == 'l' && corners_.size() > 1) {
            // A polyline becomes its segments, each a two-point polygon.
            for (size_t i = 0; i + 1 < corners_.size(); ++i)
                layer_.add_polygon(SF_POLY_FACE, std::span<const uint32_t>(&corners_[i], 2), surface_,
                                   SF_POLY_SELECTED);
        } else {
            for (uint32_t &corner : corners_)
                layer_.add_polygon(SF_POLY_FACE, std::span<const uint32_t>(&corner, 1), surface_, SF_POLY_SELECTED);
        }
    }

    uint32_t base_point(uint32_t vertex) const { return vertex < aligned_ ? vertex : late_points_[vertex - aligned_]; }

    // The point for a corner: the vertex's point, unless that point already
    // has another UV, in which case a copy of it carrying this corner's UV
    // (one copy per distinct UV, shared by every corner that agrees).
    uint32_t corner_point(uint32_t vertex, int64_t texture) {
        const uint32_t point = base_point(vertex);
        if (texture < 0) return point;
        const std::array<float, 2> &uv = texture_coordinates_[static_cast<size_t>(texture)];
        if (!uv_map_) uv_map_ = &layer_.add_vmap(SF_VMAP_TXUV, "UV", 2);
        uint32_t candidate = point;
        for (;;) {
            const float *has = uv_map_->value(candidate);
            if (!has) {
                uv_map_->set_value(candidate, uv.data());
                return candidate;
            }
            if (has[0] == uv[0] && has[1] == uv[1]) return candidate;
            const auto next = splits_.find(candidate);
            if (next == splits_.end()) break;
            candidate = next->second;
        }
        const uint32_t split = layer_.add_point(layer_.position(point));
        uv_map_->set_value(split, uv.data());
        splits_.emplace(candidate, split);
        // From now on points and vertices are numbered apart.
        if (aligned_ == kAllAligned) aligned_ = vertex_count_;
        return split;
    }

    static constexpr uint32_t kAllAligned = std::numeric_limits<uint32_t>::max();

    const std::filesystem::path &path_;
    host::Scene &scene_;
    host::Layer &layer_;
    size_t line_ = 0;
    uint32_t surface_ = 0;
    bool smoothing_ = false;
    std::set<uint32_t> smooth_;         // surfaces of faces with normals or in a smoothing group
    std::set<uint32_t> used_surfaces_;  // named by usemtl
    ObjMaterials materials_;
    uint64_t vertex_count_ = 0;
    uint64_t normal_count_ = 0;
    std::vector<std::array<float, 2>> texture_coordinates_;
    host::VertexMap *uv_map_ = nullptr;
    // Vertex v is point v for v < aligned_; after the first split point,
    // later vertices' points are listed in late_points_.
    uint32_t aligned_ = kAllAligned;
    std::vector<uint32_t> late_points_;
    std::unordered_map<uint32_t, uint32_t> splits_;  // point -> next copy of the same vertex
    std::vector<uint32_t> corners_;
};

}  // namespace

void read_obj(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer, ReadWarnings &warnings) {
    const MappedFile file(path);
    ObjReader(path, scene, layer, warnings).read(file.bytes());
}

}  // namespace sowfield::io::detail
