// Nature scenes of the demo pictures: landscapes at several times of day, aurora and night sky.
#include "noise.h"
#include "scene_parts.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace demo {

namespace {

struct Mood {
    Rgb top, horizon, sun, glow, land_far, land_near, water, cloud;
    double sun_lift; // the sun's height above the far ridge beneath it, in sun radii
};

Mood mood(Palette palette)
{
    switch (palette) {
    case Palette::Dawn:
        return {hex_colour(0x2b3a67), hex_colour(0xf7b79b), hex_colour(0xfff1c9), hex_colour(0xffb38a),
                hex_colour(0x9a88b0), hex_colour(0x2e2547), hex_colour(0x3b4a7a), hex_colour(0xf4c3c7), 2.2};
    case Palette::Sunset:
        return {hex_colour(0x3a1c5c), hex_colour(0xff9a3c), hex_colour(0xfff0b0), hex_colour(0xff7a2a),
                hex_colour(0xc0607a), hex_colour(0x2a1630), hex_colour(0x4a2545), hex_colour(0xff8c69), 0.6};
    case Palette::Dusk:
        return {hex_colour(0x0d1330), hex_colour(0x7a5ea8), hex_colour(0xffd9e8), hex_colour(0xc77dba),
                hex_colour(0x4b4680), hex_colour(0x120f26), hex_colour(0x1c1f45), hex_colour(0x9a7fc4), -2.0};
    case Palette::Winter:
        return {hex_colour(0x5f8fd0), hex_colour(0xe6f0fa), hex_colour(0xffffff), hex_colour(0xfff9ee),
                hex_colour(0xc9d6e6), hex_colour(0x55698a), hex_colour(0x7895b5), hex_colour(0xffffff), 7.0};
    default:
        return {hex_colour(0x1f6fc5), hex_colour(0xbfe3f7), hex_colour(0xffffff), hex_colour(0xfff6d8),
                hex_colour(0x8fb5c9), hex_colour(0x1f5130), hex_colour(0x2d6f9a), hex_colour(0xffffff), 12.0};
    }
}

// Sky colour at a pixel: the vertical gradient, the sun's glow, soft wind-stretched clouds, the disc.
Rgb sky(const Mood& m, double x, double y, double w, double h, double horizon, double sx, double sy, double sr,
        std::uint64_t seed)
{
    const double t = clamp01(y / horizon);
    Rgb colour = mix(m.top, m.horizon, std::pow(t, 1.4));
    const double d = std::hypot(x - sx, y - sy) / std::hypot(w, h);
    colour = colour + m.glow * (0.5 * std::exp(-d * 10) + 0.22 * std::exp(-d * 2.5));
    const double cloud = smoothstep(0.5, 0.78, fbm2(x / w * 2.5, y / h * 12, seed + 5)) * (1 - t * t);
    colour = mix(colour, mix(m.cloud, m.glow, 0.3 * (1 - d)), 0.75 * cloud);
    const double disc = clamp01(sr - std::hypot(x - sx, y - sy) + 0.5);
    return mix(colour, m.sun, disc * (1 - 0.6 * cloud));
}

} // namespace

void paint_landscape(Image& image, const SceneRecipe& recipe)
{
    const int w = image.width();
    const int h = image.height();
    const Mood m = mood(recipe.palette);
    Rng rng(recipe.seed);
    const int shore = recipe.water ? static_cast<int>(h * rng.uniform(0.6, 0.7)) : h;
    const double land_base = recipe.water ? shore : h;
    const double span = recipe.water ? h * 0.3 : h * 0.5;
    const double horizon = land_base - span * 0.3;
    const double sx = w * rng.uniform(0.25, 0.75);
    const double sr = std::min(w, h) * 0.055;

    // Ridge lines, far to near: far layers are high, jagged and hazy, near ones low, rounded and dark.
    const int layers = 4 + static_cast<int>(recipe.seed % 2);
    std::vector<std::vector<double>> ridge(layers, std::vector<double>(w));
    std::vector<Rgb> colour(layers);
    for (int i = 0; i < layers; ++i) {
        const double f = static_cast<double>(i) / (layers - 1);
        const double base = land_base - span * (1 - 0.75 * f);
        const double amplitude = span * (0.42 - 0.2 * f);
        const double frequency = 3.5 - 2.0 * f;
        const double offset = rng.uniform(0, 100);
        for (int x = 0; x < w; ++x) {
            const double n = fbm1(offset + x * frequency / w, recipe.seed + 101 + i);
            const double shape = f < 0.5 ? 1 - std::abs(2 * n - 1) : smoothstep(0.25, 0.75, n);
            ridge[i][x] = base - amplitude * shape;
        }
        colour[i] = mix(mix(m.land_far, m.land_near, std::pow(f, 0.8)), m.horizon, 0.3 * (1 - f));
    }
    // The sun stands over the far ridge: high at noon, half set at sunset, just below it at dusk.
    const double sy = std::max(sr * 1.8, ridge[0][static_cast<std::size_t>(sx)] - m.sun_lift * sr);

    for (int y = 0; y < shore; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgb c = sky(m, x, y, w, h, horizon, sx, sy, sr, recipe.seed);
            for (int i = 0; i < layers; ++i) {
                const double below = y + 0.5 - ridge[i][x];
                const double cover = clamp01(below + 0.5);
                if (cover <= 0)
                    continue;
                const double f = static_cast<double>(i) / (layers - 1);
                // Mist gathers in the valleys of the far layers; a thin rim catches the light.
                const double mist = 0.35 * (1 - f) * smoothstep(0, h * 0.18, below);
                const double rim = 0.18 * std::exp(-below / (h * 0.006 + 1));
                const Rgb layer = mix(mix(colour[i], m.horizon, mist), m.glow, rim);
                c = mix(c, layer, cover);
            }
            image.set(x, y, c);
        }
    }
    if (recipe.water)
        paint_water(image, shore, m.water, m.sun, sy < horizon ? sx : -1, recipe.seed);
}

void paint_aurora(Image& image, const SceneRecipe& recipe)
{
    const int w = image.width();
    const int h = image.height();
    Rng rng(recipe.seed);
    const int shore = static_cast<int>(h * 0.78);
    const bool violet = recipe.palette == Palette::Candy;
    const Rgb low = violet ? hex_colour(0x4dffc3) : hex_colour(0x3dff8a);
    const Rgb high = violet ? hex_colour(0xd04cff) : hex_colour(0x7a6cff);
    const double phase = rng.uniform(0, 6.28);

    for (int y = 0; y < shore; ++y)
        for (int x = 0; x < w; ++x)
            image.set(x, y, mix(hex_colour(0x02040c), hex_colour(0x0a2a33), std::pow(y / double(shore), 2)));
    for (long n = 0, stars = static_cast<long>(w) * h / 1500; n < stars; ++n) {
        const double b = std::pow(rng.uniform(), 5);
        splat_star(image, rng.uniform(0, w), rng.uniform(0, shore), 0.5 + 1.2 * b, Rgb{0.8, 0.85, 1.0} * (0.25 + b));
    }

    // Two curtains: bright, sharp lower edges that fade upwards into slanting rays.
    for (int k = 0; k < 2; ++k) {
        std::vector<double> base(w);
        for (int x = 0; x < w; ++x)
            base[x] = h * (0.34 + 0.12 * k) + h * 0.08 * std::sin(2 * std::numbers::pi * x / w * (1.1 + 0.6 * k) + phase + k) +
                      h * 0.1 * (fbm1(x * 3.0 / w, recipe.seed + 40 + k) - 0.5);
        const double strength = k == 0 ? 0.95 : 0.6;
        for (int y = 0; y < shore; ++y) {
            for (int x = 0; x < w; ++x) {
                const double above = (base[x] - y) / (h * 0.3);
                const double intensity = above >= 0 ? std::exp(-above * 2.4) * smoothstep(0, 0.015, above)
                                                    : std::exp(-std::pow(above * 0.3 / 0.012, 2));
                if (intensity < 0.004)
                    continue;
                const double rays = 0.35 + 0.65 * fbm1((x + (base[x] - y) * 0.3) * 50.0 / w, recipe.seed + 60 + k, 3);
                const Rgb light = mix(low, high, smoothstep(0.15, 1.0, above));
                image.set(x, y, image.at(x, y) + light * (strength * intensity * rays));
            }
        }
    }

    // A dark ridge along the far shore.
    for (int x = 0; x < w; ++x) {
        const double top = shore - h * (0.03 + 0.12 * (1 - std::abs(2 * fbm1(x * 2.5 / w, recipe.seed + 80) - 1)));
        for (int y = std::max(0, static_cast<int>(top)); y < shore; ++y)
            image.blend(x, y, hex_colour(0x03070b), clamp01(y + 1 - top));
    }
    paint_water(image, shore, hex_colour(0x06131a), low * 0.4, -1, recipe.seed);
}

void paint_night_sky(Image& image, const SceneRecipe& recipe)
{
    const int w = image.width();
    const int h = image.height();
    Rng rng(recipe.seed);
    const double size = std::min(w, h);
    // The galaxy's band runs from low on one side to high on the other.
    const double ax = w * rng.uniform(0.05, 0.3), ay = h;
    const double bx = w * rng.uniform(0.7, 0.95), by = 0;
    const double length = std::hypot(bx - ax, by - ay);
    const auto band_distance = [&](double x, double y) {
        return std::abs((bx - ax) * (ay - y) - (ax - x) * (by - ay)) / length / (size * 0.2);
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double d = band_distance(x, y);
            Rgb c = mix(hex_colour(0x010208), hex_colour(0x0e1c3f), std::pow(y / double(h), 1.5));
            const double cloud = std::exp(-d * d) * (0.35 + 0.65 * fbm2(x * 5.0 / w, y * 5.0 / h, recipe.seed + 3));
            const double dust = smoothstep(0.48, 0.68, fbm2(x * 7.0 / w + 3, y * 7.0 / h, recipe.seed + 9)) *
                                std::exp(-std::pow(d * 1.6, 2));
            c = c + mix(hex_colour(0xb9a8ff), hex_colour(0xffe2c0), fbm2(x * 2.0 / w, y * 2.0 / h, recipe.seed)) *
                        (0.5 * cloud * (1 - 0.85 * dust));
            image.set(x, y, c);
        }
    }
    for (long n = 0, stars = static_cast<long>(w) * h / 700; n < stars; ++n) {
        const double x = rng.uniform(0, w), y = rng.uniform(0, h);
        const double keep = 0.3 + 0.7 * std::exp(-std::pow(band_distance(x, y), 2));
        const double b = std::pow(rng.uniform(), 6);
        if (rng.uniform() < keep)
            splat_star(image, x, y, 0.45 + 1.4 * b, mix(Rgb{0.75, 0.82, 1}, Rgb{1, 0.9, 0.75}, rng.uniform()) * (0.2 + b));
    }

    // A crescent moon: a lit disc with a slightly shifted dark disc taken out of it.
    const double mx = w * (recipe.seed % 2 ? 0.2 : 0.78), my = h * 0.2, mr = size * 0.07;
    for (int y = static_cast<int>(my - mr * 6); y < my + mr * 6; ++y) {
        for (int x = static_cast<int>(mx - mr * 6); x < mx + mr * 6; ++x) {
            if (x < 0 || y < 0 || x >= w || y >= h)
                continue;
            const double d = std::hypot(x + 0.5 - mx, y + 0.5 - my);
            const double lit = clamp01(mr - d + 0.5) * (1 - clamp01(mr - std::hypot(x + 0.5 - mx - mr * 0.38, y + 0.5 - my + mr * 0.12) + 0.5));
            Rgb c = image.at(x, y) + hex_colour(0x8fa6d8) * (0.25 * std::exp(-d / (mr * 1.2)));
            image.set(x, y, mix(c, hex_colour(0xfff6d6), lit));
        }
    }

    // A wooded ridge: a low hill line, then firs standing on it, each in tiers of branches.
    std::vector<double> ground(w);
    for (int x = 0; x < w; ++x)
        ground[x] = h * (0.86 - 0.06 * fbm1(x * 2.0 / w, recipe.seed + 70));
    for (int x = 0; x < w; ++x)
        for (int y = std::max(0, static_cast<int>(ground[x])); y < h; ++y)
            image.blend(x, y, hex_colour(0x020306), clamp01(y + 1 - ground[x]));
    for (double x = rng.uniform(0, size * 0.05); x < w; x += size * rng.uniform(0.03, 0.08)) {
        const double tree_height = size * rng.uniform(0.05, 0.13);
        const double foot = ground[static_cast<std::size_t>(std::clamp(x, 0.0, w - 1.0))] + size * 0.01;
        const double tip = foot - tree_height;
        for (int y = std::max(0, static_cast<int>(tip)); y < std::min(h, static_cast<int>(foot) + 1); ++y) {
            const double depth = (y + 0.5 - tip) / tree_height; // 0 at the tip, 1 at the foot
            const double tier = depth * 5 - std::floor(depth * 5);
            const double half_width = tree_height * (0.03 + 0.2 * depth) * (0.6 + 0.4 * tier);
            for (int px = static_cast<int>(x - half_width - 1); px <= x + half_width + 1; ++px)
                if (px >= 0 && px < w)
                    image.blend(px, y, hex_colour(0x020306), clamp01(half_width - std::abs(px + 0.5 - x) + 0.5));
        }
    }
}

} // namespace demo
