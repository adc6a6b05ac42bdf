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
PicturePrefetch::Work prefetch_work(SIZE bound, std::span<const std::uint8_t> display_profile,
                                    std::shared_ptr<DecoderProcess> process)
{
    auto decoder = std::make_shared<FileDecoder>(bound, display_profile);
    return {[](const std::string& path) { return file_stamp(widen(path)); },
            [decoder, process](const std::string& path) -> PictureRef {
                if (process)
                    if (PictureRef picture = process->decode(widen(path)))
                        return picture;
                return decoder->decode(widen(path));
            },
            [] { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); },
            [decoder] {
                *decoder = FileDecoder(SIZE{});
                ::CoUninitialize();
            }};
}

// A decoder process is of use only with a screen to size its memory for the pixels by.
std::shared_ptr<DecoderProcess> make_decoder_process(SIZE bound, std::span<const std::uint8_t> display_profile,
                                                     DecoderCommand command)
{
    if (bound.cx < 1 || bound.cy < 1)
        return nullptr;
    return std::make_shared<DecoderProcess>(std::move(command),
                                            DecoderSettings{bound, {display_profile.begin(), display_profile.end()}});
}

} // namespace


Win32Pictures::Win32Pictures(SIZE bound) : Win32Pictures(bound, primary_display_profile()) {}

Win32Pictures::Win32Pictures(SIZE bound, std::span<const std::uint8_t> display_profile)
    : m_decoder(bound, display_profile), m_prefetch(prefetch_work(bound, display_profile, nullptr))
{
}

Win32Pictures::Win32Pictures(SIZE bound, DecoderCommand decoder)
    : Win32Pictures(bound, primary_display_profile(), std::move(decoder))
{
}

Win32Pictures::Win32Pictures(SIZE bound, std::span<const std::uint8_t> display_profile, DecoderCommand decoder)
    : m_process(make_decoder_process(bound, display_profile, std::move(decoder))), m_decoder(bound, display_profile),
      m_prefetch(prefetch_work(bound, display_profile, m_process))
{
}

Win32Pictures::Win32Pictures(std::shared_ptr<DecoderProcess> decoder)
    : m_process(std::move(decoder)), m_decoder(m_process->settings().bound, m_process->settings().display_profile),
      m_prefetch(prefetch_work(m_process->settings().bound, m_process->settings().display_profile, m_process))
{
}

Win32Pictures::~Win32Pictures()
{
    if (m_process)
        m_process->close();
}

platform::PictureRef Win32Pictures::load(std::string_view path)
{
    if (platform::PictureRef prepared = m_prefetch.take(path))
        return prepared;
    // This thread waits for the decoder process at most its watchdog's time.
    if (m_process)
        if (platform::PictureRef picture = m_process->decode(widen(path)))
            return picture;
    return m_decoder.decode(widen(path));
}

void Win32Pictures::prefetch(std::string_view path)
{
    m_prefetch.request(path);
}

void Win32Pictures::display_power(bool on)
{
    if (!on)
        m_prefetch.clear();
}

} // namespace platform::win32
