// JPEG pictures decoded with libjpeg-turbo at the fewest eighths of their size that still cover the size kept.
#pragma once

#include "imaging/colour_transform.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace platform::win32 {

// What decode_jpeg made of a file.
struct JpegDecode {
    // The picture, or null when the file is left to the imaging component.
    std::shared_ptr<const Win32Picture> picture;
    // The scale the file was decoded at, in eighths of its natural size, and the size that gave
    // before it was scaled to the size kept.
    int eighths = 0;
    SIZE decoded{};
};

// Decodes the JPEG file at `path` (baseline or progressive; greyscale, colour or CMYK) and keeps its
// pixels at kept_size for `box`, as premultiplied BGRA. The file is decoded at the
// smallest scale M/8 that still covers that size, and its rows go straight into the resampler, so
// neither the full-size nor the reduced decode is ever held whole. The pixels kept are turned upright as
// the file's EXIF orientation says, and the natural size is that of the turned picture.
//
// Returns no picture, for the imaging component to try, when the file does not start as a JPEG file
// (FF D8 FF), cannot be opened, or uses JPEG coding that libjpeg-turbo lacks (12-bit samples, lossless
// coding, an unknown colour space). Throws RuntimeError when it is a JPEG file that is truncated or
// corrupt, claims a size beyond the picture limits, is longer than kMaxJpegFileBytes, or would go
// over the picture budget (imaging/picture_budget.h: its coefficients, its number of scans).
//
// With `colours`, a file with an ICC profile (its APP2 segments) is converted from it into the display's
// colours once scaled; a CMYK or YCCK file is then scaled as inks and converted through its profile.
// Without them, or with a profile that is the display's own colours, broken or unsupported, the
// pixels are kept as stored (CMYK converted without a profile). The pixels are made in `memory`.
[[nodiscard]] JpegDecode decode_jpeg(const std::wstring& path, platform::SizeF box,
                                     imaging::ColourTransforms* colours = nullptr,
                                     const PixelMemory& memory = {});
// The same for the file open in `file` (with read access), read from its start whatever its file
// pointer.
[[nodiscard]] JpegDecode decode_jpeg(HANDLE file, platform::SizeF box, imaging::ColourTransforms* colours = nullptr,
                                     const PixelMemory& memory = {});

} // namespace platform::win32
