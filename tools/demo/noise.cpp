// Seeded, repeatable randomness for the demo pictures: a small generator and value noise.
#include "noise.h"

#include <cmath>

namespace demo {

namespace {

std::uint64_t mix64(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double fade(double t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

} // namespace

std::uint64_t Rng::next()
{
    m_state += 0x9E3779B97F4A7C15ULL;
    return mix64(m_state);
}

double Rng::uniform()
{
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

double hash01(std::int64_t x, std::int64_t y, std::uint64_t seed)
{
    const std::uint64_t h = mix64(seed ^ mix64(static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ULL ^
                                               static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4FULL));
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

double noise1(double x, std::uint64_t seed)
{
    const double cell = std::floor(x);
    const auto i = static_cast<std::int64_t>(cell);
    const double t = fade(x - cell);
    return hash01(i, 0, seed) * (1 - t) + hash01(i + 1, 0, seed) * t;
}

double noise2(double x, double y, std::uint64_t seed)
{
    const double cx = std::floor(x);
    const double cy = std::floor(y);
    const auto i = static_cast<std::int64_t>(cx);
    const auto j = static_cast<std::int64_t>(cy);
    const double tx = fade(x - cx);
    const double ty = fade(y - cy);
    const double top = hash01(i, j, seed) * (1 - tx) + hash01(i + 1, j, seed) * tx;
    const double bottom = hash01(i, j + 1, seed) * (1 - tx) + hash01(i + 1, j + 1, seed) * tx;
    return top * (1 - ty) + bottom * ty;
}

double fbm1(double x, std::uint64_t seed, int octaves)
{
    double sum = 0;
    double amplitude = 0.5;
    double total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * noise1(x, seed + static_cast<std::uint64_t>(o) * 7919);
        total += amplitude;
        x *= 2.03;
        amplitude *= 0.5;
    }
    return sum / total;
}

double fbm2(double x, double y, std::uint64_t seed, int octaves)
{
    double sum = 0;
    double amplitude = 0.5;
    double total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * noise2(x, y, seed + static_cast<std::uint64_t>(o) * 7919);
        total += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / total;
}

} // namespace demo
