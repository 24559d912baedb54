#include "host/services/scene_objects_service.h"

#include <algorithm>
#include <limits>

namespace sowfield::host {

namespace {

int32_t count_vmaps(uint32_t type) {
    SceneObjectsService *service = SceneObjectsService::get();
    if (service == nullptr) return 0;
    try {
        return service->count_vmaps(type);
    } catch (...) {
        return 0;
    }
}

const char *vmap_name(uint32_t type, int32_t index) {
    SceneObjectsService *service = SceneObjectsService::get();
    if (service == nullptr) return nullptr;
    try {
        return service->vmap_name(type, index);
    } catch (...) {
        return nullptr;
    }
}

const sf_scene_objects_service kTable = {count_vmaps, vmap_name};

}  // namespace

SceneObjectsService::SceneObjectsService(const Scene &scene) : scene_(scene) {}

const sf_scene_objects_service *SceneObjectsService::table() { return &kTable; }

const char *SceneObjectsService::stable_name(const std::string &name) {
    auto found = interned_.find(name);
    if (found != interned_.end()) return found->second;
    const char *stored = storage_.emplace_back(name).c_str();
    interned_.emplace(name, stored);
    return stored;
}

int32_t SceneObjectsService::count_vmaps(uint32_t type) {
    std::vector<const char *> &list = lists_[type];
    list.clear();
    for (size_t l = 0; l < scene_.layer_count(); ++l) {
        const Layer &layer = scene_.layer(l);
        for (size_t m = 0; m < layer.vmap_count(); ++m) {
            const VertexMap &map = layer.vmap(m);
            if (map.type() != type) continue;
            const char *name = stable_name(map.name());
            // Interned, so one name is one address.
            if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
        }
    }
    return static_cast<int32_t>(std::min<size_t>(list.size(), std::numeric_limits<int32_t>::max()));
}

const char *SceneObjectsService::vmap_name(uint32_t type, int32_t index) {
    if (lists_.find(type) == lists_.end()) count_vmaps(type);
    const std::vector<const char *> &list = lists_[type];
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
    return list[static_cast<size_t>(index)];
}

void SceneObjectsService::reset() {
    lists_.clear();
    interned_.clear();
    storage_.clear();
}

}  // namespace sowfield::host
