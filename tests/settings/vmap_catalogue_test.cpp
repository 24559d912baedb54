#include "settings/vmap_catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace sowfield {
namespace {

// The scene's vertex maps by type, as a scene-objects service reports them.
std::map<uint32_t, std::vector<std::string>> scene_maps;
std::map<uint32_t, int32_t> reported_count;  // overrides the true count when set
int name_calls = 0;

int32_t count_vmaps(uint32_t type) {
    if (const auto found = reported_count.find(type); found != reported_count.end()) return found->second;
    return static_cast<int32_t>(scene_maps[type].size());
}

const char *vmap_name(uint32_t type, int32_t index) {
    ++name_calls;
    const std::vector<std::string> &names = scene_maps[type];
    if (index < 0 || static_cast<size_t>(index) >= names.size()) return nullptr;
    return names[static_cast<size_t>(index)].c_str();
}

const sf_scene_objects_service kScene{count_vmaps, vmap_name};

class VmapCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        scene_maps.clear();
        reported_count.clear();
        name_calls = 0;
    }

    static std::vector<std::string> names_of(const vmap_name_node *list) {
        std::vector<std::string> names;
        for (; list != nullptr; list = list->next) names.emplace_back(list->name);
        return names;
    }

    // The pop-up texts before the ending null entry, which must be there.
    static std::vector<std::string> texts_of(const std::vector<const char *> &choices) {
        EXPECT_FALSE(choices.empty());
        EXPECT_EQ(choices.back(), nullptr);
        std::vector<std::string> texts;
        for (size_t i = 0; i + 1 < choices.size(); ++i) texts.emplace_back(choices[i]);
        return texts;
    }
};

using names = std::vector<std::string>;

TEST_F(VmapCatalogue, ChoicesOfferNoneThenTheWeightMapsInHostOrder) {
    scene_maps[SF_VMAP_WGHT] = {"C", "A", "B"};
    scene_maps[SF_VMAP_MORF] = {"smile"};
    vmap_catalogue catalogue(nullptr);
    const std::vector<const char *> choices = build_weightmap_choices(catalogue, &kScene);
    EXPECT_EQ(texts_of(choices), (names{"none", "C", "A", "B"}));
    // Position k of the list holds entry k of the pop-up.
    EXPECT_EQ(names_of(catalogue.weightmap_names), (names{"C", "A", "B"}));
    // The host is asked twice per map, for the list and for the pop-up.
    EXPECT_EQ(name_calls, 6);
}

TEST_F(VmapCatalogue, NoWeightMapOffersOnlyNone) {
    scene_maps[SF_VMAP_TXUV] = {"uv"};
    vmap_catalogue catalogue(nullptr);
    EXPECT_EQ(texts_of(build_weightmap_choices(catalogue, &kScene)), names{"none"});
    EXPECT_EQ(catalogue.weightmap_names, nullptr);

    reported_count[SF_VMAP_WGHT] = -3;
    EXPECT_EQ(texts_of(build_weightmap_choices(catalogue, &kScene)), names{"none"});
    EXPECT_EQ(catalogue.weightmap_names, nullptr);
    EXPECT_EQ(name_calls, 0);
}

TEST_F(VmapCatalogue, ANameTheHostCannotGiveKeepsLaterIndicesInPlace) {
    scene_maps[SF_VMAP_WGHT] = {"A", "B"};
    reported_count[SF_VMAP_WGHT] = 3;  // one more than it can name
    vmap_catalogue catalogue(nullptr);
    EXPECT_EQ(texts_of(build_weightmap_choices(catalogue, &kScene)), (names{"none", "A", "B", ""}));
    EXPECT_EQ(names_of(catalogue.weightmap_names), (names{"A", "B", ""}));
}

TEST_F(VmapCatalogue, ReleaseEmptiesTheNameListAndARebuildReflectsTheScene) {
    scene_maps[SF_VMAP_WGHT] = {"A"};
    vmap_catalogue catalogue(nullptr);
    build_weightmap_choices(catalogue, &kScene);
    catalogue.release();
    EXPECT_EQ(catalogue.weightmap_names, nullptr);
    catalogue.release();

    // A map added between two runs shows in the next one.
    scene_maps[SF_VMAP_WGHT] = {"A", "new"};
    vmap_catalogue next_run(nullptr);
    EXPECT_EQ(texts_of(build_weightmap_choices(next_run, &kScene)), (names{"none", "A", "new"}));
}

TEST_F(VmapCatalogue, ListVmapsNamesEveryMapOfOneTypeInHostOrder) {
    scene_maps[SF_VMAP_TXUV] = {"uv1", "uv0"};
    scene_maps[SF_VMAP_SPOT] = {"rest"};
    vmap_name_node *txuv = nullptr;
    vmap_name_node *morf = nullptr;
    vmap_name_node *spot = nullptr;
    list_vmaps(&kScene, SF_VMAP_TXUV, txuv);
    list_vmaps(&kScene, SF_VMAP_MORF, morf);
    list_vmaps(&kScene, SF_VMAP_SPOT, spot);
    EXPECT_EQ(names_of(txuv), (names{"uv1", "uv0"}));
    EXPECT_EQ(morf, nullptr);
    EXPECT_EQ(names_of(spot), names{"rest"});
    release_name_list(txuv);
    release_name_list(spot);
    EXPECT_EQ(txuv, nullptr);
    EXPECT_EQ(spot, nullptr);

    // Without the service there is nothing to list.
    list_vmaps(nullptr, SF_VMAP_TXUV, txuv);
    EXPECT_EQ(txuv, nullptr);
}

}  // namespace
}  // namespace sowfield
