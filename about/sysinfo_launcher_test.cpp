// Tests of the system-information launcher: reading the two registry values and starting the tool.
#include "about/sysinfo_launcher.h"

#include "platform/errors.h"
#include "platform/fake/fake_platform.h"

#include <gtest/gtest.h>

#include <functional>
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

// What GetKeyValue makes of one value: its result, and the text left in KeyVal (which held "before").
struct ReadCase {
    const char* what;
    std::optional<FakeRegistryValue> value; // none: the key exists, the value does not
    bool found;
    std::string text;
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
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        fake.registry_keys.insert(kToolKey);
        if (c.value)
            fake.registry_values[{kToolKey, "PATH"}] = *c.value;
        std::string text = "before";
        // The fake's user may not write below HKEY_LOCAL_MACHINE: the key must be opened for reading only.
        EXPECT_EQ(GetKeyValue(fake.platform(), kHkeyLocalMachine, kToolKey, "PATH", text), c.found);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(fake.keys_open(), 0u);
    }
    FakePlatform no_key;
    std::string text = "before";
    EXPECT_FALSE(GetKeyValue(no_key.platform(), kHkeyLocalMachine, kToolKey, "PATH", text));
    EXPECT_EQ(text, "");
}

TEST(GetKeyValue, AValueWithoutDataBytesOrAFailingReadReachesTheCallerWithTheKeyClosed)
{
    FakePlatform fake;
    store(fake, kToolKey, "PATH", kRegSz, {});
    store(fake, kToolKey, "Other", kRegSz, utf16le(u"x"));
    std::string value;
    EXPECT_THROW((void)GetKeyValue(fake.platform(), kHkeyLocalMachine, kToolKey, "PATH", value),
                 platform::RuntimeError);
    fake.fail("RegQueryValueEx");
    EXPECT_THROW((void)GetKeyValue(fake.platform(), kHkeyLocalMachine, kToolKey, "Other", value),
                 platform::RuntimeError);
    EXPECT_EQ(fake.keys_open(), 0u);
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
    std::function<void(FakePlatform&)> arrange;
    const char* started; // null: the message instead
};

TEST(StartSysInfo, StartsTheToolTheValuesLeadToOrShowsTheOneMessage)
{
    const auto path = [](FakePlatform& f, std::u16string_view text) { store(f, kToolKey, "PATH", kRegSz, utf16le(text)); };
    const auto folder = [](FakePlatform& f, std::u16string_view text) {
        store(f, kFolderKey, "MSINFO", kRegSz, utf16le(text));
    };
    const std::vector<LaunchCase> cases{
        {"a readable path is trusted without an existence test",
         [&](FakePlatform& f) {
             path(f, u"C:\\Program Files\\Tools\\msinfo32.exe");
             f.startable_programs.insert("C:\\Program Files\\Tools\\msinfo32.exe");
         },
         "C:\\Program Files\\Tools\\msinfo32.exe"},
        {"a path that does not start is reported; the folder is not tried",
         [&](FakePlatform& f) {
             path(f, u"C:\\Gone\\msinfo32.exe");
             folder(f, u"C:\\Tools");
             f.ordinary_files.insert("C:\\Tools\\MSINFO32.EXE");
             f.startable_programs.insert("C:\\Tools\\MSINFO32.EXE");
         },
         nullptr},
        {"without a path, the tool in the folder",
         [&](FakePlatform& f) {
             folder(f, u"D:\\共有ツール\\システム情報");
             f.ordinary_files.insert("D:\\共有ツール\\システム情報\\MSINFO32.EXE");
             f.startable_programs.insert("D:\\共有ツール\\システム情報\\MSINFO32.EXE");
         },
         "D:\\共有ツール\\システム情報\\MSINFO32.EXE"},
        {"both values missing", [](FakePlatform&) {}, nullptr},
        {"a folder without the tool", [&](FakePlatform& f) { folder(f, u"C:\\"); }, nullptr},
        // A hidden file, a system file or a folder called MSINFO32.EXE is no ordinary file.
        {"a folder whose tool is no ordinary file",
         [&](FakePlatform& f) {
             folder(f, u"C:\\Tools");
             f.startable_programs.insert("C:\\Tools\\MSINFO32.EXE");
         },
         nullptr},
        {"a path of another type", [](FakePlatform& f) { store(f, kToolKey, "PATH", 2, utf16le(u"x")); }, nullptr},
        {"a path that is a number",
         [](FakePlatform& f) { store(f, kToolKey, "PATH", kRegDword, bytes({1, 0, 0, 0})); }, nullptr},
        {"a path without data", [](FakePlatform& f) { store(f, kToolKey, "PATH", kRegSz, {}); }, nullptr},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        c.arrange(fake);
        ASSERT_NO_THROW(StartSysInfo(fake.platform()));
        const std::vector<FakeStartedProgram> started{{c.started != nullptr ? c.started : "", 1}};
        EXPECT_EQ(fake.started.size(), c.started != nullptr ? 1u : 0u);
        EXPECT_EQ(fake.messages.size(), c.started != nullptr ? 0u : 1u);
        if (c.started != nullptr)
            EXPECT_EQ(fake.started, started);
        else
            EXPECT_EQ(fake.messages, std::vector{kMessage});
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
