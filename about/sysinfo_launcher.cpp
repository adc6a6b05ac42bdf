// The system-information tool: found through two registry values, started as its own process.
#include "about/sysinfo_launcher.h"

#include "platform/errors.h"

#include <array>
#include <cstdint>
#include <exception>

namespace about {

namespace {

constexpr std::string_view kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr std::string_view kToolValue = "PATH";
constexpr std::string_view kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr std::string_view kFolderValue = "MSINFO";
constexpr std::string_view kToolFile = "\\MSINFO32.EXE";
constexpr int kNormalActivated = 1;
constexpr std::string_view kNotAvailable = "この環境ではシステム情報を使用できません。";

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE units to UTF-8; a surrogate without its partner becomes U+FFFD, as the
// system's own conversion does.
std::string utf8_from_utf16le(std::span<const std::byte> bytes)
{
    const auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                     (std::to_integer<unsigned>(bytes[2 * i + 1]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{unit(i + 1)} - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            append_utf8(out, 0xFFFD);
        } else {
            append_utf8(out, u);
        }
    }
    return out;
}

// Closes a key opened by GetKeyValue on every way out, exactly once.
class KeyCloser {
public:
    KeyCloser(platform::Registry& registry, platform::NativeHandle key) : m_registry(registry), m_key(key) {}
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    ~KeyCloser()
    {
        try {
            m_registry.close_key(m_key);
        } catch (const std::exception&) {
            // Nothing was written through the key, so a failed close loses nothing; an error
            // thrown from here could only end the program.
        }
    }

private:
    platform::Registry& m_registry;
    platform::NativeHandle m_key;
};

void report_not_available(platform::Platform& platform)
{
    try {
        platform.app.message_box(kNotAvailable, 0, platform.app.info().title);
    } catch (const std::exception&) {
        // The message is the only report there is; when even it fails, the dialog stays
        // open and the user can try again.
    }
}

} // namespace

std::optional<std::string> registry_value_text(unsigned type, std::span<const std::byte> data)
{
    if (type == kRegSz) {
        if (data.size() % 2 != 0)
            data = data.first(data.size() - 1);
        if (data.size() >= 2 && data[data.size() - 1] == std::byte{0} && data[data.size() - 2] == std::byte{0})
            data = data.first(data.size() - 2);
        return utf8_from_utf16le(data);
    }
    if (type == kRegDword) {
        // The number's bytes are stored least significant first; the text names them most
        // significant first, two hexadecimal digits each ("&h0001E240" for 123456). The text
        // is never a program's path, so it only ever ends in the "not available" message.
        std::array<unsigned, 4> bytes{};
        for (std::size_t i = 0; i < bytes.size() && i < data.size(); ++i)
            bytes[i] = std::to_integer<unsigned>(data[i]);
        constexpr char kDigits[] = "0123456789ABCDEF";
        std::string text = "&h";
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
            text += kDigits[*it >> 4];
            text += kDigits[*it & 0xF];
        }
        return text;
    }
    return std::nullopt;
}

bool GetKeyValue(platform::Platform& platform, platform::NativeHandle KeyRoot, std::string_view KeyName,
                 std::string_view SubKeyRef, std::string& KeyVal)
{
    // No trap: an error here belongs to the caller's.
    auto& registry = platform.registry;
    platform::NativeHandle key = 0;
    if (registry.open_key(KeyRoot, KeyName, 0, kKeyRead, key) != 0) {
        KeyVal.clear();
        return false;
    }
    const KeyCloser closer(registry, key);

    std::array<std::byte, kValueBufferBytes> buffer{};
    unsigned size = static_cast<unsigned>(buffer.size());
    unsigned type = 0;
    if (registry.query_value(key, SubKeyRef, type, buffer, size) != 0) {
        KeyVal.clear();
        return false;
    }
    if (size == 0)
        throw platform::RuntimeError("the registry value holds no data");
    const std::size_t stored = size < buffer.size() ? size : buffer.size();
    if (auto text = registry_value_text(type, std::span(buffer).first(stored)))
        KeyVal = std::move(*text);
    return true;
}

void StartSysInfo(platform::Platform& platform)
{
    try {
        std::string ToolPath;
        // A readable PATH value is trusted as it stands; only the folder of the second
        // lookup is checked for the tool.
        if (!GetKeyValue(platform, kHkeyLocalMachine, kToolKey, kToolValue, ToolPath)) {
            if (!GetKeyValue(platform, kHkeyLocalMachine, kFolderKey, kFolderValue, ToolPath)) {
                report_not_available(platform);
                return;
            }
            ToolPath += kToolFile;
            if (!platform.files.ordinary_file_exists(ToolPath)) {
                report_not_available(platform);
                return;
            }
        }
        platform.launcher.start_program(ToolPath, kNormalActivated);
        return;
    } catch (const std::exception&) {
        // Any failure on the way (an empty value, a tool that does not start) ends in the
        // one message below.
    }
    report_not_available(platform);
}

} // namespace about
