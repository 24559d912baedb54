// One fuzz input for a whole run of the plug-in, in this process: a scene and
// the user's answers to the panel decoded from bytes, the command run by a
// strict stand-in host, and the result checked.
//
// The scene: up to four layers, each foreground, background or neither, at a
// scale from 1e-300 to 1e300; points on a coarse grid (so duplicates and
// collinear corners are common) or of any value, NaN and infinities
// included; polygons of 0 to 12 corners, of "FACE" and other types, selected
// or not; weight, UV, morph, subdivision-weight and spot maps in which any
// point may lack a value. The answers: every setting, or some, through the
// host's basic panel (raw stored values: negative and huge counts, zero and
// negative iterations, inverted angle and slope bounds, huge jitter, any
// pop-up index) or through the scripted panel service (display texts, typed
// as a user would, refused when malformed); Cancel; services withheld.
// Counts are bounded so one run stays fast: at most 40 clones, at most 300
// iterations, 33 points and 16 polygons a layer.
//
// After the run:
// - the host saw no contract violation and, when an edit session was begun,
//   end_edit was called exactly once;
// - no exception reached the driver's last guard (no "internal error" or
//   "out of memory" message);
// - a run that showed an error, was cancelled or ended its session with a
//   non-zero code left the scene as it was;
// - nothing that existed before the run changed: positions, polygons and
//   vertex-map values of every layer;
// - every point the run added has finite coordinates and every value it
//   wrote is finite.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sowfield::fuzz {

struct PluginRunChecks {
    // Whether a non-finite coordinate or value among what the run added is a
    // problem. Always on in the replay of kept inputs; the fuzzer can be told
    // to look past it (SOWFIELD_FUZZ_ALLOW_NONFINITE=1) so that other faults
    // stay reachable while that one is open.
    bool finite_output = true;
};

// What a run did, for tests that check an input does what it was made for.
struct PluginRunSummary {
    bool panel_posted = false;
    int64_t points_kept = 0;    // points the run left in the scene
    int64_t polygons_kept = 0;  // polygons the run left in the scene
    std::vector<std::string> errors;  // first line of each error message shown
};

// Problems found, each a sentence; empty when the run behaved.
std::vector<std::string> run_plugin_input(std::span<const uint8_t> bytes, const PluginRunChecks &checks,
                                          PluginRunSummary *summary = nullptr);
inline std::vector<std::string> run_plugin_input(std::span<const uint8_t> bytes) { return run_plugin_input(bytes, {}); }

// Bounds of the decoded input, for seeds and tests that build inputs.
inline constexpr int kMaxLayers = 4;
inline constexpr int kMaxPoints = 32;
inline constexpr int kMaxPolygons = 16;
inline constexpr int kMaxCorners = 12;
inline constexpr int kMaxMaps = 5;
inline constexpr int kMaxClones = 40;
inline constexpr int kMaxIterations = 300;

}  // namespace sowfield::fuzz
