// What one picture may cost: the budget, and what a file's own headers say its decode will take.
//
// The costs are those of a decoder that decodes at open: a whole frame at the file's own depth (PNG,
// BMP, TIFF, JPEG), every frame of a GIF with the logical screen they are drawn on, an icon's picture
// and its 32-bit copy. Where a decoder also converts, or the work grows with the pixels more than the
// memory does (a GIF's frames are decompressed one byte per pixel, slowly), the cost is counted at
// 4 bytes per pixel, so that the time a file can take stays bounded with its memory.
#include "imaging/picture_limits.h"

#include "imaging/picture_segments.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <set>
#include <vector>

namespace imaging {
namespace {

constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;
// Walks stop after this many frames, pages or markers: no picture a slideshow shows has more, and a
// file that does is refused rather than walked for long.
constexpr int kMaxFrames = 10000;
constexpr int kMaxPages = 1024;

// Reads through a window of the file, so that walking many small blocks costs few reads of the source.
class Reader final : public ByteSource {
public:
    explicit Reader(ByteSource& source) : m_source(source), m_size(source.size()), m_window(64 * 1024) {}

    [[nodiscard]] std::uint64_t size() const override { return m_size; }

    // As much of `out` as the file holds from `offset` on, for the walks of imaging/picture_segments.h.
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override
    {
        if (offset >= m_size)
            return 0;
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_size - offset));
        return read(offset, out.data(), count) ? count : 0;
    }

    // Copies `count` bytes from `offset` to `out`; false when the file ends before them.
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t count)
    {
        if (offset > m_size || count > m_size - offset)
            return false;
        if (count > m_window.size())
            return m_source.read(offset, std::span<std::uint8_t>(out, count)) == count;
        if (offset < m_start || offset + count > m_start + m_length) {
            m_start = offset;
            m_length = m_source.read(offset, std::span<std::uint8_t>(m_window));
            if (m_length < count)
                return false;
        }
        std::memcpy(out, m_window.data() + (offset - m_start), count);
        return true;
    }

private:
    ByteSource& m_source;
    std::uint64_t m_size;
    std::vector<std::uint8_t> m_window;
    std::uint64_t m_start = 0;
    std::size_t m_length = 0;
};

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (std::uint32_t{p[1]} << 8); }
std::uint32_t be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }
std::uint32_t be32(const std::uint8_t* p) { return (be16(p) << 16) | be16(p + 2); }

// The cost being worked out, with the checks every format shares.
class Costing {
public:
    Costing(PictureCost& cost, std::uint64_t budget) : m_cost(cost), m_budget(budget) {}

    // Takes a frame of width x height; false (and the file refused) when it has no pixels or too many.
    bool frame(std::uint64_t width, std::uint64_t height, const char* what)
    {
        if (width == 0 || height == 0)
            return refuse(std::string(what) + " has no pixels");
        if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
            return refuse(std::string(what) + " too large: " + std::to_string(width) + " x " +
                          std::to_string(height));
        if (width * height > std::uint64_t{m_cost.width} * m_cost.height) {
            m_cost.width = static_cast<std::uint32_t>(width);
            m_cost.height = static_cast<std::uint32_t>(height);
        }
        return true;
    }

    // Adds memory the decode takes; sizes here are bounded by frame(), so nothing overflows.
    void add(std::uint64_t bytes) { m_cost.decode_bytes += bytes; }
    // Keeps the larger of what is counted and `bytes`, for files of which one part is decoded.
    void at_least(std::uint64_t bytes) { m_cost.decode_bytes = std::max(m_cost.decode_bytes, bytes); }

    bool refuse(std::string why)
    {
        if (m_cost.refusal.empty())
            m_cost.refusal = std::move(why);
        return false;
    }

    // Refuses the file when what was counted is over the budget.
    void finish()
    {
        if (!m_cost.refused() && m_cost.decode_bytes > m_budget)
            refuse("decoding it takes " + std::to_string((m_cost.decode_bytes + kMegabyte - 1) / kMegabyte) +
                   " MB, more than the " + std::to_string(m_budget / kMegabyte) + " MB a picture may take");
    }

private:
    PictureCost& m_cost;
    std::uint64_t m_budget;
};

// ---- PNG ----

// The image header of the PNG data at `offset`: the frame and its decoded size (8-bit samples and
// palette indices take a byte, 16-bit two; grey with alpha comes out as RGBA). False when refused.
bool png_cost(Reader& in, std::uint64_t offset, Costing& costing, std::uint64_t& bytes)
{
    // The image header is the first chunk, whole with its checksum.
    std::uint8_t head[13];
    const std::optional<PngChunk> first = PngChunks(in, offset + kPngSignature.size()).next();
    if (!first || !first->is("IHDR") || first->length != sizeof head || !in.read(first->offset, head, sizeof head))
        return costing.refuse("broken PNG header");
    const std::uint32_t width = be32(head);
    const std::uint32_t height = be32(head + 4);
    const unsigned depth = head[8];
    const unsigned colour = head[9];
    unsigned channels = 0;
    bool valid_depth = false;
    switch (colour) {
    case 0: // grey
        channels = 1;
        valid_depth = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3: // palette
        channels = 1;
        valid_depth = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2: // RGB
    case 4: // grey and alpha, expanded to RGBA
    case 6: // RGBA
        channels = colour == 2 ? 3 : 4;
        valid_depth = depth == 8 || depth == 16;
        break;
    default:
        break;
    }
    if (!valid_depth)
        return costing.refuse("broken PNG header: colour type " + std::to_string(colour) + " at " +
                              std::to_string(depth) + " bits");
    if (!costing.frame(width, height, "PNG picture"))
        return false;
    const std::uint64_t sample_bytes = depth == 16 ? 2 : 1;
    bytes = std::uint64_t{width} * height * channels * sample_bytes;
    return true;
}

// ---- GIF ----

// Skips the data sub-blocks from `at` on, up to and including the empty one that ends them.
bool skip_sub_blocks(Reader& in, std::uint64_t& at)
{
    for (;;) {
        std::uint8_t length = 0;
        if (!in.read(at, &length, 1))
            return false;
        at += 1 + std::uint64_t{length};
        if (length == 0)
            return true;
    }
}

void gif_cost(Reader& in, Costing& costing)
{
    std::uint8_t head[13];
    if (!in.read(0, head, sizeof head)) {
        costing.refuse("broken GIF header");
        return;
    }
    const std::uint32_t screen_width = le16(head + 6);
    const std::uint32_t screen_height = le16(head + 8);
    if (!costing.frame(screen_width, screen_height, "GIF logical screen"))
        return;
    // The frames are drawn on the logical screen in 32-bit pixels.
    costing.add(std::uint64_t{screen_width} * screen_height * 4);
    std::uint64_t at = sizeof head;
    if (head[10] & 0x80)
        at += 3 * (std::uint64_t{2} << (head[10] & 7));
    // Every frame is decompressed when the file is opened, so every frame counts. A file that ends or
    // breaks off early is taken as far as it goes: a decoder gets no further either.
    for (int frames = 0;;) {
        std::uint8_t kind = 0;
        if (!in.read(at, &kind, 1) || kind == 0x3B)
            return;
        if (kind == 0x21) { // extension: a label, then sub-blocks
            at += 2;
            if (!skip_sub_blocks(in, at))
                return;
        } else if (kind == 0x2C) { // image descriptor
            std::uint8_t image[10];
            if (!in.read(at, image, sizeof image))
                return;
            if (++frames > kMaxFrames) {
                costing.refuse("GIF file with more than " + std::to_string(kMaxFrames) + " frames");
                return;
            }
            const std::uint32_t width = le16(image + 5);
            const std::uint32_t height = le16(image + 7);
            if (!costing.frame(std::max<std::uint32_t>(width, 1), std::max<std::uint32_t>(height, 1), "GIF frame"))
                return;
            costing.add(std::uint64_t{width} * height * 4);
            at += sizeof image;
            if (image[9] & 0x80)
                at += 3 * (std::uint64_t{2} << (image[9] & 7));
            at += 1; // the LZW code size
            if (!skip_sub_blocks(in, at))
                return;
        } else {
            return;
        }
    }
}

// ---- BMP ----

// The bitmap header at `offset` (after a file header, or an icon's), for a bitmap whose height counts
// `height_parts` pictures (an icon's counts its mask too). Sets `bytes` to what the stored bitmap takes
// and `pixels` to the number of pixels of one of its pictures.
bool bitmap_cost(Reader& in, std::uint64_t offset, Costing& costing, std::uint64_t& bytes, std::uint64_t& pixels,
                 int height_parts)
{
    std::uint8_t head[20];
    if (!in.read(offset, head, 4))
        return costing.refuse("broken bitmap header");
    const std::uint32_t header_size = le32(head);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    if (header_size == 12) {
        if (!in.read(offset, head, 12))
            return costing.refuse("broken bitmap header");
        width = le16(head + 4);
        height = le16(head + 6);
        bits = le16(head + 10);
    } else if (header_size >= 40 && header_size <= 1024) {
        if (!in.read(offset, head, 20))
            return costing.refuse("broken bitmap header");
        width = static_cast<std::int32_t>(le32(head + 4));
        height = static_cast<std::int32_t>(le32(head + 8));
        bits = le16(head + 14);
        compression = le32(head + 16);
    } else {
        return costing.refuse("broken bitmap header: " + std::to_string(header_size) + " bytes");
    }
    // A negative height means rows stored top down; a negative width means nothing.
    if (width < 0 || height == INT32_MIN)
        return costing.refuse("bitmap of " + std::to_string(width) + " x " + std::to_string(height));
    const std::uint64_t w = static_cast<std::uint64_t>(width);
    const std::uint64_t h = static_cast<std::uint64_t>(height < 0 ? -height : height) / height_parts;
    if (!costing.frame(w, h, "bitmap"))
        return false;
    const std::uint64_t stored_bits = bits == 0 ? 32 : std::min<std::uint32_t>(bits, 64);
    const std::uint64_t stride = (w * stored_bits + 31) / 32 * 4;
    bytes = stride * h * height_parts;
    pixels = w * h;
    // Run-length and embedded JPEG or PNG data are decoded to 32-bit pixels.
    if (compression == 1 || compression == 2 || compression == 4 || compression == 5)
        bytes = std::max(bytes, w * h * 4);
    return true;
}

void bmp_cost(Reader& in, Costing& costing)
{
    std::uint64_t bytes = 0;
    std::uint64_t pixels = 0;
    if (bitmap_cost(in, 14, costing, bytes, pixels, 1))
        costing.add(bytes);
}

// ---- ICO and CUR ----

void ico_cost(Reader& in, Costing& costing)
{
    std::uint8_t head[6];
    if (!in.read(0, head, sizeof head)) {
        costing.refuse("broken icon header");
        return;
    }
    const std::uint32_t count = le16(head + 4);
    if (count == 0) {
        costing.refuse("icon file without icons");
        return;
    }
    // One icon is decoded at a time, then copied to 32-bit pixels: the dearest one counts. Each one's
    // own header says its size; the directory's bytes for it are only a hint.
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t entry[16];
        if (!in.read(6 + 16 * std::uint64_t{i}, entry, sizeof entry)) {
            costing.refuse("broken icon directory");
            return;
        }
        const std::uint64_t offset = le32(entry + 12);
        std::uint8_t signature[8];
        if (!in.read(offset, signature, sizeof signature)) {
            costing.refuse("icon " + std::to_string(i) + " lies outside the file");
            return;
        }
        std::uint64_t bytes = 0;
        if (std::memcmp(signature, kPngSignature.data(), kPngSignature.size()) == 0) {
            if (!png_cost(in, offset, costing, bytes))
                return;
            std::uint8_t size[8];
            in.read(offset + 16, size, sizeof size);
            bytes += std::uint64_t{be32(size)} * be32(size + 4) * 4;
        } else {
            // The size comes from the bitmap header as bitmap_cost read it: 16-bit fields in the old
            // 12-byte header, 32-bit ones in the others.
            std::uint64_t pixels = 0;
            if (!bitmap_cost(in, offset, costing, bytes, pixels, 2))
                return;
            bytes += pixels * 4;
        }
        costing.at_least(bytes);
    }
}

// ---- TIFF ----

class TiffReader {
public:
    TiffReader(Reader& in, bool big_endian) : m_in(in), m_big(big_endian) {}

    [[nodiscard]] std::uint32_t u16(const std::uint8_t* p) const { return m_big ? be16(p) : le16(p); }
    [[nodiscard]] std::uint32_t u32(const std::uint8_t* p) const { return m_big ? be32(p) : le32(p); }

    // The first value of a directory entry of SHORT or LONG values, read from where it is kept.
    bool value(const std::uint8_t* entry, std::uint32_t& out)
    {
        const std::uint32_t type = u16(entry + 2);
        const std::uint32_t count = u32(entry + 4);
        if (count == 0 || (type != 3 && type != 4))
            return false;
        const std::uint32_t size = type == 3 ? 2 : 4;
        std::uint8_t outside[4];
        const std::uint8_t* at = entry + 8;
        if (std::uint64_t{count} * size > 4) {
            if (!m_in.read(u32(entry + 8), outside, size))
                return false;
            at = outside;
        }
        out = type == 3 ? u16(at) : u32(at);
        return true;
    }

private:
    Reader& m_in;
    bool m_big;
};

void tiff_cost(Reader& in, Costing& costing)
{
    std::uint8_t head[8];
    if (!in.read(0, head, sizeof head)) {
        costing.refuse("broken TIFF header");
        return;
    }
    const bool big_endian = head[0] == 'M';
    TiffReader tiff(in, big_endian);
    if (tiff.u16(head + 2) != 42) {
        costing.refuse("TIFF file of a kind not checked (BigTIFF)");
        return;
    }
    // Every page of the chain counts, each on its own: a decoder holds one page at a time.
    std::set<std::uint32_t> seen;
    for (std::uint32_t offset = tiff.u32(head + 4); offset != 0;) {
        if (!seen.insert(offset).second) {
            costing.refuse("TIFF directories that loop");
            return;
        }
        if (seen.size() > kMaxPages) {
            costing.refuse("TIFF file with more than " + std::to_string(kMaxPages) + " pages");
            return;
        }
        std::uint8_t count_bytes[2];
        if (!in.read(offset, count_bytes, sizeof count_bytes)) {
            costing.refuse("TIFF directory outside the file");
            return;
        }
        const std::uint32_t count = tiff.u16(count_bytes);
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint32_t bits = 1;
        std::uint32_t samples = 1;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t entry[12];
            if (!in.read(std::uint64_t{offset} + 2 + 12 * std::uint64_t{i}, entry, sizeof entry)) {
                costing.refuse("TIFF directory outside the file");
                return;
            }
            std::uint32_t value = 0;
            switch (tiff.u16(entry)) {
            case 256:
                tiff.value(entry, width);
                break;
            case 257:
                tiff.value(entry, height);
                break;
            case 258:
                if (tiff.value(entry, value))
                    bits = value;
                break;
            case 277:
                if (tiff.value(entry, value))
                    samples = value;
                break;
            default:
                break;
            }
        }
        if (!costing.frame(width, height, "TIFF page"))
            return;
        const std::uint64_t pixel_bits = std::uint64_t{std::min<std::uint32_t>(bits, 64)} *
                                         std::min<std::uint32_t>(samples, 16);
        const std::uint64_t pixel_bytes = std::max<std::uint64_t>((pixel_bits + 7) / 8, 4);
        costing.at_least(std::uint64_t{width} * height * pixel_bytes);
        std::uint8_t next[4];
        if (!in.read(std::uint64_t{offset} + 2 + 12 * std::uint64_t{count}, next, sizeof next)) {
            costing.refuse("TIFF directory outside the file");
            return;
        }
        offset = tiff.u32(next);
    }
}

// ---- JPEG ----

// The frame header, for a JPEG file that goes to a decoder that decodes it whole at full size.
void jpeg_cost(Reader& in, Costing& costing)
{
    JpegSegments segments(in);
    while (const std::optional<JpegSegment> segment = segments.next()) {
        const unsigned code = segment->marker;
        if (code < 0xC0 || code > 0xCF || code == 0xC4 || code == 0xC8 || code == 0xCC)
            continue;
        // The frame header: precision, height, width and the number of components.
        std::uint8_t header[6];
        if (segment->length < sizeof header || !in.read(segment->offset, header, sizeof header))
            return;
        const std::uint32_t height = be16(header + 1);
        const std::uint32_t width = be16(header + 3);
        const std::uint32_t components = header[5];
        if (!costing.frame(width, height, "JPEG picture"))
            return;
        costing.add(std::uint64_t{width} * height * std::max<std::uint32_t>(components, 3) * (header[0] > 8 ? 2 : 1));
        return;
    }
    // A file broken before its frame header is left to the decoder, which refuses it; one whose headers
    // go on beyond the walk's limits is refused here, since its frame header was never seen.
    if (segments.end() == WalkEnd::Limit)
        costing.refuse("JPEG file with more than " + std::to_string(kMaxHeaderSegments) +
                       " markers before its picture, or a marker after more than " +
                       std::to_string(kMaxJpegFillBytes) + " fill bytes");
}

PictureFormat format_of(const std::uint8_t* head, std::size_t size)
{
    const auto starts = [&](std::initializer_list<std::uint8_t> bytes) {
        return size >= bytes.size() && std::equal(bytes.begin(), bytes.end(), head);
    };
    if (size >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), head))
        return PictureFormat::Png;
    if (starts({'G', 'I', 'F', '8', '7', 'a'}) || starts({'G', 'I', 'F', '8', '9', 'a'}))
        return PictureFormat::Gif;
    if (starts({'B', 'M'}))
        return PictureFormat::Bmp;
    if (starts({0, 0, 1, 0}) || starts({0, 0, 2, 0}))
        return PictureFormat::Ico;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0}) ||
        starts({'M', 'M', 0, 43}))
        return PictureFormat::Tiff;
    if (starts({0xFF, 0xD8, 0xFF}))
        return PictureFormat::Jpeg;
    return PictureFormat::Unknown;
}

} // namespace

PictureCost picture_cost(ByteSource& source, std::uint64_t budget)
{
    PictureCost cost;
    Reader in(source);
    std::uint8_t head[8] = {};
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), sizeof head));
    if (!in.read(0, head, got))
        return cost;
    cost.format = format_of(head, got);
    Costing costing(cost, budget);
    switch (cost.format) {
    case PictureFormat::Png: {
        std::uint64_t bytes = 0;
        if (png_cost(in, 0, costing, bytes))
            costing.add(bytes);
        break;
    }
    case PictureFormat::Gif:
        gif_cost(in, costing);
        break;
    case PictureFormat::Bmp:
        bmp_cost(in, costing);
        break;
    case PictureFormat::Ico:
        ico_cost(in, costing);
        break;
    case PictureFormat::Tiff:
        tiff_cost(in, costing);
        break;
    case PictureFormat::Jpeg:
        jpeg_cost(in, costing);
        break;
    case PictureFormat::Unknown:
        break;
    }
    costing.finish();
    return cost;
}

} // namespace imaging
