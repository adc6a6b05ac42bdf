// JPEG data decoded with libjpeg-turbo at the fewest eighths of its size that still cover the size kept.
//
// libjpeg reports errors through a callback that must not return. It jumps back with longjmp to the
// guard that made the call, and the guard throws platform::RuntimeError from there, outside libjpeg's C frames.
// The jump skips every frame in between, so no object with a destructor may live in them: the
// decoder's state, the pixels and the buffers are all made before a guarded call, outside it.
//
// Corrupt or missing data is only a warning to libjpeg, which fills the gap with grey and goes on.
// Here it fails the picture, as the imaging component fails a truncated file.
//
// The cost of a decode is bounded before it is paid: the size the header claims, the coefficient
// memory a file with separate scans needs (worked out from the header, and libjpeg's own memory
// limit behind it), and the number of scans, counted by a progress monitor that libjpeg calls
// between units of work.
#include "imaging/jpeg_decode.h"

#include "platform/errors.h"
#include "imaging/image_scale.h"
#include "imaging/jpeg_scale.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio> // before jpeglib.h, which uses FILE
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h: which messages exist depends on its configuration.
#include <jerror.h>

namespace imaging {
namespace {

// Rows are decoded in strips of about this many bytes before they are scaled, as on the imaging
// component's path.
constexpr std::size_t kStripBytes = 256 * 1024;

// ---- Errors ----

struct ErrorManager {
    jpeg_error_mgr pub; // first, so that libjpeg's pointer to it points to the whole
    std::jmp_buf jump;
    bool reading_header;
    bool unsupported;
    char message[JMSG_LENGTH_MAX];
};

// The progress monitor, which libjpeg calls between units of work; it stops a file with too many scans.
struct ProgressMonitor {
    jpeg_progress_mgr pub; // first, as above
    int max_scans;
    ErrorManager* error;
};

// Whether an error means that libjpeg lacks a kind of JPEG coding, not that the data is bad: another
// decoder may know it. Some of these also come from markers met in the middle of corrupt data, so they
// count only while the header is read; the others come from setting up for the frame's parameters.
bool is_unsupported(int code, bool reading_header)
{
    switch (code) {
    case JERR_ARITH_NOTIMPL:      // arithmetic coding, when it is left out of the build
    case JERR_CONVERSION_NOTIMPL: // a colour space without a conversion to BGRA
    case JERR_NOTIMPL:            // e.g. 1/8 scale with sampling that needs neighbouring rows
    case JERR_FRACT_SAMPLE_NOTIMPL:
        return true;
    case JERR_BAD_PRECISION:   // 12-bit samples
    case JERR_SOF_UNSUPPORTED: // lossless and hierarchical coding
    case JERR_COMPONENT_COUNT:
    case JERR_EMPTY_IMAGE: // a height given by a DNL marker
        return reading_header;
    default:
        return false;
    }
}

// Warnings that libjpeg passes over by making up data: the picture would show grey or garbled areas.
// Bytes before a marker are not among them, since they usually follow a complete picture.
bool is_data_warning(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_TOO_MUCH_DATA:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void on_error(j_common_ptr info)
{
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    error->unsupported = is_unsupported(error->pub.msg_code, error->reading_header);
    (*error->pub.format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

void on_progress(j_common_ptr info)
{
    auto* progress = reinterpret_cast<ProgressMonitor*>(info->progress);
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > progress->max_scans) {
        ErrorManager& error = *progress->error;
        error.unsupported = false;
        std::snprintf(error.message, sizeof error.message, "more than %d scans", progress->max_scans);
        std::longjmp(error.jump, 1);
    }
}

void on_message(j_common_ptr info, int level)
{
    // Level -1 is a warning; higher levels are traces, which are not wanted.
    if (level < 0 && is_data_warning(info->err->msg_code))
        on_error(info);
}

// Thrown by a guard when libjpeg lacks what the file needs; the file then goes to the imaging component.
class Unsupported : public platform::RuntimeError {
public:
    using platform::RuntimeError::RuntimeError;
};

// Calls `body`, which calls libjpeg, under the error manager's jump; false when libjpeg gave up.
// `body` must keep no object with a destructor alive while it calls libjpeg.
template <class Body>
bool run_guarded(ErrorManager& error, Body& body)
{
    if (setjmp(error.jump) != 0)
        return false;
    body();
    return true;
}

// One decompression, from creation to destruction.
class Decompression {
public:
    Decompression()
    {
        m_info.err = jpeg_std_error(&m_error.pub);
        m_error.pub.error_exit = on_error;
        m_error.pub.emit_message = on_message;
        guarded([this] { jpeg_create_decompress(&m_info); });
    }

    ~Decompression() { jpeg_destroy_decompress(&m_info); }
    Decompression(const Decompression&) = delete;
    Decompression& operator=(const Decompression&) = delete;

    jpeg_decompress_struct& info() { return m_info; }

    // Keeps libjpeg's memory for the decode within `max_memory`, and stops it once more than
    // `max_scans` scans have started (which may be lowered once the header is read).
    void limit(int max_scans, std::uint64_t max_memory)
    {
        m_progress.pub.progress_monitor = on_progress;
        m_progress.max_scans = max_scans;
        m_progress.error = &m_error;
        m_info.progress = &m_progress.pub;
        m_info.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(max_memory, LONG_MAX));
    }
    void limit_scans(int max_scans) { m_progress.max_scans = max_scans; }

    // Reads the header of the JPEG data `bytes`, which must outlive this.
    void read_header(const std::uint8_t* bytes, std::size_t size)
    {
        m_error.reading_header = true;
        guarded([&] {
            jpeg_mem_src(&m_info, bytes, static_cast<unsigned long>(size));
            jpeg_read_header(&m_info, TRUE);
        });
        m_error.reading_header = false;
    }

    // Runs `body`, which calls libjpeg; throws platform::RuntimeError (Unsupported when libjpeg lacks what the
    // file needs) when libjpeg fails. Exceptions thrown by `body` itself pass through.
    template <class Body>
    void guarded(Body&& body)
    {
        if (!run_guarded(m_error, body)) {
            const std::string what = std::string("decoding the JPEG picture failed: ") + m_error.message;
            if (m_error.unsupported)
                throw Unsupported(what);
            throw platform::RuntimeError(what);
        }
    }

private:
    // Zeroed, so that destroying it is safe even when creating it failed.
    jpeg_decompress_struct m_info{};
    ErrorManager m_error{};
    ProgressMonitor m_progress{};
};

// ---- Pixels ----

// Where decoded rows go: straight into the picture's pixels when they need nothing more, otherwise into
// a strip that is converted from CMYK where needed and fed to the resampler. All of it is made before
// decoding starts, since nothing with a destructor may be made while libjpeg runs.
class RowSink {
public:
    // Rows of width pixels, height of them, for `target`; `cmyk` when they come as CMYK, with
    // `inverted` inks.
    RowSink(const PixelTarget& target, int width, int height, bool cmyk, bool inverted)
        : m_target(target), m_width(width), m_cmyk(cmyk), m_inverted(inverted),
          m_direct(width == target.width && height == target.height),
          m_row_bytes(static_cast<std::size_t>(width) * 4)
    {
        m_strip = m_direct && !cmyk ? std::min(height, 16)
                                    : static_cast<int>(std::clamp<std::size_t>(kStripBytes / m_row_bytes, 1,
                                                                               static_cast<std::size_t>(height)));
        const std::size_t strip_bytes = m_row_bytes * static_cast<std::size_t>(m_strip);
        if (!m_direct || cmyk)
            m_decoded.resize(strip_bytes);
        if (!m_direct && cmyk)
            m_converted.resize(strip_bytes);
        m_rows.resize(static_cast<std::size_t>(m_strip));
        if (!m_direct)
            m_scaler.emplace(width, height, target.bits, target.width, target.height, target.stride);
    }

    // The most rows decoded at a time.
    [[nodiscard]] int strip() const { return m_strip; }

    // Where the `count` rows from row `first` on are to be decoded to, count <= strip().
    JSAMPROW* rows(int first, int count)
    {
        for (int r = 0; r < count; ++r)
            m_rows[static_cast<std::size_t>(r)] = m_direct && !m_cmyk ? target_row(first + r) : strip_row(m_decoded, r);
        return m_rows.data();
    }

    // Takes the `count` rows from row `first` on, decoded where rows() said.
    void take(int first, int count)
    {
        if (m_cmyk) {
            for (int r = 0; r < count; ++r)
                cmyk_to_bgra(strip_row(m_decoded, r), m_direct ? target_row(first + r) : strip_row(m_converted, r),
                             m_width, m_inverted);
        }
        if (m_scaler)
            m_scaler->push_rows(m_cmyk ? m_converted.data() : m_decoded.data(),
                                static_cast<std::ptrdiff_t>(m_row_bytes), count);
    }

private:
    std::uint8_t* target_row(int y) const { return m_target.bits + m_target.stride * y; }
    std::uint8_t* strip_row(std::vector<std::uint8_t>& strip, int r) const
    {
        return strip.data() + m_row_bytes * static_cast<std::size_t>(r);
    }

    PixelTarget m_target;
    int m_width;
    bool m_cmyk;
    bool m_inverted;
    bool m_direct;
    std::size_t m_row_bytes;
    int m_strip = 1;
    std::vector<std::uint8_t> m_decoded;
    std::vector<std::uint8_t> m_converted;
    std::vector<JSAMPROW> m_rows;
    std::optional<ImageScaler> m_scaler;
};

// Whether libjpeg keeps every coefficient of the frame while it reads the data: when the first scan
// does not hold all components, or the file is progressive. Known once the header is read.
bool keeps_coefficients(const jpeg_decompress_struct& info)
{
    return info.progressive_mode || info.comps_in_scan < info.num_components;
}

} // namespace

// Files with an Adobe marker store the inks inverted (0 is full ink), as the programs that write CMYK
// JPEG files do; others store them as they are.
void cmyk_to_bgra(const std::uint8_t* in, std::uint8_t* out, int count, bool inverted)
{
    for (int i = 0; i < count; ++i, in += 4, out += 4) {
        // With inverted inks, each colour is (255 - ink) * (255 - black) / 255 = stored * stored_black / 255.
        const unsigned c = inverted ? in[0] : 255u - in[0];
        const unsigned m = inverted ? in[1] : 255u - in[1];
        const unsigned y = inverted ? in[2] : 255u - in[2];
        const unsigned k = inverted ? in[3] : 255u - in[3];
        out[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        out[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        out[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        out[3] = 255;
    }
}

std::uint64_t jpeg_coefficient_bytes(std::uint32_t width, std::uint32_t height, std::span<const int> h,
                                     std::span<const int> v)
{
    const std::size_t count = std::min(h.size(), v.size());
    int max_h = 1;
    int max_v = 1;
    for (std::size_t c = 0; c < count; ++c) {
        max_h = std::max(max_h, h[c]);
        max_v = std::max(max_v, v[c]);
    }
    std::uint64_t total = 0;
    for (std::size_t c = 0; c < count; ++c) {
        const std::uint64_t ch = std::max(h[c], 1);
        const std::uint64_t cv = std::max(v[c], 1);
        // As libjpeg: the component's samples, rounded up, in blocks of 8, rounded up to whole units.
        const std::uint64_t samples_wide = (std::uint64_t{width} * ch + max_h - 1) / max_h;
        const std::uint64_t samples_high = (std::uint64_t{height} * cv + max_v - 1) / max_v;
        const std::uint64_t blocks_wide = (samples_wide + 7) / 8;
        const std::uint64_t blocks_high = (samples_high + 7) / 8;
        const std::uint64_t wide = (blocks_wide + ch - 1) / ch * ch;
        const std::uint64_t high = (blocks_high + cv - 1) / cv * cv;
        total += wide * high * DCTSIZE2 * sizeof(JCOEF);
    }
    return total;
}

int jpeg_max_scans(const JpegLimits& limits, std::uint64_t blocks)
{
    const std::uint64_t by_work = limits.max_scan_blocks / std::max<std::uint64_t>(blocks, 1);
    const auto most = static_cast<std::uint64_t>(std::max(limits.max_scans, 1));
    const auto least = std::min(static_cast<std::uint64_t>(std::max(limits.min_scans, 1)), most);
    return static_cast<int>(std::clamp(by_work, least, most));
}

JpegDecoded decode_jpeg_data(std::span<const std::uint8_t> bytes, const JpegLimits& limits,
                             const std::function<PixelTarget(int width, int height)>& make_target,
                             CmykPixels cmyk_pixels)
{
    try {
        Decompression jpeg;
        jpeg_decompress_struct& info = jpeg.info();
        jpeg.limit(limits.max_scans, limits.max_memory);
        jpeg.read_header(bytes.data(), bytes.size());

        // A header may claim any size; refuse an absurd one before anything is allocated for it.
        const JDIMENSION width = info.image_width;
        const JDIMENSION height = info.image_height;
        if (width > limits.max_side || height > limits.max_side || std::uint64_t{width} * height > limits.max_pixels)
            throw platform::RuntimeError("picture too large: " + std::to_string(width) + " x " + std::to_string(height));
        if (keeps_coefficients(info)) {
            std::vector<int> h;
            std::vector<int> v;
            for (int c = 0; c < info.num_components; ++c) {
                h.push_back(info.comp_info[c].h_samp_factor);
                v.push_back(info.comp_info[c].v_samp_factor);
            }
            const std::uint64_t needed = jpeg_coefficient_bytes(width, height, h, v);
            if (needed > limits.max_memory)
                throw platform::RuntimeError("picture too large: its scans need " + std::to_string(needed >> 20) +
                                   " MB of coefficients");
            jpeg.limit_scans(jpeg_max_scans(limits, needed / (DCTSIZE2 * sizeof(JCOEF))));
        }

        // Colour goes straight to BGRA with an opaque alpha byte, which is premultiplied BGRA as it
        // stands. CMYK comes out as it is stored and is converted here.
        bool cmyk = false;
        switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            info.out_color_space = JCS_EXT_BGRA;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            info.out_color_space = JCS_CMYK;
            cmyk = true;
            break;
        default:
            return {};
        }

        JpegDecoded result;
        result.natural_width = static_cast<int>(width);
        result.natural_height = static_cast<int>(height);
        const PixelTarget target = make_target(result.natural_width, result.natural_height);
        if (target.bits == nullptr || target.width < 1 || target.height < 1 ||
            target.stride < std::ptrdiff_t{target.width} * 4)
            throw platform::RuntimeError("no pixels to decode the JPEG picture into");
        result.eighths = jpeg_scale_eighths(result.natural_width, result.natural_height, target.width, target.height);
        info.scale_num = static_cast<unsigned>(result.eighths);
        info.scale_denom = 8;
        jpeg.guarded([&] { jpeg_calc_output_dimensions(&info); });
        const int decoded_width = static_cast<int>(info.output_width);
        const int decoded_height = static_cast<int>(info.output_height);
        result.decoded_width = decoded_width;
        result.decoded_height = decoded_height;

        // Inks kept as stored go through the sink like colour rows: only the scaler touches them.
        result.cmyk = cmyk;
        result.cmyk_as_stored = cmyk && cmyk_pixels == CmykPixels::AsStored;
        result.inverted_inks = info.saw_Adobe_marker != FALSE;
        RowSink sink(target, decoded_width, decoded_height, cmyk && !result.cmyk_as_stored, result.inverted_inks);
        jpeg.guarded([&] {
            jpeg_start_decompress(&info);
            while (info.output_scanline < info.output_height) {
                const int first = static_cast<int>(info.output_scanline);
                const int count = std::min(sink.strip(), decoded_height - first);
                JSAMPROW* rows = sink.rows(first, count);
                for (int done = 0; done < count;) {
                    const auto want = static_cast<JDIMENSION>(count - done);
                    const JDIMENSION got = jpeg_read_scanlines(&info, rows + done, want);
                    if (got == 0)
                        throw platform::RuntimeError("decoding the JPEG picture failed: it gave no more rows");
                    done += static_cast<int>(got);
                }
                sink.take(first, count);
            }
        });
        // What follows the last rows (normally just the end marker) is not read: the pixels are complete.
        result.decoded = true;
        return result;
    } catch (const Unsupported&) {
        return {};
    }
}

} // namespace imaging
