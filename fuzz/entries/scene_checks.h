// Checks on a scene before and after a run: that nothing which existed before
// changed, whether anything was added, and that what was added is finite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"

namespace sowfield::fuzz {

// What a scene held before a run: per layer the counts of points, polygons
// and maps, and a hash of all of it (positions, polygons, and every map's
// values for the points that existed).
struct SceneMark {
    std::vector<uint32_t> points;
    std::vector<uint32_t> polygons;
    std::vector<size_t> maps;
    uint64_t hash = 0;
};

SceneMark mark_scene(const host::Scene &scene);

// Whether what the mark recorded is still there exactly as it was. The run
// may add (layers too), but not change.
bool unchanged_since(const host::Scene &scene, const SceneMark &mark);

// Whether any layer has more points, polygons or maps than the mark.
bool grew_since(const host::Scene &scene, const SceneMark &mark);

// One sentence per layer and map naming the first added point with a
// coordinate or a value that is not finite; empty when all are finite.
std::vector<std::string> non_finite_additions(const host::Scene &scene, const SceneMark &mark);

}  // namespace sowfield::fuzz
