// Warnings before a run whose result may surprise: values the plug-in accepts
// and runs with, but that give mirrored clones, no clones, clones without
// some of their points, or a weight map that does nothing useful. The run
// still goes ahead as asked; each warning is one line for standard error
// (--no-warnings silences them) and one entry of the --json summary.
#pragma once

#include <string>
#include <vector>

#include "host/panel/scripted_face.h"
#include "host/scene/scene.h"

namespace sowfield::cli {

// What the run is about to do, as its panel accepted it.
struct RunPreview {
    const host::PanelSnapshot &accepted;       // the panel after every answer
    const std::vector<host::PanelAnswer> &answers;  // as the user gave them (--settings, --set)
    const host::Scene &scene;                  // foreground (selected polygons) and background set
};

// Every warning for this run, in a fixed order: settings as typed, sizes,
// clone count, background geometry, weight maps.
std::vector<std::string> run_warnings(const RunPreview &run);

}  // namespace sowfield::cli
