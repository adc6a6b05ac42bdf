// The painted scenes of the demo pictures: landscapes, aurora, night sky and geometric art.
#pragma once

#include "image.h"

#include <cstdint>

namespace demo {

enum class Scene {
    Landscape, // gradient sky, sun, layered hills, optionally a lake with reflections
    Aurora,    // northern lights over a dark ridge and still water
    NightSky,  // stars, the band of the galaxy, a crescent moon and a wooded ridge
    Tiles,     // flat-coloured circles and quarter circles on a grid
    Triangles, // a grid of squares cut along their diagonals
    Truchet,   // bands of quarter arcs that join into winding paths
    Rings,     // overlapping concentric rings
};

// A mood for the landscapes (time of day) or a colour set for the other scenes.
enum class Palette { Dawn, Noon, Sunset, Dusk, Winter, Bauhaus, Sea, Forest, Candy };

struct SceneRecipe {
    Scene scene = Scene::Landscape;
    Palette palette = Palette::Noon;
    bool water = false; // landscapes: a lake in the foreground
    std::uint64_t seed = 1;
};

// Paints the whole picture; the result depends only on the picture's size and `recipe`.
void paint(Image& image, const SceneRecipe& recipe);

} // namespace demo
