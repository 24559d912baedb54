#include "host/services/scene_objects_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scene_builders.h"

namespace sowfield::host {
namespace {

using sowfield::testing::set_uv;
using sowfield::testing::set_weight;
using sowfield::testing::TwoLayerScene;

std::vector<std::string> names(SceneObjectsService &service, uint32_t type) {
    std::vector<std::string> list;
    const int32_t count = service.count_vmaps(type);
    for (int32_t i = 0; i < count; ++i) list.emplace_back(service.vmap_name(type, i));
    return list;
}

TEST(SceneObjectsService, ListsEachNameOnceInLayerThenCreationOrder) {
    TwoLayerScene world;
    world.fg.add_point({0, 0, 0});
    world.bg.add_point({0, 0, 0});
    set_weight(world.bg, "zeta", 0, 1);
    set_weight(world.bg, "alpha", 0, 1);
    set_weight(world.fg, "mid", 0, 1);
    set_weight(world.fg, "zeta", 0, 1);  // also in the background: listed once, where first met
    set_uv(world.fg, "alpha", 0, 0, 0);  // same name, other type
    SceneObjectsService service(world.scene);
    EXPECT_EQ(names(service, SF_VMAP_WGHT), (std::vector<std::string>{"mid", "zeta", "alpha"}));
    EXPECT_EQ(names(service, SF_VMAP_TXUV), (std::vector<std::string>{"alpha"}));
    EXPECT_EQ(service.count_vmaps(SF_VMAP_SPOT), 0);
    EXPECT_EQ(service.vmap_name(SF_VMAP_WGHT, 3), nullptr);
    EXPECT_EQ(service.vmap_name(SF_VMAP_WGHT, -1), nullptr);
}

TEST(SceneObjectsService, NamesHandedOutStayValidWhenTheListIsRebuilt) {
    TwoLayerScene world;
    world.fg.add_point({0, 0, 0});
    set_weight(world.fg, "first", 0, 1);
    SceneObjectsService service(world.scene);
    ASSERT_EQ(service.count_vmaps(SF_VMAP_WGHT), 1);
    const char *first = service.vmap_name(SF_VMAP_WGHT, 0);
    for (int i = 0; i < 100; ++i) set_weight(world.fg, "map" + std::to_string(i), 0, 1);
    EXPECT_EQ(service.count_vmaps(SF_VMAP_WGHT), 101);
    EXPECT_EQ(service.vmap_name(SF_VMAP_WGHT, 0), first);
    EXPECT_STREQ(first, "first");
    EXPECT_STREQ(service.vmap_name(SF_VMAP_WGHT, 100), "map99");
}

TEST(SceneObjectsService, NameWithoutCountBuildsTheList) {
    TwoLayerScene world;
    world.bg.add_point({0, 0, 0});
    set_weight(world.bg, "only", 0, 1);
    SceneObjectsService service(world.scene);
    EXPECT_STREQ(service.vmap_name(SF_VMAP_WGHT, 0), "only");
}

}  // namespace
}  // namespace sowfield::host
