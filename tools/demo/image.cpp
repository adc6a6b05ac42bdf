// Pixel buffer of the demo pictures, colour arithmetic, and the BMP and PPM writers.
#include "image.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>

namespace demo {

double smoothstep(double e0, double e1, double x)
{
    const double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

namespace {

std::size_t byte_count(int width, int height)
{
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("a picture needs a positive size");
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
}

} // namespace

Image::Image(int width, int height) : m_width(width), m_height(height), m_rgb(byte_count(width, height), 0)
{
}

Rgb Image::at(int x, int y) const
{
    const std::size_t i = (static_cast<std::size_t>(y) * m_width + x) * 3;
    return {m_rgb[i] / 255.0, m_rgb[i + 1] / 255.0, m_rgb[i + 2] / 255.0};
}

Rgb Image::sample(double x, double y) const
{
    x = std::clamp(x, 0.0, m_width - 1.0);
    y = std::clamp(y, 0.0, m_height - 1.0);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, m_width - 1);
    const int y1 = std::min(y0 + 1, m_height - 1);
    const double fx = x - x0;
    const double fy = y - y0;
    return mix(mix(at(x0, y0), at(x1, y0), fx), mix(at(x0, y1), at(x1, y1), fx), fy);
}

void Image::set(int x, int y, Rgb colour)
{
    const std::size_t i = (static_cast<std::size_t>(y) * m_width + x) * 3;
    // Rounding to nearest keeps gradients even; the clamp absorbs light added on top of light.
    m_rgb[i] = static_cast<std::uint8_t>(std::lround(clamp01(colour.r) * 255));
    m_rgb[i + 1] = static_cast<std::uint8_t>(std::lround(clamp01(colour.g) * 255));
    m_rgb[i + 2] = static_cast<std::uint8_t>(std::lround(clamp01(colour.b) * 255));
}

void Image::blend(int x, int y, Rgb colour, double alpha)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height || alpha <= 0)
        return;
    set(x, y, mix(at(x, y), colour, clamp01(alpha)));
}

namespace {

void put_u16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put_u16(out, v & 0xFFFF);
    put_u16(out, v >> 16);
}

} // namespace

std::vector<std::uint8_t> encode_bmp(const Image& image)
{
    const std::uint32_t row = (static_cast<std::uint32_t>(image.width()) * 3 + 3) & ~3u;
    const std::uint32_t pixels = row * static_cast<std::uint32_t>(image.height());
    constexpr std::uint32_t kHeaders = 14 + 40;
    std::vector<std::uint8_t> out;
    out.reserve(kHeaders + pixels);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    put_u32(out, kHeaders + pixels);
    put_u32(out, 0);
    put_u32(out, kHeaders);
    // BITMAPINFOHEADER: positive height means the rows are stored bottom-up.
    put_u32(out, 40);
    put_u32(out, static_cast<std::uint32_t>(image.width()));
    put_u32(out, static_cast<std::uint32_t>(image.height()));
    put_u16(out, 1);
    put_u16(out, 24);
    put_u32(out, 0);
    put_u32(out, pixels);
    put_u32(out, 3780); // 96 dots per inch, in dots per metre
    put_u32(out, 3780);
    put_u32(out, 0);
    put_u32(out, 0);
    const auto& rgb = image.bytes();
    for (int y = image.height() - 1; y >= 0; --y) {
        const std::size_t start = static_cast<std::size_t>(y) * image.width() * 3;
        for (int x = 0; x < image.width(); ++x) {
            const std::size_t i = start + static_cast<std::size_t>(x) * 3;
            out.push_back(rgb[i + 2]); // BMP stores blue, green, red
            out.push_back(rgb[i + 1]);
            out.push_back(rgb[i]);
        }
        out.resize(out.size() + (row - static_cast<std::uint32_t>(image.width()) * 3), 0);
    }
    return out;
}

std::vector<std::uint8_t> encode_ppm(const Image& image)
{
    const std::string header =
        "P6\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n255\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), image.bytes().begin(), image.bytes().end());
    return out;
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace demo
