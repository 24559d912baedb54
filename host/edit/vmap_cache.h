// Map lookups of the edit session, cached by the address of the name.
//
// A plug-in copying geometry asks for the same few maps over and over, in the
// same order, with the same name pointers (its own lists, string literals, or
// one buffer it rewrites). Each cache predicts the next slot from the one hit
// before it, so a hit costs a pointer compare and a compare of the name's
// text against the slot's, never a hash, a search or an allocation; a miss
// walks the slots, then the layer's maps.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"

namespace sowfield::host {

// The C string `name` spells `text`, whose length is `length` (no zero byte
// before it). Reads `name` only up to its first difference from `text`, so
// never past the end of a shorter string.
inline bool spells(const char *name, const char *text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        if (name[i] != text[i]) return false;
    return name[length] == '\0';
}

// The order in which slots are hit: after slot k, `follows(k)` was hit last
// time. A plug-in cycling through its maps is predicted exactly.
class SlotOrder {
public:
    unsigned guess() const { return follows_[last_]; }
    void hit(unsigned k) {
        follows_[last_] = static_cast<uint8_t>(k);
        last_ = k;
    }
    // The guess was right: what follows the last slot is already k.
    void confirm(unsigned k) { last_ = k; }
    void clear() { *this = SlotOrder(); }

private:
    std::array<uint8_t, 8> follows_{};
    unsigned last_ = 0;
};

// (layer, type, name) -> the layer's map, for writes.
class VmapCache {
public:
    // The cached map, or null on a miss.
    VertexMap *find(uint32_t layer, uint32_t type, const char *name) {
        const unsigned guess = order_.guess();
        if (hits(slots_[guess], layer, type, name)) [[likely]] {
            order_.confirm(guess);
            return slots_[guess].map;
        }
        for (unsigned k = 0; k < slots_.size(); ++k)
            if (hits(slots_[k], layer, type, name)) {
                order_.hit(k);
                return slots_[k].map;
            }
        return nullptr;
    }
    void remember(uint32_t layer, uint32_t type, const char *name, VertexMap *map);
    void clear();

private:
    struct Slot {
        const char *name = nullptr;  // null in an empty slot
        VertexMap *map = nullptr;
        const char *text = nullptr;  // the map's name
        uint32_t layer = 0;
        uint32_t type = 0;
        uint32_t length = 0;  // of text, up to its first zero byte
    };
    // A null name never reaches the cache, so an empty slot never hits.
    // (Layer and type are compared apart: one 64-bit key built from two
    // 32-bit values made the compiler reload a spilled half as a whole word,
    // a load the store before it cannot forward.)
    static bool hits(const Slot &slot, uint32_t layer, uint32_t type, const char *name) {
        return slot.name == name && slot.layer == layer && slot.type == type && spells(name, slot.text, slot.length);
    }
    std::array<Slot, 8> slots_{};
    unsigned next_ = 0;
    SlotOrder order_;
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
    const VmapSelection *find(uint32_t type, const char *name) {
        const unsigned guess = order_.guess();
        if (hits(slots_[guess], type, name)) [[likely]] {
            order_.confirm(guess);
            return &slots_[guess].selection;
        }
        for (unsigned k = 0; k < slots_.size(); ++k)
            if (hits(slots_[k], type, name)) {
                order_.hit(k);
                return &slots_[k].selection;
            }
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
        uint32_t length = 0;  // of selection.name, up to its first zero byte
        VmapSelection selection;
    };
    static bool hits(const Slot &slot, uint32_t type, const char *name) {
        return slot.valid && slot.name == name && slot.selection.type == type &&
               spells(name, slot.selection.name.c_str(), slot.length);
    }
    std::array<Slot, 8> slots_{};
    unsigned next_ = 0;
    SlotOrder order_;
};

}  // namespace sowfield::host
