// Tests of the system-information launcher: reading the two registry values and starting the tool.
#include "about/sysinfo_launcher.h"

#include "platform/errors.h"
#include "platform/fake/fake_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace about {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using platform::fake::FakePlatform;

constexpr const char* kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kMessage = "message_box(\"この環境ではシステム情報を使用できません。\", 0, \"Title\")";

std::vector<std::byte> bytes(std::initializer_list<int> values)
{
    std::vector<std::byte> out;
    for (int v : values)
        out.push_back(static_cast<std::byte>(v));
    return out;
}

std::vector<std::byte> utf16le(std::u16string_view text, bool terminated = true)
{
    std::vector<std::byte> out;
    for (char16_t c : text)
        out.insert(out.end(), {static_cast<std::byte>(c & 0xFF), static_cast<std::byte>(c >> 8)});
    if (terminated)
        out.insert(out.end(), 2, std::byte{0});
    return out;
}

void store(FakePlatform& fake, const std::string& key, const std::string& name, unsigned type,
           std::vector<std::byte> data)
{
    fake.registry_keys.insert(key);
    fake.registry_values[{key, name}] = {type, std::move(data)};
}

class SysInfoTest : public ::testing::Test {
protected:
    bool read(const std::string& name, std::string& value)
    {
        return GetKeyValue(fake.platform(), kHkeyLocalMachine, kToolKey, name, value);
    }
    std::size_t closes() const { return fake.calls_starting("RegCloseKey").size(); }

    FakePlatform fake;
};

TEST_F(SysInfoTest, ATextIsReadAlikeWithOrWithoutItsTerminatingZero)
{
    store(fake, kToolKey, "PATH", kRegSz, utf16le(u"C:\\Tools\\msinfo32.exe"));
    store(fake, kToolKey, "Bare", kRegSz, utf16le(u"C:\\Tools\\msinfo32.exe", false));
    std::string with_zero;
    std::string without_zero;
    EXPECT_TRUE(read("PATH", with_zero));
    EXPECT_TRUE(read("Bare", without_zero));
    EXPECT_EQ(with_zero, "C:\\Tools\\msinfo32.exe");
    EXPECT_EQ(without_zero, with_zero);
    // The key is opened for reading only, the data may fill 1024 bytes, and the key is closed.
    EXPECT_THAT(std::vector(fake.calls().begin(), fake.calls().begin() + 3),
                ElementsAre("RegOpenKeyEx(0x80000002, \"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO\", 0, 0x20019)",
                            "RegQueryValueEx(0x100, \"PATH\", 1024)", "RegCloseKey(0x100)"));
}

TEST_F(SysInfoTest, AValueWithoutDataBytesFailsAfterClosingTheKey)
{
    store(fake, kToolKey, "PATH", kRegSz, {});
    std::string value;
    EXPECT_THROW((void)read("PATH", value), platform::RuntimeError);
    EXPECT_EQ(closes(), 1u);
}

TEST_F(SysInfoTest, DataFillingTheBufferIsReadAndLongerDataCountsAsMissing)
{
    store(fake, kToolKey, "Full", kRegSz, utf16le(std::u16string(511, u'a')));
    store(fake, kToolKey, "Long", kRegSz, utf16le(std::u16string(512, u'a')));
    std::string full;
    std::string too_long = "before";
    EXPECT_TRUE(read("Full", full));
    EXPECT_EQ(full, std::string(511, 'a'));
    EXPECT_FALSE(read("Long", too_long));
    EXPECT_EQ(too_long, "");
    EXPECT_EQ(closes(), 2u);
}

TEST_F(SysInfoTest, ANumberBecomesHexTextAndOtherTypesLeaveTheValueAlone)
{
    store(fake, kToolKey, "Number", kRegDword, bytes({0x40, 0xE2, 0x01, 0x00}));
    store(fake, kToolKey, "Expandable", 2, utf16le(u"%SystemRoot%\\msinfo32.exe"));
    std::string number;
    std::string expandable = "before";
    EXPECT_TRUE(read("Number", number));
    EXPECT_TRUE(read("Expandable", expandable));
    EXPECT_EQ(number, "&h0001E240");
    EXPECT_EQ(expandable, "before");
    EXPECT_EQ(closes(), 2u);
}

TEST_F(SysInfoTest, AMissingKeyOrValueEmptiesTheResultAndClosesOnlyAnOpenedKey)
{
    std::string no_key = "before";
    EXPECT_FALSE(read("PATH", no_key));
    EXPECT_EQ(closes(), 0u);
    fake.registry_keys.insert(kToolKey);
    std::string no_value = "before";
    EXPECT_FALSE(read("PATH", no_value));
    EXPECT_EQ(closes(), 1u);
    EXPECT_EQ(no_key, "");
    EXPECT_EQ(no_value, "");
}

TEST(RegistryValueText, TextDataIsUtf16AndLosesOnlyOneTrailingZeroOrAStrayByte)
{
    const auto text = [](std::vector<std::byte> data) { return registry_value_text(kRegSz, data).value(); };
    EXPECT_EQ(text(utf16le(u"D:\\共有\\𠮷")), "D:\\共有\\𠮷");
    EXPECT_EQ(text(bytes({'A', 0, 'B'})), "A");
    EXPECT_EQ(text(bytes({'A', 0, 0, 0, 0})), "A");
    EXPECT_EQ(text(bytes({0x00, 0xD8, 'A', 0})), "\xEF\xBF\xBD" "A");
    EXPECT_EQ(registry_value_text(kRegDword, bytes({0xFF})).value(), "&h000000FF");
    EXPECT_EQ(registry_value_text(3, bytes({1, 2, 3, 4})), std::nullopt);
}

TEST_F(SysInfoTest, AReadablePathIsStartedWithoutAnExistenceTest)
{
    store(fake, kToolKey, "PATH", kRegSz, utf16le(u"C:\\Program Files\\Tools\\msinfo32.exe"));
    fake.startable_programs.insert("C:\\Program Files\\Tools\\msinfo32.exe");
    StartSysInfo(fake.platform());
    EXPECT_THAT(fake.calls_starting("ordinary_file_exists"), IsEmpty());
    EXPECT_THAT(fake.calls_starting("message_box"), IsEmpty());
    EXPECT_THAT(fake.calls_starting("start_program"),
                ElementsAre("start_program(\"C:\\Program Files\\Tools\\msinfo32.exe\", 1)"));
}

TEST_F(SysInfoTest, APathThatDoesNotStartIsReportedWithoutTryingTheFolder)
{
    store(fake, kToolKey, "PATH", kRegSz, utf16le(u"C:\\Gone\\msinfo32.exe"));
    store(fake, kFolderKey, "MSINFO", kRegSz, utf16le(u"C:\\Tools"));
    fake.ordinary_files.insert("C:\\Tools\\MSINFO32.EXE");
    fake.startable_programs.insert("C:\\Tools\\MSINFO32.EXE");
    StartSysInfo(fake.platform());
    EXPECT_EQ(fake.calls_starting("RegOpenKeyEx").size(), 1u);
    EXPECT_EQ(fake.calls().back(), kMessage);
}

TEST_F(SysInfoTest, WithoutAPathTheToolInTheFolderIsTestedThenStarted)
{
    store(fake, kFolderKey, "MSINFO", kRegSz, utf16le(u"D:\\共有ツール\\システム情報"));
    fake.ordinary_files.insert("D:\\共有ツール\\システム情報\\MSINFO32.EXE");
    fake.startable_programs.insert("D:\\共有ツール\\システム情報\\MSINFO32.EXE");
    StartSysInfo(fake.platform());
    EXPECT_THAT(fake.calls_starting("ordinary_file_exists"),
                ElementsAre("ordinary_file_exists(\"D:\\共有ツール\\システム情報\\MSINFO32.EXE\")"));
    EXPECT_THAT(fake.calls_starting("start_program"),
                ElementsAre("start_program(\"D:\\共有ツール\\システム情報\\MSINFO32.EXE\", 1)"));
    EXPECT_THAT(fake.calls_starting("message_box"), IsEmpty());
}

TEST_F(SysInfoTest, EveryDeadEndShowsTheOneMessageOnce)
{
    const std::vector<std::pair<const char*, std::function<void(FakePlatform&)>>> cases{
        {"both values missing", [](FakePlatform&) {}},
        // A hidden file, a system file or a folder called MSINFO32.EXE is no ordinary file.
        {"folder without the tool", [](FakePlatform& f) { store(f, kFolderKey, "MSINFO", kRegSz, utf16le(u"C:\\")); }},
        {"path of another type", [](FakePlatform& f) { store(f, kToolKey, "PATH", 2, utf16le(u"x")); }},
        {"path that is a number", [](FakePlatform& f) { store(f, kToolKey, "PATH", kRegDword, bytes({1, 0, 0, 0})); }},
        {"path without data", [](FakePlatform& f) { store(f, kToolKey, "PATH", kRegSz, {}); }},
    };
    for (const auto& [what, setup] : cases) {
        SCOPED_TRACE(what);
        FakePlatform run;
        setup(run);
        StartSysInfo(run.platform());
        EXPECT_EQ(run.calls_starting("message_box"), std::vector<std::string>{kMessage});
        EXPECT_EQ(run.calls_starting("RegCloseKey").size(), run.calls_starting("RegQueryValueEx").size());
        // Only a folder that was found is searched for the tool.
        EXPECT_EQ(run.calls_starting("ordinary_file_exists").size(), std::string_view(what).starts_with("folder"));
    }
}

TEST_F(SysInfoTest, AFailingMessageBoxDoesNotEscape)
{
    fake.fail("message_box");
    EXPECT_NO_THROW(StartSysInfo(fake.platform()));
    EXPECT_EQ(fake.calls().back(), kMessage);
}

} // namespace
} // namespace about
