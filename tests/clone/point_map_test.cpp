#include "clone/point_map.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// One clone's questions as copy_polygon asks them, polygon by polygon (four
// vertices each): every vertex once, then again for each not found, which is
// then inserted.
void run_clone(point_id_map &map, list_map &reference, const std::vector<sf_point_id> &vertices,
               std::mt19937_64 &rng) {
    map.reset();
    reference.entries.clear();
    for (size_t first = 0; first < vertices.size(); first += 4) {
        const size_t end = std::min(first + 4, vertices.size());
        std::vector<bool> missing;
        for (size_t k = first; k < end; ++k) {
            const sf_point_id *expected = reference.find(vertices[k]);
            const sf_point_id *found = map.find(vertices[k]);
            ASSERT_EQ(found == nullptr, expected == nullptr) << "question " << k;
            if (found != nullptr) {
                ASSERT_EQ(*found, *expected) << "question " << k;
            }
            missing.push_back(found == nullptr);
        }
        for (size_t k = first; k < end; ++k) {
            if (!missing[k - first]) continue;
            const sf_point_id *expected = reference.find(vertices[k]);
            const sf_point_id *found = map.find(vertices[k]);
            ASSERT_EQ(found == nullptr, expected == nullptr) << "second question " << k;
            if (found != nullptr) continue;  // listed twice in its polygon
            const sf_point_id clone_point = id(rng() | 1);
            map.insert(vertices[k], clone_point);
            reference.entries.emplace_back(vertices[k], clone_point);
        }
    }
}

// Later clones are answered from the record of the earlier ones; the answers
// must stay right when the host's order or its ids change from one clone to
// the next.
TEST(PointIdMap, RepeatedWalksStayRightWhenTheOrderOrTheIdsChange) {
    std::mt19937_64 rng(99);
    std::vector<sf_point_id> vertices;
    for (int k = 0; k < 4000; ++k) vertices.push_back(id(awkward_key(rng) % 700 * 16 + 8));
    point_id_map map;
    list_map reference;
    for (int clone = 0; clone < 3; ++clone) run_clone(map, reference, vertices, rng);
    std::shuffle(vertices.begin(), vertices.end(), rng);
    for (int clone = 0; clone < 2; ++clone) run_clone(map, reference, vertices, rng);
    // Some questions about ids never seen, some cut short, some repeated.
    for (int k = 0; k < 200; ++k) vertices[rng() % vertices.size()] = id(awkward_key(rng) | 1);
    vertices.resize(3000);
    vertices.insert(vertices.begin() + 100, vertices.begin(), vertices.begin() + 50);
    for (int clone = 0; clone < 2; ++clone) run_clone(map, reference, vertices, rng);
    vertices.erase(vertices.begin(), vertices.begin() + 7);
    run_clone(map, reference, vertices, rng);
}

// The record of a clone in which a point was first met at some question; in
// the next clone the same question about it comes after it was made.
TEST(PointIdMap, AQuestionRecordedBeforeThePointWasMadeIsAnsweredAfresh) {
    std::mt19937_64 rng(5);
    point_id_map map;
    list_map reference;
    const sf_point_id a = id(0x1000), b = id(0x2000), c = id(0x3000), d = id(0x4000);
    // Clone 1 meets `a` first in the second polygon (question 8); clone 2
    // makes it in the first polygon and asks again at question 8.
    run_clone(map, reference, {b, c, d, id(0x5000), a, b, c, d}, rng);
    run_clone(map, reference, {a, b, c, d, a, b, c, d}, rng);
    run_clone(map, reference, {b, c, d, id(0x5000), a, b, c, d}, rng);
}

// A host that hands out new ids for every clone must not make the map grow
// clone after clone.
TEST(PointIdMap, NewIdsInEveryCloneKeepTheTableBounded) {
    point_id_map map;
    uintptr_t next = 1;
    size_t largest_capacity = 0;
    for (int clone = 0; clone < 2000; ++clone) {
        map.reset();
        for (int k = 0; k < 100; ++k) {
            const sf_point_id source = id(next++ * 8);
            ASSERT_EQ(map.find(source), nullptr);
            map.insert(source, source);
            ASSERT_EQ(*map.find(source), source);
        }
        largest_capacity = std::max(largest_capacity, map.capacity());
    }
    EXPECT_LE(largest_capacity, 4096u);
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
