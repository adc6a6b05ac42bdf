// Colour management on Little CMS: the conversions from a picture's profile into the display's, their
// cache, and the test that tells when a profile is the display's own colours and nothing needs doing.
//
// Profiles are untrusted input. Each set of conversions has a Little CMS context of its own whose memory
// is counted and capped (kColourEngineBudgetBytes), so a profile that claims huge tables fails to open
// instead of taking the memory; a profile that fails in any way leaves the picture as it is stored.
#include "imaging/colour_transform.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>

namespace imaging {
namespace {

// ---- The engine's memory ----

struct MemoryCount {
    std::atomic<std::uint64_t> used{0};
};

// Every block carries its size in front of it, so that freeing it gives its bytes back to the count.
constexpr std::size_t kHeader = 16;

void* counted_malloc(cmsContext context, cmsUInt32Number size)
{
    auto* count = static_cast<MemoryCount*>(cmsGetContextUserData(context));
    if (count != nullptr && count->used.load() + size > kColourEngineBudgetBytes)
        return nullptr;
    auto* block = static_cast<std::uint8_t*>(std::malloc(kHeader + size));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    if (count != nullptr)
        count->used += size;
    return block + kHeader;
}

void counted_free(cmsContext context, void* pointer)
{
    if (pointer == nullptr)
        return;
    auto* block = static_cast<std::uint8_t*>(pointer) - kHeader;
    cmsUInt32Number size = 0;
    std::memcpy(&size, block, sizeof size);
    if (auto* count = static_cast<MemoryCount*>(cmsGetContextUserData(context)))
        count->used -= size;
    std::free(block);
}

void* counted_realloc(cmsContext context, void* pointer, cmsUInt32Number size)
{
    void* moved = counted_malloc(context, size);
    if (moved == nullptr || pointer == nullptr)
        return moved;
    cmsUInt32Number old = 0;
    std::memcpy(&old, static_cast<std::uint8_t*>(pointer) - kHeader, sizeof old);
    std::memcpy(moved, pointer, std::min(old, size));
    counted_free(context, pointer);
    return moved;
}

// A Little CMS context whose memory is counted; shared by the conversions made in it, which need it
// until they are gone.
class Engine {
public:
    Engine()
    {
        m_plugin.base.Magic = cmsPluginMagicNumber;
        m_plugin.base.ExpectedVersion = LCMS_VERSION;
        m_plugin.base.Type = cmsPluginMemHandlerSig;
        m_plugin.MallocPtr = counted_malloc;
        m_plugin.FreePtr = counted_free;
        m_plugin.ReallocPtr = counted_realloc;
        m_context = cmsCreateContext(&m_plugin, &m_count);
    }
    ~Engine()
    {
        if (m_context != nullptr)
            cmsDeleteContext(m_context);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    [[nodiscard]] cmsContext context() const { return m_context; }

private:
    MemoryCount m_count;
    cmsPluginMemHandler m_plugin{};
    cmsContext m_context = nullptr;
};

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

Profile open_profile(const Engine& engine, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 132 || bytes.size() > kMaxColourProfileBytes || engine.context() == nullptr)
        return nullptr;
    return Profile(cmsOpenProfileFromMemTHR(engine.context(), bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

// The colour space a profile's header names (bytes 16 to 19), read from its bytes: a profile may name any
// four bytes, which the engine's enumeration of colour spaces does not hold.
std::uint32_t colour_space(std::span<const std::uint8_t> profile)
{
    if (profile.size() < 20)
        return 0;
    return (std::uint32_t{profile[16]} << 24) | (std::uint32_t{profile[17]} << 16) | (std::uint32_t{profile[18]} << 8) |
           profile[19];
}

// ---- When nothing needs doing ----

bool same_xyz(cmsHPROFILE a, cmsHPROFILE b, cmsTagSignature tag)
{
    const auto* x = static_cast<const cmsCIEXYZ*>(cmsReadTag(a, tag));
    const auto* y = static_cast<const cmsCIEXYZ*>(cmsReadTag(b, tag));
    constexpr double kTolerance = 0.002;
    return x != nullptr && y != nullptr && std::fabs(x->X - y->X) <= kTolerance &&
           std::fabs(x->Y - y->Y) <= kTolerance && std::fabs(x->Z - y->Z) <= kTolerance;
}

bool same_curve(cmsHPROFILE a, cmsHPROFILE b, cmsTagSignature tag)
{
    const auto* x = static_cast<const cmsToneCurve*>(cmsReadTag(a, tag));
    const auto* y = static_cast<const cmsToneCurve*>(cmsReadTag(b, tag));
    if (x == nullptr || y == nullptr)
        return false;
    // Well within half a step of 8 bits everywhere: the same 8-bit numbers come out.
    constexpr float kTolerance = 0.0015f;
    for (int i = 0; i <= 256; ++i) {
        const float v = static_cast<float>(i) / 256.0f;
        if (std::fabs(cmsEvalToneCurveFloat(x, v) - cmsEvalToneCurveFloat(y, v)) > kTolerance)
            return false;
    }
    return true;
}

// Whether two RGB profiles (`a` and `b` must be) of primaries and tone curves describe the same colours
// (the many sRGB profiles written by different programs, for one), so that converting between them
// changes no 8-bit number.
bool same_colours(cmsHPROFILE a, cmsHPROFILE b)
{
    if (!cmsIsMatrixShaper(a) || !cmsIsMatrixShaper(b))
        return false;
    return same_xyz(a, b, cmsSigRedColorantTag) && same_xyz(a, b, cmsSigGreenColorantTag) &&
           same_xyz(a, b, cmsSigBlueColorantTag) && same_curve(a, b, cmsSigRedTRCTag) &&
           same_curve(a, b, cmsSigGreenTRCTag) && same_curve(a, b, cmsSigBlueTRCTag);
}

// ---- The conversion ----

// Relative colorimetric for profiles of primaries and curves, as viewers do; a profile of tables is
// used with the intent it names, or perceptual when it lacks that one.
cmsUInt32Number intent_for(cmsHPROFILE source)
{
    if (cmsIsMatrixShaper(source))
        return INTENT_RELATIVE_COLORIMETRIC;
    const cmsUInt32Number own = cmsGetHeaderRenderingIntent(source);
    if (own <= INTENT_ABSOLUTE_COLORIMETRIC && cmsIsIntentSupported(source, own, LCMS_USED_AS_INPUT))
        return own;
    return INTENT_PERCEPTUAL;
}

// The Little CMS format of `input` for a profile of colour space `space`; 0 when they do not go together.
cmsUInt32Number input_format(ColourInput input, std::uint32_t space)
{
    const bool rgb = space == static_cast<std::uint32_t>(cmsSigRgbData);
    const bool gray = space == static_cast<std::uint32_t>(cmsSigGrayData);
    const bool cmyk = space == static_cast<std::uint32_t>(cmsSigCmykData);
    switch (input) {
    case ColourInput::Bgra8Premultiplied:
        // Grey pixels come as B = G = R: the grey level is read from B.
        return rgb ? TYPE_BGRA_8 : gray ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3) : 0;
    case ColourInput::Cmyk8:
        return cmyk ? TYPE_CMYK_8 : 0;
    case ColourInput::Cmyk8Inverted:
        return cmyk ? TYPE_CMYK_8_REV : 0;
    case ColourInput::Rgb16:
        return rgb ? TYPE_RGB_16 : gray ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(2) | EXTRA_SH(2) : 0;
    case ColourInput::Rgba16:
        return rgb ? TYPE_RGBA_16 : 0;
    case ColourInput::Gray16:
        return gray ? TYPE_GRAY_16 : 0;
    }
    return 0;
}

void premultiply(std::uint8_t* bgra, int count)
{
    for (int i = 0; i < count; ++i, bgra += 4) {
        const unsigned alpha = bgra[3];
        if (alpha == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            bgra[c] = static_cast<std::uint8_t>((bgra[c] * alpha + 127) / 255);
    }
}

class LittleCmsTransform final : public ColourTransform {
public:
    LittleCmsTransform(std::shared_ptr<const Engine> engine, cmsHTRANSFORM transform, ColourInput input)
        : m_engine(std::move(engine)), m_transform(transform), m_input(input)
    {
    }
    ~LittleCmsTransform() override { cmsDeleteTransform(m_transform); }
    LittleCmsTransform(const LittleCmsTransform&) = delete;
    LittleCmsTransform& operator=(const LittleCmsTransform&) = delete;

    [[nodiscard]] ColourInput input() const override { return m_input; }

    void convert(const std::uint8_t* in, std::uint8_t* out, int count) const override
    {
        if (count <= 0)
            return;
        if (m_input == ColourInput::Bgra8Premultiplied) {
            convert_premultiplied(in, out, count);
            return;
        }
        cmsDoTransform(m_transform, in, out, static_cast<cmsUInt32Number>(count));
        if (m_input == ColourInput::Rgba16) {
            premultiply(out, count);
        } else {
            for (int i = 0; i < count; ++i)
                out[4 * i + 3] = 255;
        }
    }

private:
    // Colours are converted as they are, not multiplied by alpha: a pixel that is not opaque is divided
    // by its alpha first and multiplied again after. The alpha byte stays where it is.
    void convert_premultiplied(const std::uint8_t* in, std::uint8_t* out, int count) const
    {
        if (in != out)
            std::memcpy(out, in, static_cast<std::size_t>(count) * 4);
        constexpr int kRun = 256;
        std::uint8_t straight[kRun * 4];
        for (int start = 0; start < count; start += kRun) {
            const int run = std::min(kRun, count - start);
            std::uint8_t* pixels = out + std::ptrdiff_t{start} * 4;
            bool opaque = true;
            for (int i = 0; i < run && opaque; ++i)
                opaque = pixels[4 * i + 3] == 255;
            if (opaque) {
                cmsDoTransform(m_transform, pixels, pixels, static_cast<cmsUInt32Number>(run));
                continue;
            }
            for (int i = 0; i < run; ++i) {
                const unsigned alpha = pixels[4 * i + 3];
                for (int c = 0; c < 3; ++c)
                    straight[4 * i + c] = alpha == 0 ? 0
                                                     : static_cast<std::uint8_t>(std::min<unsigned>(
                                                           255, (pixels[4 * i + c] * 255u + alpha / 2) / alpha));
                straight[4 * i + 3] = static_cast<std::uint8_t>(alpha);
            }
            cmsDoTransform(m_transform, straight, straight, static_cast<cmsUInt32Number>(run));
            premultiply(straight, run);
            std::memcpy(pixels, straight, static_cast<std::size_t>(run) * 4);
        }
    }

    std::shared_ptr<const Engine> m_engine;
    cmsHTRANSFORM m_transform;
    ColourInput m_input;
};

std::uint64_t fnv1a(std::span<const std::uint8_t> bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3ULL;
    return hash;
}

} // namespace

int bytes_per_pixel(ColourInput input)
{
    switch (input) {
    case ColourInput::Bgra8Premultiplied:
    case ColourInput::Cmyk8:
    case ColourInput::Cmyk8Inverted:
        return 4;
    case ColourInput::Rgb16:
        return 6;
    case ColourInput::Rgba16:
        return 8;
    case ColourInput::Gray16:
        return 2;
    }
    return 4;
}

void convert_picture(const ColourTransform& transform, std::uint8_t* bits, int width, int height, std::ptrdiff_t stride)
{
    for (int y = 0; y < height; ++y)
        transform.convert(bits + stride * y, bits + stride * y, width);
}

struct ColourTransforms::State {
    struct Entry {
        std::uint64_t hash = 0;
        std::vector<std::uint8_t> profile;
        ColourInput input{};
        std::shared_ptr<const ColourTransform> transform; // null: shown as stored
    };

    std::shared_ptr<Engine> engine = std::make_shared<Engine>();
    Profile display;
    bool display_srgb = true;
    std::list<Entry> entries; // the most recently used first

    std::shared_ptr<const ColourTransform> make(std::span<const std::uint8_t> bytes, ColourInput input) const
    {
        const Profile source = open_profile(*engine, bytes);
        if (!source || !display)
            return nullptr;
        const std::uint32_t space = colour_space(bytes);
        const cmsUInt32Number format = input_format(input, space);
        if (format == 0)
            return nullptr;
        if (space == static_cast<std::uint32_t>(cmsSigRgbData) && same_colours(source.get(), display.get()))
            return nullptr;
        const cmsUInt32Number flags = input == ColourInput::Rgba16 ? cmsFLAGS_COPY_ALPHA : 0;
        cmsHTRANSFORM transform = cmsCreateTransformTHR(engine->context(), source.get(), format, display.get(),
                                                        TYPE_BGRA_8, intent_for(source.get()), flags);
        if (transform == nullptr)
            return nullptr;
        return std::make_shared<LittleCmsTransform>(engine, transform, input);
    }
};

ColourTransforms::ColourTransforms(std::span<const std::uint8_t> display_profile) : m_state(std::make_unique<State>())
{
    if (Profile display = open_profile(*m_state->engine, display_profile);
        display && colour_space(display_profile) == static_cast<std::uint32_t>(cmsSigRgbData) &&
        cmsIsIntentSupported(display.get(), INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_OUTPUT))
        m_state->display = std::move(display);
    else
        m_state->display = Profile(cmsCreate_sRGBProfileTHR(m_state->engine->context()));
    const Profile srgb(cmsCreate_sRGBProfileTHR(m_state->engine->context()));
    m_state->display_srgb = m_state->display && srgb && same_colours(m_state->display.get(), srgb.get());
}

ColourTransforms::~ColourTransforms()
{
    if (m_state) {
        // The conversions go before the profile and the context they were made in.
        m_state->entries.clear();
        m_state->display.reset();
    }
}

ColourTransforms::ColourTransforms(ColourTransforms&&) noexcept = default;
ColourTransforms& ColourTransforms::operator=(ColourTransforms&& other) noexcept
{
    if (this != &other) {
        ColourTransforms gone(std::move(*this));
        m_state = std::move(other.m_state);
    }
    return *this;
}

std::shared_ptr<const ColourTransform> ColourTransforms::find(std::span<const std::uint8_t> profile, ColourInput input)
{
    if (!m_state || profile.empty())
        return nullptr;
    const std::uint64_t hash = fnv1a(profile);
    auto& entries = m_state->entries;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->hash == hash && it->input == input && std::ranges::equal(it->profile, profile)) {
            entries.splice(entries.begin(), entries, it);
            return entries.front().transform;
        }
    }
    State::Entry entry;
    entry.hash = hash;
    entry.profile.assign(profile.begin(), profile.end());
    entry.input = input;
    entry.transform = m_state->make(profile, input);
    entries.push_front(std::move(entry));
    if (entries.size() > kMaxCached)
        entries.pop_back();
    return entries.front().transform;
}

std::shared_ptr<const ColourTransform> ColourTransforms::find(const EmbeddedColour& colour, ColourInput input)
{
    switch (colour.kind) {
    case EmbeddedColour::Kind::Profile:
        return find(colour.profile, input);
    case EmbeddedColour::Kind::Gamma: {
        const std::vector<std::uint8_t> profile = gamma_profile(colour.gamma, colour.chromaticities);
        return find(profile, input);
    }
    case EmbeddedColour::Kind::Srgb:
    case EmbeddedColour::Kind::Untagged:
        // Pictures that say nothing are taken to be sRGB, as viewers and browsers take them.
        return display_is_srgb() ? nullptr : find(srgb_profile(), input);
    case EmbeddedColour::Kind::CompressedProfile:
        return nullptr;
    }
    return nullptr;
}

std::size_t ColourTransforms::cached() const
{
    return m_state ? m_state->entries.size() : 0;
}

bool ColourTransforms::display_is_srgb() const
{
    return m_state && m_state->display_srgb;
}

namespace {

std::vector<std::uint8_t> saved(cmsHPROFILE profile)
{
    std::vector<std::uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile != nullptr)
        cmsCloseProfile(profile);
    return bytes;
}

} // namespace

std::vector<std::uint8_t> srgb_profile()
{
    return saved(cmsCreate_sRGBProfile());
}

std::vector<std::uint8_t> gamma_profile(double gamma, const std::optional<Chromaticities>& chromaticities)
{
    if (!(gamma >= 0.05 && gamma <= 5.0))
        return {};
    const Chromaticities c = chromaticities.value_or(Chromaticities{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06});
    const double values[] = {c.white_x, c.white_y, c.red_x, c.red_y, c.green_x, c.green_y, c.blue_x, c.blue_y};
    for (const double value : values)
        if (!(value > 0.0 && value < 1.0))
            return {};
    const cmsCIExyY white{c.white_x, c.white_y, 1.0};
    const cmsCIExyYTRIPLE primaries{{c.red_x, c.red_y, 1.0}, {c.green_x, c.green_y, 1.0}, {c.blue_x, c.blue_y, 1.0}};
    // The file's gamma is the encoding exponent; the profile's curve decodes, with its inverse.
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.0 / gamma);
    if (curve == nullptr)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return saved(profile);
}

} // namespace imaging
