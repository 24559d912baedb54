#include "cli/view/save_target.h"

#include <stdexcept>

#include "cli/json_summary.h"
#include "cli/memory_guard.h"
#include "cli/output_style.h"
#include "cli/result_file.h"
#include "io/mesh_file.h"

namespace sowfield::cli::view {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxNameLength = 255;

bool plain_file_name(const std::string &name) {
    if (name.empty() || name.size() > kMaxNameLength || name == "." || name == "..") return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

}  // namespace

fs::path save_path(const ViewFiles &files, const std::string &name) {
    if (!plain_file_name(name))
        throw std::invalid_argument("\"" + name + "\": give a file name only, without a folder; the result is saved "
                                    "beside the output");
    const fs::path folder = files.output ? files.output->parent_path() : fs::path{};
    const fs::path path = folder / name;
    io::format_for(path);
    return path;
}

nlohmann::json save_result(const host::Scene &scene, const ViewFiles &files, const std::string &name,
                           uint32_t first_point, uint32_t first_polygon, const std::string &settings) {
    try {
        const fs::path path = save_path(files, name);
        std::vector<fs::path> inputs{files.surface};
        inputs.insert(inputs.end(), files.objects.begin(), files.objects.end());
        for (const fs::path &input : inputs)
            if (io::same_file(path, input))
                return {{"error", "the output " + path.string() + " is the input " + input.string() +
                                      "; inputs are never overwritten"}};
        io::WriteRange range;
        if (files.clones_only) range = {first_point, first_polygon};
        RunSummary made;
        made.command = "view";
        made.clock = files.clock;
        const std::string provenance = provenance_json(made, settings);
        const io::WriteStyle style = output_style(scene, files.clones_only, io::WriteStyle{}.crease_degrees);
        write_result_file(path, [&] {
            return io::write_mesh_file(path, scene, scene.foreground.front(), range, provenance, style);
        });
        std::error_code error;
        const uint64_t bytes = fs::file_size(path, error);
        return {{"line", "wrote " + path.string() + " (" + format_bytes(error ? 0 : bytes) + ")"}};
    } catch (const std::exception &error) {
        return {{"error", error.what()}};
    }
}

}  // namespace sowfield::cli::view
