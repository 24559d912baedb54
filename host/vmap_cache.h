// Map lookups of the edit session, cached by the address of the name.
//
// A plug-in copying geometry asks for the same few maps over and over, with
// the same name pointers (its own lists, string literals, or one buffer it
// rewrites). A hit costs a pointer compare and a strcmp against the map's own
// name, never a hash or an allocation; a miss walks the layer's maps.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/scene.h"

namespace sowfield::host {

// strcmp(a, b) == 0, inlined: names are short and the call would cost more
// than the comparison.
inline bool same_name(const char *a, const char *b) {
    while (*a == *b) {
        if (*a == '\0') return true;
        ++a;
        ++b;
    }
    return false;
}

// (layer, type, name) -> the layer's map, for writes.
class VmapCache {
public:
    // The cached map, or null on a miss.
    VertexMap *find(uint32_t layer, uint32_t type, const char *name) const {
        for (const Slot &slot : slots_)
            if (slot.name == name && slot.map != nullptr && slot.layer == layer && slot.type == type &&
                same_name(name, slot.map->name().c_str()))
                return slot.map;
        return nullptr;
    }
    void remember(uint32_t layer, uint32_t type, const char *name, VertexMap *map);
    void clear();

private:
    struct Slot {
        const char *name = nullptr;
        VertexMap *map = nullptr;
        uint32_t layer = 0;
        uint32_t type = 0;
    };
    std::array<Slot, 8> slots_{};
    unsigned next_ = 0;
};

// What select_vmap chose: each layer's map of one (type, name), or none.
struct VmapSelection {
    uint32_t type = 0;
    std::string name;
    std::vector<const VertexMap *> per_layer;  // null where the layer has no such map
    const VertexMap *first = nullptr;          // the first layer's map that exists, or null

    // The point's value in its layer's map, or null.
    const float *value(uint32_t layer, uint32_t point) const {
        if (layer >= per_layer.size() || per_layer[layer] == nullptr) return nullptr;
        return per_layer[layer]->value(point);
    }
    const VertexMap *map(uint32_t layer) const { return layer < per_layer.size() ? per_layer[layer] : nullptr; }
};

// (type, name) -> selection over the whole scene.
class VmapSelectionCache {
public:
    // The cached selection of (type, name), or null on a miss.
    const VmapSelection *find(uint32_t type, const char *name) const {
        for (const Slot &slot : slots_)
            if (slot.valid && slot.name == name && slot.selection.type == type &&
                same_name(name, slot.selection.name.c_str()))
                return &slot.selection;
        return nullptr;
    }
    // Builds the selection of (type, name) over `scene` into a slot other
    // than `keep` (the selection in use), remembers it and returns it.
    const VmapSelection *build(const Scene &scene, uint32_t type, const char *name, const VmapSelection *keep);
    // Forgets every entry without touching their content (a map was created,
    // so an entry may be incomplete; the selection in use stays as it was).
    void invalidate();

private:
    struct Slot {
        const char *name = nullptr;
        bool valid = false;
        VmapSelection selection;
    };
    std::array<Slot, 8> slots_{};
    unsigned next_ = 0;
};

}  // namespace sowfield::host
