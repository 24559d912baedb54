// Every input the fuzz targets keep, run again through the same entry
// functions in the ordinary build: the seed corpora (fuzz/corpus/<target>/)
// and the inputs that once found a fault (fuzz/regressions/<target>/). Each
// must run without a problem; the sanitizer build adds memory and undefined-
// behaviour checks. The seeds are also checked to reach what they were made
// for, so a change of the input format that silently turns them into noise
// shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/entries/hint_list_input.h"
#include "fuzz/entries/mesh_file_input.h"
#include "fuzz/entries/plugin_run_input.h"
#include "fuzz/entries/settings_input.h"

namespace sowfield::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = SOWFIELD_FUZZ_DIR;
const char *const kTargets[] = {"hint_list_fuzzer",  "plugin_run_fuzzer",  "settings_fuzzer",
                                 "obj_reader_fuzzer", "gltf_reader_fuzzer", "mtl_reader_fuzzer"};

struct KeptInput {
    std::string target;
    std::string shelf;  // "corpus" or "regressions"
    fs::path path;
};

void PrintTo(const KeptInput &input, std::ostream *out) { *out << input.path.string(); }

std::vector<KeptInput> kept_inputs() {
    std::vector<KeptInput> inputs;
    for (const char *shelf : {"corpus", "regressions"})
        for (const char *target : kTargets) {
            const fs::path folder = kFuzzDir / shelf / target;
            if (!fs::is_directory(folder)) continue;
            std::vector<fs::path> files;
            for (const fs::directory_entry &entry : fs::directory_iterator(folder))
                if (entry.is_regular_file()) files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path &file : files) inputs.push_back({target, shelf, file});
        }
    return inputs;
}

std::vector<uint8_t> read_bytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> run_input(const std::string &target, const std::vector<uint8_t> &bytes) {
    if (target == "hint_list_fuzzer") return run_hint_list_input(bytes);
    if (target == "settings_fuzzer") return run_settings_input(bytes);
    if (target == "obj_reader_fuzzer") return run_obj_input(bytes);
    if (target == "gltf_reader_fuzzer") return run_gltf_input(bytes);
    if (target == "mtl_reader_fuzzer") return run_mtl_input(bytes);
    return run_plugin_input(bytes);
}

std::string joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += "\n  " + line;
    return text;
}

class KeptInputReplay : public ::testing::TestWithParam<KeptInput> {};

TEST_P(KeptInputReplay, RunsWithoutProblems) {
    const KeptInput &input = GetParam();
    const std::vector<std::string> problems = run_input(input.target, read_bytes(input.path));
    EXPECT_TRUE(problems.empty()) << input.path << ":" << joined(problems);
}

std::string test_name(const ::testing::TestParamInfo<KeptInput> &info) {
    std::string name = info.param.target.substr(0, info.param.target.rfind('_')) + "_" + info.param.shelf + "_" +
                       info.param.path.filename().string();
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, KeptInputReplay, ::testing::ValuesIn(kept_inputs()), test_name);

TEST(KeptInputs, EveryTargetHasASeedCorpus) {
    for (const char *target : kTargets) {
        const std::vector<KeptInput> inputs = kept_inputs();
        EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(),
                                [&](const KeptInput &k) { return k.target == target && k.shelf == "corpus"; }))
            << "no seeds under " << kFuzzDir / "corpus" / target;
    }
}

// ------------------------------------------------- the seeds do what they say

PluginRunSummary run_seed(const std::string &name) {
    PluginRunSummary summary;
    const std::vector<std::string> problems =
        run_plugin_input(read_bytes(kFuzzDir / "corpus" / "plugin_run_fuzzer" / name), {}, &summary);
    EXPECT_TRUE(problems.empty()) << name << ":" << joined(problems);
    return summary;
}

// The background of the full-run seeds is a cube: 8 points and 6 quads a clone.
TEST(PluginRunSeeds, FullRunsBuildTheClonesTheirAnswersAskFor) {
    const struct {
        const char *seed;
        int clones;
    } cases[] = {{"full_run_default_settings", 3}, {"full_run_every_map", 4}, {"scripted_panel", 7}};
    for (const auto &c : cases) {
        const PluginRunSummary summary = run_seed(c.seed);
        EXPECT_TRUE(summary.panel_posted) << c.seed;
        EXPECT_TRUE(summary.errors.empty()) << c.seed << ": " << joined(summary.errors);
        EXPECT_EQ(summary.points_kept, 8 * c.clones) << c.seed;
        EXPECT_EQ(summary.polygons_kept, 6 * c.clones) << c.seed;
    }
}

TEST(PluginRunSeeds, StoppingSeedsStopWhereTheyAimAndKeepNothing) {
    const struct {
        const char *seed;
        bool panel_posted;
        std::vector<std::string> errors;
    } cases[] = {
        {"empty_scene", false, {"Need some polys to clone on them"}},
        {"only_other_types", false, {"NURBS not supported in Foreground Layer"}},
        {"cancelled", true, {}},
        {"inverted_bounds", true, {"Change slope angle settings"}},
    };
    for (const auto &c : cases) {
        const PluginRunSummary summary = run_seed(c.seed);
        EXPECT_EQ(summary.panel_posted, c.panel_posted) << c.seed;
        EXPECT_EQ(summary.errors, c.errors) << c.seed;
        EXPECT_EQ(summary.points_kept, 0) << c.seed;
        EXPECT_EQ(summary.polygons_kept, 0) << c.seed;
    }
}

}  // namespace
}  // namespace sowfield::fuzz
