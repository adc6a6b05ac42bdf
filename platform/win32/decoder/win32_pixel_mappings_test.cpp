// Tests of the file mappings pictures are handed over in: written again only once nothing shows them.
#include "platform/win32/decoder/win32_pixel_mappings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace platform::win32 {
namespace {

constexpr int kSide = 64;
constexpr std::uint64_t kBytes = std::uint64_t{kSide} * kSide * 4;

// The first byte of `lease`'s mapping, read through a view of its own.
std::uint8_t first_byte(const PixelMappings::Lease& lease)
{
    const auto* view = static_cast<const std::uint8_t*>(::MapViewOfFile(lease.mapping(), FILE_MAP_READ, 0, 0, 1));
    EXPECT_NE(view, nullptr);
    const std::uint8_t value = view ? view[0] : 0;
    ::UnmapViewOfFile(view);
    return value;
}

// A picture of one colour, made in a mapping from `mappings`, as a decoder hands it over.
std::shared_ptr<const Dib> picture_in(PixelMappings& mappings, std::uint8_t colour, std::uint64_t bytes = kBytes)
{
    std::shared_ptr<PixelMappings::Lease> lease = mappings.take(bytes);
    EXPECT_TRUE(lease);
    std::shared_ptr<const Dib> pixels = PixelMappings::pixels(std::move(lease), kSide, kSide);
    std::memset(pixels->bits(), colour, kBytes);
    return pixels;
}

TEST(Win32PixelMappingsTest, AShownPictureIsNeverWrittenOver)
{
    PixelMappings mappings;
    const std::shared_ptr<const Dib> shown = picture_in(mappings, 0x11);
    const std::shared_ptr<const Dib> prepared = picture_in(mappings, 0x22);
    // A third picture while both are held, and again after it went: neither lands on the two held.
    for (int round = 0; round < 2; ++round)
        (void)picture_in(mappings, 0x33);
    EXPECT_EQ(shown->bits()[0], 0x11);
    EXPECT_EQ(prepared->bits()[kBytes - 1], 0x22);
}

TEST(Win32PixelMappingsTest, AMappingIsWrittenAgainOnlyWhenItWasLetGoAtTheSameSize)
{
    struct Case {
        const char* what;
        std::uint64_t next_bytes;
        bool keeping;
        bool reused;
    };
    const Case cases[] = {
        {"the same screen", kBytes, true, true},
        {"a screen of another size", kBytes * 2, true, false},
        {"the display off", kBytes, false, false},
    };
    for (const Case& c : cases) {
        PixelMappings mappings;
        mappings.keep(c.keeping);
        (void)picture_in(mappings, 0x5A, kBytes);
        EXPECT_EQ(mappings.kept(), c.keeping ? 1u : 0u) << c.what;
        const std::shared_ptr<PixelMappings::Lease> next = mappings.take(c.next_bytes);
        ASSERT_TRUE(next) << c.what;
        // A mapping made new is all zero; one written again still holds the last picture.
        EXPECT_EQ(first_byte(*next) == 0x5A, c.reused) << c.what;
        EXPECT_EQ(mappings.kept(), 0u) << c.what;
    }
}

TEST(Win32PixelMappingsTest, TurningKeepingOffLetsGoOfTheWaitingMappings)
{
    PixelMappings mappings;
    for (int i = 0; i < 3; ++i)
        (void)picture_in(mappings, 0x01);
    EXPECT_EQ(mappings.kept(), PixelMappings::kKept);
    mappings.keep(false);
    EXPECT_EQ(mappings.kept(), 0u);
}

} // namespace
} // namespace platform::win32
