// High-quality resampling of 32-bit pixels (area averaging to shrink, bilinear interpolation to enlarge),
// and the conversion of decoded pixel rows into those pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace imaging {

// Resamples a picture of 4-byte pixels from one size to another. Each of the four bytes of a pixel is
// filtered on its own, so the channel order does not matter and premultiplied pixels stay premultiplied.
// Shrinking averages the area of the source that each target pixel covers, counting the source pixels on
// its edges by the fraction they overlap, so fine detail turns into its mean colour instead of aliasing.
// Enlarging interpolates bilinearly between the four nearest source pixels.
//
// Source rows arrive top to bottom in strips of any height. Each target row is written as soon as the
// source rows it depends on have arrived, and the scaler keeps only a few rows of its own, so a large
// picture can be scaled while it is being decoded without ever holding it whole.
class ImageScaler {
public:
    // Writes into `target`, which holds target_height rows of target_width pixels, `target_stride` bytes
    // apart; it must stay valid while rows are pushed. Throws platform::RuntimeError for a size below 1 or a stride
    // shorter than a row.
    ImageScaler(int source_width, int source_height, std::uint8_t* target, int target_width, int target_height,
                std::ptrdiff_t target_stride);
    ImageScaler(const ImageScaler&) = delete;
    ImageScaler& operator=(const ImageScaler&) = delete;
    ~ImageScaler();

    // Takes the next `count` source rows, `stride` bytes apart, each source_width pixels long.
    // Throws platform::RuntimeError when this would go past the source's last row.
    void push_rows(const std::uint8_t* rows, std::ptrdiff_t stride, int count);

    // Source rows taken so far.
    [[nodiscard]] int rows_pushed() const;
    // Target rows written so far; the target is complete when this equals target_height.
    [[nodiscard]] int rows_written() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Layouts of decoded pixel rows that convert_row turns into the premultiplied BGRA pixels that are
// scaled and drawn. Byte order within a pixel, lowest address first.
enum class RowLayout {
    Bgra32Premultiplied, // B, G, R, A with colours already multiplied by alpha: taken as they are
    Bgra32,              // B, G, R, A with straight colours
    Bgrx32,              // B, G, R and an unused byte: opaque
    Bgr24,               // B, G, R: opaque
    Gray8,               // one grey level: opaque
};

// Bytes one pixel takes in `layout`.
[[nodiscard]] int bytes_per_pixel(RowLayout layout);

// Converts `count` pixels of `layout` at `in` to premultiplied B, G, R, A at `out` (4 bytes each).
// Pixels without alpha become opaque; colours are multiplied by alpha / 255, rounded to nearest, so
// that a transparent pixel becomes black.
void convert_row(RowLayout layout, const std::uint8_t* in, std::uint8_t* out, int count);

// Scales a whole picture at once; sizes and strides as for ImageScaler.
void scale_image(const std::uint8_t* source, int source_width, int source_height, std::ptrdiff_t source_stride,
                 std::uint8_t* target, int target_width, int target_height, std::ptrdiff_t target_stride);

} // namespace imaging
