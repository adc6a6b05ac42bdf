// Tests of the picture loader's preparation ahead with real files: taken while unchanged, read afresh otherwise.
#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/loader/win32_folder_watch.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/testing/win32_test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

constexpr platform::SizeF kBox{640, 480};

// Waits until the loader's worker has prepared what it was asked for (a condition; the limit only keeps a
// broken build from hanging).
void settle(Win32Pictures& pictures)
{
    for (int i = 0; i < 2000 && !pictures.prefetch_idle(); ++i)
        ::Sleep(5);
    ASSERT_TRUE(pictures.prefetch_idle());
}

TEST(Win32PrefetchTest, APreparedPictureIsTakenWhileItsFileIsUnchanged)
{
    TempFolder folder;
    const std::wstring file = folder.file(L"KWOBL001.DAT");
    write_bmp(file, 40, 30, 200);
    Win32Pictures pictures;
    pictures.prefetch(narrow(file), kBox);
    settle(pictures);
    // Locked against reading: only a picture prepared before can be given now.
    const UniqueHfile lock(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    PictureRef picture;
    ASSERT_NO_THROW(picture = pictures.load(narrow(file), kBox));
    EXPECT_EQ(picture->natural_width(), 40);
    EXPECT_EQ(picture->natural_height(), 30);
    // It is given once: the next load reads the (locked) file itself.
    EXPECT_THROW((void)pictures.load(narrow(file), kBox), RuntimeError);
}

TEST(Win32PrefetchTest, APreparedPictureIsTakenOnlyForTheBoxItWasPreparedFor)
{
    TempFolder folder;
    const std::wstring file = folder.file(L"KWOBL001.DAT");
    write_bmp(file, 40, 30, 200);
    Win32Pictures pictures;
    pictures.prefetch(narrow(file), platform::SizeF{}); // before the window: the screen as it is now
    settle(pictures);
    const UniqueHandle lock(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_THROW((void)pictures.load(narrow(file), platform::SizeF{20, 20}), RuntimeError) << "another box";
    const platform::SizeF screen{float(::GetSystemMetrics(SM_CXSCREEN)), float(::GetSystemMetrics(SM_CYSCREEN))};
    EXPECT_NO_THROW((void)pictures.load(narrow(file), screen)) << "prepared for the screen";
}

TEST(Win32PrefetchTest, AReplacedFileShowsItsNewContentAndARemovedOneFails)
{
    TempFolder folder;
    const std::wstring replaced = folder.file(L"KWOBL002.DAT");
    const std::wstring removed = folder.file(L"KWOBL003.DAT");
    const std::wstring created = folder.file(L"KWOBL004.DAT");
    write_bmp(replaced, 40, 30, 200);
    write_bmp(removed, 40, 30, 200);
    Win32Pictures pictures;

    pictures.prefetch(narrow(replaced), kBox);
    settle(pictures);
    write_bmp(replaced, 50, 20, 10); // another size, so the content shows in the natural size
    const PictureRef now = pictures.load(narrow(replaced), kBox);
    EXPECT_EQ(now->natural_width(), 50);
    EXPECT_EQ(now->natural_height(), 20);

    pictures.prefetch(narrow(removed), kBox);
    settle(pictures);
    ::DeleteFileW(removed.c_str());
    EXPECT_THROW((void)pictures.load(narrow(removed), kBox), RuntimeError);

    pictures.prefetch(narrow(created), kBox); // not there yet
    settle(pictures);
    write_bmp(created, 60, 10, 10);
    EXPECT_EQ(pictures.load(narrow(created), kBox)->natural_width(), 60);
}

TEST(Win32PrefetchTest, FileStampsTellContentsApart)
{
    TempFolder folder;
    const std::wstring a = folder.file(L"a.bmp");
    const std::wstring b = folder.file(L"b.bmp");
    write_bmp(a, 40, 30, 200);
    write_bmp(b, 40, 30, 200);
    const auto first = file_stamp(a);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(file_stamp(a), first) << "the same file, unchanged";
    EXPECT_NE(file_stamp(b), first) << "another file of the same length";
    write_bmp(a, 41, 30, 200);
    EXPECT_NE(file_stamp(a), first) << "the same file, rewritten longer";
    EXPECT_FALSE(file_stamp(folder.file(L"missing.bmp")).has_value());
}

// Whether the watch has taken notice of a change since `mark`: Wine's server hears of a change a moment
// after it (a condition; the limit only keeps a broken build from hanging).
bool noticed(const FolderWatch& watch, std::uint64_t mark)
{
    for (int i = 0; i < 400 && !watch.changed_since(mark); ++i)
        ::Sleep(5);
    return watch.changed_since(mark);
}

TEST(Win32PrefetchTest, AFolderWatchNoticesEveryChangeThatCanReplaceAPictureAndNoReading)
{
    const struct {
        const char* what;
        std::function<void(TempFolder&)> change;
    } cases[] = {
        {"the picture written again", [](TempFolder& f) { write_bmp(f.file(L"KWOBL001.DAT"), 41, 30, 200); }},
        {"another file written", [](TempFolder& f) { write_bmp(f.file(L"other.bmp"), 40, 30, 200); }},
        {"a file renamed over the picture", [](TempFolder& f) {
             write_bmp(f.file(L"new.bmp"), 50, 30, 200);
             ::MoveFileExW(f.file(L"new.bmp").c_str(), f.file(L"KWOBL001.DAT").c_str(), MOVEFILE_REPLACE_EXISTING);
         }},
        {"the picture removed", [](TempFolder& f) { ::DeleteFileW(f.file(L"KWOBL001.DAT").c_str()); }},
    };
    for (const auto& c : cases) {
        TempFolder folder(L"watch");
        const std::wstring picture = folder.file(L"KWOBL001.DAT");
        write_bmp(picture, 40, 30, 200);
        FolderWatch watch; // after the writing above, which it does not see
        const std::optional<std::uint64_t> mark = watch.mark(picture);
        ASSERT_TRUE(mark.has_value()) << c.what;
        Win32Pictures pictures;
        EXPECT_NO_THROW((void)pictures.load(narrow(picture), kBox)) << c.what;
        EXPECT_FALSE(watch.changed_since(*mark)) << c.what << ": reading the picture counted as a change";
        c.change(folder);
        EXPECT_TRUE(noticed(watch, *mark)) << c.what;
    }
    // A mark of another folder's file outdates the first folder's marks; a folder that is not there gives none.
    TempFolder one(L"watch-one");
    TempFolder other(L"watch-other");
    FolderWatch watch;
    const auto first = watch.mark(one.file(L"KWOBL001.DAT"));
    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(watch.mark(other.file(L"KWOBL001.DAT")).has_value());
    EXPECT_TRUE(watch.changed_since(*first));
    EXPECT_FALSE(watch.mark(one.file(L"missing\\KWOBL001.DAT")).has_value());
}

} // namespace
} // namespace platform::win32
