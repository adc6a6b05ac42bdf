// Large, clear lettering for the demo pictures: a small stroke font and the number label.
#include "lettering.h"

#include <array>
#include <cmath>
#include <numbers>

namespace demo {

namespace {

constexpr double kAdvance = 0.8;  // glyph box 0.6 plus the gap, in units of the height
constexpr double kStroke = 0.075; // half the stroke width, in units of the height
constexpr double kHalo = 0.07;    // width of the dark halo around the strokes

Polyline arc(double cx, double cy, double rx, double ry, double from_deg, double to_deg)
{
    Polyline line;
    constexpr int kSteps = 28;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = (from_deg + (to_deg - from_deg) * i / kSteps) * std::numbers::pi / 180;
        line.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
    }
    return line;
}

Polyline curve(Point a, Point control, Point b)
{
    Polyline line;
    constexpr int kSteps = 20;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        const double u = 1 - t;
        line.push_back({u * u * a.x + 2 * u * t * control.x + t * t * b.x,
                        u * u * a.y + 2 * u * t * control.y + t * t * b.y});
    }
    return line;
}

Polyline joined(Polyline a, const Polyline& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Angles run clockwise on screen: 0 is right, 90 down, 180 left, 270 up.
std::array<Glyph, 128> make_font()
{
    std::array<Glyph, 128> font{};
    font['0'] = {arc(0.3, 0.5, 0.26, 0.45, 0, 360)};
    font['1'] = {{{0.12, 0.22}, {0.34, 0.05}, {0.34, 0.95}}, {{0.14, 0.95}, {0.54, 0.95}}};
    font['2'] = {joined(arc(0.3, 0.3, 0.24, 0.24, 195, 380), {{0.05, 0.95}, {0.57, 0.95}})};
    font['3'] = {arc(0.3, 0.28, 0.22, 0.22, 205, 450), arc(0.3, 0.72, 0.25, 0.23, -90, 160)};
    font['4'] = {{{0.45, 0.95}, {0.45, 0.05}, {0.03, 0.68}, {0.59, 0.68}}};
    font['5'] = {joined({{0.53, 0.05}, {0.13, 0.05}, {0.1, 0.47}}, arc(0.3, 0.69, 0.26, 0.26, -130, 150))};
    font['6'] = {arc(0.31, 0.69, 0.25, 0.26, 0, 360), curve({0.06, 0.7}, {0.08, 0.08}, {0.5, 0.07})};
    font['7'] = {{{0.03, 0.05}, {0.57, 0.05}, {0.2, 0.95}}};
    font['8'] = {arc(0.3, 0.27, 0.2, 0.22, 0, 360), arc(0.3, 0.72, 0.25, 0.23, 0, 360)};
    font['9'] = {arc(0.29, 0.31, 0.25, 0.26, 0, 360), curve({0.54, 0.3}, {0.52, 0.92}, {0.1, 0.93})};
    font['B'] = {{{0.08, 0.05}, {0.08, 0.95}},
                 joined(joined({{0.08, 0.05}}, arc(0.33, 0.27, 0.22, 0.22, -90, 90)), {{0.08, 0.49}}),
                 joined(joined({{0.08, 0.49}}, arc(0.34, 0.72, 0.23, 0.23, -90, 90)), {{0.08, 0.95}})};
    font['E'] = {{{0.54, 0.05}, {0.08, 0.05}, {0.08, 0.95}, {0.54, 0.95}}, {{0.08, 0.5}, {0.46, 0.5}}};
    font['F'] = {{{0.54, 0.05}, {0.08, 0.05}, {0.08, 0.95}}, {{0.08, 0.5}, {0.46, 0.5}}};
    font['G'] = {joined(arc(0.32, 0.5, 0.27, 0.45, -40, -320), {{0.58, 0.56}, {0.36, 0.56}})};
    font['I'] = {{{0.3, 0.05}, {0.3, 0.95}}, {{0.12, 0.05}, {0.48, 0.05}}, {{0.12, 0.95}, {0.48, 0.95}}};
    font['J'] = {joined({{0.5, 0.05}}, arc(0.3, 0.73, 0.2, 0.22, 0, 180))};
    font['M'] = {{{0.04, 0.95}, {0.08, 0.05}, {0.3, 0.7}, {0.52, 0.05}, {0.56, 0.95}}};
    font['N'] = {{{0.08, 0.95}, {0.08, 0.05}, {0.52, 0.95}, {0.52, 0.05}}};
    font['P'] = {joined(joined({{0.08, 0.95}, {0.08, 0.05}}, arc(0.32, 0.29, 0.24, 0.24, -90, 90)), {{0.08, 0.53}})};
    font['T'] = {{{0.03, 0.05}, {0.57, 0.05}}, {{0.3, 0.05}, {0.3, 0.95}}};
    font['x'] = {{{0.1, 0.4}, {0.5, 0.95}}, {{0.5, 0.4}, {0.1, 0.95}}};
    font[' '] = Glyph{};
    return font;
}

double segment_distance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = clamp01(t);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Draws a filled rounded rectangle with the given opacity and soft edges.
void draw_plate(Image& image, double left, double top, double width, double height, double radius, Rgb colour,
                double alpha)
{
    const int x0 = static_cast<int>(std::floor(left)), x1 = static_cast<int>(std::ceil(left + width));
    const int y0 = static_cast<int>(std::floor(top)), y1 = static_cast<int>(std::ceil(top + height));
    const double cx = left + width / 2, cy = top + height / 2;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            // Signed distance to the rounded rectangle, negative inside.
            const double qx = std::abs(x + 0.5 - cx) - (width / 2 - radius);
            const double qy = std::abs(y + 0.5 - cy) - (height / 2 - radius);
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            const double d = outside + std::min(std::max(qx, qy), 0.0) - radius;
            image.blend(x, y, colour, alpha * clamp01(0.5 - d));
        }
    }
}

} // namespace

const Glyph* glyph(char c)
{
    static const std::array<Glyph, 128> kFont = make_font();
    const auto index = static_cast<unsigned char>(c);
    if (index >= kFont.size() || (kFont[index].empty() && c != ' '))
        return nullptr;
    return &kFont[index];
}

double text_width(std::string_view text, double height)
{
    if (text.empty())
        return 0;
    return height * (kAdvance * (static_cast<double>(text.size()) - 1) + 0.6);
}

void draw_text(Image& image, std::string_view text, double left, double top, double height, Rgb fill)
{
    const double stroke = kStroke * height;
    const double halo = kHalo * height;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = glyph(text[i]);
        if (g == nullptr)
            continue;
        const double gx = left + height * kAdvance * static_cast<double>(i);
        const double reach = stroke + halo + 1;
        const int x0 = static_cast<int>(std::floor(gx - reach));
        const int x1 = static_cast<int>(std::ceil(gx + 0.6 * height + reach));
        const int y0 = static_cast<int>(std::floor(top - reach));
        const int y1 = static_cast<int>(std::ceil(top + height + reach));
        for (int y = std::max(y0, 0); y < std::min(y1, image.height()); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x1, image.width()); ++x) {
                const Point p{(x + 0.5 - gx) / height, (y + 0.5 - top) / height};
                double d = 1e9;
                for (const Polyline& line : *g)
                    for (std::size_t k = 1; k < line.size(); ++k)
                        d = std::min(d, segment_distance(p, line[k - 1], line[k]));
                d *= height; // back to pixels
                image.blend(x, y, Rgb{0.02, 0.02, 0.04}, 0.75 * clamp01(stroke + halo + 0.5 - d));
                image.blend(x, y, fill, clamp01(stroke + 0.5 - d));
            }
        }
    }
}

void draw_label(Image& image, std::string_view number, std::string_view caption)
{
    const double size = std::min(image.width(), image.height());
    const double number_height = std::round(size * 0.16);
    const double caption_height = std::round(size * 0.035);
    const double margin = std::round(size * 0.04);
    const double pad = std::round(number_height * 0.3);
    const double inner = std::max(text_width(number, number_height), text_width(caption, caption_height));
    const double plate_width = inner + 2 * pad;
    const double plate_height = number_height + caption_height * 1.6 + 2 * pad;
    const double plate_left = image.width() - margin - plate_width;
    const double plate_top = image.height() - margin - plate_height;
    draw_plate(image, plate_left, plate_top, plate_width, plate_height, pad, Rgb{0, 0, 0}, 0.38);
    const double right = plate_left + pad + inner;
    draw_text(image, number, right - text_width(number, number_height), plate_top + pad, number_height,
              Rgb{1, 1, 1});
    draw_text(image, caption, right - text_width(caption, caption_height),
              plate_top + pad + number_height + caption_height * 0.6, caption_height, Rgb{0.92, 0.92, 0.85});
}

} // namespace demo
