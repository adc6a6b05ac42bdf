// The decoder process's side: confined to itself, it reads requests, decodes and writes the pixels into
// the slideshow's file mapping.
#include "platform/win32/decoder/win32_decoder_main.h"

#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/decoder/win32_decoder_protocol.h"
#include "platform/win32/pictures/win32_file_decoder.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

// Any fault of the decoder ends it at once and quietly: the slideshow sees the pipe close and shows that
// picture's interval black. Neither the system's error reporting nor a debugger gets a look.
[[noreturn]] void end_now() noexcept
{
    ::TerminateProcess(::GetCurrentProcess(), kDecoderFaultExitCode);
    std::_Exit(static_cast<int>(kDecoderFaultExitCode));
}

void end_quietly_on_faults()
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { end_now(); });
    std::set_terminate([] { end_now(); });
    std::signal(SIGABRT, [](int) { end_now(); });
}

bool read_exact(HANDLE pipe, void* buffer, std::size_t bytes)
{
    auto* at = static_cast<std::uint8_t*>(buffer);
    while (bytes > 0) {
        DWORD read = 0;
        if (!::ReadFile(pipe, at, static_cast<DWORD>(bytes), &read, nullptr) || read == 0)
            return false;
        at += read;
        bytes -= read;
    }
    return true;
}

bool write_exact(HANDLE pipe, const void* buffer, std::size_t bytes)
{
    const auto* at = static_cast<const std::uint8_t*>(buffer);
    while (bytes > 0) {
        DWORD written = 0;
        if (!::WriteFile(pipe, at, static_cast<DWORD>(bytes), &written, nullptr) || written == 0)
            return false;
        at += written;
        bytes -= written;
    }
    return true;
}

std::optional<DecoderSettings> read_settings(HANDLE pipe)
{
    SettingsHeader header;
    if (!read_exact(pipe, &header, sizeof header) || header.magic != kSettings ||
        header.profile_bytes > kMaxProfileBytes)
        return std::nullopt;
    DecoderSettings settings;
    settings.display_profile.resize(header.profile_bytes);
    if (header.profile_bytes > 0 && !read_exact(pipe, settings.display_profile.data(), header.profile_bytes))
        return std::nullopt;
    return settings;
}

// Where the pixels of one request are made: the first image that fits goes straight into the
// slideshow's file mapping, so that a picture kept as decoded is never copied; any other (a picture
// turned upright is made twice) gets memory of its own and is copied there at the end. None of it is a
// DIB section: the decoder process never loads the graphics system.
class RequestPixels {
public:
    RequestPixels(HANDLE mapping, std::uint64_t bytes) : m_state(std::make_shared<State>(State{mapping, bytes, {}})) {}

    [[nodiscard]] PixelMemory memory() const
    {
        return [state = m_state](int width, int height) {
            const std::uint64_t bytes = std::uint64_t(std::max(width, 0)) * std::uint64_t(std::max(height, 0)) * 4;
            if (!state->placed.expired() || bytes > state->bytes)
                return Dib::without_bitmap(width, height);
            std::shared_ptr<Dib> pixels = Dib::without_bitmap(width, height, state->mapping);
            state->placed = pixels;
            return pixels;
        };
    }

    // The picture's pixels in the mapping, copied there unless they were made there; the reply's sizes
    // filled in.
    void hand_over(const Win32Picture& picture, ReplyHeader& reply) const
    {
        reply.natural_width = picture.natural_width();
        reply.natural_height = picture.natural_height();
        const std::shared_ptr<const Dib>& pixels = picture.pixels();
        if (!pixels)
            return;
        const std::uint64_t bytes = std::uint64_t(pixels->width()) * std::uint64_t(pixels->height()) * 4;
        if (bytes > m_state->bytes)
            throw RuntimeError("the pixels are larger than the box they were asked for");
        if (m_state->placed.lock() != pixels) {
            void* view = ::MapViewOfFile(m_state->mapping, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(bytes));
            if (view == nullptr)
                throw RuntimeError("the slideshow's memory for the pixels cannot be reached");
            std::memcpy(view, pixels->bits(), static_cast<std::size_t>(bytes));
            ::UnmapViewOfFile(view);
        }
        reply.pixels_width = pixels->width();
        reply.pixels_height = pixels->height();
    }

private:
    struct State {
        HANDLE mapping;
        std::uint64_t bytes;
        std::weak_ptr<const Dib> placed;
    };
    std::shared_ptr<State> m_state;
};

// Reads one request and answers it; false when the slideshow has gone or broke the protocol.
bool serve_one(HANDLE pipe, FileDecoder& decoder, const DecodeFunction& decode)
{
    RequestHeader request;
    if (!read_exact(pipe, &request, sizeof request) || request.magic != kRequest || request.path_chars != 0 ||
        !box_fits(request.box_width, request.box_height))
        return false;
    const platform::SizeF box{request.box_width, request.box_height};
    // The file and the mapping are this request's alone: they are closed once answered.
    const UniqueHandle file(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(request.file)));
    const UniqueHandle mapping(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(request.mapping)));
    const RequestPixels pixels(mapping.get(), request.mapping_bytes);
    decoder.set_pixel_memory(pixels.memory());
    ReplyHeader reply;
    std::string message;
    try {
        if (!file)
            throw RuntimeError("no file was given");
        const std::shared_ptr<const Win32Picture> picture =
            decode ? decode(decoder, file.get(), box) : decoder.decode(file.get(), box);
        if (!picture)
            throw RuntimeError("the file gave no picture");
        pixels.hand_over(*picture, reply);
        reply.status = ReplyStatus::Decoded;
    } catch (const std::exception& error) {
        reply = ReplyHeader{};
        if (dynamic_cast<const ComponentUnavailable*>(&error))
            reply.status = ReplyStatus::NoComponent;
        message = error.what();
        message.resize(std::min<std::size_t>(message.size(), kMaxMessageBytes));
    }
    reply.message_bytes = static_cast<std::uint32_t>(message.size());
    return write_exact(pipe, &reply, sizeof reply) && write_exact(pipe, message.data(), message.size());
}

} // namespace

int serve_decoder(HANDLE pipe, const DecodeFunction& decode)
{
    const std::optional<DecoderSettings> settings = read_settings(pipe);
    if (!settings)
        return 2;
    // COM is started only when a picture first needs the imaging component (FileDecoder): JPEG files,
    // the most common, never do.
    FileDecoder decoder(settings->display_profile);
    if (!write_exact(pipe, &kReady, sizeof kReady))
        return 2;
    while (serve_one(pipe, decoder, decode)) {
    }
    return 0;
}

std::optional<int> run_decoder_if_asked(const wchar_t* command_line, const DecodeFunction& decode)
{
    const std::optional<HANDLE> pipe = decoder_pipe_from(command_line ? command_line : L"");
    if (!pipe)
        return std::nullopt;
    end_quietly_on_faults();
    const int code = serve_decoder(*pipe, decode);
    // The process ends here without running the destructors of the imaging component's objects, some of
    // which would wait for threads of their own: nothing of this process outlives it anyway.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    return code;
}

} // namespace platform::win32
