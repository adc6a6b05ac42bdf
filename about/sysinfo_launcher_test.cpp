// Tests of the system-information launcher: reading the two registry values and starting the tool.
#include "about/sysinfo_launcher.h"

#include "platform/errors.h"
#include "platform/fake/fake_platform.h"

#include <gtest/gtest.h>

#include <optional>

namespace about {
namespace {

using platform::fake::FakeMessage;
using platform::fake::FakePlatform;
using platform::fake::FakeRegistryValue;
using platform::fake::FakeStartedProgram;

constexpr const char* kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const FakeMessage kMessage{"この環境ではシステム情報を使用できません。", 0, "Title"};

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

// What GetKeyValue makes of one value: its result, and the text left in KeyVal (which held "before");
// or the error it passes to its caller, which has no trap.
struct ReadCase {
    const char* what;
    std::optional<FakeRegistryValue> value; // none: the key exists, the value does not
    bool found;
    std::string text;
    bool throws = false;
    const char* failing = ""; // an operation that fails
};

TEST(GetKeyValue, ReadsTextAndNumbersAndEmptiesTheResultWhenNothingIsFound)
{
    const std::vector<ReadCase> cases{
        {"a text with its terminating zero", FakeRegistryValue{kRegSz, utf16le(u"C:\\Tools\\msinfo32.exe")}, true,
         "C:\\Tools\\msinfo32.exe"},
        {"a text without it", FakeRegistryValue{kRegSz, utf16le(u"C:\\Tools\\msinfo32.exe", false)}, true,
         "C:\\Tools\\msinfo32.exe"},
        {"data filling the buffer", FakeRegistryValue{kRegSz, utf16le(std::u16string(511, u'a'))}, true,
         std::string(511, 'a')},
        {"longer data counts as missing", FakeRegistryValue{kRegSz, utf16le(std::u16string(512, u'a'))}, false, ""},
        {"a number", FakeRegistryValue{kRegDword, bytes({0x40, 0xE2, 0x01, 0x00})}, true, "&h0001E240"},
        {"another type leaves the text alone", FakeRegistryValue{2, utf16le(u"%SystemRoot%")}, true, "before"},
        {"a missing value", std::nullopt, false, ""},
        {"a value without data bytes", FakeRegistryValue{kRegSz, {}}, false, "before", true},
        {"a read that fails", FakeRegistryValue{kRegSz, utf16le(u"x")}, false, "before", true, "RegQueryValueEx"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        fake.registry_keys.insert(kToolKey);
        if (c.value)
            fake.registry_values[{kToolKey, "PATH"}] = *c.value;
        if (*c.failing != '\0')
            fake.fail(c.failing);
        std::string text = "before";
        // The fake's user may not write below HKEY_LOCAL_MACHINE: the key must be opened for reading only.
        if (c.throws) {
            EXPECT_THROW((void)GetKeyValue(fake.platform(), kHkeyLocalMachine, kToolKey, "PATH", text),
                         platform::RuntimeError);
        } else {
            EXPECT_EQ(GetKeyValue(fake.platform(), kHkeyLocalMachine, kToolKey, "PATH", text), c.found);
        }
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(fake.keys_open(), 0u);
    }
    FakePlatform no_key;
    std::string text = "before";
    EXPECT_FALSE(GetKeyValue(no_key.platform(), kHkeyLocalMachine, kToolKey, "PATH", text));
    EXPECT_EQ(text, "");
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

// Where each arrangement of the registry and the disk leads: the tool started in a normal, activated
// window, or (with no path) the one message, once.
struct LaunchCase {
    const char* what;
    std::optional<FakeRegistryValue> path; // the PATH value
    const char16_t* folder;                // the MSINFO value
    const char* ordinary_file;             // a file that counts as an ordinary file
    const char* startable;                 // a program that starts
    const char* started;                   // null: the message instead
};

TEST(StartSysInfo, StartsTheToolTheValuesLeadToOrShowsTheOneMessage)
{
    const auto text = [](std::u16string_view t) { return FakeRegistryValue{kRegSz, utf16le(t)}; };
    constexpr const char* kGiven = "C:\\Program Files\\Tools\\msinfo32.exe";
    constexpr const char* kTool = "C:\\Tools\\MSINFO32.EXE";
    constexpr const char* kShared = "D:\\共有ツール\\システム情報\\MSINFO32.EXE";
    const std::vector<LaunchCase> cases{
        {"a readable path is trusted without an existence test", text(u"C:\\Program Files\\Tools\\msinfo32.exe"),
         nullptr, nullptr, kGiven, kGiven},
        {"a path that does not start is reported; the folder is not tried", text(u"C:\\Gone\\msinfo32.exe"),
         u"C:\\Tools", kTool, kTool, nullptr},
        {"without a path, the tool in the folder", {}, u"D:\\共有ツール\\システム情報", kShared, kShared, kShared},
        {"both values missing", {}, nullptr, nullptr, nullptr, nullptr},
        {"a folder without the tool", {}, u"C:\\", nullptr, nullptr, nullptr},
        // A hidden file, a system file or a folder called MSINFO32.EXE is no ordinary file.
        {"a folder whose tool is no ordinary file", {}, u"C:\\Tools", nullptr, kTool, nullptr},
        {"a path of another type", FakeRegistryValue{2, utf16le(u"x")}, nullptr, nullptr, nullptr, nullptr},
        {"a path that is a number", FakeRegistryValue{kRegDword, bytes({1, 0, 0, 0})}, nullptr, nullptr, nullptr,
         nullptr},
        {"a path without data", FakeRegistryValue{kRegSz, {}}, nullptr, nullptr, nullptr, nullptr},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        if (c.path)
            store(fake, kToolKey, "PATH", c.path->type, c.path->data);
        if (c.folder != nullptr)
            store(fake, kFolderKey, "MSINFO", kRegSz, utf16le(c.folder));
        if (c.ordinary_file != nullptr)
            fake.ordinary_files.insert(c.ordinary_file);
        if (c.startable != nullptr)
            fake.startable_programs.insert(c.startable);
        ASSERT_NO_THROW(StartSysInfo(fake.platform()));
        if (c.started != nullptr) {
            EXPECT_EQ(fake.started, (std::vector<FakeStartedProgram>{{c.started, 1}}));
            EXPECT_TRUE(fake.messages.empty());
        } else {
            EXPECT_TRUE(fake.started.empty());
            EXPECT_EQ(fake.messages, std::vector{kMessage});
        }
        EXPECT_EQ(fake.keys_open(), 0u);
    }
}

TEST(StartSysInfo, AFailingMessageBoxDoesNotEscape)
{
    FakePlatform fake;
    fake.fail("message_box");
    EXPECT_NO_THROW(StartSysInfo(fake.platform()));
    EXPECT_EQ(fake.calls_starting("message_box").size(), 1u);
}

} // namespace
} // namespace about
