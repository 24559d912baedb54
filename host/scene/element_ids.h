// Point and polygon ids as the edit session hands them to a plug-in.
//
// An id is the element's (layer, index) packed with the session's generation
// and scrambled, so that ids look like addresses, are never null, are not
// small or sequential integers (code that uses them as indices fails at once),
// and still decode in a few instructions. Layout before scrambling, from the
// least significant bit:
//
//     bits  0..31  index within the layer, multiplied by an odd constant
//     bits 32..43  layer index (4096 layers at most)
//     bit  44      kind: 0 point, 1 polygon
//     bits 45..63  session generation, 16 or more
//
// A user-space address has bits 47..63 clear, so its generation field is
// below 4 and a plug-in's own pointer passed as an id never decodes.
// Generations come from one process-wide counter, so an id of another host's
// session is foreign here, not valid by accident.
// Bits 0..44 are then XORed with a salt of the kind. An id of an earlier
// session decodes to an older generation ("stale"); anything else that does
// not decode is "foreign".
#pragma once

#include <atomic>
#include <cstdint>

namespace sowfield::host {

namespace detail {
// The inverse of an odd number modulo 2^32, by Newton's iteration (each step
// doubles the number of correct low bits).
constexpr uint32_t inverse_mod_2_32(uint32_t a) {
    uint32_t x = a;
    for (int i = 0; i < 5; ++i) x *= 2u - a * x;
    return x;
}
}  // namespace detail

static_assert(sizeof(void *) == 8, "element ids need 64-bit pointers");

enum class ElementKind : uint32_t { point = 0, polygon = 1 };

struct ElementRef {
    uint32_t layer = 0;
    uint32_t index = 0;
};

class IdCodec {
public:
    static constexpr uint32_t kMaxLayers = 1u << 12;
    static constexpr uint32_t kFirstGeneration = 16;
    static constexpr uint32_t kGenerationCount = 1u << 19;

    enum class Status { ok, foreign, stale };

    IdCodec() : first_(draw_generation()), generation_(first_) { make_keys(); }

    // Starts the next generation; ids of this codec's earlier generations
    // become stale.
    void next_generation() {
        generation_ = draw_generation();
        if (generation_ < first_) first_ = generation_;  // the counter wrapped
        make_keys();
    }
    uint32_t generation() const { return generation_; }

    uintptr_t encode(ElementKind kind, uint32_t layer, uint32_t index) const {
        const uint64_t low = uint64_t{index * kScramble} | (uint64_t{layer} << 32) | (uint64_t{kind == ElementKind::polygon} << 44);
        return static_cast<uintptr_t>((uint64_t{generation_} << 45) | (low ^ salt(kind)));
    }

    // True when `id` is an element of `kind` of the current generation, with
    // its layer and index in `out`: one XOR against the generation, kind and
    // salt together, then a test that nothing is left above the layer bits.
    // The caller still checks the layer and index against the scene; decode
    // tells a stale id from a foreign one.
    bool decode_current(uintptr_t id, ElementKind kind, ElementRef &out) const {
        const uint64_t low = uint64_t{id} ^ key(kind);
        if ((low >> 44) != 0) return false;
        out.layer = static_cast<uint32_t>(low >> 32);
        out.index = static_cast<uint32_t>(low) * kUnscramble;
        return true;
    }

    // What encode(kind, layer, index) XORs with the scrambled index: the same
    // for every element of one layer, so a run of ids costs a multiply and
    // an XOR each.
    uint64_t layer_key(ElementKind kind, uint32_t layer) const {
        return key(kind) ^ (uint64_t{layer} << 32);
    }
    static uintptr_t encode_with(uint64_t layer_key, uint32_t index) {
        return static_cast<uintptr_t>(layer_key ^ uint64_t{index * kScramble});
    }

    // Decodes `id` as an element of `kind`. The caller still checks the layer
    // and index against the scene.
    Status decode(uintptr_t id, ElementKind kind, ElementRef &out) const {
        const uint64_t raw = id;
        const uint32_t generation = static_cast<uint32_t>(raw >> 45);
        const uint64_t low = (raw & kLowMask) ^ salt(kind);
        const bool right_kind = ((low >> 44) & 1u) == uint64_t{kind == ElementKind::polygon};
        if (!right_kind) return Status::foreign;
        if (generation != generation_)
            return generation >= first_ && generation < generation_ ? Status::stale : Status::foreign;
        out.layer = static_cast<uint32_t>(low >> 32) & (kMaxLayers - 1);
        out.index = static_cast<uint32_t>(low) * kUnscramble;
        return Status::ok;
    }

private:
    static constexpr uint64_t kLowMask = (uint64_t{1} << 45) - 1;
    static constexpr uint32_t kScramble = 0x9E3779B1u;  // odd, so invertible modulo 2^32

    static constexpr uint32_t kUnscramble = detail::inverse_mod_2_32(kScramble);
    static_assert(kScramble * kUnscramble == 1u);

    // The generation, the kind bit and the salt: an id of the current
    // generation XORed with it leaves the scrambled index and the layer.
    uint64_t key(ElementKind kind) const { return kind == ElementKind::point ? point_key_ : polygon_key_; }
    void make_keys() {
        for (ElementKind kind : {ElementKind::point, ElementKind::polygon})
            (kind == ElementKind::point ? point_key_ : polygon_key_) =
                (uint64_t{generation_} << 45) | (uint64_t{kind == ElementKind::polygon} << 44) | salt(kind);
    }

    static constexpr uint64_t salt(ElementKind kind) {
        return (kind == ElementKind::point ? 0x0A5C'3D17'6B29ull : 0x1C93'E0F4'52B8ull) & (kLowMask >> 1);
    }

    static uint32_t draw_generation() {
        static std::atomic<uint32_t> counter{0};
        const uint32_t n = counter.fetch_add(1, std::memory_order_relaxed);
        return kFirstGeneration + n % (kGenerationCount - kFirstGeneration);
    }

    uint32_t first_;
    uint32_t generation_;
    uint64_t point_key_ = 0;  // key(point) and key(polygon) of generation_
    uint64_t polygon_key_ = 0;
};

}  // namespace sowfield::host
