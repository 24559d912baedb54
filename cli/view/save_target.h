// "Save" in the page: the current result written with the tool's own
// writers, under a name the user types, always inside the output's folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/view/view_session.h"
#include "host/scene/scene.h"

namespace sowfield::cli::view {

// The file that `name` means: a bare file name (no folder part) with a mesh
// extension, in the folder of -o (or the working folder without one).
// Throws std::invalid_argument with the reason otherwise.
std::filesystem::path save_path(const ViewFiles &files, const std::string &name);

// Writes the foreground (only what the run added when files.clones_only)
// to `name`, recording the run's `settings` (a settings file's text) where
// the format keeps them. {"line": "wrote NAME (SIZE)"} or {"error":
// message}; an input is never overwritten.
nlohmann::json save_result(const host::Scene &scene, const ViewFiles &files, const std::string &name,
                           uint32_t first_point, uint32_t first_polygon, const std::string &settings);

}  // namespace sowfield::cli::view
