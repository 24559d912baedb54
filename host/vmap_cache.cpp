#include "host/vmap_cache.h"

namespace sowfield::host {

void VmapCache::remember(uint32_t layer, uint32_t type, const char *name, VertexMap *map) {
    slots_[next_] = {name, map, layer, type};
    next_ = (next_ + 1) % slots_.size();
}

void VmapCache::clear() {
    slots_.fill({});
    next_ = 0;
}

const VmapSelection *VmapSelectionCache::build(const Scene &scene, uint32_t type, const char *name,
                                               const VmapSelection *keep) {
    if (&slots_[next_].selection == keep) next_ = (next_ + 1) % slots_.size();
    Slot &slot = slots_[next_];
    next_ = (next_ + 1) % slots_.size();

    slot.name = name;
    slot.valid = true;
    VmapSelection &selection = slot.selection;
    selection.type = type;
    selection.name.assign(name);
    selection.first = nullptr;
    selection.per_layer.assign(scene.layer_count(), nullptr);
    for (size_t layer = 0; layer < scene.layer_count(); ++layer) {
        const VertexMap *map = scene.layer(layer).find_vmap(type, selection.name);
        selection.per_layer[layer] = map;
        if (selection.first == nullptr) selection.first = map;
    }
    return &selection;
}

void VmapSelectionCache::invalidate() {
    for (Slot &slot : slots_) slot.valid = false;
}

}  // namespace sowfield::host
