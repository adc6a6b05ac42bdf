// The picture loader: each file decoded by libjpeg-turbo or the imaging component, in the decoder process
// or in this one, the next one prepared ahead on a worker thread, and a prepared picture taken only while
// its file is unchanged.
#include "platform/win32/loader/win32_pictures.h"

#include "platform/errors.h"
#include "platform/win32/common/win32_input.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/decoder/win32_decoder_process.h"
#include "platform/win32/loader/win32_folder_watch.h"
#include "platform/win32/pictures/win32_colour.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <thread>

namespace platform::win32 {
namespace {

// The worker of the prefetch asks the decoder process when there is one; otherwise it decodes with a
// decoder of its own, in a multithreaded apartment of its own. Either way the file is opened once, for
// the decode, and stamped from that open; at the take it is stamped again only when its folder changed.
PicturePrefetch::Work prefetch_work(std::span<const std::uint8_t> display_profile,
                                    std::shared_ptr<DecoderProcess> process)
{
    auto decoder = std::make_shared<FileDecoder>(display_profile);
    auto watch = std::make_shared<FolderWatch>();
    return {[](const std::string& path) { return file_stamp(widen(path)); },
            [decoder, process](const std::string& path, platform::SizeF box) -> PicturePrefetch::Decoded {
                PicturePrefetch::Decoded decoded;
                if (process)
                    decoded.picture = process->decode(widen(path), box, &decoded.stamp);
                if (!decoded.picture)
                    decoded.picture = decoder->decode(widen(path), box, &decoded.stamp);
                return decoded;
            },
            [] { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); },
            [decoder] {
                *decoder = FileDecoder();
                ::CoUninitialize();
            },
            [watch](const std::string& path) { return watch->mark(widen(path)); },
            [watch](std::uint64_t mark) { return watch->changed_since(mark); }};
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

// How often a wait for a picture looks at the input besides being woken by it.
constexpr DWORD kInputLookMs = 20;

// Whether a key press or a mouse click waits in the queue of this thread's windows; it stays there. Each
// of them ends the run.
bool ending_input_waits()
{
    const auto waits = [](UINT kind) {
        MSG message;
        return ::PeekMessageW(&message, nullptr, kind, kind, PM_NOREMOVE | PM_NOYIELD) != FALSE;
    };
    return waits(WM_KEYDOWN) || waits(WM_SYSKEYDOWN) || std::any_of(kButtonPresses.begin(), kButtonPresses.end(), waits);
}

// One picture got on a thread of its own, for the user-interface thread to wait for.
struct PictureWait {
    UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    PictureRef picture;
    std::exception_ptr failure;
};

} // namespace


Win32Pictures::Win32Pictures() : Win32Pictures(primary_display_profile()) {}

Win32Pictures::Win32Pictures(std::span<const std::uint8_t> display_profile)
    : m_decoder(display_profile), m_prefetch(std::make_shared<PicturePrefetch>(prefetch_work(display_profile, nullptr)))
{
}

Win32Pictures::Win32Pictures(DecoderCommand decoder) : Win32Pictures(primary_display_profile(), std::move(decoder)) {}

Win32Pictures::Win32Pictures(std::span<const std::uint8_t> display_profile, DecoderCommand decoder)
    : m_process(std::make_shared<DecoderProcess>(std::move(decoder),
                                                 DecoderSettings{{display_profile.begin(), display_profile.end()}})),
      m_decoder(display_profile),
      m_prefetch(std::make_shared<PicturePrefetch>(prefetch_work(display_profile, m_process)))
{
}

Win32Pictures::Win32Pictures(std::shared_ptr<DecoderProcess> decoder)
    : m_process(std::move(decoder)), m_decoder(m_process->settings().display_profile),
      m_prefetch(std::make_shared<PicturePrefetch>(prefetch_work(m_process->settings().display_profile, m_process)))
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
    if (!m_process) {
        if (platform::PictureRef prepared = m_prefetch->take(path, box))
            return prepared;
        return m_decoder.decode(widen(path), box);
    }
    // A worker with nothing in hand hands a prepared picture over at once.
    const bool idle = m_prefetch->idle();
    if (idle)
        if (platform::PictureRef prepared = m_prefetch->take(path, box))
            return prepared;
    return wait_for_picture(path, box, !idle);
}

platform::PictureRef Win32Pictures::wait_for_picture(std::string_view path, platform::SizeF box, bool prepared_maybe)
{
    // The picture is got on a thread of its own, and this one waits for it (at most the decoder's
    // watchdog's time) but no longer than until a key press or a click, which ends the run: the picture is
    // then given up, the thread finishes on its own and its result is dropped.
    auto wait = std::make_shared<PictureWait>();
    if (!wait->done)
        throw RuntimeError("no event to wait for a picture with");
    std::thread([wait, prefetch = m_prefetch, process = m_process, path = std::string(path), box, prepared_maybe] {
        try {
            if (prepared_maybe)
                wait->picture = prefetch->take(path, box);
            if (!wait->picture)
                wait->picture = process->decode(widen(path), box);
            if (!wait->picture) {
                // The system made no decoder: this picture is decoded in this process.
                struct Apartment {
                    HRESULT joined = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                    ~Apartment()
                    {
                        if (SUCCEEDED(joined))
                            ::CoUninitialize();
                    }
                } apartment;
                FileDecoder here(process->settings().display_profile);
                wait->picture = here.decode(widen(path), box);
            }
        } catch (...) {
            wait->failure = std::current_exception();
        }
        ::SetEvent(wait->done.get());
    }).detach();
    const HANDLE done = wait->done.get();
    while (true) {
        if (ending_input_waits())
            throw RuntimeError("a key or a click ended the wait for the picture");
        if (::MsgWaitForMultipleObjectsEx(1, &done, kInputLookMs, QS_KEY | QS_MOUSEBUTTON, 0) == WAIT_OBJECT_0)
            break;
    }
    if (wait->failure)
        std::rethrow_exception(wait->failure);
    return wait->picture;
}

void Win32Pictures::prefetch(std::string_view path, platform::SizeF box)
{
    m_prefetch->request(path, box_or_screen(box));
}

void Win32Pictures::display_power(bool on)
{
    if (!on)
        m_prefetch->clear();
    // Nor does it keep memory for the next picture while nothing is shown.
    if (m_process)
        m_process->mappings().keep(on);
}

} // namespace platform::win32
