#include "host/element_ids.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sowfield::host
