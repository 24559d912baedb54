// The scene `sowfield demo` scatters, built in code so the demo needs no file:
// a hilly terrain in the foreground and a small tree in the background.
#pragma once

#include "host/scene/scene.h"

namespace sowfield::cli {

// Clones the demo asks for: enough to cover the terrain as a sparse wood.
inline constexpr int kDemoClones = 200;

// Adds two layers to an empty scene and sets the layer sets:
// - "terrain" (foreground): a 60 x 60 unit grid of 80 x 80 selected quads
//   with rolling hills, surface "Ground", and a weight map "meadow" that is
//   high in the valleys (for trying "Density WeightMap").
// - "tree" (background): a trunk (surface "Bark") under three tiers of
//   foliage (surface "Leaves"), 2.6 units tall, standing on the origin,
//   with a UV map "UV", a weight map "height" (0 at the foot, 1 at the tip)
//   and a morph map "wind" that bends the crown.
void build_demo_scene(host::Scene &scene);

}  // namespace sowfield::cli
