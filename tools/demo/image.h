// Pixel buffer of the demo pictures, colour arithmetic, and the BMP and PPM writers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace demo {

// A colour with red, green and blue from 0 to 1 (sRGB values, blended as they are).
struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
};

constexpr Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
constexpr Rgb operator*(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
constexpr Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }

constexpr double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
constexpr Rgb mix(Rgb a, Rgb b, double t) { return a * (1 - t) + b * t; }
// Hermite step from 0 at e0 to 1 at e1.
double smoothstep(double e0, double e1, double x);
// A colour from "#rrggbb"-style hex digits.
constexpr Rgb hex_colour(std::uint32_t rgb)
{
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

// An 8-bit RGB picture, rows from the top.
class Image {
public:
    Image(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    Rgb at(int x, int y) const;
    // Bilinear sample at a fractional position, clamped to the picture.
    Rgb sample(double x, double y) const;
    void set(int x, int y, Rgb colour);
    // Puts `colour` over the pixel with the given opacity; positions outside are ignored.
    void blend(int x, int y, Rgb colour, double alpha);
    const std::vector<std::uint8_t>& bytes() const { return m_rgb; }

private:
    int m_width;
    int m_height;
    std::vector<std::uint8_t> m_rgb;
};

// The two formats written without help: 24-bit uncompressed BMP (rows bottom-up, padded to four
// bytes) and binary PPM (P6), which ImageMagick turns into the other formats.
std::vector<std::uint8_t> encode_bmp(const Image& image);
std::vector<std::uint8_t> encode_ppm(const Image& image);
void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

} // namespace demo
