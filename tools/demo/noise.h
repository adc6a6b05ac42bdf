// Seeded, repeatable randomness for the demo pictures: a small generator and value noise.
#pragma once

#include <cstdint>

namespace demo {

// SplitMix64: the same seed always gives the same sequence, on every machine.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1).
    double uniform();
    // Uniform in [low, high).
    double uniform(double low, double high) { return low + (high - low) * uniform(); }

private:
    std::uint64_t m_state;
};

// A fixed pseudo-random value in [0, 1) for integer coordinates and a seed.
double hash01(std::int64_t x, std::int64_t y, std::uint64_t seed);

// Smooth value noise in [0, 1): one and two dimensions, and fractal sums of a few octaves.
double noise1(double x, std::uint64_t seed);
double noise2(double x, double y, std::uint64_t seed);
double fbm1(double x, std::uint64_t seed, int octaves = 5);
double fbm2(double x, double y, std::uint64_t seed, int octaves = 5);

} // namespace demo
