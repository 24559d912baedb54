#include "host/scene/element_ids.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace sowfield::host {
namespace {

TEST(IdCodec, RoundTripsEveryLayerAndIndexItCanHold) {
    const IdCodec codec;
    for (uint32_t layer : {0u, 1u, 77u, IdCodec::kMaxLayers - 1})
        for (uint32_t index : {0u, 1u, 2u, 65535u, 65536u, 0x7FFFFFFFu, 0xFFFFFFFFu})
            for (ElementKind kind : {ElementKind::point, ElementKind::polygon}) {
                const uintptr_t id = codec.encode(kind, layer, index);
                EXPECT_NE(id, 0u);
                ElementRef ref;
                ASSERT_EQ(codec.decode(id, kind, ref), IdCodec::Status::ok) << layer << " " << index;
                EXPECT_EQ(ref.layer, layer);
                EXPECT_EQ(ref.index, index);
                const ElementKind other = kind == ElementKind::point ? ElementKind::polygon : ElementKind::point;
                EXPECT_EQ(codec.decode(id, other, ref), IdCodec::Status::foreign);
            }
}

TEST(IdCodec, EarlierGenerationsAreStaleOthersForeign) {
    IdCodec codec;
    const uintptr_t old = codec.encode(ElementKind::point, 0, 5);
    codec.next_generation();
    ElementRef ref;
    EXPECT_EQ(codec.decode(old, ElementKind::point, ref), IdCodec::Status::stale);
    const IdCodec later;  // its generation is newer than any of `codec`'s
    EXPECT_EQ(codec.decode(later.encode(ElementKind::point, 0, 5), ElementKind::point, ref),
              IdCodec::Status::foreign);
    // Ordinary addresses never decode.
    int local = 0;
    EXPECT_EQ(codec.decode(reinterpret_cast<uintptr_t>(&local), ElementKind::point, ref), IdCodec::Status::foreign);
    EXPECT_EQ(codec.decode(reinterpret_cast<uintptr_t>(&codec), ElementKind::point, ref), IdCodec::Status::foreign);
    EXPECT_EQ(codec.decode(0, ElementKind::point, ref), IdCodec::Status::foreign);
}

// The session's fast paths: decode_current accepts exactly what decode calls
// ok (same layer and index), and encode_with(layer_key) is encode.
TEST(IdCodec, FastPathsAgreeWithEncodeAndDecode) {
    IdCodec codec;
    const uintptr_t stale = codec.encode(ElementKind::point, 3, 9);
    codec.next_generation();
    const IdCodec other;
    std::mt19937_64 rng(7);
    std::vector<uintptr_t> ids = {stale, 0, 1, reinterpret_cast<uintptr_t>(&codec), ~uintptr_t{0},
                                  other.encode(ElementKind::point, 0, 0)};
    for (int k = 0; k < 2000; ++k) {
        const uint32_t layer = static_cast<uint32_t>(rng() % IdCodec::kMaxLayers);
        const auto index = static_cast<uint32_t>(rng());
        for (ElementKind kind : {ElementKind::point, ElementKind::polygon}) {
            const uintptr_t id = codec.encode(kind, layer, index);
            EXPECT_EQ(IdCodec::encode_with(codec.layer_key(kind, layer), index), id);
            ids.push_back(id);
            ids.push_back(id ^ (uintptr_t{1} << (rng() % 64)));  // one bit off
        }
        ids.push_back(static_cast<uintptr_t>(rng()));
    }
    for (uintptr_t id : ids)
        for (ElementKind kind : {ElementKind::point, ElementKind::polygon}) {
            ElementRef slow, fast;
            const bool ok = codec.decode(id, kind, slow) == IdCodec::Status::ok;
            ASSERT_EQ(codec.decode_current(id, kind, fast), ok) << std::hex << id;
            if (ok) {
                EXPECT_EQ(fast.layer, slow.layer);
                EXPECT_EQ(fast.index, slow.index);
            }
        }
}

}  // namespace
}  // namespace sowfield::host
