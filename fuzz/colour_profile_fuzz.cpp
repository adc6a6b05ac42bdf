// Fuzz target: the colour profile reader on the input as a picture file of any format, and the colour
// engine on the input as an ICC profile, converting a few pixels of each layout through it, and as the
// display's profile.
#include "imaging/colour_profile.h"
#include "imaging/colour_transform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void convert_through(imaging::ColourTransforms& colours, std::span<const std::uint8_t> profile)
{
    using imaging::ColourInput;
    static constexpr ColourInput kInputs[] = {ColourInput::Bgra8Premultiplied, ColourInput::Cmyk8,
                                              ColourInput::Cmyk8Inverted,      ColourInput::Rgb16,
                                              ColourInput::Rgba16,             ColourInput::Gray16};
    for (const ColourInput input : kInputs) {
        const auto transform = colours.find(profile, input);
        if (!transform)
            continue;
        std::uint8_t in[4 * 8] = {0, 0, 0, 255, 255, 255, 255, 255, 1, 128, 255, 128, 9, 8, 7, 0,
                                  40, 90, 200, 255, 255, 0, 0, 255, 0, 255, 0, 3, 77, 77, 77, 255};
        std::uint8_t out[4 * 8] = {};
        // As many pixels as both the input and the 4-byte output hold.
        const int count = static_cast<int>(sizeof in) / std::max(imaging::bytes_per_pixel(input), 4);
        transform->convert(in, input == ColourInput::Bgra8Premultiplied ? in : out, count);
        // Premultiplied colours never exceed their alpha.
        const std::uint8_t* result = input == ColourInput::Bgra8Premultiplied ? in : out;
        if (input == ColourInput::Bgra8Premultiplied || input == ColourInput::Rgba16)
            for (int i = 0; i < count; ++i)
                for (int c = 0; c < 3; ++c)
                    if (result[4 * i + c] > result[4 * i + 3])
                        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    imaging::MemoryByteSource file(bytes);
    const imaging::EmbeddedColour colour = imaging::file_colour(file);
    if (colour.kind == imaging::EmbeddedColour::Kind::Profile && colour.profile.empty())
        std::abort();
    if (const auto profile = imaging::jpeg_icc_profile(bytes); profile && profile->size() > size)
        std::abort();
    imaging::ColourTransforms colours;
    convert_through(colours, bytes);
    if (colour.kind == imaging::EmbeddedColour::Kind::Profile)
        convert_through(colours, colour.profile);
    // The input as the display's profile, with a picture in sRGB.
    static const std::vector<std::uint8_t> srgb = imaging::srgb_profile();
    imaging::ColourTransforms on_display(bytes);
    convert_through(on_display, srgb);
    return 0;
}
