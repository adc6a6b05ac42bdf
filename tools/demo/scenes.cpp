// The painted scenes of the demo pictures: dispatch, water and stars shared by several scenes.
#include "scenes.h"

#include "noise.h"
#include "scene_parts.h"

#include <cmath>

namespace demo {

void paint(Image& image, const SceneRecipe& recipe)
{
    switch (recipe.scene) {
    case Scene::Landscape: paint_landscape(image, recipe); break;
    case Scene::Aurora: paint_aurora(image, recipe); break;
    case Scene::NightSky: paint_night_sky(image, recipe); break;
    case Scene::Tiles: paint_tiles(image, recipe); break;
    case Scene::Triangles: paint_triangles(image, recipe); break;
    case Scene::Truchet: paint_truchet(image, recipe); break;
    case Scene::Rings: paint_rings(image, recipe); break;
    }
}

void paint_water(Image& image, int shore, Rgb tint, Rgb light, double glitter_x, std::uint64_t seed)
{
    const int w = image.width();
    const int h = image.height();
    const double depth = std::max(1, h - shore);
    for (int y = shore; y < h; ++y) {
        const double k = (y - shore) / depth; // 0 at the shore, 1 at the bottom edge
        const double mirrored = 2.0 * shore - y - 1;
        // Ripples grow towards the viewer; noise along y keeps neighbouring rows coherent.
        const double amplitude = w * 0.005 * (0.15 + k);
        const double wave = (fbm1(y / (h * 0.006 + 1.0), seed + 31, 4) - 0.5) * 2;
        const double shore_shadow = 1 - 0.4 * std::exp(-(y - shore) / (h * 0.004 + 1.0));
        for (int x = 0; x < w; ++x) {
            const double dx = amplitude * (wave + 0.35 * (noise2(x / (w * 0.05), y / (h * 0.01), seed) - 0.5));
            Rgb colour = image.sample(x + dx, mirrored) * 0.82;
            colour = mix(colour, tint, 0.18 + 0.32 * k) * shore_shadow;
            if (glitter_x >= 0) {
                const double spread = w * 0.035 * (0.4 + k);
                const double path = std::exp(-std::pow((x - glitter_x) / spread, 2));
                const double sparkle = smoothstep(0.62, 0.8, noise2(x / (w * 0.006), y / (h * 0.002), seed + 7));
                colour = colour + light * (0.6 * path * sparkle);
            }
            image.set(x, y, colour);
        }
    }
}

void splat_star(Image& image, double x, double y, double radius, Rgb colour)
{
    const int reach = static_cast<int>(std::ceil(radius * 3));
    const int cx = static_cast<int>(std::floor(x));
    const int cy = static_cast<int>(std::floor(y));
    for (int py = cy - reach; py <= cy + reach; ++py) {
        for (int px = cx - reach; px <= cx + reach; ++px) {
            if (px < 0 || py < 0 || px >= image.width() || py >= image.height())
                continue;
            const double d2 = std::pow(px + 0.5 - x, 2) + std::pow(py + 0.5 - y, 2);
            const double glow = std::exp(-d2 / (2 * radius * radius));
            image.set(px, py, image.at(px, py) + colour * glow);
        }
    }
}

} // namespace demo
