#include "fuzz/entries/plugin_run_input.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

#include "fuzz/entries/byte_reader.h"
#include "fuzz/entries/scene_checks.h"
#include "host/loader/plugin_run.h"
#include "host/panel/raw_values_face.h"
#include "host/panel/scripted_face.h"
#include "numeric/random.h"
#include "plugin/activate.h"
#include "settings/options_panel.h"
#include "settings/params.h"

// Format of an input, in order (every read past the end gives 0):
//   u32   seed of the plug-in's shared generator, so that a run repeats
//   u8    mode: bits 0-1 panel (0 raw values, 1 raw values cancelled,
//         2 scripted panel, 3 scripted panel cancelled); bit 2 no message
//         service; bit 3 no monitor service; bit 4 no scene-objects service;
//         bit 5 no panel service; bits 6-7 both set: begin_edit refused
//   u8    layer count (mod kMaxLayers + 1), then per layer:
//         u8 role (bit 0 foreground, else bit 1 background; bits 2-4 scale)
//         u8 point count (mod kMaxPoints + 1), three coordinates per point
//         u8 polygon count (mod kMaxPolygons + 1); per polygon u8 type,
//            u8 flags, u8 corners (mod kMaxCorners + 1), u8 per corner
//         u8 map count (mod kMaxMaps + 1); per map u8 type (bits 0-2) and
//            name (bits 3-7), then
//            per point u8 presence (values follow unless its low 2 bits are 0)
//   then the panel's answers, read when the panel is posted (see below).
namespace sowfield::fuzz {

namespace {

using host::Layer;
using host::PanelValue;
using host::Scene;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kInfF = std::numeric_limits<float>::infinity();
constexpr float kNaNF = std::numeric_limits<float>::quiet_NaN();

// ---------------------------------------------------------------- the scene

constexpr double kScales[] = {1.0, 1.0, 1e-6, 1e6, 1e-150, 1e150, 1e-300, 1e300};

constexpr double kOddCoordinates[] = {
    0.0,  -0.0, kNaN,  kInf,   -kInf, DBL_MAX, -DBL_MAX, 1e300, 1e-300, 4.9e-324, 1e154, -1e154,
    3e38, 1e-9, 1e-15, 1e15, 0.1,  1.0000000000000002,
};

// A grid value (common, so points coincide and line up), an odd value, or
// any double at all.
double coordinate(ByteReader &in, double scale) {
    const uint8_t kind = in.u8();
    if (kind < 0xc0) return (kind % 17 - 8) * 0.5 * scale;
    if (kind < 0xf0) return kOddCoordinates[kind % std::size(kOddCoordinates)];
    return in.f64();
}

constexpr float kOddValues[] = {0.0f, -0.0f, kNaNF, kInfF, -kInfF, FLT_MAX, -FLT_MAX, 1e-45f, 1e30f, -1e30f, 1e-30f};

float map_value(ByteReader &in) {
    const uint8_t kind = in.u8();
    if (kind < 0xc0) return static_cast<float>(kind % 21 - 10) / 10.0f;
    if (kind < 0xf0) return kOddValues[kind % std::size(kOddValues)];
    return in.f32();
}

struct MapKind {
    uint32_t type;
    int dimension;
};
constexpr MapKind kMapKinds[] = {
    {SF_VMAP_WGHT, 1}, {SF_VMAP_TXUV, 2}, {SF_VMAP_MORF, 3}, {SF_VMAP_MNVW, 1}, {SF_VMAP_SPOT, 3},
};
// Shared names across types, the clones' own map and an empty name.
constexpr const char *kMapNames[] = {"w", "uv", "smile", "SF_index", "smile1", ""};

constexpr uint32_t kOtherTypes[] = {SF_ID4('P', 'T', 'C', 'H'), SF_ID4('C', 'U', 'R', 'V'), SF_ID4('B', 'O', 'N', 'E')};

uint32_t polygon_type(ByteReader &in) {
    const uint8_t kind = in.u8();
    if (kind < 0xa0) return SF_POLY_FACE;
    if (kind < 0xf0) return kOtherTypes[kind % std::size(kOtherTypes)];
    return in.u32();
}

void decode_layer(ByteReader &in, Scene &scene, size_t index) {
    Layer &layer = scene.layer(index);
    const uint8_t role = in.u8();
    if (role & 1)
        scene.foreground.push_back(index);
    else if (role & 2)
        scene.background.push_back(index);
    const double scale = kScales[(role >> 2) % std::size(kScales)];

    const int points = in.u8() % (kMaxPoints + 1);
    for (int i = 0; i < points; ++i) {
        const double x = coordinate(in, scale);
        const double y = coordinate(in, scale);
        const double z = coordinate(in, scale);
        layer.add_point({x, y, z});
    }

    const int polygons = in.u8() % (kMaxPolygons + 1);
    for (int i = 0; i < polygons; ++i) {
        const uint32_t type = polygon_type(in);
        const uint32_t flags = in.u8();
        const int corners = points == 0 ? 0 : in.u8() % (kMaxCorners + 1);
        std::vector<uint32_t> indices;
        for (int c = 0; c < corners; ++c) indices.push_back(static_cast<uint32_t>(in.u8() % points));
        layer.add_polygon(type, indices, 0, flags);
    }

    const int maps = in.u8() % (kMaxMaps + 1);
    for (int i = 0; i < maps; ++i) {
        const uint8_t which = in.u8();
        const MapKind &kind = kMapKinds[(which & 7) % std::size(kMapKinds)];
        host::VertexMap &map = layer.add_vmap(kind.type, kMapNames[(which >> 3) % std::size(kMapNames)], kind.dimension);
        for (uint32_t p = 0; p < layer.point_count(); ++p) {
            if ((in.u8() & 3) == 0) continue;  // this point has no value
            float values[4] = {};
            for (int d = 0; d < kind.dimension; ++d) values[d] = map_value(in);
            map.set_value(p, values);
        }
    }
}

// ------------------------------------------------------------- the answers

constexpr int32_t kOddIntegers[] = {
    0, 1, 2, -1, 3, 4, 5, 7, 100, 65536, INT32_MAX, INT32_MIN, INT32_MIN + 1, INT32_MAX - 1,
};

constexpr double kOddSettings[] = {
    0.0,     -0.0,   1.0,   -1.0,   0.5,     -0.5,     0.25,    2.0,     10.0,     100.0,   3.1415,   -3.1415,
    6.283,   1e-300, 4.9e-324, 1e-9, 1e9,    1e150,    -1e150,  1e300,   -1e300,   DBL_MAX, -DBL_MAX, 1.5707963267949,
};

// The counts that set the length of a run are bounded; INT32_MIN stays
// reachable, since a negative count costs nothing.
int32_t clone_count(ByteReader &in) {
    const int8_t raw = in.i8();
    return raw == INT8_MIN ? INT32_MIN : raw % (kMaxClones + 1);
}

int32_t iterations(ByteReader &in) {
    const auto raw = static_cast<int16_t>(in.u16());
    return raw == INT16_MIN ? INT32_MIN : raw % (kMaxIterations + 1);
}

int32_t any_integer(ByteReader &in, uint8_t how) {
    if (how < 0x60) return kOddIntegers[how % std::size(kOddIntegers)];
    return static_cast<int32_t>(in.u32());
}

// Settings are finite: the panel accepts no text for an infinity or NaN, and
// a panel widget holds none.
double any_double(ByteReader &in, uint8_t how) {
    if (how < 0x60) return kOddSettings[how % std::size(kOddSettings)];
    const double raw = in.f64();
    if (std::isnan(raw)) return 0.0;
    if (std::isinf(raw)) return raw > 0 ? DBL_MAX : -DBL_MAX;
    return raw;
}

// Raw values, bypassing display texts and enable rules: one byte per value
// control says keep (low bit set) or how to choose the new value.
bool answer_raw(ByteReader &in, host::RawPanel &panel, bool accept) {
    for (const host::ControlSnapshot &control : panel.snapshot().controls) {
        if (control.is_button) continue;
        const uint8_t how = in.u8();
        if (how & 1) continue;
        if (control.value.holds_integer) {
            int32_t value = 0;
            if (control.label == "Number of Clones")
                value = clone_count(in);
            else if (control.label == "Iterations")
                value = iterations(in);
            else
                value = any_integer(in, how >> 1);
            panel.set_value(control.label, PanelValue(value));
        } else {
            panel.set_value(control.label, PanelValue(any_double(in, how >> 1)));
        }
    }
    return accept;
}

constexpr const char *kOddTexts[] = {
    "0",    "-1",  "1",     "-0",  "1e308", "-1e308", "nan", "inf",   "-2147483648", "2147483648", "99999999999",
    "on",   "off", "yes",   "none", "3",    "180",   "-45.5", "25%",  "1e-320",      "",           " 5",
    "0x10", "+7",  "12abc", "Height", "w",  "smile", "360",   "-720", "50%%",
};
constexpr const char *kCountTexts[] = {"0", "-1", "1", "2", "40", "-2147483648", "7", "abc", "1e3", "300", "-300"};

const char *label_of(int index) { return panel_controls[index].label; }
bool is_button(int index) { return std::strcmp(panel_controls[index].kind, "vButton") == 0; }

// Display texts through the scripted panel service: set or press controls
// chosen by the next bytes, then OK or Cancel.
host::PanelScript script_answers(ByteReader &in, bool cancel) {
    host::PanelScript script;
    script.cancel = cancel;
    const int answers = in.u8() % 7;
    for (int i = 0; i < answers; ++i) {
        const uint8_t which = in.u8();
        if (which >= 0xf8) {
            script.answers.push_back(host::PanelAnswer::set("No such control", "1"));
            continue;
        }
        const int index = which % kPanelControlCount;
        const std::string label = label_of(index);
        if (is_button(index)) {
            script.answers.push_back(host::PanelAnswer::press(label));
        } else if (label == "Number of Clones" || label == "Iterations") {
            script.answers.push_back(host::PanelAnswer::set(label, in.pick(kCountTexts)));
        } else {
            const uint8_t how = in.u8();
            std::string value = how & 1 ? std::string(kOddTexts[(how >> 1) % std::size(kOddTexts)]) : in.text(12);
            script.answers.push_back(host::PanelAnswer::set(label, std::move(value)));
        }
    }
    return script;
}

}  // namespace

std::vector<std::string> run_plugin_input(std::span<const uint8_t> bytes, const PluginRunChecks &checks,
                                          PluginRunSummary *summary) {
    ByteReader in(bytes);
    const uint32_t seed = in.u32();
    const uint8_t mode = in.u8();
    const int panel_mode = mode & 3;
    const bool scripted = panel_mode >= 2;
    const bool cancel = panel_mode == 1 || panel_mode == 3;

    Scene scene;
    const int layers = in.u8() % (kMaxLayers + 1);
    for (int l = 0; l < layers; ++l) scene.add_layer("layer " + std::to_string(l));
    for (int l = 0; l < layers; ++l) decode_layer(in, scene, static_cast<size_t>(l));
    const SceneMark before = mark_scene(scene);

    // The plug-in's library-lifetime state, as a fresh load would have it
    // (except the generator's seed, taken from the input so a run repeats).
    params = params_typ();
    generator.reseed(static_cast<int32_t>(seed));

    std::ostringstream shown;
    host::PluginRunOptions options{.host = {.strict = true, .info_out = &shown, .error_out = &shown}};
    if (mode & 0x04) options.hidden_services.push_back(SF_MESSAGE_SERVICE_NAME);
    if (mode & 0x08) options.hidden_services.push_back(SF_MONITOR_SERVICE_NAME);
    if (mode & 0x10) options.hidden_services.push_back(SF_SCENE_OBJECTS_SERVICE_NAME);
    if (mode & 0x20) options.hidden_services.push_back(SF_PANEL_SERVICE_NAME);
    options.refuse_edit = (mode & 0xc0) == 0xc0;

    std::optional<host::ScriptedFace> scripted_face;
    std::optional<host::RawValuesFace> raw_face;
    if (scripted)
        options.face = &scripted_face.emplace(script_answers(in, cancel));
    else
        options.face = &raw_face.emplace([&in, cancel](host::RawPanel &panel) { return answer_raw(in, panel, !cancel); });

    const sf_server_record server{SF_MESH_EDIT_CLASS, "Sowfield", &activate, nullptr};
    const host::PluginRun run = host::run_plugin(server, scene, options);

    std::vector<std::string> problems;
    for (const std::string &violation : run.violations) problems.push_back("contract violation: " + violation);
    if (options.refuse_edit) {
        if (run.result != SF_AFUNC_BADAPP) problems.push_back("a refused edit session did not give SF_AFUNC_BADAPP");
        if (!run.end_codes.empty()) problems.push_back("end_edit was called without an edit session");
    } else {
        if (run.result != SF_AFUNC_OK) problems.push_back("activate gave " + std::to_string(run.result));
        if (run.end_codes.size() != 1)
            problems.push_back("end_edit was called " + std::to_string(run.end_codes.size()) + " times");
    }

    bool stopped = cancel;
    for (const host::Message &message : run.messages) {
        if (message.kind != host::Message::Kind::error) continue;
        stopped = true;
        if (message.line1.find("internal error") != std::string::npos ||
            message.line1.find("out of memory") != std::string::npos)
            problems.push_back("the driver's last guard caught: " + message.line1 + " " + message.line2.value_or(""));
    }
    if (!run.end_codes.empty() && run.end_codes.front() != 0) stopped = true;
    if (run.panel && !run.panel->accepted) stopped = true;
    if (mode & 0x20) stopped = true;  // no panel, no settings: nothing to do
    if (stopped && grew_since(scene, before)) problems.push_back("a run that stopped left geometry or maps behind");

    if (summary != nullptr) {
        summary->panel_posted = run.panel_posts > 0;
        for (size_t l = 0; l < scene.layer_count(); ++l) {
            summary->points_kept += scene.layer(l).point_count() - before.points[l];
            summary->polygons_kept += scene.layer(l).polygon_count() - before.polygons[l];
        }
        for (const host::Message &message : run.messages)
            if (message.kind == host::Message::Kind::error) summary->errors.push_back(message.line1);
    }
    if (!unchanged_since(scene, before)) problems.push_back("the run changed what existed before it");
    if (checks.finite_output)
        for (std::string &found : non_finite_additions(scene, before)) problems.push_back(std::move(found));
    return problems;
}

}  // namespace sowfield::fuzz
