// What the slideshow and its decoder process say to each other: the command line that starts a decoder,
// the settings it starts with, and the fixed-size messages of a request and its reply.
//
// The decoder process is this program's own file started with kDecoderArgument and the number of a pipe
// handle it inherits; nobody types that argument. Over the pipe the slideshow first sends the decoder's
// settings and waits for kReady; then each request gives a file, open for reading, the box the picture
// will be fitted to and a file mapping (handles the slideshow put into the decoder process; no path ever
// reaches it), and the reply says what the file gave: the picture's natural size and the size of its
// pixels, written to the mapping as premultiplied BGRA rows, top down, width * 4 bytes apart; or the
// reason it was refused.
#pragma once

#include "imaging/picture_budget.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::win32 {

// The argument that makes this program a decoder process; the pipe handle's number follows it.
inline constexpr wchar_t kDecoderArgument[] = L"--kwobl-decoder-process-7c3f0d1e";

// How a decoder process answers.
inline constexpr std::uint32_t kReady = 0x4B57'5244;   // "KWRD": settings read, waiting for requests
inline constexpr std::uint32_t kRequest = 0x4B57'5251; // "KWRQ"
inline constexpr std::uint32_t kReply = 0x4B57'5250;   // "KWRP"
inline constexpr std::uint32_t kSettings = 0x4B57'5253; // "KWRS"

// The exit code of a decoder process that ended itself on a fault of its own (an unhandled exception, an
// abort, std::terminate) rather than let the system report it.
inline constexpr UINT kDecoderFaultExitCode = 0xDEC0;

// What the decoder works with besides each request: the display's colour profile when there is one
// (empty otherwise). Sent once, when the decoder starts. The size a picture is shown at is no setting: it
// comes with each request, so that a display that changes during the run is followed.
struct DecoderSettings {
    std::vector<std::uint8_t> display_profile;
};

// The settings as the bytes sent down the pipe: a SettingsHeader and the profile's bytes.
[[nodiscard]] std::vector<std::uint8_t> settings_bytes(const DecoderSettings& settings);
struct SettingsHeader {
    std::uint32_t magic = kSettings;
    std::uint32_t profile_bytes = 0; // followed by that many bytes
};
// A display profile longer than this is no profile.
inline constexpr std::uint32_t kMaxProfileBytes = static_cast<std::uint32_t>(imaging::kMaxColourProfileBytes);

struct RequestHeader {
    std::uint32_t magic = kRequest;
    std::uint32_t path_chars = 0;   // always 0: the decoder is given the file, never its name
    std::uint64_t mapping = 0;      // the file mapping's handle, as the decoder process sees it
    std::uint64_t mapping_bytes = 0;
    std::uint64_t file = 0;         // the picture file's handle (read access only), as the decoder sees it
    float box_width = 0;            // the box the picture is fitted to (Pictures::load), in pixels
    float box_height = 0;
};
// Whether a request's box is one a picture can be fitted to: both sides above zero and within the sides
// of any picture.
[[nodiscard]] bool box_fits(float width, float height);

// NoComponent: the imaging component could not be started in the decoder at all, whatever the file.
enum class ReplyStatus : std::uint32_t { Decoded = 0, Refused = 1, NoComponent = 2 };

struct ReplyHeader {
    std::uint32_t magic = kReply;
    ReplyStatus status = ReplyStatus::Refused;
    std::int32_t natural_width = 0;
    std::int32_t natural_height = 0;
    std::int32_t pixels_width = 0; // both 0 when the picture has no pixels
    std::int32_t pixels_height = 0;
    std::uint32_t message_bytes = 0; // followed by that many bytes of UTF-8: why the file was refused
};
inline constexpr std::uint32_t kMaxMessageBytes = 1024;

// Whether a reply's sizes can be believed: positive natural sizes within the limits of any picture, and
// pixels that fit in `mapping_bytes` (or none at all). A decoder process is not trusted either.
[[nodiscard]] bool reply_fits(const ReplyHeader& reply, std::uint64_t mapping_bytes);

// The pipe handle of a decoder process, from its command line (as GetCommandLineW gives it): nothing
// unless the command line holds kDecoderArgument followed by a number.
[[nodiscard]] std::optional<HANDLE> decoder_pipe_from(const std::wstring& command_line);

} // namespace platform::win32
