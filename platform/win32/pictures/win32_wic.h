// Pictures decoded through the Windows Imaging Component: every format but the JPEG files that
// libjpeg-turbo decodes.
#pragma once

#include "imaging/colour_transform.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>
#include <wincodec.h>

#include <memory>
#include <string>

namespace platform::win32 {

// Decodes the first frame of the picture file at `path` with `factory`, whatever its format, and keeps
// its pixels at stored_kept_size for `box`, premultiplied, turned upright as its EXIF orientation
// says. The file's headers are checked against the picture budget first (imaging/picture_limits.h):
// some implementations of the imaging component decode a whole file when they open it. Throws
// RuntimeError when the file is refused, cannot be opened or decoded, or claims an absurd size.
//
// With `colours`, the pixels are converted from the colours the file describes into the display's: the
// profile of a TIFF file's first page or the colour chunks of a PNG file as the program reads them,
// otherwise what the imaging component reports for the frame (a PNG file's compressed profile among
// them). 16-bit frames are converted before they are cut to 8 bits, others once scaled. Without
// `colours`, or when the profile is the display's own colours, broken or unsupported, they are kept
// as stored. The pixels are made in `memory`.
[[nodiscard]] std::shared_ptr<const Win32Picture> decode_with_wic(IWICImagingFactory& factory,
                                                                  const std::wstring& path, platform::SizeF box,
                                                                  imaging::ColourTransforms* colours = nullptr,
                                                                  const PixelMemory& memory = {});
// The same for the file open in `file` (with read access), read from its start.
[[nodiscard]] std::shared_ptr<const Win32Picture> decode_with_wic(IWICImagingFactory& factory, HANDLE file,
                                                                  platform::SizeF box,
                                                                  imaging::ColourTransforms* colours = nullptr,
                                                                  const PixelMemory& memory = {});

} // namespace platform::win32
