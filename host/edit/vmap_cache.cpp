#include "host/edit/vmap_cache.h"

#include <cstring>

namespace sowfield::host {

void VmapCache::remember(uint32_t layer, uint32_t type, const char *name, VertexMap *map) {
    const char *text = map->name().c_str();
    slots_[next_] = {name, map, text, layer, type, static_cast<uint32_t>(std::strlen(text))};
    order_.hit(next_);
    next_ = (next_ + 1) % slots_.size();
}

void VmapCache::clear() {
    slots_.fill({});
    next_ = 0;
    order_.clear();
}

const VmapSelection *VmapSelectionCache::build(const Scene &scene, uint32_t type, const char *name,
                                               const VmapSelection *keep) {
    if (&slots_[next_].selection == keep) next_ = (next_ + 1) % slots_.size();
    const unsigned index = next_;
    Slot &slot = slots_[index];
    next_ = (next_ + 1) % slots_.size();

    slot.name = name;
    slot.valid = true;
    VmapSelection &selection = slot.selection;
    selection.type = type;
    selection.name.assign(name);
    slot.length = static_cast<uint32_t>(selection.name.size());
    selection.first = nullptr;
    selection.per_layer.assign(scene.layer_count(), nullptr);
    for (size_t layer = 0; layer < scene.layer_count(); ++layer) {
        const VertexMap *map = scene.layer(layer).find_vmap(type, selection.name);
        selection.per_layer[layer] = map;
        if (selection.first == nullptr) selection.first = map;
    }
    order_.hit(index);
    return &selection;
}

void VmapSelectionCache::invalidate() {
    for (Slot &slot : slots_) slot.valid = false;
}

}  // namespace sowfield::host
