// Geometric scenes of the demo pictures: tiles, triangles, Truchet paths and rings in flat colours.
#include "noise.h"
#include "scene_parts.h"

#include <array>
#include <cmath>

namespace demo {

namespace {

// Five colours: the first is the background, the others are the figures'.
std::array<Rgb, 5> colours(Palette palette)
{
    switch (palette) {
    case Palette::Sea:
        return {hex_colour(0x0b2545), hex_colour(0x8da9c4), hex_colour(0xeef4ed), hex_colour(0xf28f3b),
                hex_colour(0x3e7cb1)};
    case Palette::Forest:
        return {hex_colour(0x1b3a2b), hex_colour(0xa7c957), hex_colour(0xf2e8cf), hex_colour(0xbc4749),
                hex_colour(0x6a994e)};
    case Palette::Candy:
        return {hex_colour(0xffe5ec), hex_colour(0xff8fab), hex_colour(0x6a4c93), hex_colour(0x1982c4),
                hex_colour(0xffca3a)};
    default:
        return {hex_colour(0xf2e8d5), hex_colour(0xd7263d), hex_colour(0x1b4e9b), hex_colour(0xf4b400),
                hex_colour(0x1d1d1f)};
    }
}

// Cells of a square grid that is centred on the picture; `cells` fit across its shorter side.
struct Grid {
    double cell;
    double left;
    double top;
    Grid(const Image& image, int cells)
        : cell(std::min(image.width(), image.height()) / static_cast<double>(cells)),
          left(std::fmod(image.width() / 2.0, cell) - cell), top(std::fmod(image.height() / 2.0, cell) - cell)
    {
    }
};

struct Point2 {
    double x = 0;
    double y = 0;
};

// Coverage of a pixel by a shape whose signed distance (in pixels, negative inside) is `d`.
double cover(double d)
{
    return clamp01(0.5 - d);
}

} // namespace

void paint_tiles(Image& image, const SceneRecipe& recipe)
{
    const auto palette = colours(recipe.palette);
    const Grid grid(image, 4 + static_cast<int>(recipe.seed % 3));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double gx = (x + 0.5 - grid.left) / grid.cell, gy = (y + 0.5 - grid.top) / grid.cell;
            const auto i = static_cast<std::int64_t>(std::floor(gx)), j = static_cast<std::int64_t>(std::floor(gy));
            const double u = gx - i, v = gy - j; // position inside the cell, 0 to 1
            const int back = static_cast<int>(hash01(i, j, recipe.seed) * 5);
            const int fore = (back + 1 + static_cast<int>(hash01(i, j, recipe.seed + 1) * 4)) % 5;
            const int shape = static_cast<int>(hash01(i, j, recipe.seed + 2) * 5);
            const int turn = static_cast<int>(hash01(i, j, recipe.seed + 3) * 4);
            // The corner or edge a shape leans on, turned in steps of a quarter.
            const double cu = (turn == 1 || turn == 2) ? 1 : 0, cv = turn >= 2 ? 1 : 0;
            double d = 0;
            switch (shape) {
            case 0: d = std::hypot(u - 0.5, v - 0.5) - 0.38; break;
            case 1: d = std::abs(std::hypot(u - 0.5, v - 0.5) - 0.3) - 0.12; break;
            case 2: d = std::hypot(u - cu, v - cv) - 0.9; break;
            case 3: d = std::min(std::hypot(u - cu, v - cv), std::hypot(u - 1 + cu, v - 1 + cv)) - 0.5; break;
            default:
                d = turn % 2 ? std::max(std::hypot(u - 0.5, v - cv) - 0.48, cv ? 0.5 - v : v - 0.5)
                             : std::max(std::hypot(u - cu, v - 0.5) - 0.48, cu ? 0.5 - u : u - 0.5);
                break;
            }
            image.set(x, y, mix(palette[back], palette[fore], cover(d * grid.cell)));
        }
    }
}

void paint_triangles(Image& image, const SceneRecipe& recipe)
{
    const auto palette = colours(recipe.palette);
    const Grid grid(image, 6 + static_cast<int>(recipe.seed % 4));
    for (int y = 0; y < image.height(); ++y) {
        const double light = 0.1 * (1 - 2.0 * y / image.height());
        for (int x = 0; x < image.width(); ++x) {
            const double gx = (x + 0.5 - grid.left) / grid.cell, gy = (y + 0.5 - grid.top) / grid.cell;
            const auto i = static_cast<std::int64_t>(std::floor(gx)), j = static_cast<std::int64_t>(std::floor(gy));
            const double u = gx - i, v = gy - j;
            const bool rising = hash01(i, j, recipe.seed) < 0.5;
            // Signed distance to the cell's diagonal, in pixels.
            const double d = (rising ? (u + v - 1) : (u - v)) / std::sqrt(2.0) * grid.cell;
            const Rgb a = palette[static_cast<int>(hash01(i, j, recipe.seed + 1) * 5)];
            const Rgb b = palette[static_cast<int>(hash01(i, j, recipe.seed + 2) * 5)];
            image.set(x, y, mix(a, b, cover(-d)) + Rgb{light, light, light});
        }
    }
}

void paint_truchet(Image& image, const SceneRecipe& recipe)
{
    const auto palette = colours(recipe.palette);
    const Grid grid(image, 7 + static_cast<int>(recipe.seed % 4));
    const double band = 0.13;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double gx = (x + 0.5 - grid.left) / grid.cell, gy = (y + 0.5 - grid.top) / grid.cell;
            const auto i = static_cast<std::int64_t>(std::floor(gx)), j = static_cast<std::int64_t>(std::floor(gy));
            double u = gx - i;
            const double v = gy - j;
            if (hash01(i, j, recipe.seed) < 0.5)
                u = 1 - u; // the tile's mirror image joins the other pair of corners
            // Two quarter-circle bands around opposite corners, each with a dark edge.
            const double d1 = std::abs(std::hypot(u, v) - 0.5);
            const double d2 = std::abs(std::hypot(u - 1, v - 1) - 0.5);
            const double d = std::min(d1, d2);
            const Rgb path = palette[1 + static_cast<int>(hash01(i + j, 0, recipe.seed + 5) * 4)];
            Rgb c = mix(palette[0], palette[0] * 0.55, cover((d - band - 0.04) * grid.cell));
            c = mix(c, path, cover((d - band) * grid.cell));
            image.set(x, y, c);
        }
    }
}

void paint_rings(Image& image, const SceneRecipe& recipe)
{
    const auto palette = colours(recipe.palette);
    Rng rng(recipe.seed);
    const double size = std::min(image.width(), image.height());
    std::array<Point2, 4> centres{};
    for (auto& c : centres)
        c = {rng.uniform(0, image.width()), rng.uniform(0, image.height())};
    const double ring = size * 0.045;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            // Each pixel belongs to the rings of its nearest centre; colours step outwards ring by ring.
            double nearest = 1e18;
            std::size_t owner = 0;
            for (std::size_t k = 0; k < centres.size(); ++k) {
                const double d = std::hypot(x + 0.5 - centres[k].x, y + 0.5 - centres[k].y);
                if (d < nearest) {
                    nearest = d;
                    owner = k;
                }
            }
            const double rings = nearest / ring;
            const auto n = static_cast<long>(std::floor(rings));
            const double edge = (rings - n) * ring; // pixels past the inner edge of this ring
            const std::size_t step = static_cast<std::size_t>(n) + owner;
            const Rgb here = palette[step % 5];
            const Rgb inner = palette[(step + 4) % 5];
            image.set(x, y, mix(inner, here, clamp01(edge + 0.5)));
        }
    }
}

} // namespace demo
