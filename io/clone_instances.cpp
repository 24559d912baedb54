#include "io/clone_instances.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <thread>
#include <utility>

#include "sowfield_host.h"

namespace sowfield::io {

namespace {

using host::Vec3;
using Matrix3 = std::array<double, 9>;  // column-major: element (row, col) at col * 3 + row

constexpr const char *kIndexMap = "SF_index";

Vec3 minus(const Vec3 &a, const Vec3 &b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 plus(const Vec3 &a, const Vec3 &b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 times(const Vec3 &a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const Vec3 &a, const Vec3 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3 &a, const Vec3 &b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double length(const Vec3 &a) { return std::sqrt(dot(a, a)); }
double max_norm(const Vec3 &a) { return std::max({std::fabs(a[0]), std::fabs(a[1]), std::fabs(a[2])}); }

Vec3 column(const Matrix3 &m, size_t col) { return {m[col * 3], m[col * 3 + 1], m[col * 3 + 2]}; }
void set_column(Matrix3 &m, size_t col, const Vec3 &v) {
    for (size_t row = 0; row < 3; ++row) m[col * 3 + row] = v[row];
}
Vec3 linear_map(const Matrix3 &m, const Vec3 &v) {
    return {m[0] * v[0] + m[3] * v[1] + m[6] * v[2], m[1] * v[0] + m[4] * v[1] + m[7] * v[2],
            m[2] * v[0] + m[5] * v[1] + m[8] * v[2]};
}
// a + u v^T
Matrix3 add_outer(Matrix3 a, const Vec3 &u, const Vec3 &v) {
    for (size_t col = 0; col < 3; ++col)
        for (size_t row = 0; row < 3; ++row) a[col * 3 + row] += u[row] * v[col];
    return a;
}
constexpr Matrix3 kIdentity3 = {1, 0, 0, 0, 1, 0, 0, 0, 1};

// The rotation taking unit vector `from` onto unit vector `to` about their
// common perpendicular (Rodrigues).
Matrix3 rotation_between(const Vec3 &from, const Vec3 &to) {
    const Vec3 axis = cross(from, to);
    const double sine = length(axis);
    const double cosine = dot(from, to);
    Vec3 k;
    if (sine < 1e-12) {
        if (cosine > 0) return kIdentity3;
        // Opposite: a half turn about any perpendicular.
        k = std::fabs(from[0]) < 0.9 ? cross(from, {1, 0, 0}) : cross(from, {0, 1, 0});
        k = times(k, 1.0 / length(k));
    } else {
        k = times(axis, 1.0 / sine);
    }
    const double angle = std::atan2(sine, cosine);
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    return {t * k[0] * k[0] + c,        t * k[0] * k[1] + s * k[2], t * k[0] * k[2] - s * k[1],
            t * k[0] * k[1] - s * k[2], t * k[1] * k[1] + c,        t * k[1] * k[2] + s * k[0],
            t * k[0] * k[2] + s * k[1], t * k[1] * k[2] - s * k[0], t * k[2] * k[2] + c};
}

// Unit quaternion (x, y, z, w) of a rotation matrix (Shepperd's method).
std::array<double, 4> quaternion_of(const Matrix3 &m) {
    const auto r = [&](size_t row, size_t col) { return m[col * 3 + row]; };
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    std::array<double, 4> q;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1) * 2;
        q = {(r(2, 1) - r(1, 2)) / s, (r(0, 2) - r(2, 0)) / s, (r(1, 0) - r(0, 1)) / s, 0.25 * s};
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = std::sqrt(1 + r(0, 0) - r(1, 1) - r(2, 2)) * 2;
        q = {0.25 * s, (r(0, 1) + r(1, 0)) / s, (r(0, 2) + r(2, 0)) / s, (r(2, 1) - r(1, 2)) / s};
    } else if (r(1, 1) > r(2, 2)) {
        const double s = std::sqrt(1 + r(1, 1) - r(0, 0) - r(2, 2)) * 2;
        q = {(r(0, 1) + r(1, 0)) / s, 0.25 * s, (r(1, 2) + r(2, 1)) / s, (r(0, 2) - r(2, 0)) / s};
    } else {
        const double s = std::sqrt(1 + r(2, 2) - r(0, 0) - r(1, 1)) * 2;
        q = {(r(0, 2) + r(2, 0)) / s, (r(1, 2) + r(2, 1)) / s, 0.25 * s, (r(1, 0) - r(0, 1)) / s};
    }
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double &c : q) c /= norm;
    return q;
}

// Splits a linear map into rotation * diagonal scale, a negative scale
// standing in for a mirror. Columns that vanish (a zero scale) get a
// rotation column that completes the others.
std::pair<Matrix3, Vec3> rotation_and_scale(const Matrix3 &linear) {
    Matrix3 rotation{};
    Vec3 scale{};
    std::array<bool, 3> known{};
    for (size_t col = 0; col < 3; ++col) {
        const Vec3 a = column(linear, col);
        scale[col] = length(a);
        known[col] = scale[col] > 0;
        if (known[col]) set_column(rotation, col, times(a, 1.0 / scale[col]));
    }
    const int known_count = known[0] + known[1] + known[2];
    if (known_count == 0) return {kIdentity3, scale};
    if (known_count == 1) {
        const size_t col = known[0] ? 0 : known[1] ? 1 : 2;
        const Vec3 axis{col == 0 ? 1.0 : 0.0, col == 1 ? 1.0 : 0.0, col == 2 ? 1.0 : 0.0};
        const Matrix3 turn = rotation_between(axis, column(rotation, col));
        return {turn, scale};
    }
    if (known_count == 2)
        for (size_t col = 0; col < 3; ++col)
            if (!known[col]) set_column(rotation, col, cross(column(rotation, (col + 1) % 3), column(rotation, (col + 2) % 3)));
    const double det = dot(column(rotation, 0), cross(column(rotation, 1), column(rotation, 2)));
    if (det < 0) {
        set_column(rotation, 0, times(column(rotation, 0), -1.0));
        scale[0] = -scale[0];
    }
    return {rotation, scale};
}

// Why a clone is not a placed copy; the order is the order of the checks.
enum class Mismatch { none, polygons, points, index, numbered_morphs, morphs, values };

const char *reason(Mismatch mismatch) {
    switch (mismatch) {
    case Mismatch::polygons: return "their polygons differ from the object's";
    case Mismatch::points:
        return "their points are not one placed copy of the object (jitter moves each point on its own)";
    case Mismatch::index: return "their \"SF_index\" is not one value per clone";
    case Mismatch::numbered_morphs:
        return "their morph displacements go to numbered morph maps (Auto morph maps), which an instance cannot carry";
    case Mismatch::morphs: return "their morph displacements do not follow the clone's placement";
    case Mismatch::values: return "their vertex-map values differ from the object's";
    case Mismatch::none: break;
    }
    return "";
}

// One vertex map of the layer as the clones carry it, with the object's
// values in walk order.
struct MapCheck {
    enum Kind { copied, morph, index } kind = copied;
    const host::VertexMap *layer_map = nullptr;
    int dimension = 1;
    std::vector<float> values;      // dimension per object point
    std::vector<uint8_t> present;   // per object point
    bool any_present = false;
    bool all_present = false;
};

// A few object points that span what the object spans, and the solver that
// turns the same points of a clone into the clone's linear map.
struct Basis {
    uint32_t origin = 0;
    std::vector<uint32_t> others;  // rank of them
    std::array<Vec3, 3> pseudo_inverse{};  // rows of (U^T U)^-1 U^T, U the differences
    std::array<Vec3, 2> plane{};           // an orthonormal basis of the span (rank 2)
    Vec3 normal{};                         // its normal (rank 2); the direction (rank 1)
};

class Finder {
public:
    Finder(const host::Scene &scene, size_t foreground, const std::vector<size_t> &background, uint32_t first_point,
           uint32_t first_polygon)
        : scene_(scene), layer_(scene.layer(foreground)), background_(background) {
        result_.first_point = first_point;
        result_.first_polygon = first_polygon;
    }

    CloneInstances find() {
        walk_object();
        const uint64_t points = layer_.point_count() - result_.first_point;
        const uint64_t polygons = layer_.polygon_count() - result_.first_polygon;
        if (result_.clone_polygons == 0) {
            if (points > 0 || polygons > 0) result_.not_placed.emplace_back("the object has no polygons to share", 0);
            return std::move(result_);
        }
        const uint64_t clones = polygons / result_.clone_polygons;
        if (polygons % result_.clone_polygons != 0 || points != clones * result_.clone_points) {
            result_.not_placed.emplace_back("the geometry added does not divide into whole copies of the object", 0);
            return std::move(result_);
        }
        result_.clones = clones;
        plan_maps();
        choose_basis();
        check_clones();
        return std::move(result_);
    }

private:
    // The object's points in the order a clone meets them, and its polygons.
    void walk_object() {
        host::Layer &object = result_.object;
        std::string name;
        for (const size_t index : background_) {
            const host::Layer &layer = scene_.layer(index);
            name += (name.empty() ? "" : "+") + layer.name;
            std::vector<uint32_t> walk_index(layer.point_count(), UINT32_MAX);
            std::vector<uint32_t> corners;
            for (uint32_t polygon = 0; polygon < layer.polygon_count(); ++polygon) {
                corners.clear();
                for (const uint32_t point : layer.polygon_points(polygon)) {
                    uint32_t &at = walk_index[point];
                    if (at == UINT32_MAX) {
                        at = object.add_point(layer.position(point));
                        sources_.emplace_back(index, point);
                    }
                    corners.push_back(at);
                }
                object.add_polygon(layer.polygon_type(polygon), corners, layer.polygon_surface(polygon),
                                   layer.polygon_flags(polygon) & ~uint32_t{SF_POLY_SELECTED});
                polygons_.push_back({layer.polygon_type(polygon), layer.polygon_surface(polygon),
                                     static_cast<uint32_t>(corners_.size()), static_cast<uint32_t>(corners.size())});
                corners_.insert(corners_.end(), corners.begin(), corners.end());
            }
        }
        object.name = name;
        result_.clone_points = object.point_count();
        result_.clone_polygons = object.polygon_count();
        object_points_.reserve(object.point_count());
        for (uint32_t point = 0; point < object.point_count(); ++point) {
            const Vec3 &p = object.position(point);
            object_points_.push_back({static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});  // as stored
        }
    }

    // Every map of the layer, with the object's values from the background
    // map of the same type and name; the object keeps those that have any.
    void plan_maps() {
        for (size_t m = 0; m < layer_.vmap_count(); ++m) {
            const host::VertexMap &map = layer_.vmap(m);
            MapCheck check;
            check.layer_map = &map;
            check.dimension = map.dimension();
            if (map.type() == SF_VMAP_WGHT && map.name() == kIndexMap) {
                check.kind = MapCheck::index;
                maps_.push_back(std::move(check));
                continue;
            }
            check.kind = map.type() == SF_VMAP_MORF && map.dimension() == 3 ? MapCheck::morph : MapCheck::copied;
            const auto dimension = static_cast<size_t>(check.dimension);
            check.values.assign(sources_.size() * dimension, 0.0f);
            check.present.assign(sources_.size(), 0);
            for (size_t i = 0; i < sources_.size(); ++i) {
                const host::VertexMap *source = scene_.layer(sources_[i].first).find_vmap(map.type(), map.name());
                if (source == nullptr || source->dimension() != check.dimension) continue;
                const float *value = source->value(sources_[i].second);
                if (value == nullptr) continue;
                std::copy(value, value + dimension, check.values.begin() + static_cast<std::ptrdiff_t>(i * dimension));
                check.present[i] = 1;
                check.any_present = true;
            }
            check.all_present = std::all_of(check.present.begin(), check.present.end(), [](uint8_t p) { return p != 0; });
            if (check.any_present) {
                host::VertexMap &copy = result_.object.add_vmap(map.type(), map.name(), check.dimension);
                for (uint32_t i = 0; i < sources_.size(); ++i)
                    if (check.present[i]) copy.set_value(i, &check.values[i * dimension]);
            }
            maps_.push_back(std::move(check));
        }
    }

    // Spread points: the one farthest from the centre, the one farthest from
    // it, the one farthest from their line, the one farthest from their plane.
    void choose_basis() {
        const host::Layer &object = result_.object;
        const uint32_t count = object.point_count();
        const auto position = [&](uint32_t i) { return object.position(i); };
        Vec3 centre{};
        for (uint32_t i = 0; i < count; ++i) centre = plus(centre, position(i));
        centre = times(centre, 1.0 / count);
        const auto farthest = [&](auto distance) {
            uint32_t best = 0;
            double best_distance = -1;
            for (uint32_t i = 0; i < count; ++i)
                if (const double d = distance(position(i)); d > best_distance) {
                    best = i;
                    best_distance = d;
                }
            return std::pair{best, best_distance};
        };
        basis_.origin = farthest([&](const Vec3 &p) { return length(minus(p, centre)); }).first;
        const Vec3 o = position(basis_.origin);
        const auto [first, extent] = farthest([&](const Vec3 &p) { return length(minus(p, o)); });
        if (extent <= 0) return;
        constexpr double kFlat = 1e-6;  // relative to the extent
        basis_.others.push_back(first);
        const Vec3 u = times(minus(position(first), o), 1.0 / extent);
        const auto [second, off_line] =
            farthest([&](const Vec3 &p) { return length(cross(u, minus(p, o))); });
        if (off_line > kFlat * extent) {
            basis_.others.push_back(second);
            const Vec3 n = cross(u, minus(position(second), o));
            const Vec3 unit_n = times(n, 1.0 / length(n));
            const auto [third, off_plane] = farthest([&](const Vec3 &p) { return std::fabs(dot(unit_n, minus(p, o))); });
            if (off_plane > kFlat * extent) basis_.others.push_back(third);
            basis_.normal = unit_n;
            basis_.plane = {u, cross(unit_n, u)};
        } else {
            basis_.normal = u;
        }
        // (U^T U)^-1 U^T by Gauss-Jordan on the small Gram matrix.
        const size_t rank = basis_.others.size();
        std::vector<Vec3> differences;
        for (const uint32_t i : basis_.others) differences.push_back(minus(position(i), o));
        std::array<std::array<double, 6>, 3> gram{};
        for (size_t r = 0; r < rank; ++r) {
            for (size_t c = 0; c < rank; ++c) gram[r][c] = dot(differences[r], differences[c]);
            gram[r][rank + r] = 1;
        }
        for (size_t pivot = 0; pivot < rank; ++pivot) {
            size_t best = pivot;
            for (size_t r = pivot + 1; r < rank; ++r)
                if (std::fabs(gram[r][pivot]) > std::fabs(gram[best][pivot])) best = r;
            std::swap(gram[pivot], gram[best]);
            const double p = gram[pivot][pivot];
            for (double &v : gram[pivot]) v /= p;
            for (size_t r = 0; r < rank; ++r)
                if (r != pivot) {
                    const double f = gram[r][pivot];
                    for (size_t c = 0; c < 2 * rank; ++c) gram[r][c] -= f * gram[pivot][c];
                }
        }
        for (size_t r = 0; r < rank; ++r) {
            Vec3 row{};
            for (size_t k = 0; k < rank; ++k) row = plus(row, times(differences[k], gram[r][rank + k]));
            basis_.pseudo_inverse[r] = row;
        }
    }

    // The clone's linear map and translation from its basis points.
    std::pair<Matrix3, Vec3> solve(uint32_t base) const {
        const Vec3 o = layer_.position(base + basis_.origin);
        const size_t rank = basis_.others.size();
        Matrix3 linear{};
        for (size_t k = 0; k < rank; ++k)
            linear = add_outer(linear, minus(layer_.position(base + basis_.others[k]), o), basis_.pseudo_inverse[k]);
        if (rank == 2) {
            // A flat object: the normal's image is the images' cross product,
            // at the mean scale of the plane's two directions.
            const Vec3 a = linear_map(linear, basis_.plane[0]);
            const Vec3 b = linear_map(linear, basis_.plane[1]);
            const double scale = std::sqrt(length(a) * length(b));
            if (scale > 0) linear = add_outer(linear, times(cross(a, b), 1.0 / scale), basis_.normal);
        } else if (rank == 1) {
            const Vec3 a = linear_map(linear, basis_.normal);
            const double scale = length(a);
            linear = Matrix3{};
            if (scale > 0) {
                linear = rotation_between(basis_.normal, times(a, 1.0 / scale));
                for (double &v : linear) v *= scale;
            }
        } else if (rank == 0) {
            linear = kIdentity3;
        }
        return {linear, minus(o, linear_map(linear, result_.object.position(basis_.origin)))};
    }

    Mismatch check_polygons(uint64_t clone) const {
        const uint32_t base = result_.first_point + static_cast<uint32_t>(clone * result_.clone_points);
        const uint32_t first = result_.first_polygon + static_cast<uint32_t>(clone * result_.clone_polygons);
        for (uint32_t j = 0; j < result_.clone_polygons; ++j) {
            const ObjectPolygon &ours = polygons_[j];
            const std::span<const uint32_t> theirs = layer_.polygon_points(first + j);
            if (theirs.size() != ours.size || layer_.polygon_type(first + j) != ours.type ||
                layer_.polygon_surface(first + j) != ours.surface)
                return Mismatch::polygons;
            const uint32_t *corners = &corners_[ours.first_corner];
            for (size_t k = 0; k < theirs.size(); ++k)
                if (theirs[k] != base + corners[k]) return Mismatch::polygons;
        }
        return Mismatch::none;
    }

    Mismatch check_points(uint32_t base, const ClonePlacement &placement) const {
        const Matrix3 m = placement_matrix(placement);
        const double tx = placement.translation[0], ty = placement.translation[1], tz = placement.translation[2];
        // Six independent maxima (error and radius per axis) keep the loop
        // from waiting on one chain of comparisons.
        double ex = 0, ey = 0, ez = 0, rx = 0, ry = 0, rz = 0;
        double sum = 0;  // not finite when a coordinate is not (the maxima skip a NaN)
        const auto measure = [&](const Vec3 &b, const Vec3 &real) {
            const double x = real[0] - tx, y = real[1] - ty, z = real[2] - tz;
            sum += x + y + z;
            ex = std::max(ex, std::fabs(m[0] * b[0] + m[3] * b[1] + m[6] * b[2] - x));
            ey = std::max(ey, std::fabs(m[1] * b[0] + m[4] * b[1] + m[7] * b[2] - y));
            ez = std::max(ez, std::fabs(m[2] * b[0] + m[5] * b[1] + m[8] * b[2] - z));
            rx = std::max(rx, std::fabs(x));
            ry = std::max(ry, std::fabs(y));
            rz = std::max(rz, std::fabs(z));
        };
        const uint32_t count = result_.clone_points;
        // The layer stores positions in blocks: most clones lie in one.
        const auto first = reinterpret_cast<std::uintptr_t>(&layer_.position(base));
        const auto last = reinterpret_cast<std::uintptr_t>(&layer_.position(base + count - 1));
        if (last - first == (count - 1) * sizeof(Vec3)) {
            const Vec3 *real = &layer_.position(base);
            for (uint32_t i = 0; i < count; ++i) measure(object_points_[i], real[i]);
        } else {
            for (uint32_t i = 0; i < count; ++i) measure(object_points_[i], layer_.position(base + i));
        }
        const double error = std::max({ex, ey, ez});
        const double scale = std::max({std::fabs(tx), std::fabs(ty), std::fabs(tz)}) + std::max({rx, ry, rz});
        return std::isfinite(sum) && error <= kPlacementTolerance * scale ? Mismatch::none : Mismatch::points;
    }

    // The clone's values of a map in which the object and the clone have a
    // value on every point, at once.
    bool check_run(const MapCheck &check, const float *run, const Matrix3 &linear) const {
        const size_t floats = size_t{result_.clone_points} * static_cast<size_t>(check.dimension);
        if (check.kind == MapCheck::copied) return std::memcmp(run, check.values.data(), floats * sizeof(float)) == 0;
        double error = 0, largest = 0;
        for (size_t at = 0; at < floats; at += 3) {
            const float *d = &check.values[at];
            const Vec3 moved = linear_map(linear, {d[0], d[1], d[2]});
            const Vec3 real{run[at], run[at + 1], run[at + 2]};
            error = std::max(error, max_norm(minus(moved, real)));
            largest = std::max(largest, max_norm(real));
        }
        return error <= kPlacementTolerance * largest;
    }

    Mismatch check_maps(uint32_t base, ClonePlacement &placement) const {
        const Matrix3 linear = placement_matrix(placement);
        for (const MapCheck &check : maps_) {
            const host::VertexMap &map = *check.layer_map;
            const auto dimension = static_cast<size_t>(check.dimension);
            if (check.kind == MapCheck::index) {
                const float *first = map.value(base);
                if (first == nullptr || map.dimension() != 1) return Mismatch::index;
                placement.sf_index = *first;
                if (const float *run = map.run_of_values(base, result_.clone_points)) {
                    const auto bits = std::bit_cast<uint32_t>(*first);
                    for (uint32_t i = 1; i < result_.clone_points; ++i)
                        if (std::bit_cast<uint32_t>(run[i]) != bits) return Mismatch::index;
                    continue;
                }
                for (uint32_t i = 1; i < result_.clone_points; ++i) {
                    const float *value = map.value(base + i);
                    if (value == nullptr || std::bit_cast<uint32_t>(*value) != std::bit_cast<uint32_t>(*first))
                        return Mismatch::index;
                }
                continue;
            }
            const float *run = check.all_present ? map.run_of_values(base, result_.clone_points) : nullptr;
            if (run != nullptr) {
                if (check_run(check, run, linear)) continue;
                return check.kind == MapCheck::morph ? Mismatch::morphs : Mismatch::values;
            }
            double error = 0, largest = 0;
            for (uint32_t i = 0; i < result_.clone_points; ++i) {
                const float *value = map.value(base + i);
                if ((value != nullptr) != (check.present[i] != 0)) {
                    if (check.kind == MapCheck::morph && !check.any_present) return Mismatch::numbered_morphs;
                    return check.kind == MapCheck::morph ? Mismatch::morphs : Mismatch::values;
                }
                if (value == nullptr) continue;
                const float *expected = &check.values[i * dimension];
                if (check.kind == MapCheck::copied) {
                    if (std::memcmp(value, expected, dimension * sizeof(float)) != 0) return Mismatch::values;
                    continue;
                }
                const Vec3 moved = linear_map(linear, {expected[0], expected[1], expected[2]});
                const Vec3 real{value[0], value[1], value[2]};
                error = std::max(error, max_norm(minus(moved, real)));
                largest = std::max(largest, max_norm(real));
            }
            if (!(error <= kPlacementTolerance * largest)) return Mismatch::morphs;
        }
        return Mismatch::none;
    }

    Mismatch check_clone(uint64_t clone, ClonePlacement &placement) const {
        if (const Mismatch m = check_polygons(clone); m != Mismatch::none) return m;
        const uint32_t base = result_.first_point + static_cast<uint32_t>(clone * result_.clone_points);
        const auto [linear, translation] = solve(base);
        const auto [rotation, scale] = rotation_and_scale(linear);
        const std::array<double, 4> q = quaternion_of(rotation);
        placement.clone = clone;
        for (size_t k = 0; k < 3; ++k) {
            placement.translation[k] = static_cast<float>(translation[k]);
            placement.scale[k] = static_cast<float>(scale[k]);
        }
        for (size_t k = 0; k < 4; ++k) placement.rotation[k] = static_cast<float>(q[k]);
        if (const Mismatch m = check_points(base, placement); m != Mismatch::none) return m;
        return check_maps(base, placement);
    }

    void check_clones() {
        std::vector<ClonePlacement> placements(result_.clones);
        std::vector<Mismatch> mismatches(result_.clones);
        const auto check_range = [&](uint64_t from, uint64_t to) {
            for (uint64_t c = from; c < to; ++c) mismatches[c] = check_clone(c, placements[c]);
        };
        // Clones are independent: two threads halve the time of a large run.
        const uint64_t half = result_.clones / 2;
        if (uint64_t{result_.clone_points} * result_.clones >= (uint64_t{1} << 20)) {
            std::thread other(check_range, half, result_.clones);
            check_range(0, half);
            other.join();
        } else {
            check_range(0, result_.clones);
        }
        std::map<Mismatch, uint64_t> counts;
        for (uint64_t c = 0; c < result_.clones; ++c) {
            if (mismatches[c] == Mismatch::none)
                result_.placed.push_back(placements[c]);
            else
                ++counts[mismatches[c]];
        }
        for (const auto &[mismatch, count] : counts) result_.not_placed.emplace_back(reason(mismatch), count);
        std::stable_sort(result_.not_placed.begin(), result_.not_placed.end(),
                         [](const auto &a, const auto &b) { return a.second > b.second; });
    }

    const host::Scene &scene_;
    const host::Layer &layer_;
    const std::vector<size_t> &background_;
    CloneInstances result_;
    std::vector<std::pair<size_t, uint32_t>> sources_;  // background layer and point, per object point
    std::vector<Vec3> object_points_;  // as a file stores them (single precision)
    std::vector<MapCheck> maps_;
    Basis basis_;
    // The object's polygons as flat arrays: read for every clone.
    struct ObjectPolygon {
        uint32_t type, surface, first_corner, size;
    };
    std::vector<ObjectPolygon> polygons_;
    std::vector<uint32_t> corners_;
};

}  // namespace

std::array<double, 9> placement_matrix(const ClonePlacement &placement) {
    const auto &r = placement.rotation;
    const double norm = std::sqrt(double{r[0]} * r[0] + double{r[1]} * r[1] + double{r[2]} * r[2] + double{r[3]} * r[3]);
    const double x = r[0] / norm, y = r[1] / norm, z = r[2] / norm, w = r[3] / norm;
    const double sx = placement.scale[0], sy = placement.scale[1], sz = placement.scale[2];
    return {(1 - 2 * (y * y + z * z)) * sx, (2 * (x * y + z * w)) * sx,     (2 * (x * z - y * w)) * sx,
            (2 * (x * y - z * w)) * sy,     (1 - 2 * (x * x + z * z)) * sy, (2 * (y * z + x * w)) * sy,
            (2 * (x * z + y * w)) * sz,     (2 * (y * z - x * w)) * sz,     (1 - 2 * (x * x + y * y)) * sz};
}

CloneInstances find_clone_instances(const host::Scene &scene, size_t foreground, const std::vector<size_t> &background,
                                    uint32_t first_point, uint32_t first_polygon) {
    return Finder(scene, foreground, background, first_point, first_polygon).find();
}

}  // namespace sowfield::io
