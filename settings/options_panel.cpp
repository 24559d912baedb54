#include "settings/options_panel.h"

#include "plugin/host_services.h"
#include "sowfield_version.h"

namespace sowfield {

namespace {

// Control ids. 0x801c, 0x801d and 0x801e name the two groups and the tab set.
enum : uint32_t {
    kAbout = 0x8001,
    kNumberOfClones = 0x8002,
    kSizeVariations = 0x8003,
    kSizeY = 0x8004,
    kSizeZ = 0x8005,
    kIndependentSizes = 0x8006,
    kSizeByPolyArea = 0x8007,
    kHMin = 0x8008,
    kHMax = 0x8009,
    kPMin = 0x800a,
    kPMax = 0x800b,
    kDependencePower = 0x800c,
    kBMin = 0x800d,
    kBMax = 0x800e,
    kDistribution = 0x800f,
    kIterations = 0x8010,
    kDensityWeightmap = 0x8011,
    kRandomSeed = 0x8012,
    kJitter = 0x8013,
    kMinSlope = 0x8014,
    kMaxSlope = 0x8015,
    kSlopeLimits = 0x8016,
    kSizeWeightmap = 0x8017,
    kSizeWeightmapInfluence = 0x8018,
    kResetValues = 0x8019,
    kZeroAngles = 0x801a,
    kAutoMorphMaps = 0x801b,
    kBasicGroup = 0x801c,
    kAdvancedGroup = 0x801d,
    kTabs = 0x801e,
    kHAlign = 0x801f,
    kPAlign = 0x8020,
    kPAngleWeightmap = 0x8021,
    kPAngleAbsolute = 0x8022,
};

const char kTitle[] = "Sowfield 1.6";

// Which field of the record each value control edits.
struct IntegerField {
    uint32_t id;
    int32_t params_typ::*field;
};
struct DoubleField {
    uint32_t id;
    double params_typ::*field;
};

constexpr IntegerField kIntegerFields[] = {
    {kNumberOfClones, &params_typ::clone_count},
    {kIndependentSizes, &params_typ::independent_sizes},
    {kSizeWeightmap, &params_typ::size_weightmap},
    {kSizeByPolyArea, &params_typ::size_by_poly_area},
    {kDensityWeightmap, &params_typ::density_weightmap},
    {kHAlign, &params_typ::h_align_normals},
    {kPAlign, &params_typ::p_align_normals},
    {kSlopeLimits, &params_typ::slope_limits},
    {kIterations, &params_typ::iterations},
    {kRandomSeed, &params_typ::random_seed},
    {kAutoMorphMaps, &params_typ::auto_morph_maps},
    {kPAngleWeightmap, &params_typ::p_angle_weightmap},
    {kPAngleAbsolute, &params_typ::p_angle_absolute},
};

constexpr DoubleField kDoubleFields[] = {
    {kSizeVariations, &params_typ::size_variation_x},
    {kSizeY, &params_typ::size_variation_y},
    {kSizeZ, &params_typ::size_variation_z},
    {kSizeWeightmapInfluence, &params_typ::size_weightmap_influence},
    {kDependencePower, &params_typ::dependence_power},
    {kHMin, &params_typ::h_min},
    {kHMax, &params_typ::h_max},
    {kPMin, &params_typ::p_min},
    {kPMax, &params_typ::p_max},
    {kBMin, &params_typ::b_min},
    {kBMax, &params_typ::b_max},
    {kJitter, &params_typ::jitter},
    {kMinSlope, &params_typ::min_slope_angle},
    {kMaxSlope, &params_typ::max_slope_angle},
    {kDistribution, &params_typ::distribution},
};

static_assert(std::size(kIntegerFields) + std::size(kDoubleFields) == 28, "the panel edits all 28 settings");

sf_hint_word word(uint32_t value) { return static_cast<sf_hint_word>(value); }
sf_hint_word word(const void *pointer) { return reinterpret_cast<sf_hint_word>(pointer); }
sf_hint_word word(sf_panel_button_fn action) { return reinterpret_cast<sf_hint_word>(action); }

void add_label(std::vector<sf_hint_word> &hints, uint32_t id, const char *text) {
    // One word at a time: GCC 12's optimiser reports a false overflow for an
    // initializer-list insert here.
    for (const sf_hint_word w : {word(SF_HINT_LABEL), word(id), word(text), sf_hint_word{0}}) hints.push_back(w);
}

void add_list(std::vector<sf_hint_word> &hints, uint32_t code, uint32_t id, std::initializer_list<uint32_t> members) {
    hints.push_back(word(code));
    hints.push_back(word(id));
    for (uint32_t member : members) hints.push_back(word(member));
    hints.push_back(0);
}

void add_enable_rule(std::vector<sf_hint_word> &hints, uint32_t controlling, const char *message,
                     std::initializer_list<uint32_t> governed) {
    hints.insert(hints.end(), {word(SF_HINT_ENABLE_RULE), word(controlling), word(message), 0, 0});
    for (uint32_t id : governed) hints.push_back(word(id));
    hints.push_back(0);
}

void set_double(uint32_t id, double value) {
    panel_service->panel_set(options_panel, id, &value);
}

}  // namespace

sf_panel *options_panel = nullptr;

#define SF_CONTROL_ROWS(VALUE_INT, VALUE_FLOAT)                                  \
    {kAbout, "About", "vButton"},                                                \
    {kNumberOfClones, "Number of Clones", VALUE_INT("integer")},                 \
    {kIndependentSizes, "Independent Sizes", VALUE_INT("iBoolean")},             \
    {kSizeVariations, "Size Variations", VALUE_FLOAT("percent")},                \
    {kSizeY, "Y", VALUE_FLOAT("percent")},                                       \
    {kSizeZ, "Z", VALUE_FLOAT("percent")},                                       \
    {kSizeWeightmap, "Size WeightMap", VALUE_INT("iPopChoice")},                 \
    {kSizeWeightmapInfluence, "Size WeightMap Influence", VALUE_FLOAT("percent")}, \
    {kSizeByPolyArea, "Size depends on Poly Area", VALUE_INT("iBoolean")},       \
    {kDependencePower, "Dependence Power", VALUE_FLOAT("percent")},              \
    {kDensityWeightmap, "Density WeightMap", VALUE_INT("iPopChoice")},           \
    {kHMin, "Random rotation H Min", VALUE_FLOAT("angle")},                      \
    {kHMax, "H Max", VALUE_FLOAT("angle")},                                      \
    {kPMin, "P Min", VALUE_FLOAT("angle")},                                      \
    {kPMax, "P Max", VALUE_FLOAT("angle")},                                      \
    {kBMin, "B Min", VALUE_FLOAT("angle")},                                      \
    {kBMax, "B Max", VALUE_FLOAT("angle")},                                      \
    {kZeroAngles, "Zero Angles", "vButton"},                                     \
    {kHAlign, "H Align with normals", VALUE_INT("iBoolean")},                    \
    {kPAlign, "P Align with normals", VALUE_INT("iBoolean")},                    \
    {kJitter, "Jitter Cloned points", VALUE_FLOAT("float")},                     \
    {kSlopeLimits, "Slope Angle Limits", VALUE_INT("iBoolean")},                 \
    {kMinSlope, "Min Slope Angle", VALUE_FLOAT("angle")},                        \
    {kMaxSlope, "Max Slope Angle", VALUE_FLOAT("angle")},                        \
    {kDistribution, "Distribution", VALUE_FLOAT("percent")},                     \
    {kIterations, "Iterations", VALUE_INT("integer")},                           \
    {kRandomSeed, "Random Seed", VALUE_INT("integer")},                          \
    {kAutoMorphMaps, "Auto morph maps", VALUE_INT("integer")},                   \
    {kResetValues, "Reset Values", "vButton"},                                   \
    {kPAngleWeightmap, "P angle weightmap", VALUE_INT("iPopChoice")},            \
    {kPAngleAbsolute, "Absolute", VALUE_INT("iBoolean")},                        \
    {0, nullptr, nullptr}

#define SF_CONTROL_KIND(kind) kind
#define SF_DATA_INTEGER(kind) "integer"
#define SF_DATA_FLOAT(kind) "float"

const sf_panel_control panel_controls[kPanelControlCount + 1] = {SF_CONTROL_ROWS(SF_CONTROL_KIND, SF_CONTROL_KIND)};
const sf_panel_control panel_data[kPanelControlCount + 1] = {SF_CONTROL_ROWS(SF_DATA_INTEGER, SF_DATA_FLOAT)};

#undef SF_CONTROL_ROWS
#undef SF_CONTROL_KIND
#undef SF_DATA_INTEGER
#undef SF_DATA_FLOAT

std::vector<sf_hint_word> panel_hints(const char *const *weightmap_choices) {
    std::vector<sf_hint_word> hints;
    add_label(hints, 0, kTitle);
    add_list(hints, SF_HINT_GROUP, kBasicGroup,
             {kNumberOfClones, kIndependentSizes, kSizeVariations, kSizeY, kSizeZ, kSizeWeightmap,
              kSizeWeightmapInfluence, kDensityWeightmap, kHMin, kHMax, kPMin, kPMax, kBMin, kBMax, kZeroAngles,
              kHAlign, kPAlign, kRandomSeed});
    add_label(hints, kBasicGroup, "Basic");
    add_list(hints, SF_HINT_GROUP, kAdvancedGroup,
             {kSizeByPolyArea, kDependencePower, kJitter, kSlopeLimits, kMinSlope, kMaxSlope, kPAngleWeightmap,
              kPAngleAbsolute, kDistribution, kIterations, kAutoMorphMaps});
    add_label(hints, kAdvancedGroup, "Advanced");
    add_list(hints, SF_HINT_TAB_SET, kTabs, {kBasicGroup, kAdvancedGroup});
    for (uint32_t after : {kDependencePower, kDensityWeightmap, kZeroAngles, kPAlign, kJitter, kMaxSlope, kIterations,
                           kPAngleAbsolute})
        hints.insert(hints.end(), {word(SF_HINT_DIVIDER), word(after), 0});
    for (uint32_t popup : {kDensityWeightmap, kSizeWeightmap, kPAngleWeightmap})
        hints.insert(hints.end(), {word(SF_HINT_STRING_LIST), word(popup), word(weightmap_choices), 0});
    hints.insert(hints.end(), {word(SF_HINT_BUTTON_ACTION), word(kResetValues), word(&reset_values)});
    hints.insert(hints.end(), {word(SF_HINT_BUTTON_ACTION), word(kZeroAngles), word(&zero_angles)});
    hints.insert(hints.end(), {word(SF_HINT_BUTTON_ACTION), word(kAbout), word(&show_about)});
    add_enable_rule(hints, kPAlign, "P Align should be enabled.", {kPAngleWeightmap});
    add_enable_rule(hints, kSlopeLimits, "Slope Angle is Disabled", {kMaxSlope, kMinSlope});
    add_enable_rule(hints, kIndependentSizes, "Size axes are linked", {kSizeY, kSizeZ});
    add_enable_rule(hints, kSizeWeightmap, "Choose any weightmap first", {kSizeWeightmapInfluence});
    add_enable_rule(hints, kSizeByPolyArea, "Control is disabled. Select 'Size Depends on Poly Area' first",
                    {kDependencePower});
    hints.push_back(0);
    return hints;
}

int32_t show_options_panel(const params_typ &settings, const char *const *weightmap_choices) {
    if (panel_service == nullptr) {
        report_error("Sowfield needs the host's panel service to ask for its settings.", nullptr);
        return 0;
    }
    options_panel = panel_service->panel_create(SF_PANEL_FORM, panel_controls);
    if (options_panel == nullptr) return 0;
    panel_service->panel_describe(options_panel, panel_data, nullptr, nullptr);
    // The hint list must stay valid until the panel is destroyed, which the
    // driver does after this returns: keep it for the life of the library.
    static std::vector<sf_hint_word> hints;
    hints = panel_hints(weightmap_choices);
    panel_service->panel_hint(options_panel, 0, hints.data());
    params_to_panel(settings);
    return panel_service->panel_post(options_panel);
}

void params_to_panel(const params_typ &settings) {
    for (const IntegerField &f : kIntegerFields) {
        const int32_t value = settings.*f.field;
        panel_service->panel_set(options_panel, f.id, &value);
    }
    for (const DoubleField &f : kDoubleFields) set_double(f.id, settings.*f.field);
}

void params_from_panel(params_typ &settings) {
    // A control the host cannot read keeps the record's previous value.
    for (const IntegerField &f : kIntegerFields)
        if (const void *value = panel_service->panel_get(options_panel, f.id))
            settings.*f.field = *static_cast<const int32_t *>(value);
    for (const DoubleField &f : kDoubleFields)
        if (const void *value = panel_service->panel_get(options_panel, f.id))
            settings.*f.field = *static_cast<const double *>(value);
}

void reset_values(sf_panel * /*panel*/, uint32_t /*control_id*/) {
    const params_typ defaults;
    params_to_panel(defaults);
}

void zero_angles(sf_panel * /*panel*/, uint32_t /*control_id*/) {
    for (uint32_t id : {kHMin, kHMax, kPMax, kPMin, kBMax, kBMin}) set_double(id, 0.0);
}

void show_about(sf_panel * /*panel*/, uint32_t /*control_id*/) {
    if (message_service == nullptr) return;
    message_service->show_info("Sowfield " SOWFIELD_VERSION " - scatters copies of the background over the selected polygons.",
                               "The Sowfield project: plug-in, stand-in host and the sowfield tool.");
}

}  // namespace sowfield
