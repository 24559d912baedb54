// Weight maps as the tool's user names them: the map a pop-up setting means,
// the message when there is none, and --weight-range's remapping.
#include "cli/weight_maps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/setting_names.h"
#include "sowfield_host.h"
#include "tests/support/scene_builders.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using sowfield::testing::set_weight;

// Two layers, the weight maps "Rock", "rock" and "height" between them.
struct MapScene {
    MapScene() {
        host::Layer &ground = scene.add_layer("ground");
        for (int i = 0; i < 4; ++i) ground.add_point({static_cast<double>(i), 0, 0});
        set_weight(ground, "Rock", 0, 0.0f);
        set_weight(ground, "Rock", 1, 0.25f);
        set_weight(ground, "Rock", 3, 0.1f);
        set_weight(ground, "height", 2, 1.0f);
        host::Layer &object = scene.add_layer("object");
        object.add_point({0, 0, 0});
        set_weight(object, "rock", 0, 1.0f);
        set_weight(object, "Rock", 0, 1.0f);
    }
    host::Scene scene;
};

std::string resolve(const host::Scene &scene, const std::string &value, std::string &error) {
    std::vector<host::PanelAnswer> answers = {host::PanelAnswer::set("Density WeightMap", value)};
    error = resolve_weight_map_answers(scene, answers);
    return answers[0].value;
}

TEST(WeightMaps, APopUpNamesAMapIgnoringCaseUnlessTheCaseDecides) {
    const MapScene maps;
    EXPECT_EQ(weight_map_names(maps.scene), (std::vector<std::string>{"Rock", "height", "rock"}));
    std::string error;
    EXPECT_EQ(resolve(maps.scene, "HEIGHT", error), "height");
    EXPECT_EQ(error, "");
    EXPECT_EQ(resolve(maps.scene, "rock", error), "rock") << "an exact match wins";
    EXPECT_EQ(resolve(maps.scene, "none", error), "none");
    EXPECT_EQ(resolve(maps.scene, "2", error), "2") << "entry numbers are the panel's to read";
    resolve(maps.scene, "ROCK", error);
    EXPECT_THAT(error, HasSubstr("\"Density WeightMap\": \"ROCK\" could be any of the weight maps \"Rock\" and "
                                 "\"rock\", which differ only in case"));
    resolve(maps.scene, "moss", error);
    EXPECT_EQ(error, "\"Density WeightMap\": the scene has no weight map \"moss\"; its weight maps are \"Rock\", "
                     "\"height\" and \"rock\"");
    const host::Scene bare;
    resolve(bare, "moss", error);
    EXPECT_THAT(error, HasSubstr("the scene has no weight maps"));
    EXPECT_THAT(error, HasSubstr("glTF vertex attribute of one float named \"_moss\""));
    EXPECT_THAT(error, HasSubstr("OBJ files cannot carry weights"));
}

TEST(WeightMaps, ARangeMapsZeroAndOneToItsEndsInEveryLayer) {
    MapScene maps;
    EXPECT_EQ(apply_weight_range(maps.scene, parse_weight_range("Rock=-1:0.5")), "");
    const host::VertexMap &ground = *maps.scene.layer(0).find_vmap(SF_VMAP_WGHT, "Rock");
    EXPECT_EQ(*ground.value(0), -1.0f);
    EXPECT_EQ(*ground.value(1), -0.625f);
    EXPECT_EQ(*ground.value(3), static_cast<float>(-1.0 + double{0.1f} * 1.5));
    EXPECT_EQ(ground.value(2), nullptr) << "a point without a value keeps none";
    EXPECT_EQ(*maps.scene.layer(1).find_vmap(SF_VMAP_WGHT, "Rock")->value(0), 0.5f);
    EXPECT_EQ(*maps.scene.layer(1).find_vmap(SF_VMAP_WGHT, "rock")->value(0), 1.0f) << "another map";

    EXPECT_THAT(apply_weight_range(maps.scene, parse_weight_range("moss=0:1")),
                HasSubstr("--weight-range: the scene has no weight map \"moss\""));
    for (const char *bad : {"Rock", "Rock=1", "Rock=a:1", "=0:1", "Rock=0:inf"})
        EXPECT_THROW(parse_weight_range(bad), SettingsError) << bad;
}

}  // namespace
}  // namespace sowfield::cli
