// Tests of the package's picture-folder check, on folders of small pictures written here.
#include "picture_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace check_pictures {
namespace {
namespace fs = std::filesystem;

void put_le(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 24-bit BMP of width x height pixels, all black (the height may be negative: top-down rows).
std::string bmp(std::int32_t width, std::int32_t height)
{
    const std::uint32_t row = (static_cast<std::uint32_t>(std::abs(width)) * 3 + 3) / 4 * 4;
    const std::uint32_t pixels = row * static_cast<std::uint32_t>(std::abs(height));
    std::string out = "BM";
    put_le(out, 54 + pixels, 4);
    put_le(out, 0, 4);
    put_le(out, 54, 4);
    put_le(out, 40, 4);
    put_le(out, static_cast<std::uint32_t>(width), 4);
    put_le(out, static_cast<std::uint32_t>(height), 4);
    put_le(out, 1, 2);
    put_le(out, 24, 2);
    put_le(out, 0, 4);
    put_le(out, pixels, 4);
    out.append(16, '\0');
    out.append(pixels, '\0');
    return out;
}

// The signature and image header of a PNG of width x height, 8-bit RGB.
std::string png(std::uint32_t width, std::uint32_t height)
{
    std::string out("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (std::uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<char>((value >> shift) & 0xFF));
    out += std::string("\x08\x02\0\0\0", 5);
    out.append(4, '\0'); // the chunk's CRC, which the header checks do not read
    return out;
}

class PictureFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_folder = fs::temp_directory_path() / ("kwobl-check-pictures-" + std::to_string(random()));
        fs::create_directories(m_folder);
        for (int number = 1; number <= kPictureCount; ++number)
            write(picture_name(number), number % 2 ? bmp(4 + number, 3) : png(640, 480));
    }
    void TearDown() override { fs::remove_all(m_folder); }

    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_folder / name, std::ios::binary) << bytes;
    }

    [[nodiscard]] std::vector<std::string> faults() const { return picture_folder_faults(m_folder); }

    fs::path m_folder;
};

// Whether one of the faults is about `name` and says `words`.
bool says(const std::vector<std::string>& faults, const std::string& name, const std::string& words)
{
    return std::any_of(faults.begin(), faults.end(), [&](const std::string& fault) {
        return fault.starts_with(name + ": ") && fault.find(words) != std::string::npos;
    });
}

TEST(PictureName, IsThreeDigitsAfterTheProgramsName)
{
    EXPECT_EQ(picture_name(1), "KWOBL001.DAT");
    EXPECT_EQ(picture_name(17), "KWOBL017.DAT");
    EXPECT_EQ(picture_name(50), "KWOBL050.DAT");
}

TEST_F(PictureFolderTest, FiftyPicturesHaveNoFault)
{
    EXPECT_EQ(faults(), std::vector<std::string>{});
}

TEST_F(PictureFolderTest, AMissingNumberIsNamed)
{
    fs::remove(m_folder / "KWOBL023.DAT");
    const std::vector<std::string> found = faults();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(says(found, "KWOBL023.DAT", "missing")) << found[0];
}

TEST_F(PictureFolderTest, AnExtraFileIsNamedWhateverItHolds)
{
    write("KWOBL051.DAT", bmp(8, 8));
    write("notes.txt", "our pictures");
    const std::vector<std::string> found = faults();
    EXPECT_EQ(found.size(), 2u);
    EXPECT_TRUE(says(found, "KWOBL051.DAT", "does not belong"));
    EXPECT_TRUE(says(found, "notes.txt", "does not belong"));
}

TEST_F(PictureFolderTest, ANameInOtherLettersIsNotThePictureTheProgramLooksFor)
{
    fs::rename(m_folder / "KWOBL007.DAT", m_folder / "kwobl007.dat");
    const std::vector<std::string> found = faults();
    EXPECT_EQ(found.size(), 2u);
    EXPECT_TRUE(says(found, "KWOBL007.DAT", "missing"));
    EXPECT_TRUE(says(found, "kwobl007.dat", "does not belong"));
}

TEST_F(PictureFolderTest, AFileWithoutAPictureHeaderIsNoPicture)
{
    write("KWOBL010.DAT", "This is a text file, not a picture.\n");
    const std::vector<std::string> found = faults();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(says(found, "KWOBL010.DAT", "is no picture")) << found[0];
}

TEST_F(PictureFolderTest, AnEmptyFileIsNoPicture)
{
    write("KWOBL050.DAT", "");
    EXPECT_TRUE(says(faults(), "KWOBL050.DAT", "is no picture"));
}

TEST_F(PictureFolderTest, APictureTheProgramRefusesIsNamedWithTheReason)
{
    write("KWOBL002.DAT", png(65535, 65535));
    write("KWOBL003.DAT", bmp(-16, 16));
    const std::vector<std::string> found = faults();
    EXPECT_EQ(found.size(), 2u);
    EXPECT_TRUE(says(found, "KWOBL002.DAT", "too large")) << found[0];
    EXPECT_TRUE(says(found, "KWOBL003.DAT", "refused"));
}

TEST_F(PictureFolderTest, AFolderUnderAPicturesNameIsNoFile)
{
    fs::remove(m_folder / "KWOBL005.DAT");
    fs::create_directory(m_folder / "KWOBL005.DAT");
    const std::vector<std::string> found = faults();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(says(found, "KWOBL005.DAT", "is no file")) << found[0];
}

TEST(PictureFolder, AFolderThatIsNotThereIsSaidSo)
{
    const std::vector<std::string> found = picture_folder_faults(fs::temp_directory_path() / "kwobl-no-such-folder-x");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NE(found[0].find("no such folder"), std::string::npos);
}

} // namespace
} // namespace check_pictures
