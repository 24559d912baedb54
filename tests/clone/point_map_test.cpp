#include "clone/point_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace sowfield {
namespace {

sf_point_id id(uintptr_t raw) { return reinterpret_cast<sf_point_id>(raw); }

// The plain ordered list the map stands in for: append, and search from the
// oldest entry.
struct list_map {
    std::vector<std::pair<sf_point_id, sf_point_id>> entries;
    const sf_point_id *find(sf_point_id source) const {
        for (const auto &entry : entries)
            if (entry.first == source) return &entry.second;
        return nullptr;
    }
};

// Keys that are hard on a hash: aligned addresses with many low zero bits,
// ids that differ only above bit 32 (layer numbers), and the null id.
uintptr_t awkward_key(std::mt19937_64 &rng) {
    switch (rng() % 4) {
        case 0: return (rng() % 5000) << 12;
        case 1: return ((rng() % 64) << 40) | 0x10;
        case 2: return rng() % 3000;
        default: return rng();
    }
}

TEST(PointIdMap, AgreesWithAListSearchedFromItsOldestEntry) {
    std::mt19937_64 rng(1234);
    point_id_map map;
    list_map reference;
    for (int clone = 0; clone < 40; ++clone) {
        map.reset();
        reference.entries.clear();
        const int operations = static_cast<int>(rng() % 3000);
        for (int k = 0; k < operations; ++k) {
            const sf_point_id source = id(awkward_key(rng));
            const sf_point_id *expected = reference.find(source);
            const sf_point_id *found = map.find(source);
            ASSERT_EQ(found == nullptr, expected == nullptr) << "clone " << clone << " operation " << k;
            if (found != nullptr) {
                ASSERT_EQ(*found, *expected);
                continue;
            }
            // A refused point is recorded as null and still counts as made.
            const sf_point_id clone_point = rng() % 10 == 0 ? nullptr : id(rng() | 1);
            map.insert(source, clone_point);
            reference.entries.emplace_back(source, clone_point);
        }
        ASSERT_EQ(map.size(), reference.entries.size());
    }
}

TEST(PointIdMap, ResetForgetsEveryEntryAndKeepsItsMemory) {
    point_id_map map;
    for (uintptr_t k = 1; k <= 1000; ++k) map.insert(id(k * 8), id(k));
    const size_t warmed = map.capacity();
    for (int clone = 0; clone < 5; ++clone) {
        map.reset();
        EXPECT_EQ(map.size(), 0u);
        for (uintptr_t k = 1; k <= 1000; ++k) {
            ASSERT_EQ(map.find(id(k * 8)), nullptr) << "an id of an earlier clone is still known";
            map.insert(id(k * 8), id(k + 1000 * static_cast<uintptr_t>(clone)));
        }
        EXPECT_EQ(*map.find(id(8)), id(1 + 1000 * static_cast<uintptr_t>(clone)));
        EXPECT_EQ(map.capacity(), warmed) << "a clone of the same size grew the table";
    }
}

TEST(PointIdMap, StampsWrappingAroundDoNotBringOldEntriesBack) {
    point_id_map map;
    // Enough clones for the generation stamp to wrap and come round again to
    // the stamps of the first clones; each clone leaves one entry behind.
    for (uintptr_t clone = 1; clone <= 140000; ++clone) {
        map.reset();
        ASSERT_EQ(map.find(id(clone - 1)), nullptr) << "clone " << clone;
        for (uintptr_t cycle : {65534u, 65535u, 65536u})
            if (clone > cycle) {
                ASSERT_EQ(map.find(id(clone - cycle)), nullptr) << "clone " << clone;
            }
        map.insert(id(clone), id(clone));
    }
}

TEST(PointIdMap, ReleaseGivesTheMemoryBackAndTheMapStaysUsable) {
    point_id_map map;
    for (uintptr_t k = 1; k <= 100; ++k) map.insert(id(k), id(k));
    map.release();
    EXPECT_EQ(map.capacity(), 0u);
    EXPECT_EQ(map.find(id(1)), nullptr);
    map.insert(id(1), id(2));
    EXPECT_EQ(*map.find(id(1)), id(2));
}

}  // namespace
}  // namespace sowfield
