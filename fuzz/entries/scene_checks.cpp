#include "fuzz/entries/scene_checks.h"

#include <cmath>
#include <sstream>

namespace sowfield::fuzz {

namespace {

using host::Layer;

// FNV-1a over the bytes given; changes of a single bit show.
class Hasher {
public:
    void bytes(const void *data, size_t size) {
        const auto *p = static_cast<const uint8_t *>(data);
        for (size_t i = 0; i < size; ++i) hash_ = (hash_ ^ p[i]) * 0x100000001b3ull;
    }
    template <class T>
    void value(const T &v) {
        bytes(&v, sizeof v);
    }
    uint64_t result() const { return hash_; }

private:
    uint64_t hash_ = 0xcbf29ce484222325ull;
};

uint64_t hash_existing(const host::Scene &scene, const SceneMark &mark) {
    Hasher h;
    for (size_t l = 0; l < mark.points.size(); ++l) {
        const Layer &layer = scene.layer(l);
        for (uint32_t p = 0; p < mark.points[l]; ++p) h.value(layer.position(p));
        for (uint32_t q = 0; q < mark.polygons[l]; ++q) {
            const host::PolygonView polygon = layer.polygon(q);
            h.value(polygon.type);
            h.value(polygon.flags);
            h.value(polygon.surface);
            h.value(polygon.points.size());
            for (uint32_t corner : polygon.points) h.value(corner);
        }
        for (size_t m = 0; m < mark.maps[l]; ++m) {
            const host::VertexMap &map = layer.vmap(m);
            h.value(map.type());
            h.bytes(map.name().data(), map.name().size());
            for (uint32_t p = 0; p < mark.points[l]; ++p) {
                const float *v = map.value(p);
                h.value(v != nullptr);
                if (v != nullptr) h.bytes(v, sizeof(float) * static_cast<size_t>(map.dimension()));
            }
        }
    }
    return h.result();
}

std::string describe(const host::Vec3 &p) {
    std::ostringstream text;
    text.precision(17);
    text << '(' << p[0] << ", " << p[1] << ", " << p[2] << ')';
    return text.str();
}

}  // namespace

SceneMark mark_scene(const host::Scene &scene) {
    SceneMark mark;
    for (size_t l = 0; l < scene.layer_count(); ++l) {
        mark.points.push_back(scene.layer(l).point_count());
        mark.polygons.push_back(scene.layer(l).polygon_count());
        mark.maps.push_back(scene.layer(l).vmap_count());
    }
    mark.hash = hash_existing(scene, mark);
    return mark;
}

bool unchanged_since(const host::Scene &scene, const SceneMark &mark) {
    if (scene.layer_count() < mark.points.size()) return false;
    for (size_t l = 0; l < mark.points.size(); ++l) {
        const Layer &layer = scene.layer(l);
        if (layer.point_count() < mark.points[l] || layer.polygon_count() < mark.polygons[l] ||
            layer.vmap_count() < mark.maps[l])
            return false;
    }
    return hash_existing(scene, mark) == mark.hash;
}

bool grew_since(const host::Scene &scene, const SceneMark &mark) {
    for (size_t l = 0; l < mark.points.size(); ++l) {
        const Layer &layer = scene.layer(l);
        if (layer.point_count() != mark.points[l] || layer.polygon_count() != mark.polygons[l] ||
            layer.vmap_count() != mark.maps[l])
            return true;
    }
    return false;
}

std::vector<std::string> non_finite_additions(const host::Scene &scene, const SceneMark &mark) {
    std::vector<std::string> found;
    for (size_t l = 0; l < mark.points.size(); ++l) {
        const Layer &layer = scene.layer(l);
        for (uint32_t p = mark.points[l]; p < layer.point_count(); ++p) {
            const host::Vec3 &q = layer.position(p);
            if (!std::isfinite(q[0]) || !std::isfinite(q[1]) || !std::isfinite(q[2])) {
                found.push_back("added point " + std::to_string(p) + " of layer \"" + layer.name + "\" is at " +
                                describe(q));
                break;
            }
        }
        for (size_t m = 0; m < layer.vmap_count(); ++m) {
            const host::VertexMap &map = layer.vmap(m);
            for (uint32_t p = mark.points[l]; p < layer.point_count(); ++p) {
                const float *v = map.value(p);
                if (v == nullptr) continue;
                bool finite = true;
                for (int d = 0; d < map.dimension(); ++d) finite = finite && std::isfinite(v[d]);
                if (!finite) {
                    found.push_back("added point " + std::to_string(p) + " of layer \"" + layer.name +
                                    "\" has a value that is not finite in map \"" + map.name() + "\"");
                    break;
                }
            }
        }
    }
    return found;
}

}  // namespace sowfield::fuzz
