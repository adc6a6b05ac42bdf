// Pieces shared by the scene painters: the painters themselves and the water reflection.
#pragma once

#include "image.h"
#include "scenes.h"

namespace demo {

void paint_landscape(Image& image, const SceneRecipe& recipe);
void paint_aurora(Image& image, const SceneRecipe& recipe);
void paint_night_sky(Image& image, const SceneRecipe& recipe);
void paint_tiles(Image& image, const SceneRecipe& recipe);
void paint_triangles(Image& image, const SceneRecipe& recipe);
void paint_truchet(Image& image, const SceneRecipe& recipe);
void paint_rings(Image& image, const SceneRecipe& recipe);

// Fills the rows from `shore` down with the mirror image of the rows above it, rippled, darkened
// and tinted like still water; `glitter_x` is where the light source's path crosses the water
// (negative for none).
void paint_water(Image& image, int shore, Rgb tint, Rgb light, double glitter_x, std::uint64_t seed);

// Adds a small soft star of the given brightness centred at (x, y).
void splat_star(Image& image, double x, double y, double radius, Rgb colour);

} // namespace demo
