// The decoder process's messages: the settings' bytes, the check of a reply, the decoder's command line.
#include "platform/win32/decoder/win32_decoder_protocol.h"

#include "imaging/picture_budget.h"

#include <cstring>
#include <cwchar>

namespace platform::win32 {

std::vector<std::uint8_t> settings_bytes(const DecoderSettings& settings)
{
    SettingsHeader header;
    header.profile_bytes = static_cast<std::uint32_t>(settings.display_profile.size());
    std::vector<std::uint8_t> bytes(sizeof header + settings.display_profile.size());
    std::memcpy(bytes.data(), &header, sizeof header);
    if (!settings.display_profile.empty())
        std::memcpy(bytes.data() + sizeof header, settings.display_profile.data(), settings.display_profile.size());
    return bytes;
}

bool box_fits(float width, float height)
{
    const auto side = [](float s) { return s > 0 && s <= static_cast<float>(imaging::kMaxPictureSide); };
    return side(width) && side(height);
}

bool reply_fits(const ReplyHeader& reply, std::uint64_t mapping_bytes)
{
    const auto side = [](std::int32_t n) { return n >= 0 && std::uint32_t(n) <= imaging::kMaxPictureSide; };
    if (reply.magic != kReply || !side(reply.natural_width) || !side(reply.natural_height) ||
        !side(reply.pixels_width) || !side(reply.pixels_height) || reply.message_bytes > kMaxMessageBytes)
        return false;
    if (reply.status == ReplyStatus::Refused || reply.status == ReplyStatus::NoComponent)
        return true;
    if (reply.status != ReplyStatus::Decoded)
        return false;
    const bool no_pixels = reply.pixels_width == 0 && reply.pixels_height == 0;
    if (no_pixels)
        return true;
    if (reply.pixels_width == 0 || reply.pixels_height == 0)
        return false;
    return std::uint64_t(reply.pixels_width) * std::uint64_t(reply.pixels_height) * 4 <= mapping_bytes;
}

std::optional<HANDLE> decoder_pipe_from(const std::wstring& command_line)
{
    const std::size_t at = command_line.find(kDecoderArgument);
    if (at == std::wstring::npos)
        return std::nullopt;
    // The argument stands alone: a space or the start of the line before it, a space after it.
    const std::size_t end = at + std::wcslen(kDecoderArgument);
    if ((at > 0 && command_line[at - 1] != L' ' && command_line[at - 1] != L'"') || end >= command_line.size() ||
        command_line[end] != L' ')
        return std::nullopt;
    const wchar_t* digits = command_line.c_str() + end + 1;
    wchar_t* stop = nullptr;
    const unsigned long long value = std::wcstoull(digits, &stop, 10);
    if (stop == digits || value == 0 || (*stop != L'\0' && *stop != L' '))
        return std::nullopt;
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

} // namespace platform::win32
