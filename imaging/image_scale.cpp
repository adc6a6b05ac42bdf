// High-quality resampling of 32-bit pixels: area averaging to shrink, bilinear interpolation to enlarge.
//
// The filter is separable. When the picture gets fewer rows, each source row is first added, weighted,
// into the running sums of the one or two target rows it overlaps; a finished sum is then filtered
// across. Rows are summed on the raw bytes, so the costly work per source pixel is one widening
// multiply-add, and only the target's rows are filtered across. When the picture keeps or gains rows,
// each source row is filtered across as it arrives, and target rows are blended from the last two.
// All arithmetic is in integers: weights have 14 fraction bits and add up to exactly one per target
// pixel, so a flat colour stays exactly flat.
#include "imaging/image_scale.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__) && !defined(KWOBL_SCALE_NO_SIMD)
#include <emmintrin.h>
#define KWOBL_SCALE_SSE2 1
#endif

namespace imaging {
namespace {

constexpr int kWeightBits = 14;
constexpr std::int32_t kOne = 1 << kWeightBits;
// Between the two passes a channel is a 16-bit number with 7 fraction bits: at most 255 * 128, so that
// a weighted sum of such numbers still fits the signed 32-bit lanes of the multiply-add.
constexpr int kMidBits = 7;
// Final rounding of a weighted sum of intermediate numbers: weight bits plus intermediate bits.
constexpr int kFinalShift = kWeightBits + kMidBits;

// The source positions and weights that make up each target position along one axis.
struct Taps {
    int stride = 0;                    // weight slots per target position; even
    std::vector<int> first;            // first source position used
    std::vector<int> count;            // source positions used, from `first` on
    std::vector<std::int16_t> weights; // `stride` slots per target position; unused slots are zero

    [[nodiscard]] int last(int target) const { return first[target] + count[target] - 1; }
    [[nodiscard]] const std::int16_t* of(int target) const
    {
        return weights.data() + static_cast<std::size_t>(target) * static_cast<std::size_t>(stride);
    }
};

// The weight of the part [0, cover) of a target pixel `total` long. Weights are taken as differences of
// these cumulative values, so those of one target pixel add up to exactly kOne whatever the rounding.
std::int32_t cumulative_weight(std::int64_t cover, std::int64_t total)
{
    return static_cast<std::int32_t>((cover * kOne + total / 2) / total);
}

// Weights for going from `source` positions to `target` positions: the overlap of each source pixel
// with the target pixel's area when shrinking, the two nearest source pixels when enlarging.
Taps make_taps(int source, int target)
{
    Taps taps;
    const int most = source > target ? source / target + 2 : 2;
    taps.stride = (most + 1) / 2 * 2;
    taps.first.resize(static_cast<std::size_t>(target));
    taps.count.resize(static_cast<std::size_t>(target));
    taps.weights.assign(static_cast<std::size_t>(target) * static_cast<std::size_t>(taps.stride), 0);
    std::vector<std::int32_t> w;
    for (int d = 0; d < target; ++d) {
        w.clear();
        int first = 0;
        if (source == target) {
            first = d;
            w.push_back(kOne);
        } else if (source > target) {
            // Positions in units of 1/target of a source pixel: source pixel i covers
            // [i * target, (i + 1) * target), target pixel d covers [d * source, (d + 1) * source).
            const std::int64_t lo = std::int64_t{d} * source;
            const std::int64_t hi = lo + source;
            first = static_cast<int>(lo / target);
            const int end = static_cast<int>((hi - 1) / target);
            for (int i = first; i <= end; ++i) {
                const std::int64_t from = std::max<std::int64_t>(std::int64_t{i} * target, lo) - lo;
                const std::int64_t to = std::min<std::int64_t>(std::int64_t{i + 1} * target, hi) - lo;
                w.push_back(cumulative_weight(to, source) - cumulative_weight(from, source));
            }
        } else {
            // The centre of target pixel d in source pixels is (d + 0.5) * source / target - 0.5;
            // c2 is that centre times 2 * target.
            const std::int64_t c2 = (2 * std::int64_t{d} + 1) * source - target;
            const std::int64_t span = 2 * std::int64_t{target};
            if (c2 <= 0) {
                first = 0;
                w.push_back(kOne);
            } else if (c2 / span >= source - 1) {
                first = source - 1;
                w.push_back(kOne);
            } else {
                first = static_cast<int>(c2 / span);
                const std::int32_t right = cumulative_weight(c2 % span, span);
                w.push_back(kOne - right);
                w.push_back(right);
            }
        }
        // Pixels that the rounding left without weight are not waited for nor read.
        while (w.size() > 1 && w.front() == 0) {
            w.erase(w.begin());
            ++first;
        }
        while (w.size() > 1 && w.back() == 0)
            w.pop_back();
        taps.first[static_cast<std::size_t>(d)] = first;
        taps.count[static_cast<std::size_t>(d)] = static_cast<int>(w.size());
        std::int16_t* slots = taps.weights.data() + static_cast<std::size_t>(d) * static_cast<std::size_t>(taps.stride);
        for (std::size_t k = 0; k < w.size(); ++k)
            slots[k] = static_cast<std::int16_t>(w[k]);
    }
    return taps;
}

// sums[i] += bytes[i] * weight for n channels.
void add_weighted(const std::uint8_t* bytes, std::size_t n, std::int32_t weight, std::int32_t* sums)
{
    std::size_t i = 0;
#if KWOBL_SCALE_SSE2
    // The weight sits in the low half of each 32-bit lane and each byte, widened, in the low half of
    // its lane, so one multiply-add gives byte * weight per lane.
    const __m128i zero = _mm_setzero_si128();
    const __m128i w = _mm_set1_epi32(weight);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i lo = _mm_unpacklo_epi8(v, zero);
        const __m128i hi = _mm_unpackhi_epi8(v, zero);
        auto* s = reinterpret_cast<__m128i*>(sums + i);
        _mm_storeu_si128(s + 0, _mm_add_epi32(_mm_loadu_si128(s + 0), _mm_madd_epi16(_mm_unpacklo_epi16(lo, zero), w)));
        _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_madd_epi16(_mm_unpackhi_epi16(lo, zero), w)));
        _mm_storeu_si128(s + 2, _mm_add_epi32(_mm_loadu_si128(s + 2), _mm_madd_epi16(_mm_unpacklo_epi16(hi, zero), w)));
        _mm_storeu_si128(s + 3, _mm_add_epi32(_mm_loadu_si128(s + 3), _mm_madd_epi16(_mm_unpackhi_epi16(hi, zero), w)));
    }
#endif
    for (; i < n; ++i)
        sums[i] += bytes[i] * weight;
}

// Turns n finished row sums (weights adding up to kOne) into intermediate numbers.
void sums_to_mid(const std::int32_t* sums, std::size_t n, std::int16_t* out)
{
    constexpr int kShift = kWeightBits - kMidBits;
    std::size_t i = 0;
#if KWOBL_SCALE_SSE2
    const __m128i half = _mm_set1_epi32(1 << (kShift - 1));
    for (; i + 8 <= n; i += 8) {
        const __m128i a =
            _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i)), half), kShift);
        const __m128i b = _mm_srai_epi32(
            _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i + 4)), half), kShift);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(a, b));
    }
#endif
    for (; i < n; ++i)
        out[i] = static_cast<std::int16_t>((sums[i] + (1 << (kShift - 1))) >> kShift);
}

// Turns n bytes into intermediate numbers.
void bytes_to_mid(const std::uint8_t* bytes, std::size_t n, std::int16_t* out)
{
    std::size_t i = 0;
#if KWOBL_SCALE_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), kMidBits));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_slli_epi16(_mm_unpackhi_epi8(v, zero), kMidBits));
    }
#endif
    for (; i < n; ++i)
        out[i] = static_cast<std::int16_t>(bytes[i] << kMidBits);
}

// Filters one row of intermediate numbers across. `row` has one pixel of zeros past its end, because
// taps are read in pairs. Writes `Final` rows as bytes, others as intermediate numbers.
template <bool Final, class Out>
void filter_across(const std::int16_t* row, const Taps& taps, int width, Out* out)
{
    constexpr int kShift = Final ? kFinalShift : kWeightBits;
    for (int x = 0; x < width; ++x) {
        const std::int16_t* p = row + static_cast<std::size_t>(taps.first[static_cast<std::size_t>(x)]) * 4;
        const std::int16_t* w = taps.of(x);
        const int count = taps.count[static_cast<std::size_t>(x)];
#if KWOBL_SCALE_SSE2
        __m128i sum = _mm_set1_epi32(1 << (kShift - 1));
        for (int k = 0; k < count; k += 2) {
            // Two neighbouring pixels, channel by channel: B0 B1 G0 G1 R0 R1 A0 A1.
            const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * 4));
            const __m128i pairs = _mm_unpacklo_epi16(two, _mm_unpackhi_epi64(two, two));
            std::int32_t wpair = 0;
            std::memcpy(&wpair, w + k, sizeof wpair);
            sum = _mm_add_epi32(sum, _mm_madd_epi16(pairs, _mm_set1_epi32(wpair)));
        }
        sum = _mm_srai_epi32(sum, kShift);
        const __m128i packed = _mm_packs_epi32(sum, sum);
        if constexpr (Final) {
            const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(packed, packed));
            std::memcpy(out + static_cast<std::size_t>(x) * 4, &bytes, 4);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + static_cast<std::size_t>(x) * 4), packed);
        }
#else
        for (int c = 0; c < 4; ++c) {
            std::int32_t sum = 1 << (kShift - 1);
            for (int k = 0; k < count; ++k)
                sum += p[k * 4 + c] * w[k];
            sum >>= kShift;
            if constexpr (Final)
                out[static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(c)] =
                    static_cast<std::uint8_t>(std::clamp(sum, 0, 255));
            else
                out[static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(c)] = static_cast<std::int16_t>(sum);
        }
#endif
    }
}

// out[i] = a[i] * wa + b[i] * wb, rounded to bytes, for n channels of intermediate numbers.
void blend_rows(const std::int16_t* a, std::int32_t wa, const std::int16_t* b, std::int32_t wb, std::size_t n,
                std::uint8_t* out)
{
    std::size_t i = 0;
#if KWOBL_SCALE_SSE2
    const __m128i w = _mm_set1_epi32(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(wa) | (static_cast<std::uint32_t>(wb) << 16)));
    const __m128i half = _mm_set1_epi32(1 << (kFinalShift - 1));
    for (; i + 16 <= n; i += 16) {
        __m128i r[4];
        for (int h = 0; h < 2; ++h) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 8 * h));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 8 * h));
            r[2 * h] = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(va, vb), w), half), kFinalShift);
            r[2 * h + 1] =
                _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(va, vb), w), half), kFinalShift);
        }
        const __m128i lo = _mm_packs_epi32(r[0], r[1]);
        const __m128i hi = _mm_packs_epi32(r[2], r[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < n; ++i) {
        const std::int32_t v = (a[i] * wa + b[i] * wb + (1 << (kFinalShift - 1))) >> kFinalShift;
        out[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
}

} // namespace

struct ImageScaler::State {
    int source_width;
    int source_height;
    std::uint8_t* target;
    int target_width;
    int target_height;
    std::ptrdiff_t target_stride;
    int rows_in = 0;
    int rows_out = 0;

    bool copy = false;      // same size: rows are copied as they come
    bool shrinking = false; // fewer rows: rows are summed first and filtered across when finished
    Taps across;
    Taps down;
    // Shrinking: the weighted sums of the two target rows that a source row can overlap, by parity.
    std::vector<std::int32_t> sums[2];
    // A row of source width in intermediate numbers, with one pixel of zeros past its end.
    std::vector<std::int16_t> wide;
    // Enlarging: the last two source rows filtered across, by parity of their source row.
    std::vector<std::int16_t> narrow[2];

    [[nodiscard]] std::uint8_t* target_row(int y) const { return target + target_stride * y; }
    [[nodiscard]] std::size_t source_channels() const { return static_cast<std::size_t>(source_width) * 4; }
    [[nodiscard]] std::size_t target_channels() const { return static_cast<std::size_t>(target_width) * 4; }

    void push_row(const std::uint8_t* row);
    void push_row_shrinking(const std::uint8_t* row);
    void push_row_enlarging(const std::uint8_t* row);
};

ImageScaler::ImageScaler(int source_width, int source_height, std::uint8_t* target, int target_width, int target_height,
                         std::ptrdiff_t target_stride)
{
    if (source_width < 1 || source_height < 1 || target_width < 1 || target_height < 1)
        throw platform::RuntimeError("picture scaling needs sizes of at least one pixel");
    if (target == nullptr || target_stride < std::ptrdiff_t{target_width} * 4)
        throw platform::RuntimeError("picture scaling needs a target with room for its rows");

    m_state = std::make_unique<State>();
    State& s = *m_state;
    s.source_width = source_width;
    s.source_height = source_height;
    s.target = target;
    s.target_width = target_width;
    s.target_height = target_height;
    s.target_stride = target_stride;
    s.copy = source_width == target_width && source_height == target_height;
    if (s.copy)
        return;
    s.shrinking = target_height < source_height;
    s.across = make_taps(source_width, target_width);
    s.down = make_taps(source_height, target_height);
    s.wide.assign(s.source_channels() + 4, 0);
    if (s.shrinking) {
        s.sums[0].assign(s.source_channels(), 0);
        s.sums[1].assign(s.source_channels(), 0);
    } else {
        s.narrow[0].assign(s.target_channels(), 0);
        s.narrow[1].assign(s.target_channels(), 0);
    }
}

ImageScaler::~ImageScaler() = default;

int ImageScaler::rows_pushed() const
{
    return m_state->rows_in;
}

int ImageScaler::rows_written() const
{
    return m_state->rows_out;
}

void ImageScaler::push_rows(const std::uint8_t* rows, std::ptrdiff_t stride, int count)
{
    State& s = *m_state;
    if (count < 0 || count > s.source_height - s.rows_in)
        throw platform::RuntimeError("more picture rows than the picture has: " + std::to_string(count));
    for (int i = 0; i < count; ++i)
        s.push_row(rows + stride * i);
}

void ImageScaler::State::push_row(const std::uint8_t* row)
{
    if (copy) {
        std::memcpy(target_row(rows_out), row, target_channels());
        ++rows_out;
    } else if (shrinking) {
        push_row_shrinking(row);
    } else {
        push_row_enlarging(row);
    }
    ++rows_in;
}

void ImageScaler::State::push_row_shrinking(const std::uint8_t* row)
{
    const int r = rows_in;
    // A target row spans more than one source row, so a source row overlaps at most two target
    // rows: the first unfinished one and the next.
    for (int d = rows_out; d < target_height && d < rows_out + 2; ++d) {
        const int first = down.first[static_cast<std::size_t>(d)];
        if (r < first)
            break;
        if (r > down.last(d))
            continue;
        const std::int32_t w = down.of(d)[r - first];
        if (w != 0)
            add_weighted(row, source_channels(), w, sums[d & 1].data());
    }
    while (rows_out < target_height && down.last(rows_out) <= r) {
        std::vector<std::int32_t>& done = sums[rows_out & 1];
        sums_to_mid(done.data(), done.size(), wide.data());
        std::fill(done.begin(), done.end(), 0);
        filter_across<true>(wide.data(), across, target_width, target_row(rows_out));
        ++rows_out;
    }
}

void ImageScaler::State::push_row_enlarging(const std::uint8_t* row)
{
    const int r = rows_in;
    std::vector<std::int16_t>& mine = narrow[r & 1];
    if (source_width == target_width) {
        bytes_to_mid(row, source_channels(), mine.data());
    } else {
        bytes_to_mid(row, source_channels(), wide.data());
        filter_across<false>(wide.data(), across, target_width, mine.data());
    }
    while (rows_out < target_height && down.last(rows_out) <= r) {
        const int first = down.first[static_cast<std::size_t>(rows_out)];
        const std::int16_t* w = down.of(rows_out);
        const std::int16_t* a = narrow[first & 1].data();
        const bool two = down.count[static_cast<std::size_t>(rows_out)] > 1;
        const std::int16_t* b = two ? narrow[(first + 1) & 1].data() : a;
        blend_rows(a, w[0], b, two ? w[1] : 0, target_channels(), target_row(rows_out));
        ++rows_out;
    }
}

int bytes_per_pixel(RowLayout layout)
{
    switch (layout) {
    case RowLayout::Bgr24:
        return 3;
    case RowLayout::Gray8:
        return 1;
    case RowLayout::Bgra32Premultiplied:
    case RowLayout::Bgra32:
    case RowLayout::Bgrx32:
        break;
    }
    return 4;
}

void convert_row(RowLayout layout, const std::uint8_t* in, std::uint8_t* out, int count)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    switch (layout) {
    case RowLayout::Bgra32Premultiplied:
        std::memcpy(out, in, n * 4);
        break;
    case RowLayout::Bgra32:
        for (std::size_t i = 0; i < n; ++i, in += 4, out += 4) {
            const unsigned a = in[3];
            // (v + 128) * 257 >> 16 is v / 255 rounded to nearest for every product of two bytes.
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>(((in[c] * a + 128) * 257) >> 16);
            out[3] = static_cast<std::uint8_t>(a);
        }
        break;
    case RowLayout::Bgrx32:
        for (std::size_t i = 0; i < n; ++i, in += 4, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0xFF;
        }
        break;
    case RowLayout::Bgr24:
        for (std::size_t i = 0; i < n; ++i, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0xFF;
        }
        break;
    case RowLayout::Gray8:
        for (std::size_t i = 0; i < n; ++i, ++in, out += 4) {
            out[0] = out[1] = out[2] = *in;
            out[3] = 0xFF;
        }
        break;
    }
}

void scale_image(const std::uint8_t* source, int source_width, int source_height, std::ptrdiff_t source_stride,
                 std::uint8_t* target, int target_width, int target_height, std::ptrdiff_t target_stride)
{
    ImageScaler scaler(source_width, source_height, target, target_width, target_height, target_stride);
    scaler.push_rows(source, source_stride, source_height);
}

} // namespace imaging
