#include "tests/io/io_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "sowfield_host.h"

namespace sowfield::testing {

ScratchFolder::ScratchFolder() {
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("sowfield_io_") + (test ? test->name() : "test") + "_" + std::to_string(::getpid());
    std::replace(name.begin(), name.end(), '/', '_');
    path = std::filesystem::path(::testing::TempDir()) / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::vector<std::string> ScratchFolder::files() const {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path ScratchFolder::write(const std::string &name, const std::string &text) const {
    const std::filesystem::path file = path / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

std::string read_text(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void build_rich_layer(host::Scene &scene, host::Layer &layer, bool floats_only) {
    const double awkward[] = {0.1,
                              1.0 / 3.0,
                              -2.0 / 3.0,
                              12345.678901234567,
                              -0.0,
                              5e-324,  // the smallest subnormal
                              2.2250738585072014e-308,
                              1e22,
                              std::numeric_limits<double>::max(),
                              -std::numeric_limits<double>::max(),
                              123456789.125,
                              0.30000000000000004};
    const size_t n = sizeof awkward / sizeof awkward[0];
    for (uint32_t i = 0; i < 40; ++i) {
        host::Vec3 p{awkward[i % n] * (i % 2 ? 1 : -1), awkward[(i * 7 + 3) % n], awkward[(i * 5 + 1) % n] + i};
        if (floats_only)
            for (double &c : p) {
                // Exact floats, still awkward in decimal.
                c = static_cast<float>(std::fmod(c, 1e30));
            }
        layer.add_point(p);
    }

    const uint32_t bark = scene.surface_index("bark");
    const uint32_t leaf = scene.surface_index("leaf ✿");
    const uint32_t surfaces[] = {0, bark, leaf, bark, 0, leaf, leaf, bark, 0};
    uint32_t next = 0;
    // Sizes 3..7 twice, with a point, a line and a patch in between; point 39
    // is used by no polygon.
    const size_t sizes[] = {3, 4, 5, 1, 6, 7, 2, 3, 4, 5, 6, 7};
    for (size_t k = 0; k < sizeof sizes / sizeof sizes[0]; ++k) {
        std::vector<uint32_t> corners;
        for (size_t c = 0; c < sizes[k]; ++c) corners.push_back((next + static_cast<uint32_t>(c * 3)) % 39);
        next = (next + 5) % 39;
        const uint32_t type = k == 8 ? SF_ID4('P', 'T', 'C', 'H') : SF_POLY_FACE;
        layer.add_polygon(type, corners, surfaces[k % 9], k % 2 ? SF_POLY_SELECTED : 0u);
    }

    // Maps: every map misses some points, in runs and singly; one misses all.
    struct MapShape {
        uint32_t type;
        const char *name;
        int dimension;
        uint32_t skip_every;  // 0: misses every point
    };
    const MapShape maps[] = {
        {SF_VMAP_TXUV, "UV", 2, 7},
        {SF_VMAP_WGHT, "height", 1, 3},
        {SF_VMAP_MORF, "bulge ✓ \"quoted\" \\", 3, 5},
        {SF_VMAP_TXUV, "second\nline", 2, 2},
        {SF_VMAP_MNVW, "", 1, 4},
        {SF_VMAP_SPOT, "spot", 3, 6},
        {SF_VMAP_WGHT, "none at all", 1, 0},
        {SF_VMAP_MORF, "Morph 0", 3, 9},
        {SF_VMAP_TXUV, "uvw", 3, 8},                 // not the format's shape of UV
        {SF_ID4('P', 'I', 'C', 'K'), "pick", 4, 3},  // a type of no format
    };
    for (const MapShape &shape : maps) {
        host::VertexMap &map = layer.add_vmap(shape.type, shape.name, shape.dimension);
        if (shape.skip_every == 0) continue;
        for (uint32_t point = 0; point < layer.point_count(); ++point) {
            if (point % shape.skip_every == 1 || (point >= 20 && point < 24)) continue;
            float values[4];
            for (int c = 0; c < shape.dimension; ++c)
                values[c] = static_cast<float>(point) * 0.1f - static_cast<float>(c) / 3.0f;
            map.set_value(point, values);
        }
    }
}

namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

void expect_same_layer(const host::Scene &written_scene, const host::Layer &written, const host::Scene &read_scene,
                       const host::Layer &read, Kept kept) {
    ASSERT_EQ(read.point_count(), written.point_count());
    for (uint32_t p = 0; p < written.point_count(); ++p)
        for (size_t axis = 0; axis < 3; ++axis)
            ASSERT_TRUE(same_bits(read.position(p)[axis], written.position(p)[axis]))
                << "point " << p << " axis " << axis << ": wrote " << written.position(p)[axis] << ", read "
                << read.position(p)[axis];

    ASSERT_EQ(read.polygon_count(), written.polygon_count());
    for (uint32_t i = 0; i < written.polygon_count(); ++i) {
        const host::PolygonView w = written.polygon(i);
        const host::PolygonView r = read.polygon(i);
        ASSERT_EQ(std::vector<uint32_t>(r.points.begin(), r.points.end()),
                  std::vector<uint32_t>(w.points.begin(), w.points.end()))
            << "polygon " << i;
        EXPECT_EQ(read_scene.surface_name(r.surface), written_scene.surface_name(w.surface)) << "polygon " << i;
        EXPECT_EQ(r.type, kept == Kept::everything ? w.type : SF_POLY_FACE) << "polygon " << i;
        EXPECT_EQ(r.flags, SF_POLY_SELECTED) << "polygon " << i << ": read polygons are selected";
    }

    // OBJ keeps the first UV map, and only on points that polygons use: a
    // texture coordinate belongs to a face corner there.
    std::vector<const host::VertexMap *> expected;
    for (size_t i = 0; i < written.vmap_count(); ++i) {
        const host::VertexMap &map = written.vmap(i);
        if (kept == Kept::everything) expected.push_back(&map);
        if (kept == Kept::obj && map.type() == SF_VMAP_TXUV && map.dimension() == 2) {
            if (map.value_count() > 0) expected.push_back(&map);
            break;
        }
    }
    std::vector<char> used(written.point_count(), kept == Kept::everything);
    for (uint32_t i = 0; i < written.polygon_count(); ++i)
        for (uint32_t p : written.polygon_points(i)) used[p] = 1;
    ASSERT_EQ(read.vmap_count(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const host::VertexMap &w = *expected[i];
        const host::VertexMap &r = read.vmap(i);
        EXPECT_EQ(r.type(), w.type()) << "map " << i;
        EXPECT_EQ(r.name(), kept == Kept::obj ? std::string("UV") : w.name()) << "map " << i;
        ASSERT_EQ(r.dimension(), w.dimension()) << "map " << i;
        for (uint32_t p = 0; p < written.point_count(); ++p) {
            const float *wv = used[p] ? w.value(p) : nullptr;
            const float *rv = r.value(p);
            ASSERT_EQ(rv != nullptr, wv != nullptr) << "map \"" << w.name() << "\" point " << p;
            if (!wv) continue;
            for (int c = 0; c < w.dimension(); ++c)
                ASSERT_EQ(rv[c], wv[c]) << "map \"" << w.name() << "\" point " << p << " component " << c;
        }
    }
}

void read_back(const std::filesystem::path &path, ReadBack &out) { out.layer = io::read_mesh_file(path, out.scene); }

int run_node_tool(const std::string &script, const std::string &package, const std::vector<std::string> &arguments,
                  std::string &output) {
    if (std::system("command -v node >/dev/null 2>&1") != 0) return -1;
    const std::filesystem::path tools = std::filesystem::path(SOWFIELD_SOURCE_DIR) / "tools";
    if (!std::filesystem::exists(tools / "node_modules" / package)) return -2;
    std::string command = "node '" + (tools / script).string() + "'";
    for (const std::string &argument : arguments) command += " '" + argument + "'";
    command += " 2>&1";
    FILE *pipe = ::popen(command.c_str(), "r");
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

int validate(const std::vector<std::filesystem::path> &files, std::string &report) {
    std::vector<std::string> arguments{"--quiet"};
    for (const auto &file : files) arguments.push_back(file.string());
    return run_node_tool("validate-gltf.js", "gltf-validator", arguments, report);
}

}  // namespace sowfield::testing
