// The demo folder's pictures: number, size, file format and scene of each one.
#pragma once

#include "scenes.h"

#include <span>
#include <string>

namespace demo {

enum class Format { Bmp, Png, Jpeg, Gif, Tiff };

struct PictureEntry {
    int number = 0;
    int width = 0;
    int height = 0;
    Format format = Format::Bmp;
    SceneRecipe scene;
};

// Numbers 1 to 50 in order, except kSkippedNumber, which is left out on purpose: the slideshow then
// shows one interval of black screen and goes on with the next number.
constexpr int kSkippedNumber = 17;
std::span<const PictureEntry> catalogue();
// The picture under kSkippedNumber, for a folder that needs every number (the installer package's):
// make_demo_pictures --all writes it too.
PictureEntry skipped_picture();

// "BMP", "PNG", "JPEG", "GIF" or "TIFF".
std::string format_name(Format format);
// The file name the slideshow looks for: "KWOBL001.DAT" for number 1.
std::string file_name(int number);

} // namespace demo
