#include "host/edit/vmap_cache.h"

#include <gtest/gtest.h>

#include <string>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "sowfield_host.h"

namespace sowfield::host {
namespace {

// Names arrive as runtime strings; calling through an out-of-line helper
// keeps the optimiser from judging the loop against the literals' sizes.
[[gnu::noinline]] bool spells_text(const std::string &name, const std::string &text) {
    return spells(name.c_str(), text.c_str(), static_cast<uint32_t>(text.size()));
}

TEST(Spells, WholeTextAndNothingMore) {
    EXPECT_TRUE(spells_text("bulge", "bulge"));
    EXPECT_TRUE(spells_text("", ""));
    EXPECT_FALSE(spells_text("bulge1", "bulge"));  // longer
    EXPECT_FALSE(spells_text("bulg", "bulge"));    // shorter: stops at its end
    EXPECT_FALSE(spells_text("bulgE", "bulge"));
    EXPECT_FALSE(spells_text("", "a"));
    EXPECT_FALSE(spells_text("a", ""));
}

// The write cache of an edit session: a plug-in's map names in a repeating
// order, one of them rewritten in place between uses.
class WriteCache : public ::testing::Test {
protected:
    VertexMap &map(const char *name, int dimension = 1, uint32_t type = SF_VMAP_WGHT) {
        maps.push_back(std::make_unique<VertexMap>(type, name, dimension));
        return *maps.back();
    }
    std::vector<std::unique_ptr<VertexMap>> maps;
    VmapCache cache;
};

TEST_F(WriteCache, FindsEachRememberedMapInAnyOrder) {
    const char *names[] = {"UV", "height", "SF_index", "bulge"};
    std::vector<VertexMap *> remembered;
    for (const char *name : names) {
        remembered.push_back(&map(name));
        cache.remember(1, SF_VMAP_WGHT, name, remembered.back());
    }
    // The order they were written in, many times over, then shuffled.
    for (int round = 0; round < 3; ++round)
        for (size_t k = 0; k < 4; ++k) EXPECT_EQ(cache.find(1, SF_VMAP_WGHT, names[k]), remembered[k]);
    for (size_t k : {3u, 0u, 2u, 2u, 1u, 3u}) EXPECT_EQ(cache.find(1, SF_VMAP_WGHT, names[k]), remembered[k]);
}

TEST_F(WriteCache, SameAddressWithAnotherLayerTypeOrTextMisses) {
    char buffer[16] = "smile12";
    VertexMap &smile12 = map(buffer, 3, SF_VMAP_MORF);
    cache.remember(0, SF_VMAP_MORF, buffer, &smile12);
    EXPECT_EQ(cache.find(0, SF_VMAP_MORF, buffer), &smile12);
    EXPECT_EQ(cache.find(1, SF_VMAP_MORF, buffer), nullptr);
    EXPECT_EQ(cache.find(0, SF_VMAP_WGHT, buffer), nullptr);
    for (const char *other : {"smile1", "smile123", "smile13", "Smile12"}) {
        std::strcpy(buffer, other);
        EXPECT_EQ(cache.find(0, SF_VMAP_MORF, buffer), nullptr) << other;
    }
    std::strcpy(buffer, "smile12");
    EXPECT_EQ(cache.find(0, SF_VMAP_MORF, buffer), &smile12);
    // The same text at another address is a miss too: the cache is keyed
    // by address, and the session then looks the map up by name.
    const char copy[] = "smile12";
    EXPECT_EQ(cache.find(0, SF_VMAP_MORF, copy), nullptr);
}

TEST_F(WriteCache, ClearForgetsEverySlotAndTheOldestGoesFirst) {
    char names[10][8];
    std::vector<VertexMap *> remembered;
    for (int k = 0; k < 10; ++k) {
        std::snprintf(names[k], sizeof names[k], "m%d", k);
        remembered.push_back(&map(names[k]));
        cache.remember(0, SF_VMAP_WGHT, names[k], remembered.back());
    }
    // Eight slots: the first two were replaced.
    EXPECT_EQ(cache.find(0, SF_VMAP_WGHT, names[0]), nullptr);
    EXPECT_EQ(cache.find(0, SF_VMAP_WGHT, names[1]), nullptr);
    for (int k = 2; k < 10; ++k) EXPECT_EQ(cache.find(0, SF_VMAP_WGHT, names[k]), remembered[k]);
    cache.clear();
    for (int k = 0; k < 10; ++k) EXPECT_EQ(cache.find(0, SF_VMAP_WGHT, names[k]), nullptr);
}

TEST(SelectionCache, BuildsOncePerNameAndKeepsTheSelectionInUse) {
    Scene scene;
    Layer &fg = scene.add_layer("fg");
    Layer &bg = scene.add_layer("bg");
    const VertexMap &uv_bg = bg.add_vmap(SF_VMAP_TXUV, "uv", 2);
    const VertexMap &uv_fg = fg.add_vmap(SF_VMAP_TXUV, "uv", 2);
    VmapSelectionCache cache;
    const char *uv = "uv";
    EXPECT_EQ(cache.find(SF_VMAP_TXUV, uv), nullptr);
    const VmapSelection *selection = cache.build(scene, SF_VMAP_TXUV, uv, nullptr);
    EXPECT_EQ(selection->first, &uv_fg);
    EXPECT_EQ(selection->map(1), &uv_bg);
    EXPECT_EQ(cache.find(SF_VMAP_TXUV, uv), selection);
    EXPECT_EQ(cache.find(SF_VMAP_WGHT, uv), nullptr);

    // Filling every other slot never evicts the selection named as in use.
    char names[12][8];
    for (int k = 0; k < 12; ++k) {
        std::snprintf(names[k], sizeof names[k], "w%d", k);
        EXPECT_NE(cache.build(scene, SF_VMAP_WGHT, names[k], selection), selection);
    }
    EXPECT_EQ(selection->name, "uv");
    EXPECT_EQ(selection->first, &uv_fg);

    cache.invalidate();
    EXPECT_EQ(cache.find(SF_VMAP_WGHT, names[11]), nullptr);
}

}  // namespace
}  // namespace sowfield::host
