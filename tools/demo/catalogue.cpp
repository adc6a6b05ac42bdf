// The demo folder's pictures: number, size, file format and scene of each one.
//
// Sizes are chosen around a 1920 x 1080 screen: smaller in both directions (shown at their own size),
// exactly screen sized, as wide or as tall as the screen, and larger up to 4000 pixels, in landscape,
// portrait and square shapes (scaled to the full width or the full height).
#include "catalogue.h"

#include <array>
#include <cstdio>

namespace demo {

namespace {

using enum Format;
using enum Scene;
using enum Palette;

constexpr PictureEntry picture(int number, int width, int height, Format format, Scene scene,
                              Palette palette = Noon, bool water = false)
{
    return {number, width, height, format, SceneRecipe{scene, palette, water, static_cast<std::uint64_t>(number) * 7919}};
}

constexpr std::array kPictures{
    picture(1, 1920, 1080, Png, Landscape, Noon, true),
    picture(2, 1280, 720, Jpeg, Landscape, Sunset, true),
    picture(3, 3000, 2000, Jpeg, Aurora),
    picture(4, 1024, 1024, Gif, Tiles, Bauhaus),
    picture(5, 800, 600, Bmp, NightSky),
    picture(6, 3840, 1200, Jpeg, Landscape, Dawn, true),
    picture(7, 1080, 1920, Png, Landscape, Dusk),
    picture(8, 1600, 900, Tiff, Truchet, Sea),
    picture(9, 4000, 3000, Jpeg, NightSky),
    picture(10, 640, 480, Bmp, Landscape, Winter, true),
    picture(11, 2048, 2048, Png, Rings, Candy),
    picture(12, 1920, 800, Tiff, Landscape, Sunset, true),
    picture(13, 720, 1000, Jpeg, Aurora, Candy),
    picture(14, 1366, 768, Gif, Triangles, Forest),
    picture(15, 2560, 1440, Jpeg, Landscape, Noon),
    picture(16, 1200, 1080, Bmp, Tiles, Sea),
    picture(18, 1440, 900, Png, NightSky),
    picture(19, 3000, 4000, Jpeg, Landscape, Dawn),
    picture(20, 1920, 1080, Gif, Truchet, Bauhaus),
    picture(21, 1024, 768, Tiff, Aurora),
    picture(22, 2400, 1600, Jpeg, Landscape, Dusk, true),
    picture(23, 500, 500, Gif, Rings, Sea),
    picture(24, 1680, 1050, Bmp, Landscape, Sunset),
    picture(25, 4000, 1500, Png, Aurora, Candy),
    picture(26, 1000, 1400, Tiff, Triangles, Candy),
    picture(27, 1920, 1080, Jpeg, Aurora),
    picture(28, 1280, 960, Png, Tiles, Forest),
    picture(29, 3200, 1800, Jpeg, Landscape, Winter, true),
    picture(30, 600, 900, Bmp, Landscape, Noon, true),
    picture(31, 2000, 1000, Gif, Truchet, Candy),
    picture(32, 1600, 1200, Tiff, NightSky),
    picture(33, 1920, 1080, Bmp, Landscape, Dawn, true),
    picture(34, 1152, 864, Jpeg, Rings, Bauhaus),
    picture(35, 3500, 2400, Png, Landscape, Sunset, true),
    picture(36, 720, 1280, Gif, Tiles, Candy),
    picture(37, 1500, 1000, Tiff, Landscape, Noon),
    picture(38, 2880, 1800, Jpeg, Aurora),
    picture(39, 960, 540, Bmp, Triangles, Sea),
    picture(40, 1920, 1200, Png, Landscape, Dusk, true),
    picture(41, 2200, 2200, Tiff, Truchet, Forest),
    picture(42, 1280, 720, Gif, Rings, Forest),
    picture(43, 800, 1000, Jpeg, NightSky),
    picture(44, 3840, 2160, Jpeg, Landscape, Noon, true),
    picture(45, 1440, 1080, Bmp, Aurora, Candy),
    picture(46, 2500, 1200, Png, Tiles, Bauhaus),
    picture(47, 1100, 700, Tiff, Landscape, Winter),
    picture(48, 1920, 1080, Tiff, NightSky),
    picture(49, 4000, 2250, Jpeg, Landscape, Sunset, true),
    picture(50, 1200, 675, Png, Triangles, Bauhaus),
};

} // namespace

std::span<const PictureEntry> catalogue()
{
    return kPictures;
}

PictureEntry skipped_picture()
{
    return picture(kSkippedNumber, 1600, 1000, Jpeg, Landscape, Dusk, true);
}

std::string format_name(Format format)
{
    switch (format) {
    case Bmp: return "BMP";
    case Png: return "PNG";
    case Jpeg: return "JPEG";
    case Gif: return "GIF";
    case Tiff: return "TIFF";
    }
    return "?";
}

std::string file_name(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "KWOBL%03d.DAT", number);
    return name;
}

} // namespace demo
