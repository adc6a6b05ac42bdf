// What one picture may cost: every number of the per-picture budget, in one place.
//
// A picture file is untrusted. Its decode may take at most kPictureBudgetBytes above what the program
// holds anyway; the rest of these numbers divide that budget among the decoder, the file's bytes and
// the pixels kept, and bound what the headers may claim before anything is allocated for them.
#pragma once

#include <cstdint>

namespace imaging {

// The most memory one picture's decode may take on top of what the program holds anyway.
constexpr std::uint64_t kPictureBudgetBytes = std::uint64_t{256} << 20;
// What a decoder may take of it for its own buffers (a whole decoded frame, a JPEG file's
// coefficients, the file's bytes); the rest is left for the pixels kept, a screen's worth, and the
// strips on their way to them.
constexpr std::uint64_t kDecoderBudgetBytes = std::uint64_t{192} << 20;

// Pictures with a longer side, or more pixels, are refused whatever their format.
constexpr std::uint32_t kMaxPictureSide = 65535;
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 27;

// JPEG files longer than this are refused unread; a photograph takes some tens of megabytes at most.
// The file is held while it is decoded, so its length counts against the decoder's budget, of which
// it may take at most half.
constexpr std::uint64_t kMaxJpegFileBytes = std::uint64_t{96} << 20;
static_assert(kMaxJpegFileBytes <= kDecoderBudgetBytes / 2);

// A progressive JPEG file may have at most kMaxJpegScans scans; a large one no more than
// kMaxJpegScanBlocks / its 8 x 8 blocks (of all components), but never fewer than kMinJpegScans.
// Ordinary files have about ten; each scan costs a pass over every block of the picture.
constexpr int kMaxJpegScans = 100;
constexpr int kMinJpegScans = 24;
constexpr std::uint64_t kMaxJpegScanBlocks = std::uint64_t{48} << 20;

// The walk over a JPEG file's segments before its first scan, or a PNG file's chunks before its image
// data (imaging/picture_segments.h), stops after this many: a photograph has some tens (a colour profile
// of the largest size allowed takes 65 segments of its own), and each one costs a read of the file. The
// header checks refuse a file that has more; EXIF and the colour profile look no further.
constexpr int kMaxHeaderSegments = 1024;
// A JPEG marker may be preceded by this many fill bytes (0xFF) at most; writers put none or a few.
constexpr int kMaxJpegFillBytes = 64;

// An EXIF block longer than this is not read: a JPEG segment holds at most 64 KB, and a PNG file's eXIf
// chunk of a camera's photograph no more.
constexpr std::uint32_t kMaxExifBytes = std::uint32_t{1} << 20;

// An embedded colour profile longer than this is ignored (the picture is shown as stored). Display and
// camera profiles take a few kilobytes, the largest printing profiles some hundreds; the profile is held
// while the picture is decoded and the colour engine parses it.
constexpr std::uint64_t kMaxColourProfileBytes = std::uint64_t{4} << 20;
static_assert(kMaxColourProfileBytes <= kDecoderBudgetBytes / 16);
// What the colour engine may take for one display's conversions: the profiles it has open and the
// tables it builds from them. A profile that claims more fails to open and is ignored.
constexpr std::uint64_t kColourEngineBudgetBytes = std::uint64_t{48} << 20;
static_assert(kColourEngineBudgetBytes <= kPictureBudgetBytes - kDecoderBudgetBytes);

} // namespace imaging
