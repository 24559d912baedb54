// The options panel's tables and hint list, word for word, and the operations
// that move values between the panel and the parameter record, watched
// through a panel service that records every call.
#include "settings/options_panel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "plugin/host_services.h"

namespace sowfield {
namespace {

struct Row {
    uint32_t id;
    const char *label;
    const char *control_kind;
    const char *value_kind;
};

// The panel's 31 controls as the user documentation lists them.
const Row kRows[] = {
    {0x8001, "About", "vButton", "vButton"},
    {0x8002, "Number of Clones", "integer", "integer"},
    {0x8006, "Independent Sizes", "iBoolean", "integer"},
    {0x8003, "Size Variations", "percent", "float"},
    {0x8004, "Y", "percent", "float"},
    {0x8005, "Z", "percent", "float"},
    {0x8017, "Size WeightMap", "iPopChoice", "integer"},
    {0x8018, "Size WeightMap Influence", "percent", "float"},
    {0x8007, "Size depends on Poly Area", "iBoolean", "integer"},
    {0x800c, "Dependence Power", "percent", "float"},
    {0x8011, "Density WeightMap", "iPopChoice", "integer"},
    {0x8008, "Random rotation H Min", "angle", "float"},
    {0x8009, "H Max", "angle", "float"},
    {0x800a, "P Min", "angle", "float"},
    {0x800b, "P Max", "angle", "float"},
    {0x800d, "B Min", "angle", "float"},
    {0x800e, "B Max", "angle", "float"},
    {0x801a, "Zero Angles", "vButton", "vButton"},
    {0x801f, "H Align with normals", "iBoolean", "integer"},
    {0x8020, "P Align with normals", "iBoolean", "integer"},
    {0x8013, "Jitter Cloned points", "float", "float"},
    {0x8016, "Slope Angle Limits", "iBoolean", "integer"},
    {0x8014, "Min Slope Angle", "angle", "float"},
    {0x8015, "Max Slope Angle", "angle", "float"},
    {0x800f, "Distribution", "percent", "float"},
    {0x8010, "Iterations", "integer", "integer"},
    {0x8012, "Random Seed", "integer", "integer"},
    {0x801b, "Auto morph maps", "integer", "integer"},
    {0x8019, "Reset Values", "vButton", "vButton"},
    {0x8021, "P angle weightmap", "iPopChoice", "integer"},
    {0x8022, "Absolute", "iBoolean", "integer"},
};

TEST(OptionsPanel, TablesListTheControlsInPanelOrder) {
    static_assert(std::size(kRows) == kPanelControlCount);
    for (int i = 0; i < kPanelControlCount; ++i) {
        SCOPED_TRACE(kRows[i].label);
        EXPECT_EQ(panel_controls[i].id, kRows[i].id);
        EXPECT_STREQ(panel_controls[i].label, kRows[i].label);
        EXPECT_STREQ(panel_controls[i].kind, kRows[i].control_kind);
        EXPECT_EQ(panel_data[i].id, kRows[i].id);
        EXPECT_STREQ(panel_data[i].label, kRows[i].label);
        EXPECT_STREQ(panel_data[i].kind, kRows[i].value_kind);
    }
    for (const sf_panel_control *table : {panel_controls, panel_data}) {
        EXPECT_EQ(table[kPanelControlCount].id, 0u);
        EXPECT_EQ(table[kPanelControlCount].label, nullptr);
        EXPECT_EQ(table[kPanelControlCount].kind, nullptr);
    }
}

// The hint list word for word: codes and operand words as the panel service
// defines them, texts compared by content, the string list and the actions by
// address.
TEST(OptionsPanel, HintListLayoutWordForWord) {
    const char *const choices[] = {"none", "Weight", nullptr};
    const std::vector<sf_hint_word> hints = panel_hints(choices);

    const sf_hint_word kText = ~sf_hint_word{0};  // stands for a text; checked separately
    const sf_hint_word list = reinterpret_cast<sf_hint_word>(choices);
    const auto fn = [](sf_panel_button_fn f) { return reinterpret_cast<sf_hint_word>(f); };
    const std::vector<sf_hint_word> expected = {
        0x3d000b03, 0, kText, 0,
        0x3d01fe81, 0x801c, 0x8002, 0x8006, 0x8003, 0x8004, 0x8005, 0x8017, 0x8018, 0x8011, 0x8008, 0x8009,
        0x800a, 0x800b, 0x800d, 0x800e, 0x801a, 0x801f, 0x8020, 0x8012, 0,
        0x3d000b03, 0x801c, kText, 0,
        0x3d01fe81, 0x801d, 0x8007, 0x800c, 0x8013, 0x8016, 0x8014, 0x8015, 0x8021, 0x8022, 0x800f, 0x8010,
        0x801b, 0,
        0x3d000b03, 0x801d, kText, 0,
        0x3d020a81, 0x801e, 0x801c, 0x801d, 0,
        0x3d021481, 0x800c, 0,
        0x3d021481, 0x8011, 0,
        0x3d021481, 0x801a, 0,
        0x3d021481, 0x8020, 0,
        0x3d021481, 0x8013, 0,
        0x3d021481, 0x8015, 0,
        0x3d021481, 0x8010, 0,
        0x3d021481, 0x8022, 0,
        0x3d014503, 0x8011, list, 0,
        0x3d014503, 0x8017, list, 0,
        0x3d014503, 0x8021, list, 0,
        0x3d015f02, 0x8019, fn(&reset_values),
        0x3d015f02, 0x801a, fn(&zero_angles),
        0x3d015f02, 0x8001, fn(&show_about),
        0x3d01f984, 0x8020, kText, 0, 0, 0x8021, 0,
        0x3d01f984, 0x8016, kText, 0, 0, 0x8015, 0x8014, 0,
        0x3d01f984, 0x8006, kText, 0, 0, 0x8004, 0x8005, 0,
        0x3d01f984, 0x8017, kText, 0, 0, 0x8018, 0,
        0x3d01f984, 0x8007, kText, 0, 0, 0x800c, 0,
        0,
    };
    const std::vector<std::string> texts = {
        "Sowfield 1.6", "Basic", "Advanced", "P Align should be enabled.", "Slope Angle is Disabled",
        "Size axes are linked", "Choose any weightmap first",
        "Control is disabled. Select 'Size Depends on Poly Area' first",
    };
    ASSERT_EQ(hints.size(), expected.size());
    std::size_t text = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == kText) {
            ASSERT_LT(text, texts.size());
            EXPECT_STREQ(reinterpret_cast<const char *>(hints[i]), texts[text].c_str()) << "word " << i;
            ++text;
        } else {
            EXPECT_EQ(hints[i], expected[i]) << "word " << i;
        }
    }
    EXPECT_EQ(text, texts.size());
}

// --- a panel service that records what the plug-in asks of it -----------------

struct Recorder {
    struct Set {
        uint32_t id;
        bool is_int;
        int32_t i;
        double d;
    };
    bool refuse_create = false;
    std::vector<std::string> calls;
    std::vector<Set> sets;
    std::map<uint32_t, int32_t> ints;
    std::map<uint32_t, double> doubles;
    int32_t post_result = 1;
};
Recorder *recorder = nullptr;
int panel_token = 0;
sf_panel *const kPanel = reinterpret_cast<sf_panel *>(&panel_token);

bool holds_int(uint32_t id) {
    for (int i = 0; i < kPanelControlCount; ++i)
        if (panel_data[i].id == id) return std::strcmp(panel_data[i].kind, "integer") == 0;
    ADD_FAILURE() << "panel_set/get of unknown id " << id;
    return false;
}

const sf_panel_service kRecordingService = {
    [](int32_t kind, const sf_panel_control *controls) -> sf_panel * {
        recorder->calls.push_back("create " + std::to_string(kind) + (controls == panel_controls ? " controls" : ""));
        return recorder->refuse_create ? nullptr : kPanel;
    },
    [](sf_panel *) { recorder->calls.push_back("destroy"); },
    [](sf_panel *, const sf_panel_control *data, void *get, void *set) {
        recorder->calls.push_back(std::string("describe") + (data == panel_data ? " data" : "") +
                                  (get == nullptr && set == nullptr ? " no callbacks" : ""));
    },
    [](sf_panel *, uint32_t id, const sf_hint_word *) { recorder->calls.push_back("hint " + std::to_string(id)); },
    [](sf_panel *, uint32_t id) -> const void * {
        if (holds_int(id)) return &recorder->ints[id];
        return &recorder->doubles[id];
    },
    [](sf_panel *panel, uint32_t id, const void *value) {
        EXPECT_EQ(panel, kPanel);
        Recorder::Set set{id, holds_int(id), 0, 0.0};
        if (set.is_int) {
            std::memcpy(&set.i, value, sizeof set.i);
            recorder->ints[id] = set.i;
        } else {
            std::memcpy(&set.d, value, sizeof set.d);
            recorder->doubles[id] = set.d;
        }
        if (recorder->calls.empty() || recorder->calls.back() != "set") recorder->calls.push_back("set");
        recorder->sets.push_back(set);
    },
    [](sf_panel *) -> int32_t {
        recorder->calls.push_back("post");
        return recorder->post_result;
    },
};

class OptionsPanelOperations : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = &record;
        panel_service = &kRecordingService;
        options_panel = kPanel;
    }
    void TearDown() override {
        recorder = nullptr;
        panel_service = nullptr;
        options_panel = nullptr;
    }
    Recorder record;
};

// Every setting gets a value of its own, so a field copied to or from the
// wrong control shows.
params_typ distinct_settings() {
    params_typ p;
    p.p_angle_absolute = 101;
    p.auto_morph_maps = 102;
    p.dependence_power = 1.03;
    p.size_weightmap_influence = 1.04;
    p.size_weightmap = 105;
    p.max_slope_angle = 1.06;
    p.min_slope_angle = 1.07;
    p.slope_limits = 108;
    p.jitter = 1.09;
    p.distribution = 1.10;
    p.h_align_normals = 111;
    p.p_align_normals = 112;
    p.b_max = 1.13;
    p.b_min = 1.14;
    p.p_max = 1.15;
    p.p_min = 1.16;
    p.h_max = 1.17;
    p.h_min = 1.18;
    p.size_variation_x = 1.19;
    p.size_variation_y = 1.20;
    p.size_variation_z = 1.21;
    p.independent_sizes = 122;
    p.clone_count = 123;
    p.iterations = 124;
    p.size_by_poly_area = 125;
    p.random_seed = 126;
    p.density_weightmap = 127;
    p.p_angle_weightmap = 128;
    p.current_clone = 77;
    return p;
}

// Field of each control, from the panel's table of controls.
void expect_panel_holds(const Recorder &r, const params_typ &p) {
    const std::map<uint32_t, int32_t> ints = {
        {0x8002, p.clone_count},      {0x8006, p.independent_sizes}, {0x8017, p.size_weightmap},
        {0x8007, p.size_by_poly_area}, {0x8011, p.density_weightmap}, {0x801f, p.h_align_normals},
        {0x8020, p.p_align_normals},  {0x8016, p.slope_limits},      {0x8010, p.iterations},
        {0x8012, p.random_seed},      {0x801b, p.auto_morph_maps},   {0x8021, p.p_angle_weightmap},
        {0x8022, p.p_angle_absolute},
    };
    const std::map<uint32_t, double> doubles = {
        {0x8003, p.size_variation_x}, {0x8004, p.size_variation_y}, {0x8005, p.size_variation_z},
        {0x8018, p.size_weightmap_influence}, {0x800c, p.dependence_power}, {0x8008, p.h_min},
        {0x8009, p.h_max}, {0x800a, p.p_min}, {0x800b, p.p_max}, {0x800d, p.b_min}, {0x800e, p.b_max},
        {0x8013, p.jitter}, {0x8014, p.min_slope_angle}, {0x8015, p.max_slope_angle}, {0x800f, p.distribution},
    };
    EXPECT_EQ(r.ints, ints);
    EXPECT_EQ(r.doubles, doubles);
}

TEST_F(OptionsPanelOperations, ShowFillsThePanelFromTheRecordAndPosts) {
    options_panel = nullptr;
    const char *const choices[] = {"none", nullptr};
    const params_typ settings = distinct_settings();
    EXPECT_EQ(show_options_panel(settings, choices), 1);
    EXPECT_EQ(options_panel, kPanel);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"create 2 controls", "describe data no callbacks", "hint 0",
                                                      "set", "post"}));
    EXPECT_EQ(record.sets.size(), 28u);
    expect_panel_holds(record, settings);

    record.post_result = 0;
    EXPECT_EQ(show_options_panel(settings, choices), 0);
}

TEST_F(OptionsPanelOperations, NoPanelMeansCancelWithNothingElseAsked) {
    options_panel = nullptr;
    record.refuse_create = true;
    const char *const choices[] = {"none", nullptr};
    EXPECT_EQ(show_options_panel(params_typ{}, choices), 0);
    EXPECT_EQ(record.calls, std::vector<std::string>{"create 2 controls"});
    EXPECT_EQ(options_panel, nullptr);
}

TEST_F(OptionsPanelOperations, AcceptedValuesReachEveryFieldButTheCloneIndex) {
    params_to_panel(distinct_settings());
    params_typ read;
    read.current_clone = 5;
    params_from_panel(read);
    expect_panel_holds(record, read);
    EXPECT_EQ(read.current_clone, 5);
}

TEST_F(OptionsPanelOperations, ZeroAnglesSetsTheSixRotationBoundsInOrder) {
    zero_angles(nullptr, 0);
    ASSERT_EQ(record.sets.size(), 6u);
    const uint32_t order[] = {0x8008, 0x8009, 0x800b, 0x800a, 0x800e, 0x800d};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(record.sets[i].id, order[i]);
        EXPECT_FALSE(record.sets[i].is_int);
        EXPECT_EQ(record.sets[i].d, 0.0);
    }
}

}  // namespace
}  // namespace sowfield
