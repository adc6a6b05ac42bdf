// Tests of the application services: argument text, program folder, version information, instance lock.
#include "platform/win32/app/win32_app.h"

#include "platform/win32/common/win32_text.h"
#include "version.h"

#include <gtest/gtest.h>

namespace platform::win32 {
namespace {

TEST(Win32AppTest, ArgumentTextStartsWithTheFirstArgument)
{
    EXPECT_EQ(arguments_of(L"kwobl.scr /s"), L"/s");
    EXPECT_EQ(arguments_of(L"C:\\Windows\\kwobl.scr /c:1234"), L"/c:1234");
    EXPECT_EQ(arguments_of(L"\"C:\\Program Files\\kwobl.scr\" /p 5678"), L"/p 5678");
    EXPECT_EQ(arguments_of(L"\"C:\\a b\\kwobl.scr\"/s"), L"/s");
    EXPECT_EQ(arguments_of(L"kwobl.scr \t  /a"), L"/a");
    EXPECT_EQ(arguments_of(L"kwobl.scr /s  trailing  "), L"/s  trailing  ");
    EXPECT_EQ(arguments_of(L"kwobl.scr"), L"");
    EXPECT_EQ(arguments_of(L"\"kwobl.scr\""), L"");
    EXPECT_EQ(arguments_of(L"\"unclosed quote /s"), L"");
    EXPECT_EQ(arguments_of(L""), L"");
}

TEST(Win32AppTest, FolderKeepsTheSeparatorOnlyAtADriveRoot)
{
    EXPECT_EQ(folder_of(L"C:\\Windows\\System32\\kwobl.scr"), L"C:\\Windows\\System32");
    EXPECT_EQ(folder_of(L"C:\\kwobl.scr"), L"C:\\");
    EXPECT_EQ(folder_of(L"\\\\server\\share\\kwobl.scr"), L"\\\\server\\share");
    EXPECT_EQ(folder_of(L"D:/pictures/kwobl.scr"), L"D:/pictures");
    EXPECT_EQ(folder_of(L"C:\\スライド\\写真\\kwobl.scr"), L"C:\\スライド\\写真");
    EXPECT_EQ(folder_of(L"kwobl.scr"), L"");
}

TEST(Win32AppTest, ModulePathHasNoLengthLimitAndNamesThisProgram)
{
    const std::wstring path = module_path();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
    EXPECT_EQ(path.find(L'\0'), std::wstring::npos);
}

TEST(Win32AppTest, InfoComesFromTheProgramFilesVersionResource)
{
    // This test program carries the same resource script as the screen saver.
    Win32App app;
    const AppInfo info = app.info();
    EXPECT_EQ(info.title, "KWOBL スライドショー");
    EXPECT_EQ(info.company_name, "KWOBL Software");
    EXPECT_EQ(info.legal_copyright, "Copyright (C) 2026 KWOBL Software.  All rights reserved.");
    EXPECT_EQ(info.major, KWOBL_VERSION_MAJOR);
    EXPECT_EQ(info.minor, KWOBL_VERSION_MINOR);
    EXPECT_EQ(info.revision, KWOBL_VERSION_REVISION);
    EXPECT_EQ(info.folder, narrow(folder_of(module_path())));
    ASSERT_FALSE(info.folder.empty());
    EXPECT_NE(info.folder.back(), '\\');
}

AppInfo counted_info()
{
    static int reads = 0;
    AppInfo info;
    info.folder = "C:\\Pictures";
    info.major = static_cast<std::int16_t>(++reads);
    return info;
}

TEST(Win32AppTest, InfoIsReadFromTheFileOnceAndThenRemembered)
{
    Win32App app(&counted_info);
    const int first = app.info().major;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(app.info().major, first) << "the version information was read again";
    EXPECT_EQ(app.info().folder, "C:\\Pictures");
}

TEST(Win32AppTest, TheScreenSaverListNameIsTheTitle)
{
    wchar_t text[128] = {};
    ASSERT_GT(::LoadStringW(::GetModuleHandleW(nullptr), KWOBL_STRING_TITLE, text, 128), 0);
    EXPECT_EQ(narrow(text), "KWOBL スライドショー");
}

TEST(Win32AppTest, OnlyTheFirstHolderOfTheInstanceLockIsAlone)
{
    Win32App first;
    Win32App second;
    EXPECT_FALSE(first.previous_instance());
    EXPECT_FALSE(first.previous_instance()) << "the answer is kept, not asked again";
    EXPECT_TRUE(second.previous_instance());
}

TEST(Win32AppTest, CommandIsTheUtf8ArgumentText)
{
    Win32App app;
    EXPECT_EQ(app.command(), narrow(arguments_of(::GetCommandLineW())));
}

} // namespace
} // namespace platform::win32
