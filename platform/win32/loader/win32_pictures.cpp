// The picture loader: each file decoded by libjpeg-turbo or the imaging component, in the decoder process
// or in this one, the next one prepared ahead on a worker thread, and a prepared picture taken only while
// its file is unchanged.
#include "platform/win32/loader/win32_pictures.h"

#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/decoder/win32_decoder_process.h"
#include "platform/win32/pictures/win32_colour.h"

#include <cstdio>
#include <new>
#include <optional>
#include <string>

namespace platform::win32 {
namespace {

// The worker of the prefetch asks the decoder process when there is one; otherwise it decodes with a
// decoder of its own, in a multithreaded apartment of its own.
PicturePrefetch::Work prefetch_work(std::span<const std::uint8_t> display_profile,
                                    std::shared_ptr<DecoderProcess> process)
{
    auto decoder = std::make_shared<FileDecoder>(display_profile);
    return {[](const std::string& path) { return file_stamp(widen(path)); },
            [decoder, process](const std::string& path, platform::SizeF box) -> PictureRef {
                if (process)
                    if (PictureRef picture = process->decode(widen(path), box))
                        return picture;
                return decoder->decode(widen(path), box);
            },
            [] { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); },
            [decoder] {
                *decoder = FileDecoder();
                ::CoUninitialize();
            }};
}

// The box a picture is decoded for. The slideshow asks for its first picture before it has a window:
// an empty box then stands for the primary screen, read now (the same size the slideshow's window is
// then made), so that what is prepared for it is taken by the load that follows.
platform::SizeF box_or_screen(platform::SizeF box)
{
    if (!box.empty())
        return box;
    return platform::SizeF{static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)),
                           static_cast<float>(::GetSystemMetrics(SM_CYSCREEN))};
}

} // namespace


Win32Pictures::Win32Pictures() : Win32Pictures(primary_display_profile()) {}

Win32Pictures::Win32Pictures(std::span<const std::uint8_t> display_profile)
    : m_decoder(display_profile), m_prefetch(prefetch_work(display_profile, nullptr))
{
}

Win32Pictures::Win32Pictures(DecoderCommand decoder) : Win32Pictures(primary_display_profile(), std::move(decoder)) {}

Win32Pictures::Win32Pictures(std::span<const std::uint8_t> display_profile, DecoderCommand decoder)
    : m_process(std::make_shared<DecoderProcess>(std::move(decoder),
                                                 DecoderSettings{{display_profile.begin(), display_profile.end()}})),
      m_decoder(display_profile), m_prefetch(prefetch_work(display_profile, m_process))
{
}

Win32Pictures::Win32Pictures(std::shared_ptr<DecoderProcess> decoder)
    : m_process(std::move(decoder)), m_decoder(m_process->settings().display_profile),
      m_prefetch(prefetch_work(m_process->settings().display_profile, m_process))
{
}

Win32Pictures::~Win32Pictures()
{
    if (m_process)
        m_process->close();
}

platform::PictureRef Win32Pictures::load(std::string_view path, platform::SizeF box)
{
    box = box_or_screen(box);
    if (platform::PictureRef prepared = m_prefetch.take(path, box))
        return prepared;
    // This thread waits for the decoder process at most its watchdog's time.
    if (m_process)
        if (platform::PictureRef picture = m_process->decode(widen(path), box))
            return picture;
    return m_decoder.decode(widen(path), box);
}

void Win32Pictures::prefetch(std::string_view path, platform::SizeF box)
{
    m_prefetch.request(path, box_or_screen(box));
}

} // namespace platform::win32
