// Colour management: pixels converted from the colours their file describes into the display's own, with
// Little CMS, and the conversions kept for the next picture with the same profile.
#pragma once

#include "imaging/colour_profile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace imaging {

// The layouts of pixel rows that a conversion reads. Its output is always premultiplied B, G, R, A.
enum class ColourInput : std::uint8_t {
    Bgra8Premultiplied, // the pipeline's own pixels; converted in place, alpha kept
    Cmyk8,              // C, M, Y, K as inks (0 is no ink): opaque
    Cmyk8Inverted,      // C, M, Y, K as Adobe programs store them in JPEG files (255 is no ink): opaque
    Rgb16,              // R, G, B of 16 bits each, in the machine's byte order: opaque
    Rgba16,             // R, G, B, A of 16 bits each with straight alpha
    Gray16,             // one grey level of 16 bits: opaque
};

// Bytes one pixel of `input` takes.
[[nodiscard]] int bytes_per_pixel(ColourInput input);

// One conversion from a picture's colours to the display's. Safe to use from several threads at once.
class ColourTransform {
public:
    virtual ~ColourTransform() = default;
    [[nodiscard]] virtual ColourInput input() const = 0;
    // Converts `count` pixels at `in` to premultiplied BGRA at `out`. For Bgra8Premultiplied `in` may be
    // `out`; for the others they must not overlap.
    virtual void convert(const std::uint8_t* in, std::uint8_t* out, int count) const = 0;
};

// Converts the premultiplied BGRA picture at `bits` (height rows of width pixels, `stride` bytes apart)
// in place.
void convert_picture(const ColourTransform& transform, std::uint8_t* bits, int width, int height, std::ptrdiff_t stride);

// The conversions into one display's colours, made when a picture first needs them and kept for the
// pictures after it, the last kMaxCached of them, by the bytes of the profile. Used by one thread.
class ColourTransforms {
public:
    static constexpr std::size_t kMaxCached = 8;

    // `display_profile` is the ICC profile of the display the pictures are shown on; when it is empty,
    // broken, or not an RGB display profile, the display is taken to be sRGB.
    explicit ColourTransforms(std::span<const std::uint8_t> display_profile = {});
    ~ColourTransforms();
    ColourTransforms(ColourTransforms&&) noexcept;
    ColourTransforms& operator=(ColourTransforms&&) noexcept;

    // The conversion of pixels laid out as `input` whose colours `colour` describes (sRGB when untagged);
    // null when they are shown as stored: in the display's own colours, or described by a profile that is broken,
    // unsupported or of another colour space than the pixels (RGB or grey for RGB rows and 16-bit grey,
    // CMYK for CMYK rows). A CompressedProfile gives null: its bytes must be found first.
    [[nodiscard]] std::shared_ptr<const ColourTransform> find(const EmbeddedColour& colour, ColourInput input);
    // As find, for an ICC profile.
    [[nodiscard]] std::shared_ptr<const ColourTransform> find(std::span<const std::uint8_t> profile, ColourInput input);

    // How many conversions, and decisions that none is needed, are kept.
    [[nodiscard]] std::size_t cached() const;
    // Whether the display's colours are those of sRGB.
    [[nodiscard]] bool display_is_srgb() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The ICC profile that stands for a PNG file's gAMA (and cHRM) chunks: its primaries and white (sRGB's
// without cHRM) and a transfer of 1 / gamma. Empty when the numbers make no profile.
[[nodiscard]] std::vector<std::uint8_t> gamma_profile(double gamma, const std::optional<Chromaticities>& chromaticities);

// The ICC profile of sRGB as the colour engine writes it.
[[nodiscard]] std::vector<std::uint8_t> srgb_profile();

} // namespace imaging
